// Not built yet: every entry point answers -90 until its subsystem lands.
#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"

using std::int32_t;

extern "C" {

RECBASE_API int32_t RECBASE_CALL dbDumpSysData(void) { return rb::report(-90); }

RECBASE_API int32_t RECBASE_CALL dbDumpFileDef(int32_t nFileNo) {
  (void)nFileNo;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbDumpDataCtrl(int32_t nFileNo, int32_t nNumber,
                                                int32_t nIndirect) {
  (void)nFileNo;
  (void)nNumber;
  (void)nIndirect;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbDumpAllDataCtrl(int32_t nFileNo) {
  (void)nFileNo;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbDumpDataIndex(int32_t nFileNo, int32_t nDataType,
                                                 int32_t nSelect) {
  (void)nFileNo;
  (void)nDataType;
  (void)nSelect;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbDumpIndDataTypes(int32_t nFileNo) {
  (void)nFileNo;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbDumpIndSections(int32_t nFileNo) {
  (void)nFileNo;
  return rb::report(-90);
}

}  // extern "C"
