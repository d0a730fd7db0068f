// Plausibility checks of a database file read from disk. A file is trusted
// only as far as these checks go: no count, length or offset read from it
// is used to allocate or index memory before it has passed them.
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"

namespace rb {

// The header alone: record sizes (-101), counts against capacities and the
// boundary of the data area (-100).
std::int32_t check_header(const FileDef& def);

// True when a table of count records of size bytes can lie in a file of
// file_size bytes (so that it may be allocated).
bool table_fits(std::int64_t count, std::int64_t size, std::int64_t file_size);

// The IndexCtrl records, before their vectors are allocated (-100).
std::int32_t check_index_ctrls(const FileCtrl& f, std::int64_t file_size);

// Everything read: every index and number that one table holds into
// another names an existing entry (-100).
std::int32_t check_tables(FileCtrl& f);

}  // namespace rb
