// Not built yet: every entry point answers -90 until its subsystem lands.
#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"

using std::int32_t;

extern "C" {

RECBASE_API int32_t RECBASE_CALL dbExpandFile(int32_t nFileNo, int32_t lOffset, int32_t lLen) {
  (void)nFileNo;
  (void)lOffset;
  (void)lLen;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbShiftOffsets(int32_t nFileNo, int32_t lOffset, int32_t lLen) {
  (void)nFileNo;
  (void)lOffset;
  (void)lLen;
  return rb::report(-90);
}

}  // extern "C"
