#include "file/open_checks.h"

#include <algorithm>
#include <cstddef>

#include "file/stream.h"
#include "sections/sections.h"

namespace rb {

namespace {

bool in_range(std::int32_t value, std::int32_t low, std::int32_t end) {
  return value >= low && value < end;
}

// A data type's index or iterator vector (v, -1 for none) is its own: of
// that kind and owned by catalogue entry k, so no two types share one.
bool vector_owned(FileCtrl& f, std::int32_t v, std::int32_t kind, std::int32_t k) {
  if (v == -1) return true;
  const IndexCtrl* ic = index_ctrl(f, v);
  return ic != nullptr && ic->nIndexType == kind && ic->nOwnerNo == k;
}

// The entries of an indexed type's index vector: -1, or the slot of a
// record the type counts, or for singly placed records a place that lies
// in the file. A slot or place beyond would make the next write of that
// record grow or fill the file by up to 2 GB.
bool index_entries_fit(FileCtrl& f, const DataCtrl& dc) {
  if ((dc.nFlags & kTypeIndex) == 0) return true;
  const IndexCtrl* ic = index_ctrl(f, dc.nIndexNo);
  const IndexVector* vec = index_vector(f, dc.nIndexNo);
  if (ic == nullptr || vec == nullptr) return true;  // refused with -51 when used
  const bool placed = (dc.nFlags & kTypePlaced) != 0;
  const std::int32_t length = std::min(ic->lIndexLen, vec->capacity);
  for (std::int32_t i = 0; i < length; ++i) {
    const std::int32_t e = vec->entries[i];
    if (e == -1) continue;
    const bool fits = placed
                          ? e >= 0 && static_cast<std::int64_t>(e) + dc.nDataSize <= f.def.lFileLen
                          : in_range(e, 0, dc.lFileRecs);
    if (!fits) return false;
  }
  return true;
}

// The stored length of a table of count records of size bytes, the product
// taken without overflow.
bool table_length_is(std::int32_t length, std::int32_t count, std::size_t size) {
  return static_cast<std::int64_t>(length) ==
         static_cast<std::int64_t>(count) * static_cast<std::int64_t>(size);
}

}  // namespace

std::int32_t check_header(const FileDef& d) {
  if (d.nIndexCtrlSize != static_cast<std::int32_t>(sizeof(IndexCtrl)) ||
      d.nDataCtrlSize != static_cast<std::int32_t>(sizeof(DataCtrl)) ||
      d.nSectionSize != static_cast<std::int32_t>(sizeof(Section))) {
    return -101;
  }
  const bool counts_fit = d.nDataTypes >= 0 && d.nDataTypes <= d.nDataTypesX &&
                          d.nIndexCtrls >= 0 && d.nIndexCtrls <= d.nIndexCtrlsX &&
                          d.nIndexVectors == d.nIndexCtrls && d.nIndexVectors <= d.nIndexVectorsX &&
                          d.nSections >= 0 && d.nSections <= d.nSectionsX && d.nIndDataTypes >= 0 &&
                          d.nIndDataTypes <= d.nIndDataTypesX && d.nIndSections >= 0;
  if (!counts_fit) return -100;
  // Without a capacity the IndSections vector is not read, so it may have
  // no entries either: a close could not store entries it never had.
  if (d.nIndSections > std::max(d.nIndSectionsX, 0)) return -100;
  // Each stored table length is its count of records times the record
  // size; a count whose length passes 2^31 - 1 matches none.
  if (!table_length_is(d.nLenDataCtrl, d.nDataTypes, sizeof(DataCtrl)) ||
      !table_length_is(d.nLenIndexCtrl, d.nIndexCtrls, sizeof(IndexCtrl)) ||
      (d.nSections > 0 && !table_length_is(d.nLenSection, d.nSections, sizeof(Section)))) {
    return -100;
  }
  if (d.lFileLen < kHeaderBlockSize || d.lOffsetVectors < kHeaderBlockSize ||
      d.lOffsetVectors > d.lFileLen) {
    return -100;
  }
  return 0;
}

bool table_fits(std::int64_t count, std::int64_t size, std::int64_t file_size) {
  return count >= 0 && count * size <= file_size;
}

std::int32_t check_index_ctrls(const FileCtrl& f, std::int64_t file_size) {
  for (std::int32_t v = 0; v < f.def.nIndexCtrls; ++v) {
    const IndexCtrl& c = f.pIndexCtrl[v];
    if (!table_fits(c.lIndexLen, 4, file_size) || !range_fits(c.lOffsetIndex, c.lIndexLen * 4LL)) {
      return -100;
    }
  }
  return 0;
}

std::int32_t check_tables(FileCtrl& f) {
  const FileDef& d = f.def;
  for (std::int32_t t = 0; t < d.nIndDataTypes; ++t) {
    if (!in_range(f.pIndDataTypes[t], -1, d.nDataTypes)) return -100;
  }
  for (std::int32_t n = 0; n < ind_sections_len(f); ++n) {
    if (!in_range(f.pIndSections[n], -1, d.nSections)) return -100;
  }
  for (std::int32_t k = 0; k < d.nDataTypes; ++k) {
    const DataCtrl& dc = f.pDataCtrl[k];
    // An entry whose declaration was refused half-way keeps zero sizes and
    // an empty area; it is never addressed.
    const bool refused = dc.nDataSize == 0 && dc.lMaxBlockRecs == 0 && dc.lLenData == 0;
    const bool sizes =
        refused || (dc.nDataSize >= 1 && dc.nBlockSize >= dc.nDataSize && dc.lBlockRecs >= 0 &&
                    dc.lMaxBlockRecs >= 0 && dc.lFileRecs >= 0 &&
                    dc.lLenData == static_cast<std::int64_t>(dc.lMaxBlockRecs) * dc.nBlockSize);
    // Areas lie in the data area, behind the header block.
    if (!sizes || dc.lOffsetData < kHeaderBlockSize || !range_fits(dc.lOffsetData, dc.lLenData)) {
      return -100;
    }
    // Every record counted was written, and flushed before the close.
    if (records_end(dc) > d.lFileLen || !index_entries_fit(f, dc)) return -100;
    if (!vector_owned(f, dc.nIndexNo, kVectorIndex, k) ||
        !vector_owned(f, dc.nIteratorNo, kVectorIterator, k)) {
      return -100;
    }
    if (!in_range(dc.nIndexNo, -1, d.nIndexVectors) ||
        !in_range(dc.nIteratorNo, -1, d.nIndexVectors) ||
        !in_range(dc.nSectionIndexNo, -1, d.nSections)) {
      return -100;
    }
  }
  // Sections: buckets, key handles and the current key's data types.
  for (std::int32_t s = 0; s < d.nSections; ++s) {
    if (!section_consistent(f, f.pSection[s])) return -100;
  }
  if (!in_range(d.nDataCtrlOpen, -1, d.nDataTypes) ||
      !in_range(d.nOpenSectionHandle, -1, d.nSections) ||
      !in_range(d.nActiveSectionHandle, -1, d.nSections)) {
    return -100;
  }
  return 0;
}

}  // namespace rb
