// Readers for the records of a database file image, and small helpers that
// the file and catalogue tests share.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "file/format.h"
#include "support/testkit.h"

namespace rbtest {

// The record of type T stored at byte offset of a file image.
template <class T>
T stored(const std::string& bytes, std::size_t offset) {
  T record{};
  if (offset + sizeof(T) > bytes.size()) {
    ADD_FAILURE() << "record at " << offset << " lies beyond the file (" << bytes.size() << ")";
    return record;
  }
  std::memcpy(static_cast<void*>(&record), bytes.data() + offset, sizeof(T));
  return record;
}

inline rb::FileDef stored_def(const std::string& bytes) { return stored<rb::FileDef>(bytes, 0); }

// count 32-bit words from offset.
inline std::vector<std::int32_t> words(const std::string& bytes, std::size_t offset,
                                       std::size_t count) {
  std::vector<std::int32_t> out;
  for (std::size_t i = 0; i < count; ++i) out.push_back(word_at(bytes, offset + 4 * i));
  return out;
}

// A byte range [begin, end) of a file and what it holds.
struct Extent {
  std::int64_t begin;
  std::int64_t end;
  std::string what;
};

// Every vector and table that a closed file stores, as its header and
// IndexCtrl records describe them.
inline std::vector<Extent> table_extents(const std::string& bytes) {
  const rb::FileDef d = stored_def(bytes);
  std::vector<Extent> out;
  for (std::int32_t v = 0; v < d.nIndexCtrls; ++v) {
    const auto ic = stored<rb::IndexCtrl>(bytes, d.lOffsetIndexCtrl + 20 * v);
    out.push_back({ic.lOffsetIndex, ic.lOffsetIndex + 4LL * ic.lIndexLen,
                   "index vector " + std::to_string(v)});
  }
  out.push_back({d.lOffsetIndexCtrl, d.lOffsetIndexCtrl + 20LL * d.nIndexCtrls, "IndexCtrl"});
  out.push_back({d.lOffsetDataCtrl, d.lOffsetDataCtrl + 64LL * d.nDataTypes, "DataCtrl"});
  if (d.nSections > 0) {
    out.push_back({d.lOffsetSection, d.lOffsetSection + 124LL * d.nSections, "Section"});
  }
  out.push_back(
      {d.lOffsetIndDataTypes, d.lOffsetIndDataTypes + 4LL * d.nIndDataTypes, "IndDataTypes"});
  out.push_back({d.lOffsetIndSections, d.lOffsetIndSections + 4LL * d.nIndSections, "IndSections"});
  return out;
}

// The closed file is consistent: its size is lFileLen, every table lies in
// the table area, no two overlap, and no area closed before lOffsetVectors
// reaches into the table area.
inline void expect_sound_table_area(const std::string& bytes) {
  const rb::FileDef d = stored_def(bytes);
  EXPECT_EQ(static_cast<std::int64_t>(bytes.size()), d.lFileLen);
  const std::vector<Extent> tables = table_extents(bytes);
  for (std::size_t i = 0; i < tables.size(); ++i) {
    const Extent& a = tables[i];
    EXPECT_GE(a.begin, d.lOffsetVectors) << a.what;
    EXPECT_LE(a.end, d.lFileLen) << a.what;
    for (std::size_t j = i + 1; j < tables.size(); ++j) {
      const Extent& b = tables[j];
      const bool apart =
          a.end <= b.begin || b.end <= a.begin || a.begin == a.end || b.begin == b.end;
      EXPECT_TRUE(apart) << a.what << " [" << a.begin << "," << a.end << ") overlaps " << b.what
                         << " [" << b.begin << "," << b.end << ")";
    }
  }
}

}  // namespace rbtest
