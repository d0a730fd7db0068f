// Not built yet: every entry point answers -90 until its subsystem lands.
#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"

using std::int32_t;

extern "C" {

RECBASE_API int32_t RECBASE_CALL dbAddHashBucket(int32_t nFileNo, int32_t nSectionIndex) {
  (void)nFileNo;
  (void)nSectionIndex;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbAddKey(int32_t nFileNo, int32_t nSectionIndex,
                                          const int32_t* pKeys) {
  (void)nFileNo;
  (void)nSectionIndex;
  (void)pKeys;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbExistKey(int32_t nFileNo, int32_t nSectionNo,
                                            const int32_t* pKeys) {
  (void)nFileNo;
  (void)nSectionNo;
  (void)pKeys;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbSetSection(int32_t nFileNo, int32_t nSectionNo,
                                              const int32_t* pKeys) {
  (void)nFileNo;
  (void)nSectionNo;
  (void)pKeys;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbGetMaxKey(int32_t nFileNo, int32_t nSectionNo, int32_t* pKeys) {
  (void)nFileNo;
  (void)nSectionNo;
  (void)pKeys;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbGetKey(int32_t nFileNo, int32_t nSectionNo, int32_t nMode,
                                          int32_t* pKeys) {
  (void)nFileNo;
  (void)nSectionNo;
  (void)nMode;
  (void)pKeys;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbGetSection(int32_t nFileNo, int32_t* pSectionNo,
                                              int32_t* pKeys) {
  (void)nFileNo;
  (void)pSectionNo;
  (void)pKeys;
  return rb::report(-90);
}

}  // extern "C"
