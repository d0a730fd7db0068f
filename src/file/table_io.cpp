// The header block and the tables of the table area, between memory and the
// file. The header and the three record tables move with one seek and one
// stream transfer each; the vectors go through the positioned block IO.
#include <algorithm>
#include <cstring>

#include "file/block_io.h"
#include "file/stream.h"
#include "file/table_io.h"
#include "frame/heap.h"
#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"

namespace rb {
namespace {

using DefField = std::int32_t FileDef::*;

void raise_file_len(FileDef& def, std::int64_t end) {
  if (end > def.lFileLen) def.lFileLen = static_cast<std::int32_t>(end);
}

// ---- header block -------------------------------------------------------

}  // namespace

std::int32_t write_file_def(std::int32_t, FileCtrl& f) {
  // Tables and header bypass the block IO: nothing read before holds.
  note_change(f);
  auto* block = allocate<unsigned char>(kHeaderBlockSize);
  if (block == nullptr) return report(DB_ERR_HEADER_WRITE_ALLOC);
  std::memset(block, 0, kHeaderBlockSize);
  std::memcpy(block, &f.def, sizeof(FileDef));
  const std::int32_t written = write_pieces(*f.pFile, 0, block, kHeaderBlockSize, kHeaderBlockSize);
  heap_free(block);
  if (written < 0) return written;
  raise_file_len(f.def, written);
  if (written != kHeaderBlockSize) return report(DB_ERR_WRITE);
  return written;
}

std::int32_t read_file_def(std::int32_t, FileCtrl& f) {
  // Tables and header bypass the block IO: nothing read before holds.
  note_change(f);
  auto* block = allocate<unsigned char>(kHeaderBlockSize);
  if (block == nullptr) return report(DB_ERR_HEADER_READ_ALLOC);
  const std::int32_t got = read_pieces(*f.pFile, 0, block, kHeaderBlockSize, kHeaderBlockSize);
  if (got < static_cast<std::int32_t>(sizeof(FileDef))) {
    heap_free(block);
    return report(DB_ERR_INCOMPLETE_FILE);  // too short to hold a header
  }
  std::memcpy(&f.def, block, sizeof(FileDef));
  heap_free(block);
  return got;
}

// ---- record tables ------------------------------------------------------

namespace {

struct RecordTable {
  DefField count;
  DefField capacities[2];  // the second may be null
  DefField length;
  DefField offset;
  std::int32_t record_size;
};

const RecordTable kDataCtrlTable{&FileDef::nDataTypes,
                                 {&FileDef::nDataTypesX, nullptr},
                                 &FileDef::nLenDataCtrl,
                                 &FileDef::lOffsetDataCtrl,
                                 sizeof(DataCtrl)};
const RecordTable kIndexCtrlTable{&FileDef::nIndexCtrls,
                                  {&FileDef::nIndexCtrlsX, &FileDef::nIndexVectorsX},
                                  &FileDef::nLenIndexCtrl,
                                  &FileDef::lOffsetIndexCtrl,
                                  sizeof(IndexCtrl)};
const RecordTable kSectionTable{&FileDef::nSections,
                                {&FileDef::nSectionsX, nullptr},
                                &FileDef::nLenSection,
                                &FileDef::lOffsetSection,
                                sizeof(Section)};

// Writes the table to the current end of the file (lFileLen).
std::int32_t write_record_table(FileCtrl& f, const RecordTable& t, const void* records,
                                std::int32_t allocated) {
  // Tables and header bypass the block IO: nothing read before holds.
  note_change(f);
  FileDef& def = f.def;
  const bool sections = t.count == &FileDef::nSections;
  if (sections && def.nSections < 1) return 0;

  const std::int32_t offset = def.lFileLen;
  def.*t.offset = offset;
  const std::int32_t count = def.*t.count;
  if (count < 0 || count > allocated) return report(DB_ERR_INCOMPLETE_FILE);
  const std::int64_t bytes = static_cast<std::int64_t>(count) * t.record_size;
  if (!range_fits(offset, bytes) || offset < 0) return report(DB_ERR_SEEK);
  for (DefField capacity : t.capacities) {
    if (capacity != nullptr) def.*capacity = count;
  }
  def.*t.length = static_cast<std::int32_t>(bytes);
  if (bytes == 0) return 0;
  const auto n = static_cast<std::int32_t>(bytes);
  const std::int32_t written = write_pieces(*f.pFile, offset, records, n, n);
  if (written < 0) return written;
  if (written < bytes) return report(DB_ERR_WRITE);
  raise_file_len(def, static_cast<std::int64_t>(offset) + written);
  return written;
}

// Reads the table from its stored offset into the records already
// allocated for it.
std::int32_t read_record_table(FileCtrl& f, const RecordTable& t, void* records,
                               std::int32_t allocated) {
  // Tables and header bypass the block IO: nothing read before holds.
  note_change(f);
  FileDef& def = f.def;
  if (t.count == &FileDef::nSections && def.nSections < 1) return 0;
  const std::int32_t length = def.*t.length;
  if (length < 0 ||
      static_cast<std::int64_t>(length) > static_cast<std::int64_t>(allocated) * t.record_size) {
    return report(DB_ERR_INCOMPLETE_FILE);
  }
  if (def.*t.offset < 0) return report(DB_ERR_SEEK);
  if (length == 0) return 0;
  const std::int32_t got = read_pieces(*f.pFile, def.*t.offset, records, length, length);
  if (got < length) return report(DB_ERR_READ);
  return length;
}

// ---- vectors ------------------------------------------------------------

// Bytes of n vector entries, or -1 when they pass 2^31 - 1.
std::int32_t entry_bytes(std::int32_t n) {
  const std::int64_t bytes = static_cast<std::int64_t>(n) * kEntrySize;
  return bytes <= INT32_MAX ? static_cast<std::int32_t>(bytes) : -1;
}

// The IndDataTypes and IndSections vectors: placed at their stored offset,
// or at lFileLen when they have none yet.
std::int32_t write_ind_vector(std::int32_t file_no, FileCtrl& f, std::int32_t* entries,
                              std::int32_t allocated, DefField count, DefField capacity,
                              DefField offset) {
  FileDef& def = f.def;
  if (def.*offset == -1) def.*offset = def.lFileLen;
  def.*capacity = def.*count;
  const std::int32_t n = def.*count;
  if (n < 0 || n > allocated || (n > 0 && entries == nullptr) || entry_bytes(n) < 0) {
    return report(DB_ERR_INCOMPLETE_FILE);
  }
  // Logged as dbCopyToFile from here on (also the short write below), as
  // when this step called the exported transfer.
  enter("dbCopyToFile", file_no);
  const std::int32_t result = copy_to_file(f, def.*offset, entries, entry_bytes(n));
  if (result >= 0 && result < entry_bytes(n)) return report(DB_ERR_WRITE);
  return result;
}

std::int32_t read_ind_vector(std::int32_t file_no, FileCtrl& f, std::int32_t* entries,
                             std::int32_t allocated, DefField count, DefField offset,
                             bool needs_place) {
  FileDef& def = f.def;
  if (needs_place && def.*offset < 0) return report(DB_ERR_NO_INDDATATYPES_PLACE);
  const std::int32_t n = def.*count;
  if (n < 0 || n > allocated || (n > 0 && entries == nullptr) || entry_bytes(n) < 0) {
    return report(DB_ERR_INCOMPLETE_FILE);
  }
  // Logged as dbCopyFromFile, as when this step called the exported transfer.
  enter("dbCopyFromFile", file_no);
  return copy_from_file(f, def.*offset, entries, entry_bytes(n));
}

}  // namespace

std::int32_t write_data_index(std::int32_t file_no, FileCtrl& f) {
  std::int64_t total = 0;  // vectors may share their bytes on a damaged file
  for (std::int32_t v = 0; v < f.def.nIndexVectors; ++v) {
    IndexCtrl* ctrl = index_ctrl(f, v);
    IndexVector* vec = index_vector(f, v);
    if (ctrl == nullptr || vec == nullptr || ctrl->lIndexLen < 0 ||
        ctrl->lIndexLen > vec->capacity || entry_bytes(ctrl->lIndexLen) < 0) {
      return report(DB_ERR_INCOMPLETE_FILE);
    }
    if (ctrl->lOffsetIndex == -1) ctrl->lOffsetIndex = f.def.lFileLen;
    // Logged as dbCopyToFile from here on (also the checks of the next
    // vector), as when this step called the exported transfer.
    enter("dbCopyToFile", file_no);
    const std::int32_t r =
        copy_to_file(f, ctrl->lOffsetIndex, vec->entries, entry_bytes(ctrl->lIndexLen));
    if (r < 0) return r;
    if (r < entry_bytes(ctrl->lIndexLen)) return report(DB_ERR_WRITE);
    total += r;
  }
  return static_cast<std::int32_t>(std::min<std::int64_t>(total, INT32_MAX));
}

std::int32_t read_data_index(std::int32_t file_no, FileCtrl& f) {
  std::int64_t total = 0;  // vectors may share their bytes on a damaged file
  for (std::int32_t v = 0; v < f.def.nIndexVectors; ++v) {
    IndexCtrl* ctrl = index_ctrl(f, v);
    IndexVector* vec = index_vector(f, v);
    if (ctrl == nullptr || vec == nullptr || ctrl->lIndexLen < 0 ||
        ctrl->lIndexLen > vec->capacity || entry_bytes(ctrl->lIndexLen) < 0) {
      return report(DB_ERR_INCOMPLETE_FILE);
    }
    // Logged as dbCopyFromFile from here on (also the checks of the next
    // vector), as when this step called the exported transfer.
    enter("dbCopyFromFile", file_no);
    const std::int32_t r =
        copy_from_file(f, ctrl->lOffsetIndex, vec->entries, entry_bytes(ctrl->lIndexLen));
    if (r < 0) return r;
    total += r;
  }
  return static_cast<std::int32_t>(std::min<std::int64_t>(total, INT32_MAX));
}

// ---- the record tables and the indirection vectors ----------------------

std::int32_t write_data_ctrl(std::int32_t, FileCtrl& f) {
  return write_record_table(f, kDataCtrlTable, f.pDataCtrl, f.nDataCtrlCap);
}
std::int32_t read_data_ctrl(std::int32_t, FileCtrl& f) {
  return read_record_table(f, kDataCtrlTable, f.pDataCtrl, f.nDataCtrlCap);
}
std::int32_t write_index_ctrl(std::int32_t, FileCtrl& f) {
  return write_record_table(f, kIndexCtrlTable, f.pIndexCtrl, f.nIndexCtrlCap);
}
std::int32_t read_index_ctrl(std::int32_t, FileCtrl& f) {
  return read_record_table(f, kIndexCtrlTable, f.pIndexCtrl, f.nIndexCtrlCap);
}
std::int32_t write_sections(std::int32_t, FileCtrl& f) {
  return write_record_table(f, kSectionTable, f.pSection, f.nSectionCap);
}
std::int32_t read_sections(std::int32_t, FileCtrl& f) {
  return read_record_table(f, kSectionTable, f.pSection, f.nSectionCap);
}

std::int32_t write_ind_data_types(std::int32_t file_no, FileCtrl& f) {
  return write_ind_vector(file_no, f, f.pIndDataTypes, f.nIndDataTypesCap, &FileDef::nIndDataTypes,
                          &FileDef::nIndDataTypesX, &FileDef::lOffsetIndDataTypes);
}
std::int32_t read_ind_data_types(std::int32_t file_no, FileCtrl& f) {
  return read_ind_vector(file_no, f, f.pIndDataTypes, f.nIndDataTypesCap, &FileDef::nIndDataTypes,
                         &FileDef::lOffsetIndDataTypes, true);
}
std::int32_t write_ind_sections(std::int32_t file_no, FileCtrl& f) {
  return write_ind_vector(file_no, f, f.pIndSections, f.nIndSectionsCap, &FileDef::nIndSections,
                          &FileDef::nIndSectionsX, &FileDef::lOffsetIndSections);
}
std::int32_t read_ind_sections(std::int32_t file_no, FileCtrl& f) {
  return read_ind_vector(file_no, f, f.pIndSections, f.nIndSectionsCap, &FileDef::nIndSections,
                         &FileDef::lOffsetIndSections, false);
}

}  // namespace rb
