// The exported functions of the library frame: dbInit,
// dbExit, the tunables, the error counters, the version text and the log.
// Every exported function of the library is defined under src/api/: it
// records its name and file number for the log (the entry convention,
// frame/state.h), finds its file (file/lookup.h) and calls the internal
// functions in rb::, which never call an exported function themselves.
#include <cstdint>

#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"
#include "records/library.h"

using rb::SysData;
using std::int32_t;

extern "C" {

RECBASE_API int32_t RECBASE_CALL dbInit(int32_t nCashBuffers, int32_t nFiles) {
  rb::enter("dbInit", -1);
  return rb::init_library(nCashBuffers, nFiles);
}

RECBASE_API int32_t RECBASE_CALL dbExit(void) {
  // Records its name only once the library is known to be initialised.
  if (!rb::initialised()) return DB_ERR_NO_CASH;
  rb::enter("dbExit", -1);
  return rb::exit_library();
}

// The tunables and counters record nothing.
RECBASE_API int32_t RECBASE_CALL dbSetMaxDataType(int32_t n) {
  return rb::swap_tunable(&SysData::nMaxDataType, n);
}
RECBASE_API int32_t RECBASE_CALL dbSetMaxSection(int32_t n) {
  return rb::swap_tunable(&SysData::nMaxSection, n);
}
RECBASE_API int32_t RECBASE_CALL dbSetBucketBlock(int32_t n) {
  return rb::swap_tunable(&SysData::nBucketBlock, n);
}
RECBASE_API int32_t RECBASE_CALL dbSetBucket(int32_t n) {
  return rb::swap_tunable(&SysData::nBucket, n);
}
RECBASE_API int32_t RECBASE_CALL dbSetBucketMsk(int32_t n) {
  return rb::swap_tunable(&SysData::nBucketMsk, n);
}
RECBASE_API int32_t RECBASE_CALL dbGetMaxDataType(void) {
  return rb::get_tunable(&SysData::nMaxDataType);
}
RECBASE_API int32_t RECBASE_CALL dbGetMaxSection(void) {
  return rb::get_tunable(&SysData::nMaxSection);
}
RECBASE_API int32_t RECBASE_CALL dbGetBucketBlock(void) {
  return rb::get_tunable(&SysData::nBucketBlock);
}
RECBASE_API int32_t RECBASE_CALL dbGetBucket(void) { return rb::get_tunable(&SysData::nBucket); }
RECBASE_API int32_t RECBASE_CALL dbGetBucketMsk(void) {
  return rb::get_tunable(&SysData::nBucketMsk);
}
RECBASE_API int32_t RECBASE_CALL dbGetLastError(void) {
  return rb::get_tunable(&SysData::nLastError);
}
RECBASE_API int32_t RECBASE_CALL dbGetErrorCount(void) {
  return rb::get_tunable(&SysData::nErrorCount);
}
RECBASE_API const char* RECBASE_CALL dbGetLibVersion(void) { return rb::kLibVersion; }

// The log: the host may log codes of its own, under the name recorded last.
RECBASE_API int32_t RECBASE_CALL dbSetError(int32_t nCode) { return rb::report(nCode); }
RECBASE_API int32_t RECBASE_CALL dbSetWarnung(int32_t nCode) { return rb::report_warning(nCode); }

}  // extern "C"
