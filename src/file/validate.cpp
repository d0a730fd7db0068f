#include "file/validate.h"
#include "recbase.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace rb {

namespace {

constexpr std::int64_t kMaxOffset = INT32_MAX;
constexpr std::int32_t kKeySize = sizeof(KeyRecord);

bool in_range(std::int64_t value, std::int64_t low, std::int64_t end) {
  return value >= low && value < end;
}

bool range_ok(std::int64_t offset, std::int64_t length) {
  return offset >= 0 && length >= 0 && offset + length <= kMaxOffset;
}

// Finding on a header field at its offset in the FileDef.
Finding header(const char* rule, const char* field, std::size_t at, std::int64_t seen,
               std::int64_t bound, std::int32_t code = DB_ERR_INCOMPLETE_FILE) {
  return {rule, field, -1, static_cast<std::int64_t>(at), seen, bound, code};
}

// Finding on a field of entry `entry` of a table stored at `table`.
template <class Record>
Finding record(const char* rule, const char* field, std::int32_t entry, std::int64_t table,
               std::size_t at, std::int64_t seen, std::int64_t bound) {
  const std::int64_t offset =
      table < 0 ? -1 : table + static_cast<std::int64_t>(entry) * sizeof(Record) + at;
  return {rule, field, entry, offset, seen, bound, -100};
}

}  // namespace

std::int32_t table_entries(const FileDef& d, std::int64_t offset, std::int32_t count,
                           std::int32_t length, std::int64_t size) {
  if (count >= 0 && length == count * size) return count;
  if (length <= 0 || length % size != 0) return -1;
  // The room up to the next table behind this one, or to the end of the
  // file: a commit writes the tables end to end.
  std::int64_t next = d.lFileLen;
  for (const std::int64_t o : {d.lOffsetIndexCtrl, d.lOffsetDataCtrl, d.lOffsetSection,
                               d.lOffsetIndDataTypes, d.lOffsetIndSections}) {
    if (o > offset && o < next) next = o;
  }
  return offset >= kHeaderBlockSize && next - offset == length
             ? static_cast<std::int32_t>(length / size)
             : -1;
}

