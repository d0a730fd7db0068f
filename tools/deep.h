// The deep checks of recbase check, on a file whose layout is sound: the
// bytes of every data area, the vectors against the records they map, and
// every key looked up through the library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "findings.h"
#include "layout.h"

namespace rbtool {

struct DeepStats {
  std::int64_t bytes = 0;    // bytes of the data areas read
  std::int64_t blocks = 0;   // blocks they make up
  std::int64_t entries = 0;  // index and iterator entries checked
  std::int64_t keys = 0;     // keys read and looked up
};

// Reads every block of every data area of the file at path with plain
// stdio: a block that cannot be read, or that lies beyond the end of the
// file, is a finding.
void check_areas(const std::string& path, const rb::FileLayout& image, std::vector<Issue>& out,
                 DeepStats& stats);

// The root cause of index-slot findings when the index is whole (slots
// 0 .. n - 1, each once) and the count of its data type is below n: a
// record count that was cut.
void blame_cut_counts(const rb::FileLayout& image, const std::vector<rb::Finding>& findings,
                      std::vector<Issue>& out);

// Every index and iterator entry against the slots of its area, no slot
// used by two record numbers, and each data type's counts (lFileRecs,
// lMaxIndex, the vector's lMaxRecs) against what its index maps.
void check_vectors(const rb::FileLayout& image, std::vector<Issue>& out, DeepStats& stats);

// Every key of every section, read and looked up through the library on
// file (opened read only): its bucket, a look-up that reaches it, the data
// types its places name, the largest values per level, and key records
// beyond a bucket's count.
void check_keys(const rb::FileLayout& image, std::int32_t file, std::vector<Issue>& out,
                DeepStats& stats);

}  // namespace rbtool
