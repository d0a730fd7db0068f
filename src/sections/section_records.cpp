// Not built yet: every entry point answers -90 until its subsystem lands.
#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"

using std::int32_t;

extern "C" {

RECBASE_API int32_t RECBASE_CALL dbReadS(int32_t nFileNo, int32_t nDataType, int32_t lRecNo,
                                         int32_t lSubNo, void* pData, int32_t nLen,
                                         int32_t nSectionNo) {
  (void)nFileNo;
  (void)nDataType;
  (void)lRecNo;
  (void)lSubNo;
  (void)pData;
  (void)nLen;
  (void)nSectionNo;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbWriteS(int32_t nFileNo, int32_t nDataType, int32_t lRecNo,
                                          int32_t lSubNo, const void* pData, int32_t nLen,
                                          int32_t nSectionNo) {
  (void)nFileNo;
  (void)nDataType;
  (void)lRecNo;
  (void)lSubNo;
  (void)pData;
  (void)nLen;
  (void)nSectionNo;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbAddDataCtrlS(int32_t nFileNo, const DataDesc* pDesc,
                                                int32_t nSectionNo) {
  (void)nFileNo;
  (void)pDesc;
  (void)nSectionNo;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbBeginDataS(int32_t nFileNo, const DataDesc* pDesc,
                                              int32_t nSectionNo) {
  (void)nFileNo;
  (void)pDesc;
  (void)nSectionNo;
  return rb::report(-90);
}

RECBASE_API int32_t RECBASE_CALL dbEndDataS(int32_t nFileNo) {
  (void)nFileNo;
  return rb::report(-90);
}

}  // extern "C"

namespace rb {
struct FileCtrl;
std::int32_t add_section_data_type(std::int32_t file_no, FileCtrl& f, const DataDesc* desc) {
  (void)file_no;
  (void)f;
  (void)desc;
  return report(-90);
}
}  // namespace rb