namespace {

#define RB_HEADER(rule, field, seen, bound) \
  header(rule, #field, offsetof(FileDef, field), seen, bound)

bool judge_counts(const FileDef& d, Verdict& v) {
  struct Count {
    const char* field;
    std::size_t at;
    std::int32_t count;
    std::int32_t capacity;
  };
  // Without a capacity the IndSections vector is not read, so it may have
  // no entries either: a close could not store entries it never had.
  const Count counts[] = {
      {"nDataTypes", offsetof(FileDef, nDataTypes), d.nDataTypes, d.nDataTypesX},
      {"nIndexCtrls", offsetof(FileDef, nIndexCtrls), d.nIndexCtrls, d.nIndexCtrlsX},
      {"nIndexVectors", offsetof(FileDef, nIndexVectors), d.nIndexVectors, d.nIndexVectorsX},
      {"nSections", offsetof(FileDef, nSections), d.nSections, d.nSectionsX},
      {"nIndDataTypes", offsetof(FileDef, nIndDataTypes), d.nIndDataTypes, d.nIndDataTypesX},
      {"nIndSections", offsetof(FileDef, nIndSections), d.nIndSections,
       std::max(d.nIndSectionsX, 0)}};
  for (const Count& c : counts) {
    if ((c.count < 0 || c.count > c.capacity) &&
        !v.add(header("count-above-capacity", c.field, c.at, c.count, c.capacity))) {
      return false;
    }
  }
  if (d.nIndexVectors != d.nIndexCtrls &&
      !v.add(RB_HEADER("vector-count", nIndexVectors, d.nIndexVectors, d.nIndexCtrls))) {
    return false;
  }
  // Each stored table length is its count of records times the record
  // size; a count whose length passes 2^31 - 1 matches none. When they
  // differ, the table area says which one is damaged: the stored length
  // that fills the room up to the next table is right, and the count is
  // blamed (once: above its capacity it is blamed already).
  struct Length {
    const char* field;
    std::size_t at;
    std::int32_t length;
    std::int32_t count;
    const Count& counted;  // the header count that count comes from
    std::int32_t offset;
    std::int64_t size;
  };
  const Length lengths[] = {
      {"nLenDataCtrl", offsetof(FileDef, nLenDataCtrl), d.nLenDataCtrl, d.nDataTypes, counts[0],
       d.lOffsetDataCtrl, sizeof(DataCtrl)},
      {"nLenIndexCtrl", offsetof(FileDef, nLenIndexCtrl), d.nLenIndexCtrl, d.nIndexCtrls, counts[1],
       d.lOffsetIndexCtrl, sizeof(IndexCtrl)},
      {"nLenSection", offsetof(FileDef, nLenSection), d.nSections > 0 ? d.nLenSection : 0,
       std::max(d.nSections, 0), counts[3], d.lOffsetSection, sizeof(Section)}};
  for (const Length& l : lengths) {
    const std::int64_t expected = l.count * l.size;
    if (l.length == expected) continue;
    const Count& c = l.counted;
    if (table_entries(d, l.offset, l.count, l.length, l.size) < 0) {
      if (!v.add(header("table-length", l.field, l.at, l.length, expected))) return false;
    } else if (c.count >= 0 && c.count <= c.capacity &&
               !v.add(header("table-count", c.field, c.at, l.count, l.length / l.size))) {
      return false;
    }
  }
  return true;
}

// The tables of one file under judgment.
class TableJudge {
 public:
  TableJudge(const LayoutView& l, Verdict& v) : l_(l), d_(*l.def), v_(v) {}

  bool all() { return numbers() && types() && sections() && handles() && table_area(); }

 private:
  bool type_fail(const char* rule, const char* field, std::int32_t k, std::size_t at,
                 std::int64_t seen, std::int64_t bound) {
    return v_.add(record<DataCtrl>(rule, field, k, d_.lOffsetDataCtrl, at, seen, bound));
  }

  // IndDataTypes and IndSections name entries that carry their number.
  bool numbers() {
    for (std::int32_t t = 0; t < l_.n_ind_types; ++t) {
      const std::int32_t k = l_.ind_types[t];
      if (k == -1) continue;
      const bool named = in_range(k, 0, l_.n_types) && l_.types[k].nType == t &&
                         (l_.types[k].nFlags & kTypeBucket) == 0 &&
                         l_.types[k].nSectionIndexNo == -1;
      // Seen: the entry named; against: the number it carries (or the
      // size of the catalogue when it names none).
      const std::int32_t number = in_range(k, 0, l_.n_types) ? l_.types[k].nType : l_.n_types;
      if (!named && !v_.add({"type-number", "IndDataTypes", t, entry_at(d_.lOffsetIndDataTypes, t),
                             k, number, -100})) {
        return false;
      }
    }
    for (std::int32_t n = 0; n < l_.n_ind_sections; ++n) {
      const std::int32_t s = l_.ind_sections[n];
      if (s == -1) continue;
      const bool named = in_range(s, 0, l_.n_sections) && l_.sections[s].nSectionType == n;
      if (!named && !v_.add({"section-number", "IndSections", n, entry_at(d_.lOffsetIndSections, n),
                             s, l_.n_sections, -100})) {
        return false;
      }
    }
    return true;
  }

  static std::int64_t entry_at(std::int64_t table, std::int64_t i) {
    return table < 0 ? -1 : table + kEntrySize * i;
  }

  bool types() {
    for (std::int32_t k = 0; k < l_.n_types; ++k) {
      areas_end_ =
          std::max(areas_end_, l_.types[k].lOffsetData + std::int64_t{l_.types[k].lLenData});
    }
    std::int64_t area_end = kHeaderBlockSize;
    for (std::int32_t k = 0; k < l_.n_types; ++k) {
      if (!type(k, area_end)) return false;
      area_end = std::max<std::int64_t>(
          area_end, l_.types[k].lOffsetData + std::int64_t{l_.types[k].lLenData});
    }
    return true;
  }

  // The first size of a catalogue entry that does not agree with those
  // before it (record, block, records a block, blocks, records, area
  // length); no field when they all agree. An entry whose declaration was
  // refused half-way keeps zero sizes and an empty area; it is never
  // addressed.
  struct SizeFault {
    const char* field = nullptr;
    std::size_t at = 0;
    std::int64_t seen = 0;
    std::int64_t bound = 0;
  };
  static SizeFault size_fault(const DataCtrl& dc) {
    if (dc.nDataSize == 0 && dc.lMaxBlockRecs == 0 && dc.lLenData == 0) return {};
    if (dc.nDataSize < 1) return {"nDataSize", offsetof(DataCtrl, nDataSize), dc.nDataSize, 1};
    if (dc.nBlockSize < dc.nDataSize) {
      return {"nBlockSize", offsetof(DataCtrl, nBlockSize), dc.nBlockSize, dc.nDataSize};
    }
    if (dc.lBlockRecs != dc.nBlockSize / dc.nDataSize) {
      return {"lBlockRecs", offsetof(DataCtrl, lBlockRecs), dc.lBlockRecs,
              dc.nBlockSize / dc.nDataSize};
    }
    if (dc.lMaxBlockRecs < 0)
      return {"lMaxBlockRecs", offsetof(DataCtrl, lMaxBlockRecs), dc.lMaxBlockRecs, 0};
    if (dc.lFileRecs < 0) return {"lFileRecs", offsetof(DataCtrl, lFileRecs), dc.lFileRecs, 0};
    const std::int64_t length = std::int64_t{dc.lMaxBlockRecs} * dc.nBlockSize;
    if (dc.lLenData != length)
      return {"lLenData", offsetof(DataCtrl, lLenData), dc.lLenData, length};
    return {};
  }

  // Catalogue entry k; previous_end is where the area before it ends.
  bool type(std::int32_t k, std::int64_t previous_end) {
    const DataCtrl& dc = l_.types[k];
    const SizeFault fault = size_fault(dc);
    const bool sizes = fault.field == nullptr;
    if (!sizes && !type_fail("type-sizes", fault.field, k, fault.at, fault.seen, fault.bound)) {
      return false;
    }
    // Areas lie in the data area, one behind the other in catalogue order.
    if ((dc.lOffsetData < kHeaderBlockSize || !range_ok(dc.lOffsetData, dc.lLenData)) &&
        !type_fail("area-place", "lOffsetData", k, offsetof(DataCtrl, lOffsetData), dc.lOffsetData,
                   kHeaderBlockSize)) {
      return false;
    }
    if (dc.lOffsetData < previous_end &&
        !type_fail("area-overlap", "lOffsetData", k, offsetof(DataCtrl, lOffsetData),
                   dc.lOffsetData, previous_end)) {
      return false;
    }
    return !sizes || (records(k, dc) && index_entries(k, dc) && type_vectors(k, dc));
  }

  // Every record counted lies in the area and was written before the
  // commit, below the data boundary.
  bool records(std::int32_t k, const DataCtrl& dc) {
    const bool blocks = (dc.nFlags & kTypePlaced) == 0 && dc.lFileRecs > 0;
    const std::int64_t slots = std::int64_t{dc.lMaxBlockRecs} * dc.lBlockRecs;
    if (blocks && dc.lFileRecs > slots &&
        !type_fail("records-past-area", "lFileRecs", k, offsetof(DataCtrl, lFileRecs), dc.lFileRecs,
                   slots)) {
      return false;
    }
    const std::int64_t limit = blocks ? d_.lOffsetVectors : d_.lFileLen;
    return records_end(dc) <= limit ||
           type_fail("records-past-data", "lFileRecs", k, offsetof(DataCtrl, lFileRecs),
                     records_end(dc), limit);
  }

  // The entries of an indexed type's index vector: -1, or the slot of a
  // record the type counts, or for singly placed records a place behind
  // every area and below the data boundary. A slot or place beyond would make the next write of
  // that record grow or fill the file by up to 2 GB, or read another's bytes.
  bool index_entries(std::int32_t k, const DataCtrl& dc) {
    if ((dc.nFlags & kTypeIndex) == 0 || !in_range(dc.nIndexNo, 0, l_.n_vectors)) return true;
    const IndexCtrl& ic = l_.index_ctrls[dc.nIndexNo];
    const IndexVector& vec = l_.vectors[dc.nIndexNo];
    const bool placed = (dc.nFlags & kTypePlaced) != 0;
    const std::int32_t length = std::min(ic.lIndexLen, vec.capacity);
    for (std::int32_t i = 0; i < length; ++i) {
      const std::int32_t e = vec.entries[i];
      if (e == -1) continue;
      const bool fits = placed ? e >= areas_end_ && static_cast<std::int64_t>(e) + dc.nDataSize <=
                                                        d_.lOffsetVectors
                               : in_range(e, 0, dc.lFileRecs);
      if (!fits && !v_.add({placed ? "placed-record" : "index-slot", "index entry", k,
                            entry_at(ic.lOffsetIndex, i), e,
                            placed ? d_.lOffsetVectors : dc.lFileRecs, -100})) {
        return false;
      }
    }
    return true;
  }

  // A data type's index or iterator vector (v, -1 for none) is its own: of
  // that kind and owned by catalogue entry k, so no two types share one.
  bool owned(std::int32_t v, std::int32_t kind, std::int32_t owner) const {
    if (v == -1) return true;
    return in_range(v, 0, l_.n_vectors) && l_.index_ctrls[v].nIndexType == kind &&
           l_.index_ctrls[v].nOwnerNo == owner;
  }

  bool type_vectors(std::int32_t k, const DataCtrl& dc) {
    if (!owned(dc.nIndexNo, kVectorIndex, k) &&
        !type_fail("vector-owner", "nIndexNo", k, offsetof(DataCtrl, nIndexNo), dc.nIndexNo,
                   l_.n_vectors)) {
      return false;
    }
    if (!owned(dc.nIteratorNo, kVectorIterator, k) &&
        !type_fail("vector-owner", "nIteratorNo", k, offsetof(DataCtrl, nIteratorNo),
                   dc.nIteratorNo, l_.n_vectors)) {
      return false;
    }
    return in_range(dc.nSectionIndexNo, -1, l_.n_sections) ||
           type_fail("section-index", "nSectionIndexNo", k, offsetof(DataCtrl, nSectionIndexNo),
                     dc.nSectionIndexNo, l_.n_sections);
  }

  // The bucket b of section s: a catalogue entry of key records.
  const DataCtrl* bucket(const Section& s, std::int32_t b) const {
    if (!in_range(b, 0, s.nBuckets)) return nullptr;
    const DataCtrl& dc = l_.types[s.nHashFstDataCtrlHandle + b];
    if ((dc.nFlags & kTypeBucket) == 0 || dc.nDataSize != kKeySize) return nullptr;
    // Every key record lies in the bucket's area.
    const bool keys_fit =
        dc.nBlockSize >= kKeySize && dc.lBlockRecs == dc.nBlockSize / kKeySize &&
        in_range(dc.lFileRecs, 0, std::int64_t{dc.lBlockRecs} * dc.lMaxBlockRecs + 1);
    return keys_fit ? &dc : nullptr;
  }

  // A key handle (bucket, record) is either none (-1, -1) or a key record
  // that the bucket holds.
  bool key_handle(const Section& s, std::int32_t b, std::int32_t rec) const {
    if (b == -1 && rec == -1) return true;
    const DataCtrl* dc = bucket(s, b);
    return dc != nullptr && in_range(rec, 0, dc->lFileRecs);
  }

  // Buckets, key handles and the data types of the current key.
  bool section(std::int32_t i, const Section& s) {
    const auto fail = [&](const char* rule, const char* field, std::size_t at, std::int64_t seen,
                          std::int64_t bound) {
      return v_.add(record<Section>(rule, field, i, d_.lOffsetSection, at, seen, bound));
    };
    if (!owned(s.nDataTypeIndexNo, kVectorSection, i) &&
        !fail("vector-owner", "nDataTypeIndexNo", offsetof(Section, nDataTypeIndexNo),
              s.nDataTypeIndexNo, l_.n_vectors)) {
      return false;
    }
    // A section without buckets (added by dbAddSection alone) has no keys
    // and is refused by every key operation; nothing else of it is used.
    if (s.nHashFstDataCtrlHandle == -1) return true;
    if (!valid_key_depth(s.nKeys) &&
        !fail("key-depth", "nKeys", offsetof(Section, nKeys), s.nKeys, kMaxKeyLevels)) {
      return false;
    }
    const bool placed = s.nHashFstDataCtrlHandle >= 0 &&
                        std::int64_t{s.nHashFstDataCtrlHandle} + s.nBuckets <= l_.n_types &&
                        bucket_layout_fits(s.nBuckets, s.nBucketMsk, kKeySize);
    if (!placed) {
      return fail("buckets", "nHashFstDataCtrlHandle", offsetof(Section, nHashFstDataCtrlHandle),
                  s.nHashFstDataCtrlHandle, l_.n_types);
    }
    for (std::int32_t b = 0; b < s.nBuckets; ++b) {
      if (bucket(s, b) == nullptr &&
          !fail("bucket-type", "nBuckets", offsetof(Section, nBuckets), b, s.nBuckets)) {
        return false;
      }
    }
    if (!key_handle(s, s.nFstKeyBucket, s.lFstKeyHandle) &&
        !fail("key-handle", "lFstKeyHandle", offsetof(Section, lFstKeyHandle), s.lFstKeyHandle,
              s.nFstKeyBucket)) {
      return false;
    }
    if (!key_handle(s, s.nLstKeyBucket, s.lLstKeyHandle) &&
        !fail("key-handle", "lLstKeyHandle", offsetof(Section, lLstKeyHandle), s.lLstKeyHandle,
              s.nLstKeyBucket)) {
      return false;
    }
    if (s.lLstKeyHandle == -1) return true;
    for (std::int32_t p = 0; p < kSectionPlaces; ++p) {
      if (!in_range(s.nIndDataCtrl[p], -1, l_.n_types) &&
          !fail("key-type", "nIndDataCtrl", offsetof(Section, nIndDataCtrl) + kEntrySize * p,
                s.nIndDataCtrl[p], l_.n_types)) {
        return false;
      }
    }
    return true;
  }

  bool sections() {
    for (std::int32_t i = 0; i < l_.n_sections; ++i) {
      if (!section(i, l_.sections[i])) return false;
    }
    return true;
  }

  bool handles() {
    struct Handle {
      const char* field;
      std::size_t at;
      std::int32_t value;
      std::int32_t end;
    };
    const Handle handles[] = {
        {"nDataCtrlOpen", offsetof(FileDef, nDataCtrlOpen), d_.nDataCtrlOpen, l_.n_types},
        {"nOpenSectionHandle", offsetof(FileDef, nOpenSectionHandle), d_.nOpenSectionHandle,
         l_.n_sections},
        {"nActiveSectionHandle", offsetof(FileDef, nActiveSectionHandle), d_.nActiveSectionHandle,
         l_.n_sections}};
    for (const Handle& h : handles) {
      if (!in_range(h.value, -1, h.end) &&
          !v_.add(header("open-handle", h.field, h.at, h.value, h.end))) {
        return false;
      }
    }
    return true;
  }

  // The tables and vectors lie end to end in the table area, in the order
  // a commit writes them: the index vectors, the IndexCtrl, DataCtrl and
  // Section tables, the IndDataTypes and IndSections vectors. None
  // overlaps another, the data or the end of the file.
  bool table_area() {
    std::int64_t end = d_.lOffsetVectors;
    const auto next = [&](const char* field, std::int32_t entry, std::int64_t offset,
                          std::int64_t length) {
      if (length <= 0) return true;
      const bool fits = offset >= end && offset + length <= d_.lFileLen;
      if (fits) {
        end = offset + length;
        return true;
      }
      return v_.add({"table-place", field, entry, -1, offset, end, -100});
    };
    for (std::int32_t i = 0; i < l_.n_vectors; ++i) {
      const IndexCtrl& c = l_.index_ctrls[i];
      if (!next("lOffsetIndex", i, c.lOffsetIndex, c.lIndexLen * std::int64_t{kEntrySize}))
        return false;
    }
    return next("lOffsetIndexCtrl", -1, d_.lOffsetIndexCtrl, d_.nLenIndexCtrl) &&
           next("lOffsetDataCtrl", -1, d_.lOffsetDataCtrl, d_.nLenDataCtrl) &&
           next("lOffsetSection", -1, d_.lOffsetSection, d_.nSections > 0 ? d_.nLenSection : 0) &&
           next("lOffsetIndDataTypes", -1, d_.lOffsetIndDataTypes,
                l_.n_ind_types * std::int64_t{kEntrySize}) &&
           next("lOffsetIndSections", -1, d_.lOffsetIndSections,
                d_.nIndSectionsX > 0 ? d_.nIndSections * std::int64_t{kEntrySize} : 0);
  }

  const LayoutView& l_;
  const FileDef& d_;
  Verdict& v_;
  std::int64_t areas_end_ = kHeaderBlockSize;  // behind the area of every type
};

}  // namespace

bool Verdict::add(const Finding& finding) {
  if (code_ == 0) code_ = finding.code;
  if (sink_ == nullptr) return false;
  sink_(context_, finding);
  return true;
}

bool judge_identity(const FileDef& def, Verdict& v) {
  if (std::memcmp(def.cFormat, kFormatId, kFormatIdCheckLen) == 0) return true;
  return v.add(header("format", "cFormat", 0, def.cFormat[0], 'T', kForeignFormat));
}

bool judge_header(const FileDef& d, std::int64_t file_size, Verdict& v) {
  if (d.lOffsetIndDataTypes < 0 &&
      !v.add(header("never-closed", "lOffsetIndDataTypes", offsetof(FileDef, lOffsetIndDataTypes),
                    d.lOffsetIndDataTypes, 0, kNeverClosed))) {
    return false;
  }
  struct Size {
    const char* field;
    std::size_t at;
    std::int32_t seen;
    std::int32_t size;
  };
  const Size sizes[] = {
      {"nIndexCtrlSize", offsetof(FileDef, nIndexCtrlSize), d.nIndexCtrlSize, sizeof(IndexCtrl)},
      {"nDataCtrlSize", offsetof(FileDef, nDataCtrlSize), d.nDataCtrlSize, sizeof(DataCtrl)},
      {"nSectionSize", offsetof(FileDef, nSectionSize), d.nSectionSize, sizeof(Section)}};
  for (const Size& s : sizes) {
    if (s.seen != s.size &&
        !v.add(header("record-size", s.field, s.at, s.seen, s.size, kForeignFormat))) {
      return false;
    }
  }
  if (!judge_counts(d, v)) return false;
  if (d.lFileLen < kHeaderBlockSize &&
      !v.add(RB_HEADER("file-length", lFileLen, d.lFileLen, kHeaderBlockSize))) {
    return false;
  }
  if ((d.lOffsetVectors < kHeaderBlockSize || d.lOffsetVectors > d.lFileLen) &&
      !v.add(RB_HEADER("data-boundary", lOffsetVectors, d.lOffsetVectors, d.lFileLen))) {
    return false;
  }
  // Every byte up to the stored length was written before the last
  // commit; a shorter file has lost part of its tables (a torn file).
  return file_size >= d.lFileLen || v.add(RB_HEADER("truncated", lFileLen, d.lFileLen, file_size));
}

bool judge_capacity(const char* field, std::int32_t count, std::int64_t entry_size,
                    std::int64_t file_size, Verdict& v) {
  if (count >= 0 && count * entry_size <= file_size) return true;
  return v.add({"capacity-beyond-file", field, -1, -1, count, file_size / entry_size, -100});
}

bool judge_index_ctrls(const FileDef& def, const IndexCtrl* ctrls, std::int64_t file_size,
                       Verdict& v) {
  for (std::int32_t i = 0; i < def.nIndexCtrls; ++i) {
    const IndexCtrl& c = ctrls[i];
    const std::int64_t at = def.lOffsetIndexCtrl;
    if ((c.lIndexLen < 0 || c.lIndexLen * std::int64_t{kEntrySize} > file_size) &&
        !v.add(record<IndexCtrl>("vector-beyond-file", "lIndexLen", i, at,
                                 offsetof(IndexCtrl, lIndexLen), c.lIndexLen,
                                 file_size / kEntrySize))) {
      return false;
    }
    if (!range_ok(c.lOffsetIndex, c.lIndexLen * std::int64_t{kEntrySize}) &&
        !v.add(record<IndexCtrl>("vector-beyond-2g", "lOffsetIndex", i, at,
                                 offsetof(IndexCtrl, lOffsetIndex), c.lOffsetIndex, kMaxOffset))) {
      return false;
    }
  }
  return true;
}

bool judge_sections_named(const FileDef& d, Verdict& v) {
  if (d.nSections < 1 || (d.nIndSectionsX > 0 && d.nSectionsX > 0)) return true;
  return v.add(RB_HEADER("sections-unnamed", nIndSectionsX, d.nIndSectionsX, 1));
}

bool bucket_layout_fits(std::int32_t buckets, std::int32_t mask, std::int32_t block) {
  // The largest bucket a masked sum can select is the mask itself.
  if (buckets < 1 || mask < 0 || mask >= buckets) return false;
  if (block < kKeySize) return false;
  // Every bucket gets at least one block of the file.
  return static_cast<std::int64_t>(buckets) * block <= INT32_MAX - kHeaderBlockSize;
}

bool judge_tables(const LayoutView& layout, Verdict& v) { return TableJudge(layout, v).all(); }

std::int64_t records_end(const DataCtrl& dc) {
  if (dc.lFileRecs < 1 || dc.lBlockRecs < 1 || (dc.nFlags & kTypePlaced) != 0) {
    return dc.lOffsetData;
  }
  const std::int64_t blocks = (static_cast<std::int64_t>(dc.lFileRecs) - 1) / dc.lBlockRecs + 1;
  return dc.lOffsetData + blocks * dc.nBlockSize;
}

}  // namespace rb

