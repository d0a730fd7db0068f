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

// ---- the exported record functions -----------------------------
// The bodies of dbRead, dbWrite, dbReadKey and dbWriteKey on the file the
// caller found with its stream (find_stream, -1 for an empty slot), under
// the name the caller recorded. Each returns 0 or a reported negative code.

// Record rec (sub-index sub) of a data type: a number looked up in the
// IndDataTypes vector, or a negative value v naming entry -1 - v.
std::int32_t read_typed(std::int32_t file_no, FileCtrl& f, std::int32_t type, std::int32_t rec,
                        std::int32_t sub, void* data);
std::int32_t write_typed(std::int32_t file_no, FileCtrl& f, std::int32_t type, std::int32_t rec,
                         std::int32_t sub, const void* data);

// Key record rec of catalogue entry k (a hash bucket), in place: no
// vectors, no growth; write_key only over a record that exists (-5001).
std::int32_t read_key(std::int32_t file_no, FileCtrl& f, std::int32_t k, std::int32_t rec,
                      void* data);
std::int32_t write_key(std::int32_t file_no, FileCtrl& f, std::int32_t k, std::int32_t rec,
                       const void* data);

}  // namespace rb
