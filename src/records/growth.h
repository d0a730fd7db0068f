// Growth of a file as the records see it.
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"

namespace rb {

// The body of dbExpandFile on the file found with its stream, under the
// name the caller recorded: checks the request (-90, -102), writes the
// dirty blocks back as dbFlush writes them, opens the room (file/growth.h)
// and shifts the cached blocks behind it. Returns 1 when bytes moved, 0
// when nothing lay behind offset, or a reported negative code.
std::int32_t expand_file(std::int32_t file_no, FileCtrl& f, std::int32_t offset,
                         std::int32_t length, std::int32_t growing);

// dbShiftOffsets on the file found: checks the range (-90, -12), raises the
// write epoch and shifts the stored offsets and the cached blocks. Returns
// 0 or the code.
std::int32_t shift_file_offsets(std::int32_t file_no, FileCtrl& f, std::int32_t offset,
                                std::int32_t length);

// Grows the area of catalogue entry k to `blocks` blocks, opening the room
// at the end of its area as dbExpandFile does (recorded under that name,
// the file found with its stream as that function finds it). Returns 0 or
// a reported negative code.
std::int32_t grow_area(std::int32_t file_no, FileCtrl& f, std::int32_t k, std::int64_t blocks);

}  // namespace rb
