// The header block and the tables of the table area, between memory and the
// file. The header and the three record tables move with one seek and one
// stream transfer each; the vectors go through the positioned block IO.
#include <algorithm>
#include <cstring>

#include "file/lookup.h"
#include "file/stream.h"
#include "frame/heap.h"
#include "recbase.h"
#include "sections/key_index.h"

namespace rb {
namespace {

using DefField = std::int32_t FileDef::*;

void raise_file_len(FileDef& def, std::int64_t end) {
  if (end > def.lFileLen) def.lFileLen = static_cast<std::int32_t>(end);
}

// ---- header block -------------------------------------------------------

std::int32_t write_file_def(std::int32_t file_no) {
  enter("dbWriteFileDef", file_no);
  const Lookup found = find_writable(file_no);
  if (!found) return found.code;
  // Tables and header bypass the block IO: nothing read before holds.
  key_index_forget(*found.file);
  FileCtrl& f = *found.file;
  auto* block = allocate<unsigned char>(kHeaderBlockSize);
  if (block == nullptr) return report(-1101);
  std::memset(block, 0, kHeaderBlockSize);
  std::memcpy(block, &f.def, sizeof(FileDef));
  const std::int32_t written = write_pieces(*f.pFile, 0, block, kHeaderBlockSize, kHeaderBlockSize);
  heap_free(block);
  if (written < 0) return written;
  raise_file_len(f.def, written);
  if (written != kHeaderBlockSize) return report(-13);
  return written;
}

std::int32_t read_file_def(std::int32_t file_no) {
  enter("dbReadFileDef", file_no);
  const Lookup found = find_stream(file_no);
  if (!found) return found.code;
  // Tables and header bypass the block IO: nothing read before holds.
  key_index_forget(*found.file);
  FileCtrl& f = *found.file;
  auto* block = allocate<unsigned char>(kHeaderBlockSize);
  if (block == nullptr) return report(-1111);
  const std::int32_t got = read_pieces(*f.pFile, 0, block, kHeaderBlockSize, kHeaderBlockSize);
  if (got < static_cast<std::int32_t>(sizeof(FileDef))) {
    heap_free(block);
    return report(-100);  // too short to hold a header
  }
  std::memcpy(&f.def, block, sizeof(FileDef));
  heap_free(block);
  return got;
}

// ---- record tables ------------------------------------------------------

struct RecordTable {
  const char* writer;
  const char* reader;
  DefField count;
  DefField capacities[2];  // the second may be null
  DefField length;
  DefField offset;
  std::int32_t record_size;
};

const RecordTable kDataCtrlTable{"dbWriteDataCtrl",      "dbReadDataCtrl",
                                 &FileDef::nDataTypes,   {&FileDef::nDataTypesX, nullptr},
                                 &FileDef::nLenDataCtrl, &FileDef::lOffsetDataCtrl,
                                 sizeof(DataCtrl)};
const RecordTable kIndexCtrlTable{
    "dbWriteIndexCtrl",      "dbReadIndexCtrl",
    &FileDef::nIndexCtrls,   {&FileDef::nIndexCtrlsX, &FileDef::nIndexVectorsX},
    &FileDef::nLenIndexCtrl, &FileDef::lOffsetIndexCtrl,
    sizeof(IndexCtrl)};
const RecordTable kSectionTable{"dbWriteSections",     "dbReadSections",
                                &FileDef::nSections,   {&FileDef::nSectionsX, nullptr},
                                &FileDef::nLenSection, &FileDef::lOffsetSection,
                                sizeof(Section)};

// Writes the table to the current end of the file (lFileLen).
std::int32_t write_record_table(std::int32_t file_no, const RecordTable& t, const void* records,
                                std::int32_t allocated) {
  enter(t.writer, file_no);
  const Lookup found = find_writable(file_no);
  if (!found) return found.code;
  // Tables and header bypass the block IO: nothing read before holds.
  key_index_forget(*found.file);
  FileDef& def = found.file->def;
  const bool sections = t.count == &FileDef::nSections;
  if (sections && def.nSections < 1) return 0;

  const std::int32_t offset = def.lFileLen;
  def.*t.offset = offset;
  const std::int32_t count = def.*t.count;
  if (count < 0 || count > allocated) return report(-100);
  const std::int64_t bytes = static_cast<std::int64_t>(count) * t.record_size;
  if (!range_fits(offset, bytes) || offset < 0) return report(-12);
  for (DefField capacity : t.capacities) {
    if (capacity != nullptr) def.*capacity = count;
  }
  def.*t.length = static_cast<std::int32_t>(bytes);
  if (bytes == 0) return 0;
  const auto n = static_cast<std::int32_t>(bytes);
  const std::int32_t written = write_pieces(*found.file->pFile, offset, records, n, n);
  if (written < 0) return written;
  if (written < bytes) return report(-13);
  raise_file_len(def, static_cast<std::int64_t>(offset) + written);
  return written;
}

// Reads the table from its stored offset into the records already
// allocated for it.
std::int32_t read_record_table(std::int32_t file_no, const RecordTable& t, void* records,
                               std::int32_t allocated) {
  enter(t.reader, file_no);
  const Lookup found = find_stream(file_no);
  if (!found) return found.code;
  // Tables and header bypass the block IO: nothing read before holds.
  key_index_forget(*found.file);
  FileDef& def = found.file->def;
  if (t.count == &FileDef::nSections && def.nSections < 1) return 0;
  const std::int32_t length = def.*t.length;
  if (length < 0 ||
      static_cast<std::int64_t>(length) > static_cast<std::int64_t>(allocated) * t.record_size) {
    return report(-100);
  }
  if (def.*t.offset < 0) return report(-12);
  if (length == 0) return 0;
  const std::int32_t got = read_pieces(*found.file->pFile, def.*t.offset, records, length, length);
  if (got < length) return report(-14);
  return length;
}

// ---- vectors ------------------------------------------------------------

// Bytes of n vector entries, or -1 when they pass 2^31 - 1.
std::int32_t entry_bytes(std::int32_t n) {
  const std::int64_t bytes = static_cast<std::int64_t>(n) * 4;
  return bytes <= INT32_MAX ? static_cast<std::int32_t>(bytes) : -1;
}

// The IndDataTypes and IndSections vectors: placed at their stored offset,
// or at lFileLen when they have none yet.
std::int32_t write_ind_vector(std::int32_t file_no, const char* name, std::int32_t* entries,
                              std::int32_t allocated, DefField count, DefField capacity,
                              DefField offset) {
  enter(name, file_no);
  const Lookup found = find_writable(file_no);
  if (!found) return found.code;
  FileDef& def = found.file->def;
  if (def.*offset == -1) def.*offset = def.lFileLen;
  def.*capacity = def.*count;
  const std::int32_t n = def.*count;
  if (n < 0 || n > allocated || (n > 0 && entries == nullptr) || entry_bytes(n) < 0) {
    return report(-100);
  }
  const std::int32_t result = dbCopyToFile(file_no, def.*offset, entries, entry_bytes(n));
  if (result >= 0 && result < entry_bytes(n)) return report(-13);
  return result;
}

std::int32_t read_ind_vector(std::int32_t file_no, const char* name, std::int32_t* entries,
                             std::int32_t allocated, DefField count, DefField offset,
                             bool needs_place) {
  enter(name, file_no);
  const Lookup found = find_stream(file_no);
  if (!found) return found.code;
  FileDef& def = found.file->def;
  if (needs_place && def.*offset < 0) return report(-55);
  const std::int32_t n = def.*count;
  if (n < 0 || n > allocated || (n > 0 && entries == nullptr) || entry_bytes(n) < 0) {
    return report(-100);
  }
  return dbCopyFromFile(file_no, def.*offset, entries, entry_bytes(n));
}

std::int32_t write_data_index(std::int32_t file_no) {
  enter("dbWriteDataIndex", file_no);
  const Lookup found = find_writable(file_no);
  if (!found) return found.code;
  FileCtrl& f = *found.file;
  std::int64_t total = 0;  // vectors may share their bytes on a damaged file
  for (std::int32_t v = 0; v < f.def.nIndexVectors; ++v) {
    IndexCtrl* ctrl = index_ctrl(f, v);
    IndexVector* vec = index_vector(f, v);
    if (ctrl == nullptr || vec == nullptr || ctrl->lIndexLen < 0 ||
        ctrl->lIndexLen > vec->capacity || entry_bytes(ctrl->lIndexLen) < 0) {
      return report(-100);
    }
    if (ctrl->lOffsetIndex == -1) ctrl->lOffsetIndex = f.def.lFileLen;
    const std::int32_t r =
        dbCopyToFile(file_no, ctrl->lOffsetIndex, vec->entries, entry_bytes(ctrl->lIndexLen));
    if (r < 0) return r;
    if (r < entry_bytes(ctrl->lIndexLen)) return report(-13);
    total += r;
  }
  return static_cast<std::int32_t>(std::min<std::int64_t>(total, INT32_MAX));
}

std::int32_t read_data_index(std::int32_t file_no) {
  enter("dbReadDataIndex", file_no);
  const Lookup found = find_stream(file_no);
  if (!found) return found.code;
  FileCtrl& f = *found.file;
  std::int64_t total = 0;  // vectors may share their bytes on a damaged file
  for (std::int32_t v = 0; v < f.def.nIndexVectors; ++v) {
    IndexCtrl* ctrl = index_ctrl(f, v);
    IndexVector* vec = index_vector(f, v);
    if (ctrl == nullptr || vec == nullptr || ctrl->lIndexLen < 0 ||
        ctrl->lIndexLen > vec->capacity || entry_bytes(ctrl->lIndexLen) < 0) {
      return report(-100);
    }
    const std::int32_t r =
        dbCopyFromFile(file_no, ctrl->lOffsetIndex, vec->entries, entry_bytes(ctrl->lIndexLen));
    if (r < 0) return r;
    total += r;
  }
  return static_cast<std::int32_t>(std::min<std::int64_t>(total, INT32_MAX));
}

FileCtrl* any_file(std::int32_t file_no) { return file_at(file_no); }

}  // namespace
}  // namespace rb

