// Section data types and their records. A section data type belongs to one
// key of one section: it is defined at a place 0..9 while that key is the
// section's current key, and its DataCtrl index is kept in the key record.
// Its records are reached through the section number, the place and the
// section's current key, and are placed by the rules of plain records.
#include <algorithm>

#include "file/lookup.h"
#include "frame/log.h"
#include "recbase.h"
#include "records/catalogue.h"
#include "records/record_io.h"
#include "sections/sections.h"

namespace rb {
namespace {

// Checks a section type's description before anything is created: sizes
// (-51), place (-3403), flags (-54).
std::int32_t check_section_description(const DataDesc& desc) {
  if (const std::int32_t r = check_description(desc, false); r != 0) return r;
  if (desc.nType < 0 || desc.nType >= kSectionPlaces) return DB_ERR_BAD_PLACE;
  return check_type_flags(desc.nFlags);
}

// Appends the described data type for the current key of section s, with
// an empty area, and writes the key record back with the new type at its
// place. Nothing is created when the description or the section is
// refused.
std::int32_t add_key_type(std::int32_t file_no, FileCtrl& f, const DataDesc* desc, std::int32_t s) {
  if (desc == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  if (!has_current_key(f, *section_at(f, s))) return report(kSectionMismatch);
  if (const std::int32_t r = check_section_description(*desc); r != 0) return report(r);
  const std::int32_t k = append_data_type(file_no, f, *desc, s, -1);
  if (k < 0) return k;

  Section& sec = *section_at(f, s);
  const std::int32_t previous = sec.nIndDataCtrl[desc->nType];
  sec.nIndDataCtrl[desc->nType] = k;
  const KeyRecord image = key_image(sec);
  // Written as when this step called dbWriteKey: under its name, on the
  // file found with its stream as that function finds it.
  enter("dbWriteKey", file_no);
  const Lookup found = find_stream(file_no, -1);
  const std::int32_t r =
      found ? write_key(file_no, *found.file, sec.nHashFstDataCtrlHandle + sec.nLstKeyBucket,
                        sec.lLstKeyHandle, &image)
            : found.code;
  if (r < 0) {
    // The key record on file must list what the image lists.
    section_at(f, s)->nIndDataCtrl[desc->nType] = previous;
    return r;
  }
  return k;
}

}  // namespace

std::int32_t add_data_ctrl_s(std::int32_t file_no, FileCtrl& f, const DataDesc* desc,
                             std::int32_t no) {
  const std::int32_t s = stored_section_of_number(f, no);
  if (s < 0) return report(kBadSectionNo);
  return add_key_type(file_no, f, desc, s);
}

std::int32_t begin_data_s(std::int32_t file_no, FileCtrl& f, const DataDesc* desc,
                          std::int32_t no) {
  if (f.def.nDataCtrlOpen != -1) return report(DB_ERR_INPUT_OPEN);
  // Added as when this step called dbAddDataCtrlS: under its name (also
  // the second record of its failure below), on the file found with its
  // stream as that function finds it.
  enter("dbAddDataCtrlS", file_no);
  const Lookup found = find_stream(file_no);
  const std::int32_t k = found ? add_data_ctrl_s(file_no, *found.file, desc, no) : found.code;
  if (k < 0) return report(k);
  f.def.nDataCtrlOpen = k;
  return k;
}

namespace {

// The data type that the current key of section number no lists at place,
// or the reported failure.
struct KeyType {
  std::int32_t ctrl;
  std::int32_t code;
};

KeyType key_type(FileCtrl& f, std::int32_t place, std::int32_t rec, const void* data,
                 std::int32_t no) {
  if (rec < 0 || place < 0 || place >= kSectionPlaces || data == nullptr) {
    return {-1, report(DB_ERR_BAD_ARGUMENT)};
  }
  const std::int32_t s = stored_section_of_number(f, no);
  if (s < 0) return {-1, report(kBadSectionNo)};
  const Section& sec = *section_at(f, s);
  if (!has_current_key(f, sec)) return {-1, report(kNoTypeAtPlace)};
  const std::int32_t k = sec.nIndDataCtrl[place];
  const DataCtrl* dc = data_ctrl(f, k);
  // Only a type defined for a key of this section answers for the place.
  if (dc == nullptr || dc->nSectionIndexNo != s || (dc->nFlags & kTypeBucket) != 0) {
    return {-1, report(kNoTypeAtPlace)};
  }
  return {k, 0};
}

}  // namespace

std::int32_t read_s(std::int32_t file_no, FileCtrl& f, std::int32_t place, std::int32_t rec,
                    std::int32_t sub, void* data, std::int32_t no) {
  const KeyType t = key_type(f, place, rec, data, no);
  if (t.ctrl < 0) return t.code;
  return read_record(file_no, f, t.ctrl, rec, sub, data);
}

std::int32_t write_s(std::int32_t file_no, FileCtrl& f, std::int32_t place, std::int32_t rec,
                     std::int32_t sub, const void* data, std::int32_t no) {
  const KeyType t = key_type(f, place, rec, data, no);
  if (t.ctrl < 0) return t.code;
  return write_record(file_no, f, t.ctrl, rec, sub, data, Growth::unless_input_open);
}

std::int32_t add_section_data_type(std::int32_t file_no, FileCtrl& f, const DataDesc* desc) {
  enter("dbAddDataCtrlS", file_no);
  if (f.pFile == nullptr) return report(DB_ERR_FILE_POINTER);
  const std::int32_t s = f.def.nOpenSectionHandle;
  if (section_at(f, s) == nullptr) return report(kBadSectionHandle);
  return add_key_type(file_no, f, desc, s);
}

std::int32_t begin_data(std::int32_t file_no, FileCtrl& f, const DataDesc* desc) {
  if (f.def.nDataCtrlOpen != -1) {
    report_warning(DB_ERR_INPUT_OPEN);
    // Closed as when this step called dbEndData: under its name.
    enter("dbEndData", file_no);
    end_data_input(file_no, f);
  }
  std::int32_t r = 0;
  if (f.def.nOpenSectionHandle != -1) {
    r = add_section_data_type(file_no, f, desc);  // records dbAddDataCtrlS
  } else {
    // Logged as dbAddDataCtrl from here on (also the second record of
    // its failure below), as when this step called the exported function.
    enter("dbAddDataCtrl", file_no);
    r = add_data_ctrl(file_no, f, desc);
  }
  if (r < 0) return report(r);
  f.def.nDataCtrlOpen = r;
  return r;
}

}  // namespace rb