namespace rb {

namespace {

// Reads the tables of a file as dbOpen's readers do, with the rules those
// readers hold the file to: a table at a negative offset (-12) or beyond
// the device (-14), a vector beyond the stored length (-20).
class Loader {
 public:
  Loader(ReadAt read, void* context, FileLayout& out, Verdict& v)
      : read_(read), context_(context), out_(out), d_(out.def), v_(v) {}

  bool load() {
    if (!capacity("nIndDataTypesX", d_.nIndDataTypesX, kEntrySize) ||
        !vector("lOffsetIndDataTypes", -1, d_.lOffsetIndDataTypes, d_.nIndDataTypes,
                out_.ind_types)) {
      return false;
    }
    if (d_.nIndSectionsX > 0 && (!capacity("nIndSectionsX", d_.nIndSectionsX, kEntrySize) ||
                                 !vector("lOffsetIndSections", -1, d_.lOffsetIndSections,
                                         d_.nIndSections, out_.ind_sections))) {
      return false;
    }
    if (!capacity("nDataTypesX", d_.nDataTypesX, sizeof(DataCtrl)) ||
        !table("lOffsetDataCtrl", d_.lOffsetDataCtrl, d_.nDataTypes, d_.nLenDataCtrl, out_.types) ||
        !capacity("nIndexCtrlsX", d_.nIndexCtrlsX, sizeof(IndexCtrl)) ||
        !table("lOffsetIndexCtrl", d_.lOffsetIndexCtrl, d_.nIndexCtrls, d_.nLenIndexCtrl,
               out_.index_ctrls)) {
      return false;
    }
    if (d_.nIndexVectorsX > 0 && !index_vectors()) return false;
    if (d_.nIndSectionsX > 0 && d_.nSectionsX > 0) {
      return capacity("nSectionsX", d_.nSectionsX, sizeof(Section)) &&
             (d_.nSections < 1 || table("lOffsetSection", d_.lOffsetSection, d_.nSections,
                                        d_.nLenSection, out_.sections));
    }
    return judge_sections_named(d_, v_);
  }

