// The exported functions of data types and records:
// index vectors, the data type catalogue and its queries, the block cache
// and record IO. Each records its name and file number, finds its file and
// calls the internal functions of src/records/.
#include <cstdint>

#include "file/lookup.h"
#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"
#include "records/cache.h"
#include "records/catalogue.h"
#include "records/index_vectors.h"
#include "records/queries.h"
#include "records/record_io.h"
#include "sections/sections.h"

using rb::Lookup;
using std::int32_t;

extern "C" {

// ---- index vectors

RECBASE_API int32_t RECBASE_CALL dbAddIndexVector(int32_t nFileNo, int32_t lLen, int32_t nIndexType,
                                                  int32_t nOwnerNo) {
  rb::enter("dbAddIndex", nFileNo);  // the name it has always logged under
  const Lookup found = rb::find_file(nFileNo);
  if (!found) return found.code;
  return rb::add_index_vector(nFileNo, *found.file, lLen, nIndexType, nOwnerNo);
}

RECBASE_API int32_t RECBASE_CALL dbExpandIndexVectors(int32_t nFileNo) {
  return rb::on_file("dbExpandIndexVectors", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::expand_index_vectors(f); });
}

RECBASE_API int32_t RECBASE_CALL dbExpandIndex(int32_t nFileNo, int32_t nVector, int32_t lRecNo) {
  return rb::on_file("dbExpandIndex", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::expand_index(f, nVector, lRecNo); });
}

// ---- data type catalogue

RECBASE_API int32_t RECBASE_CALL dbSetDataCtrl(int32_t nFileNo, int32_t nDesc,
                                               const DataDesc* pDesc) {
  return rb::on_file("dbSetDataCtrl", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::set_data_ctrl(nFileNo, f, nDesc, pDesc); });
}

RECBASE_API int32_t RECBASE_CALL dbAddDataCtrl(int32_t nFileNo, const DataDesc* pDesc) {
  return rb::on_file("dbAddDataCtrl", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::add_data_ctrl(nFileNo, f, pDesc); });
}

RECBASE_API int32_t RECBASE_CALL dbExpandDataCtrl(int32_t nFileNo) {
  return rb::on_file("dbExpandDataCtrl", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::expand_data_ctrl(f); });
}

RECBASE_API int32_t RECBASE_CALL dbExpandIndDataTypes(int32_t nFileNo, int32_t nType) {
  return rb::on_file("dbExpandIndDataTypes", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::expand_ind_data_types(f, nType); });
}

RECBASE_API int32_t RECBASE_CALL dbBeginData(int32_t nFileNo, const DataDesc* pDesc) {
  return rb::on_file("dbBeginData", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::begin_data(nFileNo, f, pDesc); });
}

RECBASE_API int32_t RECBASE_CALL dbEndData(int32_t nFileNo) {
  return rb::on_file("dbEndData", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::end_data_input(nFileNo, f); });
}

// ---- data type queries

RECBASE_API int32_t RECBASE_CALL dbGetFirstDataType(int32_t nFileNo) {
  return rb::on_file("dbGetFirstDataType", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::get_first_data_type(f); });
}

RECBASE_API int32_t RECBASE_CALL dbGetNextDataType(int32_t nFileNo) {
  return rb::on_file("dbGetNextDataType", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::get_next_data_type(f); });
}

RECBASE_API int32_t RECBASE_CALL dbExistDataType(int32_t nFileNo, int32_t nDataType) {
  return rb::on_file("dbExistDataType", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::exist_data_type(f, nDataType); });
}

RECBASE_API int32_t RECBASE_CALL dbGetDataTypeSize(int32_t nFileNo, int32_t nDataType) {
  return rb::on_file("dbGetDataTypeSize", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::get_data_type_size(f, nDataType); });
}

RECBASE_API int32_t RECBASE_CALL dbGetDataTypeMaxCount(int32_t nFileNo, int32_t nDataType) {
  return rb::on_file("dbGetDataTypeMaxCount", nFileNo,
                     [&](rb::FileCtrl& f) { return rb::get_data_type_max_count(f, nDataType); });
}

