// The exported functions of the database file: the
// readers and writers of the header and the tables, the positioned block
// IO, creating, opening, flushing and closing, and file growth. Each
// records its name and file number, finds its file and calls the internal
// functions of src/file/.
#include <cstdint>

#include "file/block_io.h"
#include "file/growth.h"
#include "file/lifecycle.h"
#include "file/lookup.h"
#include "file/table_io.h"
#include "frame/log.h"
#include "frame/state.h"
#include "recbase.h"
#include "records/cache.h"
#include "records/catalogue.h"
#include "records/closing.h"
#include "records/growth.h"

using std::int32_t;

namespace {

using TableIo = int32_t (*)(int32_t, rb::FileCtrl&);

// A writer of the header or a table: records name, needs write access.
int32_t write_table(const char* name, int32_t file_no, TableIo write) {
  rb::enter(name, file_no);
  const rb::Lookup found = rb::find_writable(file_no);
  if (!found) return found.code;
  return write(file_no, *found.file);
}

// A reader of the header or a table: records name, needs a stream.
int32_t read_table(const char* name, int32_t file_no, TableIo read) {
  rb::enter(name, file_no);
  const rb::Lookup found = rb::find_stream(file_no);
  if (!found) return found.code;
  return read(file_no, *found.file);
}

}  // namespace

