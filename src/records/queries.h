// Questions about the data type catalogue: the bodies of
// dbGetFirstDataType .. dbGetIndex on the file the caller found (find_file;
// find_stream with -1 for dbGetIndex), under the name the caller recorded.
// Only the enumeration cursor ever changes.
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"

namespace rb {

// The lowest declared data type number (the cursor moves there), -1 none.
std::int32_t get_first_data_type(FileCtrl& f);

// The next declared number after the cursor (the cursor moves there), -1
// when there is none.
std::int32_t get_next_data_type(FileCtrl& f);

// The DataCtrl index of a declared data type number, -1 for none. Records
// nothing: callers that stand for dbExistDataType record that name.
std::int32_t exist_data_type(FileCtrl& f, std::int32_t type);

// nDataSize / lMaxIndex of a declared type (-90 outside the vector, -50 /
// -9002 undeclared, reported).
std::int32_t get_data_type_size(FileCtrl& f, std::int32_t type);
std::int32_t get_data_type_max_count(FileCtrl& f, std::int32_t type);

// lMaxIndex of the type at place of the current key of section number
// section_no (-9003, -90, -50, reported).
std::int32_t get_data_type_max_count_s(FileCtrl& f, std::int32_t section_no, std::int32_t place);

// The records record number rec holds (0 or 1, the run length of an
// iterator type), looked up as dbExistDataType does (recorded under its
// name). Returns the count or a reported code (-51).
std::int32_t get_data_type_recs(std::int32_t file_no, FileCtrl& f, std::int32_t type,
                                std::int32_t rec);

// The slot record rec of a data type maps to (section_no -1: a type number
// looked up as dbExistDataType does, recorded under its name; else place
// `type` of the current key of that section). -1 when none, or a reported
// code.
std::int32_t get_index(std::int32_t file_no, FileCtrl& f, std::int32_t section_no,
                       std::int32_t type, std::int32_t rec);

}  // namespace rb