RECBASE_API int32_t RECBASE_CALL dbGetDataTypeMaxCountS(int32_t nFileNo, int32_t nSectionNo,
                                                        int32_t nDataType) {
  return rb::on_file("dbGetDataTypeMaxCountS", nFileNo, [&](rb::FileCtrl& f) {
    return rb::get_data_type_max_count_s(f, nSectionNo, nDataType);
  });
}

RECBASE_API int32_t RECBASE_CALL dbGetDataTypeRecs(int32_t nFileNo, int32_t nDataType,
                                                   int32_t lRecNo) {
  return rb::on_file("dbGetDataTypeRecs", nFileNo, [&](rb::FileCtrl& f) {
    return rb::get_data_type_recs(nFileNo, f, nDataType, lRecNo);
  });
}

RECBASE_API int32_t RECBASE_CALL dbGetIndex(int32_t nFileNo, int32_t nSectionNo, int32_t nDataType,
                                            int32_t lRecNo) {
  rb::enter("dbGetIndex", nFileNo);
  const Lookup found = rb::find_stream(nFileNo, -1);
  if (!found) return found.code;
  return rb::get_index(nFileNo, *found.file, nSectionNo, nDataType, lRecNo);
}

// ---- block cache

RECBASE_API void* RECBASE_CALL dbGetCashPtr(int32_t nFileNo, int32_t lOffset, int32_t lLen,
                                            int32_t* pFlags) {
  rb::enter("dbGetCachPtr", nFileNo);  // the name it has always logged under
  const bool write = pFlags != nullptr && (*pFlags & CASH_WRITE) != 0;
  if (pFlags != nullptr) *pFlags = 0;
  const Lookup found = rb::find_stream(nFileNo, -1);
  if (!found) return nullptr;
  return rb::cash_ptr(nFileNo, *found.file, lOffset, lLen, write, pFlags);
}

// ---- record read and write
// nLen is not used: the record's own size is copied.

RECBASE_API int32_t RECBASE_CALL dbRead(int32_t nFileNo, int32_t nDataType, int32_t lRecNo,
                                        int32_t lSubNo, void* pData, int32_t nLen) {
  (void)nLen;
  rb::enter("dbRead", nFileNo);
  const Lookup found = rb::find_stream(nFileNo, -1);
  if (!found) return found.code;
  return rb::read_typed(nFileNo, *found.file, nDataType, lRecNo, lSubNo, pData);
}

RECBASE_API int32_t RECBASE_CALL dbWrite(int32_t nFileNo, int32_t nDataType, int32_t lRecNo,
                                         int32_t lSubNo, const void* pData) {
  rb::enter("dbWrite", nFileNo);
  const Lookup found = rb::find_stream(nFileNo, -1);
  if (!found) return found.code;
  return rb::write_typed(nFileNo, *found.file, nDataType, lRecNo, lSubNo, pData);
}

RECBASE_API int32_t RECBASE_CALL dbReadKey(int32_t nFileNo, int32_t nDataCtrlNo, int32_t lRecNo,
                                           void* pData, int32_t nLen) {
  (void)nLen;
  rb::enter("dbReadKey", nFileNo);
  const Lookup found = rb::find_stream(nFileNo, -1);
  if (!found) return found.code;
  return rb::read_key(nFileNo, *found.file, nDataCtrlNo, lRecNo, pData);
}

RECBASE_API int32_t RECBASE_CALL dbWriteKey(int32_t nFileNo, int32_t nDataCtrlNo, int32_t lRecNo,
                                            const void* pData, int32_t nLen) {
  (void)nLen;
  rb::enter("dbWriteKey", nFileNo);
  const Lookup found = rb::find_stream(nFileNo, -1);
  if (!found) return found.code;
  return rb::write_key(nFileNo, *found.file, nDataCtrlNo, lRecNo, pData);
}

}  // extern "C"
