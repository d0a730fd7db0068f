// Sections, their hash buckets and keys, as shared by the section files,
// the data type catalogue and the open checks.
//
// A section is reached two ways: by its section index (position in the
// Section table) and by the caller's section number (entry of the
// IndSections vector). Its keys are 60-byte key records in hash buckets,
// which are DataCtrls of their own (DTF_BUCKET); the current key is held as
// an image in words 16..30 of the Section.
#pragma once

#include <cstdint>

#include "file/file_ctrl.h"
#include "recbase.h"

namespace rb {

inline constexpr std::int32_t kKeyRecordSize = sizeof(KeyRecord);

// Result codes of the section subsystem.
inline constexpr std::int32_t kBadSectionHandle =
    DB_ERR_BAD_SECTION_HANDLE;  // section index outside the table
inline constexpr std::int32_t kSectionMismatch =
    DB_ERR_SECTION_MISMATCH;                          // no usable buckets / no current key
inline constexpr std::int32_t kBadSectionNo = -3404;  // section number names no section
inline constexpr std::int32_t kNoTypeAtPlace =
    DB_ERR_TYPE_UNDECLARED;  // the current key has no such type

// The section index that section number no names in the IndSections vector,
// or -1 when the number is negative, lies outside the vector, or its entry
// names no section.
std::int32_t section_of_number(FileCtrl& f, std::int32_t no);

// As section_of_number, for the operations that define data types or move
// records: the number must also be one that the file stores (below
// nIndSections).
std::int32_t stored_section_of_number(FileCtrl& f, std::int32_t no);

// True when the section has nKeys 1..4 and a bucket layout whose DataCtrl
// range lies inside the catalogue (not yet that each entry is a bucket).
bool has_buckets(const FileCtrl& f, const Section& s);

// The DataCtrl of bucket b of the section, null unless it is a bucket
// holding 60-byte key records in blocks of at least one record.
DataCtrl* bucket_ctrl(FileCtrl& f, const Section& s, std::int32_t b);

// True when the section has a current key whose record exists in its bucket.
bool has_current_key(FileCtrl& f, const Section& s);

// The current key record image (words 16..30) and its replacement.
KeyRecord key_image(const Section& s);
void set_key_image(Section& s, const KeyRecord& r);

// Finds keys in section s and makes it the current key: 1 when found, 0
// when not, a reported negative code when a key record cannot be read.
// Nothing is recorded for the log on entry.
std::int32_t find_key(std::int32_t file_no, FileCtrl& f, std::int32_t s, const std::int32_t* keys);

// dbBeginData while a section is open: defines the description as a data
// type of the open section's current key (see dbBeginData).
std::int32_t add_section_data_type(std::int32_t file_no, FileCtrl& f, const DataDesc* desc);

// ---- the exported section functions --------------------
// The bodies of the section functions on the file the caller found, under
// the name the caller recorded: the API layer records the exported name
// and finds the file (find_file; find_stream for dbAddHashBucket, dbAddKey,
// dbExistKey, dbSetSection and dbAddDataCtrlS; find_stream with -1 for
// dbReadS and dbWriteS). Steps that stand for an exported function the
// operation has always called (dbExpandSections, dbExpandIndSections,
// dbAddIndex, dbExpandDataCtrl, dbAddSection, dbAddHashBucket, dbAddKey,
// dbAddDataCtrlS, dbWriteKey) record that name where the call was made,
// and find the file as that function does. Each returns its result or a
// reported negative code.

// Section table. add_section: appends a section under number
// no (the tables grow first when full) with its section vector; returns
// its index (-3404, -111, -3251, -3351, ...). The expansions return the
// new capacity (-3251, -3351).
std::int32_t add_section(std::int32_t file_no, FileCtrl& f, std::int32_t no, std::int32_t flags);
std::int32_t expand_sections(FileCtrl& f);
std::int32_t expand_ind_sections(FileCtrl& f, std::int32_t no);

// Hash buckets and keys. add_hash_bucket returns the bucket's
// DataCtrl index; add_key the key record's number; exist_key (dbExistKey,
// dbSetSection) 1 found, 0 not; get_max_key nKeys; get_section 0.
std::int32_t add_hash_bucket(std::int32_t file_no, FileCtrl& f, std::int32_t s);
std::int32_t add_key(std::int32_t file_no, FileCtrl& f, std::int32_t s, const std::int32_t* keys);
std::int32_t exist_key(std::int32_t file_no, FileCtrl& f, std::int32_t no,
                       const std::int32_t* keys);
std::int32_t get_max_key(FileCtrl& f, std::int32_t no, std::int32_t* keys);
std::int32_t get_section(FileCtrl& f, std::int32_t* section_no, std::int32_t* keys);

// dbGetKey, whole: records nothing and reports nothing of its own; 1 when
// a next key was found (and made current), else 0.
std::int32_t get_key(std::int32_t file_no, std::int32_t no, std::int32_t mode, std::int32_t* keys);

// Section data types and records.
std::int32_t read_s(std::int32_t file_no, FileCtrl& f, std::int32_t place, std::int32_t rec,
                    std::int32_t sub, void* data, std::int32_t no);
std::int32_t write_s(std::int32_t file_no, FileCtrl& f, std::int32_t place, std::int32_t rec,
                     std::int32_t sub, const void* data, std::int32_t no);
std::int32_t add_data_ctrl_s(std::int32_t file_no, FileCtrl& f, const DataDesc* desc,
                             std::int32_t no);
// Its failure is reported a second time.
std::int32_t begin_data_s(std::int32_t file_no, FileCtrl& f, const DataDesc* desc, std::int32_t no);

// Section brackets. begin_sections reports a failure of its
// dbAddSection step a second time; begin_section answers -1 for a failed
// dbAddKey step (reported there).
std::int32_t begin_sections(std::int32_t file_no, FileCtrl& f, std::int32_t no, std::int32_t keys,
                            std::int32_t flags);
std::int32_t end_sections(FileCtrl& f, std::int32_t i);
std::int32_t begin_section(std::int32_t file_no, FileCtrl& f, std::int32_t no, std::int32_t* keys);
std::int32_t end_section(FileCtrl& f, std::int32_t i);

// dbBeginData: closes an open data input first (warning -40), then
// appends the type (for the current key of the open section, if any) and
// opens its data input. Returns the DataCtrl index or the failure, which
// is reported a second time.
std::int32_t begin_data(std::int32_t file_no, FileCtrl& f, const DataDesc* desc);

}  // namespace rb
