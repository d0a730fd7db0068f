// The exported functions of sections and keys: the
// section table, hash buckets and keys, section data types and records,
// and the section brackets. Each records its name and file number, finds
// its file and calls the internal functions of src/sections/.
#include <cstdint>

#include "file/lookup.h"
#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"
#include "records/catalogue.h"
#include "sections/sections.h"

using rb::Lookup;
using std::int32_t;

extern "C" {

// ---- section table

// An existing number is taken over by the new section; the earlier one
// stays in the table, reachable through its index only.
RECBASE_API int32_t RECBASE_CALL dbAddSection(int32_t nFileNo, int32_t nSectionNo, int32_t nFlags) {
  return rb::on_file("dbAddSection", nFileNo, [&](rb::FileCtrl& f) {
    return rb::add_section(nFileNo, f, nSectionNo, nFlags);
  });
}

RECBASE_API int32_t RECBASE_CALL dbExpandSections(int32_t nFileNo) {
  return rb::on_file("dbExpandSections", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::expand_sections(f); });
}

RECBASE_API int32_t RECBASE_CALL dbExpandIndSections(int32_t nFileNo, int32_t nSectionNo) {
  return rb::on_file("dbExpandIndSections", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::expand_ind_sections(f, nSectionNo); });
}

// ---- hash buckets and keys

RECBASE_API int32_t RECBASE_CALL dbAddHashBucket(int32_t nFileNo, int32_t nSectionIndex) {
  return rb::on_stream("dbAddHashBucket", nFileNo, [&](rb::FileCtrl& f) {
    return rb::add_hash_bucket(nFileNo, f, nSectionIndex);
  });
}

RECBASE_API int32_t RECBASE_CALL dbAddKey(int32_t nFileNo, int32_t nSectionIndex,
                                          const int32_t* pKeys) {
  return rb::on_stream("dbAddKey", nFileNo, [&](rb::FileCtrl& f) {
    return rb::add_key(nFileNo, f, nSectionIndex, pKeys);
  });
}

RECBASE_API int32_t RECBASE_CALL dbExistKey(int32_t nFileNo, int32_t nSectionNo,
                                            const int32_t* pKeys) {
  return rb::on_stream("dbExistKey", nFileNo, [&](rb::FileCtrl& f) {
    return rb::exist_key(nFileNo, f, nSectionNo, pKeys);
  });
}

RECBASE_API int32_t RECBASE_CALL dbSetSection(int32_t nFileNo, int32_t nSectionNo,
                                              const int32_t* pKeys) {
  return rb::on_stream("dbSetSection", nFileNo, [&](rb::FileCtrl& f) {
    return rb::exist_key(nFileNo, f, nSectionNo, pKeys);
  });
}

RECBASE_API int32_t RECBASE_CALL dbGetMaxKey(int32_t nFileNo, int32_t nSectionNo, int32_t* pKeys) {
  return rb::on_file("dbGetMaxKey", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::get_max_key(f, nSectionNo, pKeys); });
}

RECBASE_API int32_t RECBASE_CALL dbGetKey(int32_t nFileNo, int32_t nSectionNo, int32_t nMode,
                                          int32_t* pKeys) {
  // Records nothing and reports nothing: 0 whenever no next key is found.
  return rb::get_key(nFileNo, nSectionNo, nMode, pKeys);
}

RECBASE_API int32_t RECBASE_CALL dbGetSection(int32_t nFileNo, int32_t* pSectionNo,
                                              int32_t* pKeys) {
  return rb::on_file("dbGetSection", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::get_section(f, pSectionNo, pKeys); });
}

// ---- section data types and records
// nLen is not used: the record's own size is copied.

RECBASE_API int32_t RECBASE_CALL dbReadS(int32_t nFileNo, int32_t nDataType, int32_t lRecNo,
                                         int32_t lSubNo, void* pData, int32_t nLen,
                                         int32_t nSectionNo) {
  (void)nLen;
  rb::enter("dbReadS", nFileNo);
  const Lookup found = rb::find_stream(nFileNo, -1);
  if (!found) return found.code;
  return rb::read_s(nFileNo, *found.file, nDataType, lRecNo, lSubNo, pData, nSectionNo);
}

RECBASE_API int32_t RECBASE_CALL dbWriteS(int32_t nFileNo, int32_t nDataType, int32_t lRecNo,
                                          int32_t lSubNo, const void* pData, int32_t nLen,
                                          int32_t nSectionNo) {
  (void)nLen;
  rb::enter("dbWriteS", nFileNo);
  const Lookup found = rb::find_stream(nFileNo, -1);
  if (!found) return found.code;
  return rb::write_s(nFileNo, *found.file, nDataType, lRecNo, lSubNo, pData, nSectionNo);
}

RECBASE_API int32_t RECBASE_CALL dbAddDataCtrlS(int32_t nFileNo, const DataDesc* pDesc,
                                                int32_t nSectionNo) {
  return rb::on_stream("dbAddDataCtrlS", nFileNo, [&](rb::FileCtrl& f) {
    return rb::add_data_ctrl_s(nFileNo, f, pDesc, nSectionNo);
  });
}

RECBASE_API int32_t RECBASE_CALL dbBeginDataS(int32_t nFileNo, const DataDesc* pDesc,
                                              int32_t nSectionNo) {
  return rb::on_file("dbBeginDataS", nFileNo, [&](rb::FileCtrl& f) {
    return rb::begin_data_s(nFileNo, f, pDesc, nSectionNo);
  });
}

RECBASE_API int32_t RECBASE_CALL dbEndDataS(int32_t nFileNo) {
  return rb::on_file("dbEndDataS", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::end_data_input(nFileNo, f); });
}

// ---- section brackets

RECBASE_API int32_t RECBASE_CALL dbBeginSections(int32_t nFileNo, int32_t nSectionNo, int32_t nKeys,
                                                 int32_t nFlags) {
  return rb::on_file("dbBeginSections", nFileNo, [&](rb::FileCtrl& f) {
    return rb::begin_sections(nFileNo, f, nSectionNo, nKeys, nFlags);
  });
}

RECBASE_API int32_t RECBASE_CALL dbEndSections(int32_t nFileNo, int32_t nSectionIndex) {
  return rb::on_file("dbEndSections", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::end_sections(f, nSectionIndex); });
}

RECBASE_API int32_t RECBASE_CALL dbBeginSection(int32_t nFileNo, int32_t nSectionNo,
                                                int32_t* pKeys) {
  return rb::on_file("dbBeginSection", nFileNo, [&](rb::FileCtrl& f) {
    return rb::begin_section(nFileNo, f, nSectionNo, pKeys);
  });
}

RECBASE_API int32_t RECBASE_CALL dbEndSection(int32_t nFileNo, int32_t nSectionIndex) {
  return rb::on_file("dbEndSection", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::end_section(f, nSectionIndex); });
}

}  // extern "C"
