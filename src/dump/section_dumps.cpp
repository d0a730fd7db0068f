// Not built yet: every entry point answers -90 until its subsystem lands.
#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"

using std::int32_t;

extern "C" {

RECBASE_API int32_t RECBASE_CALL dbDumpSection(int32_t nFileNo, int32_t nNumber,
                                               int32_t nIndirect) {
  (void)nFileNo;
  (void)nNumber;
  (void)nIndirect;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbDumpSectionKeys(int32_t nFileNo, int32_t nNumber,
                                                   int32_t nIndirect) {
  (void)nFileNo;
  (void)nNumber;
  (void)nIndirect;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbDumpCashCtrl(void) { return rb::report(-90); }

RECBASE_API int32_t RECBASE_CALL dumpIOCtrl(int32_t lOffset, int32_t lLen, const char* cText) {
  (void)lOffset;
  (void)lLen;
  (void)cText;
  return rb::report(-90);
}

}  // extern "C"
