// Not built yet: every entry point answers -90 until its subsystem lands.
#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"

using std::int32_t;

extern "C" {

RECBASE_API int32_t RECBASE_CALL dbRead(int32_t nFileNo, int32_t nDataType, int32_t lRecNo,
                                        int32_t lSubNo, void* pData, int32_t nLen) {
  (void)nFileNo;
  (void)nDataType;
  (void)lRecNo;
  (void)lSubNo;
  (void)pData;
  (void)nLen;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbWrite(int32_t nFileNo, int32_t nDataType, int32_t lRecNo,
                                         int32_t lSubNo, const void* pData) {
  (void)nFileNo;
  (void)nDataType;
  (void)lRecNo;
  (void)lSubNo;
  (void)pData;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbReadKey(int32_t nFileNo, int32_t nDataCtrlNo, int32_t lRecNo,
                                           void* pData, int32_t nLen) {
  (void)nFileNo;
  (void)nDataCtrlNo;
  (void)lRecNo;
  (void)pData;
  (void)nLen;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbWriteKey(int32_t nFileNo, int32_t nDataCtrlNo, int32_t lRecNo,
                                            const void* pData, int32_t nLen) {
  (void)nFileNo;
  (void)nDataCtrlNo;
  (void)lRecNo;
  (void)pData;
  (void)nLen;
  return rb::report(-90);
}

}  // extern "C"
