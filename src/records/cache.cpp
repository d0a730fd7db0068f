// Not built yet: every entry point answers -90 until its subsystem lands.
#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"

using std::int32_t;

extern "C" {

RECBASE_API void* RECBASE_CALL dbGetCashPtr(int32_t nFileNo, int32_t lOffset, int32_t lLen,
                                            int32_t* pFlags) {
  (void)nFileNo;
  (void)lOffset;
  (void)lLen;
  (void)pFlags;
  rb::report(-90);
  return nullptr;
}

}  // extern "C"
