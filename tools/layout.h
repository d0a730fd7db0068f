// A database file's layout as the library's validator reads and judges it
// (src/file/validate.h), read with plain stdio and never changed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "file/validate.h"

namespace rbtool {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The state a rollback of a journal leaves: the saved pages written back
// over the file (keyed by offset, at most 4096 bytes each) and the file cut
// to, or extended with zero bytes to, its committed length.
struct Restored {
  std::int64_t length = 0;
  std::map<std::int64_t, std::string> pages;
};

// Reads and judges the file at path, or with restored the state its
// rollback would leave; every finding goes to findings. False, with a
// reason, when the file cannot be opened or read at all; a short or
// damaged file still gives what could be read.
bool load_file(const std::string& path, const Restored* restored, rb::FileLayout& layout,
               std::vector<rb::Finding>& findings, std::string& error);

// The entry of vector v at i, -1 for a vector or entry that is not there.
std::int32_t vector_entry(const rb::FileLayout& layout, std::int32_t v, std::int64_t i);

// Records stored under number rec of data type dc: the run of an iterator
// type, else 1, or 0 where the number has none (an index entry of -1, or a
// plain record number at or beyond the count).
std::int64_t stored_records(const rb::FileLayout& layout, const rb::DataCtrl& dc, std::int64_t rec);

// End of the data area: lOffsetVectors, or lFileLen while it is unset.
std::int64_t data_end(const rb::FileDef& def);

// The bytes of a data type's area, from lOffsetData, that lie inside the
// data area: blocks reserved beyond its end have never been written.
std::int64_t written_area(const rb::FileDef& def, const rb::DataCtrl& dc);

// Slots the area of a data type holds: lMaxBlockRecs * lBlockRecs.
std::int64_t area_slots(const rb::DataCtrl& dc);

}  // namespace rbtool
