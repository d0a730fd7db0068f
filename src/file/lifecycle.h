// What the rest of the file layer needs of a file's life.
#pragma once

#include <cstdint>

namespace rb {

// Writes the file's dirty cache blocks back (logged as dbFlush): not a
// commit point. Returns 0 or the reported code.
std::int32_t flush_blocks(std::int32_t file_no);

}  // namespace rb
