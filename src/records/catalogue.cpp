// The data type catalogue: one DataCtrl per data type, areas laid end to
// end from offset 4096 in catalogue order, data type numbers mapped to
// DataCtrl indices by the IndDataTypes vector.
#include "records/catalogue.h"
#include "recbase.h"

#include <algorithm>
#include <cstring>

#include "file/block_io.h"
#include "file/lifecycle.h"
#include "file/lookup.h"
#include "file/stream.h"
#include "frame/heap.h"
#include "records/growth.h"
#include "records/index_vectors.h"

namespace rb {

std::int32_t check_description(const DataDesc& d, bool numbered) {
  if (numbered && d.nType < 0) return DB_ERR_BAD_DESCRIPTION;
  if (d.nDataSize < 1 || d.nBlockSize < d.nDataSize) return DB_ERR_BAD_DESCRIPTION;
  return 0;
}

std::int32_t check_type_flags(std::int32_t flags) {
  const bool index = (flags & kTypeIndex) != 0;
  const bool placed = (flags & kTypePlaced) != 0;
  const bool iterator = (flags & kTypeIterator) != 0;
  if (iterator && !index) return DB_ERR_BAD_FLAGS;
  if (placed && iterator) return DB_ERR_BAD_FLAGS;
  if (placed && !index) return DB_ERR_BAD_FLAGS;
  if ((flags & kTypeBucket) != 0) return DB_ERR_BAD_FLAGS;
  return 0;
}

bool size_area_from_count(DataCtrl& dc) {
  dc.lBlockRecs = static_cast<std::int32_t>(static_cast<std::uint32_t>(dc.nBlockSize) /
                                            static_cast<std::uint32_t>(dc.nDataSize));
  const std::int64_t blocks = (static_cast<std::int64_t>(dc.lMaxFileRecs) - 1) / dc.lBlockRecs + 1;
  const std::int64_t length = blocks * dc.nBlockSize;
  if (!range_fits(dc.lOffsetData, length)) return false;
  dc.lMaxBlockRecs = static_cast<std::int32_t>(blocks);
  dc.lLenData = static_cast<std::int32_t>(length);
  return true;
}

namespace {

// Enters data type number type as catalogue entry k.
std::int32_t map_type_number(std::int32_t file_no, FileCtrl& f, std::int32_t type, std::int32_t k) {
  if (type >= f.def.nIndDataTypesX || type >= f.nIndDataTypesCap) {
    // Logged as dbExpandIndDataTypes from here on, as when this step
    // called the exported function.
    enter("dbExpandIndDataTypes", file_no);
    const std::int32_t r = expand_ind_data_types(f, type);
    if (r < 0) return r;
  }
  f.pIndDataTypes[type] = k;
  // Every declared number must be stored with the vector.
  f.def.nIndDataTypes = std::max(f.def.nIndDataTypes, type + 1);
  return 0;
}

// Validates every description before the catalogue is touched: numbers,
// sizes, flags, record counts and the areas laid end to end.
std::int32_t check_descriptions(std::int32_t n, const DataDesc* desc) {
  std::int64_t end = kHeaderBlockSize;
  for (std::int32_t i = 0; i < n; ++i) {
    const DataDesc& d = desc[i];
    if (const std::int32_t r = check_description(d, true); r != 0) return r;
    if (d.lMaxFileRecs < 0) return DB_ERR_BAD_DESCRIPTION;
    if (const std::int32_t r = check_type_flags(d.nFlags); r != 0) return r;
    DataCtrl probe{};
    probe.nDataSize = d.nDataSize;
    probe.nBlockSize = d.nBlockSize;
    probe.lMaxFileRecs = d.lMaxFileRecs;
    probe.lOffsetData = static_cast<std::int32_t>(end);
    if (!size_area_from_count(probe)) return DB_ERR_BAD_DESCRIPTION;
    end = area_end(probe);
  }
  return 0;
}

}  // namespace

std::int32_t fill_catalogue(std::int32_t file_no, FileCtrl& f, std::int32_t n,
                            const DataDesc* desc) {
  if (n < 1) return 0;
  if (desc == nullptr || n > f.nDataCtrlCap) return report(DB_ERR_BAD_ARGUMENT);
  if (const std::int32_t r = check_descriptions(n, desc); r != 0) return report(r);
  f.def.nDataTypes = std::max(f.def.nDataTypes, n);
  for (std::int32_t i = 0; i < n; ++i) {
    const DataDesc& d = desc[i];
    DataCtrl& dc = f.pDataCtrl[i];
    std::memset(&dc, 0, sizeof dc);
    dc.lOffsetData = static_cast<std::int32_t>(next_area_start(f, i));
    dc.nType = d.nType;
    dc.nFlags = d.nFlags;
    dc.nDataSize = d.nDataSize;
    dc.nBlockSize = d.nBlockSize;
    dc.lMaxFileRecs = d.lMaxFileRecs;
    dc.nIndexNo = dc.nIteratorNo = dc.nSectionIndexNo = -1;
    dc.lMaxIndex = 0;
    // Each vector is added as when this step called dbAddIndexVector,
    // under the name that function records.
    if ((d.nFlags & kTypeIndex) != 0) {
      enter("dbAddIndex", file_no);
      const std::int32_t v = add_index_vector(file_no, f, d.lMaxFileRecs, kVectorIndex, i);
      if (v < 0) return v;
      f.pDataCtrl[i].nIndexNo = v;
    }
    if ((d.nFlags & kTypeIterator) != 0) {
      enter("dbAddIndex", file_no);
      const std::int32_t v = add_index_vector(file_no, f, d.lMaxFileRecs, kVectorIterator, i);
      if (v < 0) return v;
      f.pDataCtrl[i].nIteratorNo = v;
    }
    f.pDataCtrl[i].lFileRecs = 0;
    size_area_from_count(f.pDataCtrl[i]);  // checked above
    if (const std::int32_t r = map_type_number(file_no, f, d.nType, i); r < 0) return r;
  }
  return 0;
}

std::int32_t append_data_type(std::int32_t file_no, FileCtrl& f, const DataDesc& desc,
                              std::int32_t section, std::int32_t max_index) {
  if (f.def.nDataTypes >= f.def.nDataTypesX || f.def.nDataTypes >= f.nDataCtrlCap) {
    // Logged as dbExpandDataCtrl from here on, as when this step called
    // the exported function.
    enter("dbExpandDataCtrl", file_no);
    const std::int32_t r = expand_data_ctrl(f);
    if (r < 0) return r;
  }
  const std::int32_t k = f.def.nDataTypes;
  DataCtrl added{};
  added.nType = desc.nType;
  added.nFlags = desc.nFlags;
  added.nDataSize = desc.nDataSize;
  added.nBlockSize = desc.nBlockSize;
  added.lBlockRecs = static_cast<std::int32_t>(static_cast<std::uint32_t>(desc.nBlockSize) /
                                               static_cast<std::uint32_t>(desc.nDataSize));
  added.lOffsetData = static_cast<std::int32_t>(next_area_start(f, k));
  added.lMaxIndex = max_index;
  added.nIndexNo = added.nIteratorNo = -1;
  added.nSectionIndexNo = section;
  const std::int32_t length = g_lib.sys->lIndexLenExpand;
  // Each vector is added as when this step called dbAddIndexVector, under
  // the name that function records.
  if ((desc.nFlags & kTypeIndex) != 0) {
    enter("dbAddIndex", file_no);
    added.nIndexNo = add_index_vector(file_no, f, length, kVectorIndex, k);
    if (added.nIndexNo < 0) return added.nIndexNo;
  }
  if ((desc.nFlags & kTypeIterator) != 0) {
    enter("dbAddIndex", file_no);
    added.nIteratorNo = add_index_vector(file_no, f, length, kVectorIterator, k);
    if (added.nIteratorNo < 0) return added.nIteratorNo;
  }
  f.pDataCtrl[k] = added;
  f.def.nDataTypes = k + 1;
  return k;
}

std::int32_t set_data_ctrl(std::int32_t file_no, FileCtrl& f, std::int32_t n,
                           const DataDesc* desc) {
  if (n < 1) return 0;
  // Filling entries that hold data types already would re-address their
  // areas; the catalogue is filled this way only while it is empty.
  if (f.def.nDataTypes != 0) return report(DB_ERR_BAD_ARGUMENT);
  return fill_catalogue(file_no, f, n, desc);
}

std::int32_t expand_data_ctrl(FileCtrl& f) {
  const std::int32_t step = std::max<std::int32_t>(1, g_lib.sys->nDataCtrlExpand);
  std::int64_t grown = static_cast<std::int64_t>(std::max(f.def.nDataTypesX, 0)) + step;
  grown = std::max<std::int64_t>(grown, static_cast<std::int64_t>(f.def.nDataTypes) + 1);
  if (grown > INT32_MAX) return report(DB_ERR_DATACTRL_ALLOC);
  const auto capacity = static_cast<std::int32_t>(grown);
  if (!grow_table(f.pDataCtrl, f.nDataCtrlCap, capacity, DataCtrl{})) {
    return report(DB_ERR_DATACTRL_ALLOC);
  }
  f.nDataCtrlCap = capacity;
  f.def.nDataTypesX = capacity;
  return capacity;
}

std::int32_t expand_ind_data_types(FileCtrl& f, std::int32_t type) {
  if (type < 0) return report(DB_ERR_BAD_ARGUMENT);
  const std::int32_t current = std::max(f.def.nIndDataTypesX, 0);
  const std::int64_t base = type >= current ? static_cast<std::int64_t>(type) + 1 : current;
  const std::int64_t grown = base + std::max<std::int32_t>(0, g_lib.sys->nIndDataTypesExpand);
  if (grown > INT32_MAX) return report(DB_ERR_INDDATATYPES_ALLOC);
  if (!grow_table(f.pIndDataTypes, std::min(current, f.nIndDataTypesCap), grown, -1)) {
    return report(DB_ERR_INDDATATYPES_ALLOC);
  }
  f.nIndDataTypesCap = f.def.nIndDataTypesX = static_cast<std::int32_t>(grown);
  f.def.nIndDataTypes = std::max(f.def.nIndDataTypes, type + 1);
  return f.def.nIndDataTypesX;
}

std::int32_t add_data_ctrl(std::int32_t file_no, FileCtrl& f, const DataDesc* desc) {
  if (desc == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  if (const std::int32_t r = check_description(*desc, true); r != 0) return report(r);
  if (const std::int32_t r = check_type_flags(desc->nFlags); r != 0) return report(r);
  const std::int32_t k = append_data_type(file_no, f, *desc, -1, 0);
  if (k < 0) return k;
  if (const std::int32_t r = map_type_number(file_no, f, desc->nType, k); r < 0) return r;
  return k;
}

std::int32_t end_data_input(std::int32_t file_no, FileCtrl& f) {
  if (f.def.nDataCtrlOpen == -1) return report(DB_ERR_INPUT_NOT_OPEN);
  const std::int32_t k = f.def.nDataCtrlOpen;
  f.def.nDataCtrlOpen = -1;
  if (const std::int32_t r = close_area(file_no, f, k); r < 0) return r;
  return k;
}

std::int32_t close_area(std::int32_t file_no, FileCtrl& f, std::int32_t k) {
  DataCtrl* dc = data_ctrl(f, k);
  if (dc == nullptr || dc->nDataSize < 1 || dc->nBlockSize < dc->nDataSize)
    return report(DB_ERR_BAD_DESCRIPTION);
  DataCtrl sized = *dc;
  if (!size_area_from_count(sized)) return report(DB_ERR_SEEK);
  dc->lBlockRecs = sized.lBlockRecs;
  // Room beyond the blocks already there is opened like any growth, so
  // that nothing behind the area (singly placed records) is overwritten.
  if (sized.lMaxBlockRecs > dc->lMaxBlockRecs) {
    if (!f.writable) {
      dc->lMaxBlockRecs = sized.lMaxBlockRecs;
      dc->lLenData = sized.lLenData;
    } else if (const std::int32_t r = grow_area(file_no, f, k, sized.lMaxBlockRecs); r < 0) {
      return r;
    }
  }
  // Everything below lFileLen is in the file: the area's unwritten blocks
  // become zero bytes rather than whatever lay there before.
  const auto end = static_cast<std::int32_t>(area_end(f.pDataCtrl[k]));
  if (end > f.def.lFileLen) {
    // Filled as when this step called dbFillUpTo: under its name, on the
    // file found with write access as that function finds it (a file open
    // for reading is refused with -102 here).
    enter("dbFillUpTo", file_no);
    const Lookup writable = find_writable(file_no);
    if (!writable) return writable.code;
    if (const std::int32_t r = fill_up_to(*writable.file, end); r < 0) return r;
  }
  f.def.lFileLen = std::max(f.def.lFileLen, end);
  f.def.lOffsetVectors = std::max(f.def.lOffsetVectors, end);
  return 0;
}

std::int32_t create_file(const char* name, std::int32_t count, const DataDesc* desc,
                         std::int32_t sections, std::int32_t flags) {
  const std::int32_t slot = begin_create(name, count, desc, sections, flags);
  if (slot < 0) return slot;
  if (count > 0) {
    enter("dbSetDataCtrl", slot);
    const std::int32_t r = fill_catalogue(slot, *g_lib.files[slot], count, desc);
    if (r != 0) return abandon(slot, r);
  }
  return finish_create(slot, name);
}

}  // namespace rb