extern "C" {

// ---- header and tables

RECBASE_API int32_t RECBASE_CALL dbWriteFileDef(int32_t nFileNo) {
  return write_table("dbWriteFileDef", nFileNo, rb::write_file_def);
}
RECBASE_API int32_t RECBASE_CALL dbReadFileDef(int32_t nFileNo) {
  return read_table("dbReadFileDef", nFileNo, rb::read_file_def);
}
RECBASE_API int32_t RECBASE_CALL dbWriteDataCtrl(int32_t nFileNo) {
  return write_table("dbWriteDataCtrl", nFileNo, rb::write_data_ctrl);
}
RECBASE_API int32_t RECBASE_CALL dbReadDataCtrl(int32_t nFileNo) {
  return read_table("dbReadDataCtrl", nFileNo, rb::read_data_ctrl);
}
RECBASE_API int32_t RECBASE_CALL dbWriteIndexCtrl(int32_t nFileNo) {
  return write_table("dbWriteIndexCtrl", nFileNo, rb::write_index_ctrl);
}
RECBASE_API int32_t RECBASE_CALL dbReadIndexCtrl(int32_t nFileNo) {
  return read_table("dbReadIndexCtrl", nFileNo, rb::read_index_ctrl);
}
RECBASE_API int32_t RECBASE_CALL dbWriteDataIndex(int32_t nFileNo) {
  return write_table("dbWriteDataIndex", nFileNo, rb::write_data_index);
}
RECBASE_API int32_t RECBASE_CALL dbReadDataIndex(int32_t nFileNo) {
  return read_table("dbReadDataIndex", nFileNo, rb::read_data_index);
}
RECBASE_API int32_t RECBASE_CALL dbWriteSections(int32_t nFileNo) {
  return write_table("dbWriteSections", nFileNo, rb::write_sections);
}
RECBASE_API int32_t RECBASE_CALL dbReadSections(int32_t nFileNo) {
  return read_table("dbReadSections", nFileNo, rb::read_sections);
}
RECBASE_API int32_t RECBASE_CALL dbWriteIndDataTypes(int32_t nFileNo) {
  return write_table("dbWriteIndDataTypes", nFileNo, rb::write_ind_data_types);
}
RECBASE_API int32_t RECBASE_CALL dbReadIndDataTypes(int32_t nFileNo) {
  return read_table("dbReadIndDataTypes", nFileNo, rb::read_ind_data_types);
}
RECBASE_API int32_t RECBASE_CALL dbWriteIndSections(int32_t nFileNo) {
  return write_table("dbWriteIndSections", nFileNo, rb::write_ind_sections);
}
RECBASE_API int32_t RECBASE_CALL dbReadIndSections(int32_t nFileNo) {
  return read_table("dbReadIndSections", nFileNo, rb::read_ind_sections);
}

// ---- positioned block IO
// Before dbInit these answer -4 without looking further.

RECBASE_API int32_t RECBASE_CALL dbFillUpTo(int32_t nFileNo, int32_t lLength) {
  rb::enter("dbFillUpTo", nFileNo);
  if (rb::g_lib.sys == nullptr) return DB_ERR_NO_SYSDATA;
  const rb::Lookup found = rb::find_writable(nFileNo);
  if (!found) return found.code;
  return rb::fill_up_to(*found.file, lLength);
}

RECBASE_API int32_t RECBASE_CALL dbCopyToFile(int32_t nFileNo, int32_t lOffset, const void* pBuffer,
                                              int32_t lLen) {
  rb::enter("dbCopyToFile", nFileNo);
  if (rb::g_lib.sys == nullptr) return DB_ERR_NO_SYSDATA;
  const rb::Lookup found = rb::find_writable(nFileNo);
  if (!found) return found.code;
  return rb::copy_to_file(*found.file, lOffset, pBuffer, lLen);
}

RECBASE_API int32_t RECBASE_CALL dbCopyFromFile(int32_t nFileNo, int32_t lOffset, void* pBuffer,
                                                int32_t lLen) {
  rb::enter("dbCopyFromFile", nFileNo);
  if (rb::g_lib.sys == nullptr) return DB_ERR_NO_SYSDATA;
  const rb::Lookup found = rb::find_stream(nFileNo);
  if (!found) return found.code;
  return rb::copy_from_file(*found.file, lOffset, pBuffer, lLen);
}

// ---- creating, opening and closing

RECBASE_API int32_t RECBASE_CALL dbCreate(const char* cName, int32_t nDesc, const DataDesc* pDesc,
                                          int32_t nSections, int32_t nFlags) {
  // The file number is recorded once a slot is taken.
  rb::enter("dbCreate", -1);
  return rb::create_file(cName, nDesc, pDesc, nSections, nFlags);
}

RECBASE_API int32_t RECBASE_CALL dbOpen(const char* cName, int32_t nMode) {
  // The file number is recorded once a slot is taken.
  rb::enter("dbOpen", -1);
  return rb::open_file(cName, nMode);
}

RECBASE_API int32_t RECBASE_CALL dbClose(int32_t nFileNo) {
  rb::enter("dbClose", nFileNo);
  if (!rb::initialised()) return DB_ERR_NO_CASH;
  if (rb::g_lib.files == nullptr) return DB_ERR_NO_FILE;
  if (nFileNo < 0 || nFileNo >= rb::g_lib.cash->nFiles) return rb::report(DB_ERR_NO_FILE);
  rb::FileCtrl* f = rb::g_lib.files[nFileNo];
  if (f == nullptr) return 0;  // closing an empty slot is no failure
  if (f->pFile == nullptr) return rb::report(DB_ERR_FILE_POINTER);
  return rb::close_file(nFileNo, f);
}

RECBASE_API int32_t RECBASE_CALL dbCloseAll(void) {
  rb::enter("dbCloseAll", -1);
  if (!rb::initialised()) return DB_ERR_NO_CASH;
  rb::close_all_files();
  return 0;
}

RECBASE_API int32_t RECBASE_CALL dbFlush(int32_t nFileNo) {
  rb::enter("dbFlush", nFileNo);
  const rb::Lookup found = rb::find_stream(nFileNo);
  if (!found) return found.code;
  return rb::flush_file(nFileNo, *found.file);
}

RECBASE_API int32_t RECBASE_CALL dbReset(int32_t nFileNo) {
  // Records its name and leaves the file number as it is.
  rb::enter_name("dbReset");
  if (!rb::initialised()) return DB_ERR_NO_CASH;
  return rb::drop_blocks(nFileNo);
}

// ---- file growth

RECBASE_API int32_t RECBASE_CALL dbExpandFile(int32_t nFileNo, int32_t lOffset, int32_t lLen) {
  rb::enter("dbExpandFile", nFileNo);
  const rb::Lookup found = rb::find_stream(nFileNo);
  if (!found) return found.code;
  return rb::expand_file(nFileNo, *found.file, lOffset, lLen, -1);
}

RECBASE_API int32_t RECBASE_CALL dbShiftOffsets(int32_t nFileNo, int32_t lOffset, int32_t lLen) {
  rb::enter("dbShiftOffsets", nFileNo);
  const rb::Lookup found = rb::find_file(nFileNo);
  if (!found) return found.code;
  return rb::shift_file_offsets(nFileNo, *found.file, lOffset, lLen);
}

}  // extern "C"
