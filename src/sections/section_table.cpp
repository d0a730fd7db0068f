// Not built yet: every entry point answers -90 until its subsystem lands.
#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"

using std::int32_t;

extern "C" {

RECBASE_API int32_t RECBASE_CALL dbAddSection(int32_t nFileNo, int32_t nSectionNo, int32_t nFlags) {
  (void)nFileNo;
  (void)nSectionNo;
  (void)nFlags;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbExpandSections(int32_t nFileNo) {
  (void)nFileNo;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbExpandIndSections(int32_t nFileNo, int32_t nSectionNo) {
  (void)nFileNo;
  (void)nSectionNo;
  return rb::report(-90);
}

}  // extern "C"
