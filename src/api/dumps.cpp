// The exported diagnostic dumps. The dumps record
// nothing for the log: the file dumps only find their file, then call the
// internal functions of src/dump/.
#include <cstdint>

#include "dump/dumps.h"
#include "file/lookup.h"
#include "recbase.h"

using rb::Lookup;
using std::int32_t;

extern "C" {

// ---- structure dumps

RECBASE_API int32_t RECBASE_CALL dbDumpSysData(void) { return rb::dump_sys_data(); }

RECBASE_API int32_t RECBASE_CALL dbDumpFileDef(int32_t nFileNo) {
  const Lookup found = rb::find_file(nFileNo);
  if (!found) return found.code;
  return rb::dump_file_def(nFileNo, *found.file);
}

RECBASE_API int32_t RECBASE_CALL dbDumpDataCtrl(int32_t nFileNo, int32_t nNumber,
                                                int32_t nIndirect) {
  const Lookup found = rb::find_file(nFileNo);
  if (!found) return found.code;
  return rb::dump_data_ctrl(nFileNo, *found.file, nNumber, nIndirect);
}

RECBASE_API int32_t RECBASE_CALL dbDumpAllDataCtrl(int32_t nFileNo) {
  const Lookup found = rb::find_file(nFileNo);
  if (!found) return found.code;
  return rb::dump_all_data_ctrl(nFileNo, *found.file);
}

RECBASE_API int32_t RECBASE_CALL dbDumpDataIndex(int32_t nFileNo, int32_t nDataType,
                                                 int32_t nSelect) {
  const Lookup found = rb::find_file(nFileNo);
  if (!found) return found.code;
  return rb::dump_data_index(nFileNo, *found.file, nDataType, nSelect);
}

RECBASE_API int32_t RECBASE_CALL dbDumpIndDataTypes(int32_t nFileNo) {
  const Lookup found = rb::find_file(nFileNo);
  if (!found) return found.code;
  return rb::dump_ind_data_types(nFileNo, *found.file);
}

RECBASE_API int32_t RECBASE_CALL dbDumpIndSections(int32_t nFileNo) {
  const Lookup found = rb::find_file(nFileNo);
  if (!found) return found.code;
  return rb::dump_ind_sections(nFileNo, *found.file);
}

// ---- section, key and cache dumps

RECBASE_API int32_t RECBASE_CALL dbDumpSection(int32_t nFileNo, int32_t nNumber,
                                               int32_t nIndirect) {
  const Lookup found = rb::find_file(nFileNo);
  if (!found) return found.code;
  return rb::dump_section(nFileNo, *found.file, nNumber, nIndirect);
}

RECBASE_API int32_t RECBASE_CALL dbDumpSectionKeys(int32_t nFileNo, int32_t nNumber,
                                                   int32_t nIndirect) {
  const Lookup found = rb::find_file(nFileNo);
  if (!found) return found.code;
  return rb::dump_section_keys(nFileNo, *found.file, nNumber, nIndirect);
}

RECBASE_API int32_t RECBASE_CALL dbDumpCashCtrl(void) { return rb::dump_cash_ctrl(); }

RECBASE_API int32_t RECBASE_CALL dumpIOCtrl(int32_t lOffset, int32_t lLen, const char* cText) {
  return rb::dump_io_ctrl(lOffset, lLen, cText);
}

}  // extern "C"
