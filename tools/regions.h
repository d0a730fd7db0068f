// The regions of a database file: the header block, the area of every data
// type and every table and vector of the table area.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layout.h"

namespace rbtool {

enum class RegionKind { kHeader, kPlain, kIndexed, kIterator, kPlaced, kBucket, kVector, kTable };

struct Region {
  std::string name;
  RegionKind kind;
  std::int64_t offset;
  std::int64_t length;
  double fill = -1;  // data areas: records written / slots, else -1
};

const char* kind_name(RegionKind kind);

// Kind of a data type's area by its flags.
RegionKind data_kind(const rb::DataCtrl& dc);

// Flags of a data type in words ("index placed", "-" for none).
std::string flag_words(std::int32_t flags);

// Name of data type k: "type 7", "section 2 place 0", "bucket".
std::string type_name(const rb::FileLayout& image, std::size_t k);
// "#k name": catalogue index and name of data type k.
std::string type_label(const rb::FileLayout& image, std::size_t k);

// Kind of an index vector in words.
const char* vector_kind(std::int32_t kind);

// Every region in catalogue and table order. Data areas are cut at the end
// of the data area: blocks reserved beyond it have never been written.
std::vector<Region> file_regions(const rb::FileLayout& image);

// One region per record of the placed data types, in catalogue and record
// order.
std::vector<Region> placed_records(const rb::FileLayout& image);

// The same with records that follow each other end to end in the file
// merged into one region.
std::vector<Region> placed_runs(const rb::FileLayout& image);

}  // namespace rbtool
