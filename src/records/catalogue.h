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

// Closes the open data input of a file (dbEndData, dbEndDataS): sizes the
// type's area and keeps it covered; returns the DataCtrl index or a
// reported code (-41, or a failure of the growth or fill).
std::int32_t end_data_input(std::int32_t file_no, FileCtrl& f);

// Closes the data input of entry k: sizes its area to whole blocks for its
// lMaxFileRecs records and keeps lFileLen and lOffsetVectors covering it.
std::int32_t close_area(std::int32_t file_no, FileCtrl& f, std::int32_t k);

// Fills catalogue entries 0 .. n - 1 (the body of dbSetDataCtrl).
std::int32_t fill_catalogue(std::int32_t file_no, FileCtrl& f, std::int32_t n,
                            const DataDesc* desc);

// ---- the exported catalogue functions --------------------------
// The bodies of dbSetDataCtrl .. dbBeginData on the file the caller found
// (find_file), under the name the caller recorded. Steps that stand for an
// exported function the operation has always called record that name
// where the call was made (dbAddIndex, dbExpandDataCtrl,
// dbExpandIndDataTypes, dbEndData, dbAddDataCtrl, dbAddDataCtrlS, ...).

// dbSetDataCtrl: fills the empty catalogue with n descriptions (-90 when
// it holds data types already). Returns 0 or a reported code.
std::int32_t set_data_ctrl(std::int32_t file_no, FileCtrl& f, std::int32_t n, const DataDesc* desc);

// dbAddDataCtrl: appends a data type with an empty area under its number.
// Returns the DataCtrl index or a reported code (-90, -51, -54, ...).
std::int32_t add_data_ctrl(std::int32_t file_no, FileCtrl& f, const DataDesc* desc);

// Grows the DataCtrl table by nDataCtrlExpand. Returns the new capacity or
// -3151, reported.
std::int32_t expand_data_ctrl(FileCtrl& f);

// Grows the IndDataTypes vector so that it holds number type and
// nIndDataTypesExpand more. Returns the new length or a reported code
// (-90, -3301).
std::int32_t expand_ind_data_types(FileCtrl& f, std::int32_t type);

// dbCreate: takes the lowest empty slot (recorded as the file number),
// fills the catalogue (recorded as dbSetDataCtrl), creates the file and
// writes its header. Returns the file number, or a reported code after
// which the slot is empty again (-5, -90, -1051.., -10, -18, ...).
std::int32_t create_file(const char* name, std::int32_t count, const DataDesc* desc,
                         std::int32_t sections, std::int32_t flags);

}  // namespace rb
