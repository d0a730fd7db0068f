// The life of a database file: dbCreate, dbOpen, dbFlush, dbReset,
// dbClose and dbCloseAll.
#include <algorithm>
#include <cstring>
#include <ctime>

#include "file/block_io.h"
#include "file/lifecycle.h"
#include "file/lookup.h"
#include "file/stream.h"
#include "file/table_io.h"
#include "file/validate.h"
#include "frame/heap.h"
#include "recbase.h"

namespace rb {

namespace {

// Allocations that failed: the stream of dbCreate and dbOpen.
constexpr std::int32_t kCreateAllocStream = DB_ERR_CREATE_ALLOC_STREAM;
constexpr std::int32_t kOpenAllocStream = DB_ERR_OPEN_ALLOC_STREAM;

std::int32_t now() { return static_cast<std::int32_t>(std::time(nullptr)); }

std::int32_t lowest_empty_slot() {
  for (std::int32_t i = 0; i < g_lib.cash->nFiles; ++i) {
    if (g_lib.files[i] == nullptr) return i;
  }
  return -1;
}

}  // namespace

std::int32_t abandon(std::int32_t slot, std::int32_t code) {
  FileCtrl* f = g_lib.files[slot];
  if (f != nullptr) {
    close_stream(f->pFile);
    f->pFile = nullptr;
    release_file_ctrl(f);
    g_lib.files[slot] = nullptr;
  }
  return code;
}

namespace {

std::int32_t fail(std::int32_t slot, std::int32_t code) { return abandon(slot, report(code)); }

void init_file_def(FileDef& d, std::int32_t flags, std::int32_t n, std::int32_t count) {
  std::memset(&d, 0, sizeof d);
  std::memcpy(d.cFormat, kFormatId, sizeof kFormatId);
  d.tCreate = d.tUpdate = now();
  d.nFlags = flags | kModeCreated;
  d.nDataCtrlOpen = d.nDataTypeCursor = -1;
  d.lFileLen = 0;
  d.nIndexVectors = d.nIndexVectorsX = d.nIndexCtrls = d.nIndexCtrlsX = 0;
  d.nIndexCtrlSize = sizeof(IndexCtrl);
  d.nLenIndexCtrl = d.lOffsetIndexCtrl = -1;
  d.nDataTypes = count < 1 ? 0 : count;
  d.nDataTypesX = n;
  d.nDataCtrlSize = sizeof(DataCtrl);
  // A count too large for the table fails its allocation right after.
  d.nLenDataCtrl = static_cast<std::int32_t>(
      std::min<std::int64_t>(static_cast<std::int64_t>(n) * sizeof(DataCtrl), INT32_MAX));
  d.lOffsetDataCtrl = kHeaderBlockSize;
  d.nSections = d.nSectionsX = 0;
  d.nSectionSize = sizeof(Section);
  d.nLenSection = d.lOffsetSection = -1;
  d.nIndDataTypes = d.nIndDataTypesX = g_lib.sys->nMaxDataType;
  d.lOffsetIndDataTypes = -1;
  d.nIndSections = g_lib.sys->nMaxSection;
  d.nIndSectionsX = -1;
  d.lOffsetIndSections = -1;
  d.nOpenSectionHandle = d.nActiveSectionHandle = -1;
  d.lOffsetVectors = -1;
}

}  // namespace

std::int32_t begin_create(const char* name, std::int32_t count, const DataDesc* desc,
                          std::int32_t sections, std::int32_t flags) {
  if (!initialised()) return report(DB_ERR_NO_CASH);
  if (name == nullptr || (count > 0 && desc == nullptr)) return report(DB_ERR_BAD_ARGUMENT);
  const std::int32_t n = count < 1 ? g_lib.sys->nDataCtrlExpand : count;
  const std::int32_t slot = lowest_empty_slot();
  if (slot < 0) return report(DB_ERR_CREATE_NO_SLOT);
  g_lib.nCurrentFileNo = slot;

  FileCtrl* f = new_file_ctrl();
  if (f == nullptr) return report(DB_ERR_CREATE_ALLOC_FILECTRL);
  g_lib.files[slot] = f;
  init_file_def(f->def, flags, n, count);

  f->pIndDataTypes = allocate_filled<std::int32_t>(f->def.nIndDataTypes, -1);
  if (f->pIndDataTypes == nullptr) return fail(slot, DB_ERR_CREATE_ALLOC_INDDATATYPES);
  f->nIndDataTypesCap = f->def.nIndDataTypes;
  f->pIndSections = allocate_filled<std::int32_t>(f->def.nIndSections, -1);
  if (f->pIndSections == nullptr) return fail(slot, DB_ERR_CREATE_ALLOC_INDSECTIONS);
  f->nIndSectionsCap = f->def.nIndSections;
  f->pDataCtrl = allocate<DataCtrl>(n);
  if (f->pDataCtrl == nullptr) return fail(slot, DB_ERR_CREATE_ALLOC_DATACTRL);
  std::memset(static_cast<void*>(f->pDataCtrl), 0, static_cast<std::size_t>(n) * sizeof(DataCtrl));
  f->nDataCtrlCap = n;
  if (sections > 0) {
    f->pSection = allocate<Section>(sections);
    if (f->pSection == nullptr) return fail(slot, DB_ERR_CREATE_ALLOC_SECTION);
    std::memset(static_cast<void*>(f->pSection), 0,
                static_cast<std::size_t>(sections) * sizeof(Section));
    f->nSectionCap = sections;
  }
  if (count > 0) f->def.nDataTypes = 0;  // counted again as the catalogue is filled
  return slot;
}

std::int32_t finish_create(std::int32_t slot, const char* name) {
  FileCtrl* f = g_lib.files[slot];
  // As the one writer of the file: a journal that a crashed writer of the
  // old file left is rolled back before the file is emptied, so that a
  // crash in between never leaves a mix of both.
  if (const std::int32_t r = open_stream(name, StreamMode::create, f->pFile); r != 0) {
    if (r == kStreamNoMemory) return fail(slot, kCreateAllocStream);
    return r == kCannotOpen ? fail(slot, DB_ERR_CREATE) : abandon(slot, r);
  }
  f->writable = true;
  // Logged as dbWriteFileDef, as when this step called the exported writer.
  enter("dbWriteFileDef", slot);
  const std::int32_t written = write_file_def(slot, *f);
  if (written < 0) return abandon(slot, written);
  return slot;
}

namespace {

// Allocates an int32 vector of count entries for a table read from disk
// (judged against the file before).
std::int32_t* vector_for(std::int64_t count) { return allocate_filled<std::int32_t>(count, -1); }

template <class T>
T* table_for(std::int32_t count) {
  T* table = allocate<T>(count);
  if (table != nullptr) {
    std::memset(static_cast<void*>(table), 0, static_cast<std::size_t>(count) * sizeof(T));
  }
  return table;
}

// The tables of an open file as the validator sees them.
LayoutView view_of(const FileCtrl& f) {
  const FileDef& d = f.def;
  return {&d,
          f.pDataCtrl,
          d.nDataTypes,
          f.pIndexCtrl,
          f.pIndexVectors,
          f.pIndexVectors != nullptr ? d.nIndexVectors : 0,
          f.pSection,
          f.pSection != nullptr ? d.nSections : 0,
          f.pIndDataTypes,
          d.nIndDataTypes,
          f.pIndSections,
          ind_sections_len(f)};
}

// Reads the tables of an opened file into memory, each judged against the
// file before it is allocated, and then all of them against each other.
// Each reader is logged under its exported name, as when this step called
// the exported readers.
std::int32_t read_tables(std::int32_t slot, FileCtrl& f, std::int64_t size) {
  FileDef& d = f.def;
  Verdict v;
  if (!judge_capacity("nIndDataTypesX", d.nIndDataTypesX, kEntrySize, size, v))
    return report(v.code());
  f.pIndDataTypes = vector_for(d.nIndDataTypesX);
  if (f.pIndDataTypes == nullptr) return report(DB_ERR_OPEN_ALLOC_INDDATATYPES);
  f.nIndDataTypesCap = d.nIndDataTypesX;
  enter("dbReadIndDataTypes", slot);
  if (const std::int32_t r = read_ind_data_types(slot, f); r < 0) return r;

  if (d.nIndSectionsX > 0) {
    if (!judge_capacity("nIndSectionsX", d.nIndSectionsX, kEntrySize, size, v))
      return report(v.code());
    f.pIndSections = vector_for(d.nIndSectionsX);
    if (f.pIndSections == nullptr) return report(DB_ERR_OPEN_ALLOC_INDSECTIONS);
    f.nIndSectionsCap = d.nIndSectionsX;
    enter("dbReadIndSections", slot);
    if (const std::int32_t r = read_ind_sections(slot, f); r < 0) return r;
  }
  if ((d.nFlags & kModeWrite) != 0) d.tUpdate = now();

  if (!judge_capacity("nDataTypesX", d.nDataTypesX, sizeof(DataCtrl), size, v)) {
    return report(v.code());
  }
  f.pDataCtrl = table_for<DataCtrl>(d.nDataTypesX);
  if (f.pDataCtrl == nullptr) return report(DB_ERR_OPEN_ALLOC_DATACTRL);
  f.nDataCtrlCap = d.nDataTypesX;
  enter("dbReadDataCtrl", slot);
  if (const std::int32_t r = read_data_ctrl(slot, f); r < 0) return r;

  if (!judge_capacity("nIndexCtrlsX", d.nIndexCtrlsX, sizeof(IndexCtrl), size, v)) {
    return report(v.code());
  }
  f.pIndexCtrl = table_for<IndexCtrl>(d.nIndexCtrlsX);
  if (f.pIndexCtrl == nullptr) return report(DB_ERR_OPEN_ALLOC_INDEXCTRL);
  f.nIndexCtrlCap = d.nIndexCtrlsX;
  enter("dbReadIndexCtrl", slot);
  if (const std::int32_t r = read_index_ctrl(slot, f); r < 0) return r;

  if (d.nIndexVectorsX > 0) {
    if (!judge_index_ctrls(d, f.pIndexCtrl, size, v) ||
        !judge_capacity("nIndexVectorsX", d.nIndexVectorsX, sizeof(IndexVector), size, v)) {
      return report(v.code());
    }
    f.pIndexVectors = table_for<IndexVector>(d.nIndexVectorsX);
    if (f.pIndexVectors == nullptr) return report(DB_ERR_OPEN_ALLOC_VECTOR_TABLE);
    f.nIndexVectorCap = d.nIndexVectorsX;
    for (std::int32_t i = 0; i < d.nIndexVectors; ++i) {
      const std::int32_t length = f.pIndexCtrl[i].lIndexLen;
      f.pIndexVectors[i].entries = vector_for(length);
      if (f.pIndexVectors[i].entries == nullptr) return report(DB_ERR_OPEN_ALLOC_VECTOR);
      f.pIndexVectors[i].capacity = length;
    }
    enter("dbReadDataIndex", slot);
    if (const std::int32_t r = read_data_index(slot, f); r < 0) return r;
  }

  if (d.nIndSectionsX > 0 && d.nSectionsX > 0) {
    if (!judge_capacity("nSectionsX", d.nSectionsX, sizeof(Section), size, v)) {
      return report(v.code());
    }
    f.pSection = table_for<Section>(d.nSectionsX);
    if (f.pSection == nullptr) return report(DB_ERR_OPEN_ALLOC_SECTION);
    f.nSectionCap = d.nSectionsX;
    enter("dbReadSections", slot);
    if (const std::int32_t r = read_sections(slot, f); r < 0) return r;
  } else if (!judge_sections_named(d, v)) {
    return report(v.code());
  }
  if (!judge_tables(view_of(f), v)) return report(v.code());
  return 0;
}

// The header of a file read from disk, judged against itself and the
// device. Returns 0 or the code of the first rule it breaks, reported; a
// header that gives the IndDataTypes vector no place (a file never closed
// after writing) is refused by the reader itself, logged under its
// exported name.
std::int32_t judge_stored_header(std::int32_t slot, FileCtrl& f, std::int64_t& size) {
  size = stream_size(*f.pFile);
  Verdict v;
  if (judge_header(f.def, size < 0 ? INT64_MAX : size, v))
    return size < 0 ? report(DB_ERR_SEEK) : 0;
  if (v.code() != kNeverClosed) return report(v.code());
  enter("dbReadIndDataTypes", slot);
  return read_ind_data_types(slot, f);
}

}  // namespace

std::int32_t open_file(const char* name, std::int32_t mode) {
  if (!initialised()) return report(DB_ERR_NO_CASH);
  if (name == nullptr) return report(DB_ERR_BAD_ARGUMENT);
  const std::int32_t slot = lowest_empty_slot();
  if (slot < 0) return report(DB_ERR_OPEN_NO_SLOT);
  g_lib.nCurrentFileNo = slot;
  FileCtrl* f = new_file_ctrl();
  if (f == nullptr) return report(DB_ERR_OPEN_ALLOC_FILECTRL);
  g_lib.files[slot] = f;

  const bool wants_write = (mode & kModeWrite) != 0;
  std::int32_t r = open_stream(name, wants_write ? StreamMode::write : StreamMode::read, f->pFile);
  bool read_only_fallback = false;
  if (r == kCannotOpen && wants_write) {
    r = open_stream(name, StreamMode::read, f->pFile);
    read_only_fallback = r == 0;
  }
  if (r == kStreamNoMemory) return fail(slot, kOpenAllocStream);
  if (r == kCannotOpen) return fail(slot, DB_ERR_OPEN);
  if (r != 0) return abandon(slot, r);

  // Logged as dbReadFileDef from here on (also the format checks below), as
  // when this step called the exported reader.
  enter("dbReadFileDef", slot);
  if (const std::int32_t h = read_file_def(slot, *f); h < 0) return abandon(slot, h);
  Verdict v;
  if (!judge_identity(f->def, v)) return fail(slot, v.code());
  if ((f->def.nFlags & kModeWriteLock) != 0 && wants_write) return fail(slot, DB_ERR_WRITE_LOCKED);
  // A file that can be opened for reading only is opened without write
  // access, so that nothing pretends to reach it.
  f->def.nFlags = read_only_fallback ? (mode & ~kModeWrite) : mode;
  f->writable = wants_write && !read_only_fallback;
  f->def.nDataTypeCursor = -1;
  std::int64_t size = 0;
  if (const std::int32_t h = judge_stored_header(slot, *f, size); h < 0) return abandon(slot, h);
  if (const std::int32_t t = read_tables(slot, *f, size); t < 0) return abandon(slot, t);

  if ((f->def.nFlags & kModeWrite) != 0) {
    FileDef& d = f->def;
    d.lOffsetIndexCtrl = d.lOffsetDataCtrl = d.lOffsetIndDataTypes = d.lOffsetIndSections = -1;
    d.lFileLen = d.lOffsetVectors;
  }
  return slot;
}

namespace {

// Writes the tables behind the data. Every table and vector is placed anew
// from the end of the data, so that none is ever written over data or
// over another table, and the boundary stored with the header covers
// every block written before. Returns 0 or the first failure, reported
// by the writer that met it.
std::int32_t write_tables(std::int32_t file_no, FileCtrl& f) {
  FileDef& d = f.def;
  // Records whose blocks were dropped unwritten (dbReset) still count: the
  // file reaches past them, so that they read back as zero bytes.
  std::int64_t end = d.lOffsetVectors;
  for (std::int32_t k = 0; k < d.nDataTypes && k < f.nDataCtrlCap; ++k) {
    end = std::max(end, records_end(f.pDataCtrl[k]));
  }
  if (end > d.lFileLen) {
    // Logged as dbFillUpTo, as when this step called the exported function
    // (the file is the committing writer's: its stream takes writes).
    enter("dbFillUpTo", file_no);
    const std::int32_t filled =
        fill_up_to(f, static_cast<std::int32_t>(std::min(end, kMaxFileOffset)));
    if (filled < 0) return filled;
  }
  d.lOffsetVectors = d.lFileLen;
  for (std::int32_t v = 0; v < d.nIndexCtrls && v < f.nIndexCtrlCap; ++v) {
    f.pIndexCtrl[v].lOffsetIndex = -1;
  }
  d.lOffsetIndDataTypes = d.lOffsetIndSections = -1;

  // Each writer is logged under its exported name, as when this step
  // called the exported writers.
  struct Writer {
    const char* name;
    std::int32_t (*write)(std::int32_t, FileCtrl&);
  };
  for (const Writer w :
       {Writer{"dbWriteDataIndex", write_data_index}, Writer{"dbWriteIndexCtrl", write_index_ctrl},
        Writer{"dbWriteDataCtrl", write_data_ctrl}, Writer{"dbWriteSections", write_sections},
        Writer{"dbWriteIndDataTypes", write_ind_data_types},
        Writer{"dbWriteIndSections", write_ind_sections}}) {
    enter(w.name, file_no);
    if (const std::int32_t r = w.write(file_no, f); r < 0) return r;
  }
  return 0;
}

// The image about to be committed opens again: its tables, read back from
// the device into a scratch control block under the file's number, pass
// every check dbOpen makes. Returns 0, or the code of the first check or
// allocation that failed (reported by the reader that met it).
std::int32_t opens_again(std::int32_t file_no, FileCtrl& f) {
  FileCtrl* scratch = new_file_ctrl();
  if (scratch == nullptr) return report(kFlushAllocFailed);
  scratch->pFile = f.pFile;
  scratch->def = f.def;
  scratch->def.nFlags = 0;  // as a reader opens it
  scratch->def.nDataTypeCursor = -1;
  g_lib.files[file_no] = scratch;
  std::int64_t size = 0;
  std::int32_t r = judge_stored_header(file_no, *scratch, size);
  if (r == 0) r = read_tables(file_no, *scratch, size);
  g_lib.files[file_no] = &f;
  scratch->pFile = nullptr;
  release_file_ctrl(scratch);
  return r;
}

}  // namespace

// Makes the present state of the file its committed image on the device:
// the tables behind the data, the header, each synced, then the journal
// retired. Until the journal is retired a crash restores the image of the
// last commit. Returns the header write's result (4096) or the first
// failure, reported (under `name` where no writer reported it).
std::int32_t commit(std::int32_t file_no, FileCtrl& f, const char* name) {
  Stream& s = *f.pFile;
  const auto fail_as = [&](std::int32_t code) {
    enter(name, file_no);
    return report(code);
  };
  if (s.broken != 0) return fail_as(s.broken);
  // Even a new file's first commit has a journal (of an empty image): a
  // commit cut short then leaves nothing that opens. Its directory entry,
  // synced with the journal's, also keeps the new file's name.
  if (const std::int32_t r = s.journal.guard_empty(); r < 0) return r;
  // The header and the tables overwrite committed bytes at the front and
  // behind the data: saved at once, with one sync of the journal.
  if (const std::int32_t r = save_committed(s, 0, kHeaderBlockSize); r < 0) return r;
  if (const std::int32_t r = protect(s, f.def.lFileLen, kMaxFileOffset); r < 0) return r;
  if (const std::int32_t r = write_tables(file_no, f); r < 0) return r;
  f.def.nFlags &= ~kModeCreated;
  // A state that dbOpen would refuse is never committed.
  if (const std::int32_t r = opens_again(file_no, f); r < 0)
    return r <= -1000 ? r : fail_as(DB_ERR_INCOMPLETE_FILE);
  // The tables reach the device before a header that names them, unless
  // the journal holds the old header: a crash in between restores it.
  const bool header_journaled = s.writer && s.journal.committed() >= kHeaderBlockSize;
  if (!header_journaled && !s.io->sync()) return fail_as(kSyncFailed);
  // Logged as dbWriteFileDef from here on (also the failures below that
  // report no name of their own), as when this step called the exported
  // writer.
  enter("dbWriteFileDef", file_no);
  const std::int32_t header = write_file_def(file_no, f);
  if (header < 0) return header;
  if (!s.io->sync()) return fail_as(kSyncFailed);
  const std::int64_t size = stream_size(s);
  if (size < 0) return fail_as(DB_ERR_SEEK);
  if (const std::int32_t r = s.journal.finish(size); r < 0) return r;
  return header;
}

// A file whose tables and header the library writes back: opened or
// created with write access.
bool commits(const FileCtrl& f) {
  // The mode bits may have been read back from the file (dbReadFileDef);
  // only the stream tells whether the file may be written.
  return (f.def.nFlags & kModeWrite) != 0 && f.writable;
}

}  // namespace rb
