// Not built yet: every entry point answers -90 until its subsystem lands.
#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"

using std::int32_t;

extern "C" {

RECBASE_API int32_t RECBASE_CALL dbBeginSections(int32_t nFileNo, int32_t nSectionNo, int32_t nKeys,
                                                 int32_t nFlags) {
  (void)nFileNo;
  (void)nSectionNo;
  (void)nKeys;
  (void)nFlags;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbEndSections(int32_t nFileNo, int32_t nSectionIndex) {
  (void)nFileNo;
  (void)nSectionIndex;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbBeginSection(int32_t nFileNo, int32_t nSectionNo,
                                                int32_t* pKeys) {
  (void)nFileNo;
  (void)nSectionNo;
  (void)pKeys;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbEndSection(int32_t nFileNo, int32_t nSectionIndex) {
  (void)nFileNo;
  (void)nSectionIndex;
  return rb::report(-90);
}

}  // extern "C"
