// The diagnostic dumps: the bodies of dbDumpSysData ..
// dumpIOCtrl. Each appends to "tovek.tst" and changes nothing else; none
// records itself for the log (a failure is reported under the name
// recorded last). The file dumps take the open file the caller has found
// (find_file). Each returns 0 (dbDumpSectionKeys: 1 after the keys) or a
// reported negative code (-90, -30, -31, and -13 when the dump file
// cannot be opened).
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"

namespace rb {

// ---- structure dumps --------------------------------------------

// SysData (-4 reported before dbInit).
std::int32_t dump_sys_data();
std::int32_t dump_file_def(std::int32_t file_no, FileCtrl& f);
// DataCtrl `number` (its data type number when indirect != 0).
std::int32_t dump_data_ctrl(std::int32_t file_no, FileCtrl& f, std::int32_t number,
                            std::int32_t indirect);
std::int32_t dump_all_data_ctrl(std::int32_t file_no, FileCtrl& f);
// The index (select bit 0) and iterator (bit 1) vectors of a data type.
std::int32_t dump_data_index(std::int32_t file_no, FileCtrl& f, std::int32_t type,
                             std::int32_t select);
std::int32_t dump_ind_data_types(std::int32_t file_no, FileCtrl& f);
std::int32_t dump_ind_sections(std::int32_t file_no, FileCtrl& f);

// ---- section, key and cache dumps -------------------------------

// Section `number` (its section number when indirect != 0).
std::int32_t dump_section(std::int32_t file_no, FileCtrl& f, std::int32_t number,
                          std::int32_t indirect);
// The keys of a section's buckets, each key record read as dbReadKey
// reads it (recorded under that name).
std::int32_t dump_section_keys(std::int32_t file_no, FileCtrl& f, std::int32_t number,
                               std::int32_t indirect);
// The cache slots in use (-5 unlogged before dbInit).
std::int32_t dump_cash_ctrl();
// A positioned transfer of the file recorded last (-5 unlogged before
// dbInit, -6 reported for no open file).
std::int32_t dump_io_ctrl(std::int32_t offset, std::int32_t length, const char* text);

}  // namespace rb