 private:
  bool capacity(const char* field, std::int32_t count, std::int64_t size) {
    return judge_capacity(field, count, size, out_.size, v_);
  }

  template <class T>
  bool fetch(std::int64_t offset, std::int32_t count, std::vector<T>& into) {
    into.resize(static_cast<std::size_t>(count));
    if (count == 0 || read_(context_, offset, into.data(), count * std::int64_t{sizeof(T)})) {
      return true;
    }
    into.clear();
    return false;
  }

  bool vector(const char* field, std::int32_t entry, std::int64_t offset, std::int32_t count,
              std::vector<std::int32_t>& into) {
    if (count < 0 || count * std::int64_t{kEntrySize} > out_.size)
      return true;  // judged by the header
    const std::int64_t length = count * std::int64_t{kEntrySize};
    if (offset + length > d_.lFileLen) {
      return v_.add({"vector-past-end", field, entry, -1, offset + length, d_.lFileLen, -20});
    }
    if (length > 0 && offset < 0) {
      return v_.add({"table-offset", field, entry, -1, offset, 0, -12});
    }
    return fetch(offset, count, into) ||
           v_.add({"table-short", field, entry, -1, offset + length, out_.size, -14});
  }

  // A table of count entries stored in length bytes; when the two differ,
  // the entries the table area shows (table_entries) are read, so that the
  // tables are judged as they are, not as the damaged count says.
  template <class T>
  bool table(const char* field, std::int64_t offset, std::int32_t count, std::int32_t length,
             std::vector<T>& into) {
    count = table_entries(d_, offset, count, length, sizeof(T));
    if (count < 0 || length > out_.size) return true;
    if (offset < 0) return v_.add({"table-offset", field, -1, -1, offset, 0, -12});
    return fetch(offset, count, into) ||
           v_.add({"table-short", field, -1, -1, offset + length, out_.size, -14});
  }

