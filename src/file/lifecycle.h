// The life of a database file: creating, opening, flushing,
// resetting and closing.
//
// The bodies of dbCreate .. dbReset after their entry: the API layer
// (src/api/files.cpp) has recorded the exported name and, where one is
// given, the file number. Failures are reported under the name recorded
// last; steps that stand for an exported function the operation has
// always called (dbWriteFileDef, the readers, dbFillUpTo, dbCopyToFile,
// dbFlush, dbReset, dbClose) record that name where the call was made.
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"
#include "recbase.h"

namespace rb {

// dbCreate: takes the lowest empty slot (recorded as the file number),
// fills the catalogue (recorded as dbSetDataCtrl), creates the file and
// writes its header. Returns the file number, or a reported code after
// which the slot is empty again (-5, -90, -1051.., -10, ...).
std::int32_t create_file(const char* name, std::int32_t count, const DataDesc* desc,
                         std::int32_t sections, std::int32_t flags);

// dbOpen: takes the lowest empty slot, opens the file and reads and
// checks its header and tables. Returns the file number or a reported
// code after which the slot is empty again (-5, -90, -1251.., -11, -100,
// -101, -102, ...).
std::int32_t open_file(const char* name, std::int32_t mode);

// Writes the file's dirty cache blocks back (logged as dbFlush): not a
// commit point. Records "dbFlush" and file_no, finds the file with its
// stream. Returns 0 or the reported code.
std::int32_t flush_blocks(std::int32_t file_no);

// As flush_blocks, on the file the caller found with its stream, under the
// name the caller recorded.
std::int32_t write_dirty_blocks(std::int32_t file_no, FileCtrl& f);

// dbFlush on the file found with its stream: writes the dirty blocks back
// and, for a file with write access, commits the present state (memory
// keeps it as it was). Returns 0 or the reported code.
std::int32_t flush_file(std::int32_t file_no, FileCtrl& f);

// dbReset after its entry (the library is initialised): drops the cache
// slots of file_no (every file for -1) unwritten, and the key indexes
// their blocks fed. Returns the number of slots dropped.
std::int32_t drop_blocks(std::int32_t file_no);

// dbClose on the open file f under file_no (it has a stream): writes the
// blocks back, commits a file with write access, closes the stream,
// empties the slot and drops the file's cache slots (recorded as dbReset).
// Returns 0 or the first failure, reported; the slot is empty either way.
std::int32_t close_file(std::int32_t file_no, FileCtrl* f);

// dbCloseAll after its entry (the library is initialised): closes every
// open file as dbClose does, each recorded under that name and number.
void close_all_files();

}  // namespace rb
