// Positioned block IO: byte ranges at absolute offsets of an
// open database file, moved in chunks of lBufferLen, keeping the logical
// file length lFileLen up to date.
//
// f is the open file the caller has found; dbFillUpTo and dbCopyToFile
// find it with write access (find_writable), dbCopyFromFile with a stream
// (find_stream). Failures are reported under the name recorded last: a
// caller that stands for the exported transfer records its name first.
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"

namespace rb {

// Extends the file with zero bytes up to length (nothing when it is that
// long already). Returns the number of bytes added or a reported code
// (-12, -13, -2001, a journal failure).
std::int32_t fill_up_to(FileCtrl& f, std::int32_t length);

// Writes length bytes at offset. Returns the number written (0 for an
// empty range) or a reported code (-90, -12, a journal failure).
std::int32_t copy_to_file(FileCtrl& f, std::int32_t offset, const void* buffer,
                          std::int32_t length);

// Reads length bytes at offset, all below lFileLen. Returns the number
// read or a reported code (-20, -90, -12).
std::int32_t copy_from_file(FileCtrl& f, std::int32_t offset, void* buffer, std::int32_t length);

}  // namespace rb