  bool index_vectors() {
    if (out_.index_ctrls.size() != static_cast<std::size_t>(std::max(d_.nIndexCtrls, 0))) {
      return true;
    }
    if (!judge_index_ctrls(d_, out_.index_ctrls.data(), out_.size, v_) ||
        !capacity("nIndexVectorsX", d_.nIndexVectorsX, sizeof(IndexVector))) {
      return false;
    }
    out_.vectors.resize(out_.index_ctrls.size());
    for (std::size_t i = 0; i < out_.index_ctrls.size(); ++i) {
      const IndexCtrl& c = out_.index_ctrls[i];
      if (!range_ok(c.lOffsetIndex, c.lIndexLen * std::int64_t{kEntrySize})) continue;
      if (!vector("lOffsetIndex", static_cast<std::int32_t>(i), c.lOffsetIndex, c.lIndexLen,
                  out_.vectors[i])) {
        return false;
      }
    }
    return true;
  }

  ReadAt read_;
  void* context_;
  FileLayout& out_;
  const FileDef& d_;
  Verdict& v_;
};

}  // namespace

FileLayout load_layout(ReadAt read, void* context, std::int64_t size, Verdict& v) {
  FileLayout out;
  out.size = size;
  if (size < static_cast<std::int64_t>(sizeof(FileDef)) ||
      !read(context, 0, &out.def, sizeof out.def)) {
    v.add({"header-short", "FileDef", -1, 0, size, sizeof(FileDef), -100});
    return out;
  }
  if (!judge_identity(out.def, v)) return out;
  out.has_header = true;
  if (!judge_header(out.def, size, v)) return out;
  if (!Loader(read, context, out, v).load()) return out;
  std::vector<IndexVector> vectors;
  for (std::vector<std::int32_t>& entries : out.vectors) {
    vectors.push_back({entries.data(), static_cast<std::int32_t>(entries.size())});
  }
  const LayoutView view{&out.def,
                        out.types.data(),
                        static_cast<std::int32_t>(out.types.size()),
                        out.index_ctrls.data(),
                        vectors.data(),
                        static_cast<std::int32_t>(vectors.size()),
                        out.sections.data(),
                        static_cast<std::int32_t>(out.sections.size()),
                        out.ind_types.data(),
                        static_cast<std::int32_t>(out.ind_types.size()),
                        out.ind_sections.data(),
                        static_cast<std::int32_t>(out.ind_sections.size())};
  judge_tables(view, v);
  return out;
}

}  // namespace rb
