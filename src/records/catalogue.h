// The data type catalogue, as used by other subsystems.
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"
#include "recbase.h"

namespace rb {

// Checks a description's number and sizes (-51) before anything is
// changed; place_only: the number is a section place, checked elsewhere.
std::int32_t check_description(const DataDesc& d, bool numbered);

// The flag combinations a data type may not have (-54), 0 when fine.
std::int32_t check_type_flags(std::int32_t flags);

// Sizes the area of a data type for its lMaxFileRecs record places.
// Returns false when the area would pass the 2^31 - 1 bytes of a file.
bool size_area_from_count(DataCtrl& dc);

// Appends a data type with an empty area behind the last one, with the
// vectors its flags ask for; section is the owning section index (-1 for
// none) and max_index the initial lMaxIndex. The description has been
// checked. Returns the DataCtrl index or a reported negative code; nothing
// is counted when a vector cannot be made.
std::int32_t append_data_type(std::int32_t file_no, FileCtrl& f, const DataDesc& desc,
                              std::int32_t section, std::int32_t max_index);

// Closes the open data input of a file (dbEndData, dbEndDataS, recording
// name): sizes the type's area and keeps it covered; returns the DataCtrl
// index, -6 or -41.
std::int32_t end_data_input(const char* name, std::int32_t file_no);

// Closes the data input of entry k: sizes its area to whole blocks for its
// lMaxFileRecs records and keeps lFileLen and lOffsetVectors covering it.
std::int32_t close_area(std::int32_t file_no, FileCtrl& f, std::int32_t k);

// Fills catalogue entries 0 .. n - 1 (the body of dbSetDataCtrl).
std::int32_t fill_catalogue(std::int32_t file_no, FileCtrl& f, std::int32_t n,
                            const DataDesc* desc);

}  // namespace rb