using rb::FileDef;

extern "C" {

RECBASE_API std::int32_t RECBASE_CALL dbWriteFileDef(std::int32_t nFileNo) {
  return rb::write_file_def(nFileNo);
}
RECBASE_API std::int32_t RECBASE_CALL dbReadFileDef(std::int32_t nFileNo) {
  return rb::read_file_def(nFileNo);
}

RECBASE_API std::int32_t RECBASE_CALL dbWriteDataCtrl(std::int32_t nFileNo) {
  rb::FileCtrl* f = rb::any_file(nFileNo);
  return rb::write_record_table(nFileNo, rb::kDataCtrlTable, f ? f->pDataCtrl : nullptr,
                                f ? f->nDataCtrlCap : 0);
}
RECBASE_API std::int32_t RECBASE_CALL dbReadDataCtrl(std::int32_t nFileNo) {
  rb::FileCtrl* f = rb::any_file(nFileNo);
  return rb::read_record_table(nFileNo, rb::kDataCtrlTable, f ? f->pDataCtrl : nullptr,
                               f ? f->nDataCtrlCap : 0);
}
RECBASE_API std::int32_t RECBASE_CALL dbWriteIndexCtrl(std::int32_t nFileNo) {
  rb::FileCtrl* f = rb::any_file(nFileNo);
  return rb::write_record_table(nFileNo, rb::kIndexCtrlTable, f ? f->pIndexCtrl : nullptr,
                                f ? f->nIndexCtrlCap : 0);
}
RECBASE_API std::int32_t RECBASE_CALL dbReadIndexCtrl(std::int32_t nFileNo) {
  rb::FileCtrl* f = rb::any_file(nFileNo);
  return rb::read_record_table(nFileNo, rb::kIndexCtrlTable, f ? f->pIndexCtrl : nullptr,
                               f ? f->nIndexCtrlCap : 0);
}
RECBASE_API std::int32_t RECBASE_CALL dbWriteSections(std::int32_t nFileNo) {
  rb::FileCtrl* f = rb::any_file(nFileNo);
  return rb::write_record_table(nFileNo, rb::kSectionTable, f ? f->pSection : nullptr,
                                f ? f->nSectionCap : 0);
}
RECBASE_API std::int32_t RECBASE_CALL dbReadSections(std::int32_t nFileNo) {
  rb::FileCtrl* f = rb::any_file(nFileNo);
  return rb::read_record_table(nFileNo, rb::kSectionTable, f ? f->pSection : nullptr,
                               f ? f->nSectionCap : 0);
}

RECBASE_API std::int32_t RECBASE_CALL dbWriteDataIndex(std::int32_t nFileNo) {
  return rb::write_data_index(nFileNo);
}
RECBASE_API std::int32_t RECBASE_CALL dbReadDataIndex(std::int32_t nFileNo) {
  return rb::read_data_index(nFileNo);
}

RECBASE_API std::int32_t RECBASE_CALL dbWriteIndDataTypes(std::int32_t nFileNo) {
  rb::FileCtrl* f = rb::any_file(nFileNo);
  return rb::write_ind_vector(nFileNo, "dbWriteIndDataTypes", f ? f->pIndDataTypes : nullptr,
                              f ? f->nIndDataTypesCap : 0, &FileDef::nIndDataTypes,
                              &FileDef::nIndDataTypesX, &FileDef::lOffsetIndDataTypes);
}
RECBASE_API std::int32_t RECBASE_CALL dbReadIndDataTypes(std::int32_t nFileNo) {
  rb::FileCtrl* f = rb::any_file(nFileNo);
  return rb::read_ind_vector(nFileNo, "dbReadIndDataTypes", f ? f->pIndDataTypes : nullptr,
                             f ? f->nIndDataTypesCap : 0, &FileDef::nIndDataTypes,
                             &FileDef::lOffsetIndDataTypes, true);
}
RECBASE_API std::int32_t RECBASE_CALL dbWriteIndSections(std::int32_t nFileNo) {
  rb::FileCtrl* f = rb::any_file(nFileNo);
  return rb::write_ind_vector(nFileNo, "dbWriteIndSections", f ? f->pIndSections : nullptr,
                              f ? f->nIndSectionsCap : 0, &FileDef::nIndSections,
                              &FileDef::nIndSectionsX, &FileDef::lOffsetIndSections);
}
RECBASE_API std::int32_t RECBASE_CALL dbReadIndSections(std::int32_t nFileNo) {
  rb::FileCtrl* f = rb::any_file(nFileNo);
  return rb::read_ind_vector(nFileNo, "dbReadIndSections", f ? f->pIndSections : nullptr,
                             f ? f->nIndSectionsCap : 0, &FileDef::nIndSections,
                             &FileDef::lOffsetIndSections, false);
}

}  // extern "C"
