// Not built yet: every entry point answers -90 until its subsystem lands.
#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"

using std::int32_t;

extern "C" {

RECBASE_API int32_t RECBASE_CALL dbGetFirstDataType(int32_t nFileNo) {
  (void)nFileNo;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbGetNextDataType(int32_t nFileNo) {
  (void)nFileNo;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbExistDataType(int32_t nFileNo, int32_t nDataType) {
  (void)nFileNo;
  (void)nDataType;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbGetDataTypeSize(int32_t nFileNo, int32_t nDataType) {
  (void)nFileNo;
  (void)nDataType;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbGetDataTypeMaxCount(int32_t nFileNo, int32_t nDataType) {
  (void)nFileNo;
  (void)nDataType;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbGetDataTypeMaxCountS(int32_t nFileNo, int32_t nSectionNo,
                                                        int32_t nDataType) {
  (void)nFileNo;
  (void)nSectionNo;
  (void)nDataType;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbGetDataTypeRecs(int32_t nFileNo, int32_t nDataType,
                                                   int32_t lRecNo) {
  (void)nFileNo;
  (void)nDataType;
  (void)lRecNo;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbGetIndex(int32_t nFileNo, int32_t nSectionNo, int32_t nDataType,
                                            int32_t lRecNo) {
  (void)nFileNo;
  (void)nSectionNo;
  (void)nDataType;
  (void)lRecNo;
  return rb::report(-90);
}

}  // extern "C"
