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

// An allocation of a commit point failed (the read-back of its tables, the
// saved vector places of dbFlush).
inline constexpr std::int32_t kFlushAllocFailed = DB_ERR_FLUSH_ALLOC;

// dbCreate in two steps around the filling of the catalogue (done above
// this layer, records/catalogue.h): begin_create takes the lowest empty
// slot (recorded as the file number) and builds the control block and its
// tables; finish_create creates the file and writes its header. Each
// returns the file number, or a reported code after which the slot is
// empty again (-5, -90, -1051.., -10, -18, ...).
std::int32_t begin_create(const char* name, std::int32_t count, const DataDesc* desc,
                          std::int32_t sections, std::int32_t flags);
std::int32_t finish_create(std::int32_t slot, const char* name);

// Gives up a slot that a failed dbCreate or dbOpen had taken: its stream is
// closed and everything it held released, so the slot can be taken again.
// Returns code.
std::int32_t abandon(std::int32_t slot, std::int32_t code);

// dbOpen: takes the lowest empty slot, opens the file and reads and
// checks its header and tables. Returns the file number or a reported
// code after which the slot is empty again (-5, -90, -1251.., -11, -100,
// -101, -102, ...).
std::int32_t open_file(const char* name, std::int32_t mode);

// Makes the present state of the file its committed image on the device:
// the tables behind the data, then the header, each synced, then the
// journal retired. Returns the header write's result (4096) or the first
// failure, reported (under `name` where no writer reported it). The dirty
// cache blocks must have been written back before.
std::int32_t commit(std::int32_t file_no, FileCtrl& f, const char* name);

// A file whose tables and header the library writes back: opened or
// created with write access.
bool commits(const FileCtrl& f);

}  // namespace rb
