// Flushing and closing an open file: its cache blocks written back, then
// the file committed and closed, then its slots dropped, each step under
// the exported name the operation has always recorded for it.
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"

namespace rb {

// dbFlush on the file found with its stream: writes the dirty blocks back
// and, for a file with write access, commits the present state (memory
// keeps it as it was). Returns 0 or the reported code.
std::int32_t flush_file(std::int32_t file_no, FileCtrl& f);

// dbClose on the open file f under file_no (it has a stream): writes the
// blocks back, commits a file with write access, closes the stream,
// empties the slot and drops the file's cache slots (recorded as dbReset).
// Returns 0 or the first failure, reported; the slot is empty either way.
std::int32_t close_file(std::int32_t file_no, FileCtrl* f);

// dbCloseAll after its entry (the library is initialised): closes every
// open file as dbClose does, each recorded under that name and number.
void close_all_files();

}  // namespace rb
