// Reading and writing single records, shared by the plain record functions
// (dbRead, dbWrite) and the section record functions (dbReadS, dbWriteS).
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"

namespace rb {

// When a write beyond a data type's area may grow the area.
enum class Growth {
  always,             // dbWrite: grow whether or not a data input is open
  unless_input_open,  // dbWriteS: grow only while no data input is open
};

// Writes record rec (sub-index sub) of catalogue entry k from data: hands
// out the slot, grows vectors and area as needed, keeps the counters.
// Returns 0 or a reported negative code. The caller has checked the file,
// rec >= 0 and that k names an existing entry.
std::int32_t write_record(std::int32_t file_no, FileCtrl& f, std::int32_t k, std::int32_t rec,
                          std::int32_t sub, const void* data, Growth growth);

// Reads record rec (sub-index sub) of catalogue entry k into data. Returns
// 0 or a reported negative code; the same preconditions as write_record.
std::int32_t read_record(std::int32_t file_no, FileCtrl& f, std::int32_t k, std::int32_t rec,
                         std::int32_t sub, void* data);

}  // namespace rb
