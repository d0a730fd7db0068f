// The in-memory control block of one open database file.
#pragma once

#include <cstdint>
#include "file/format.h"
#include "file/stream.h"
#include "file/validate.h"

namespace rb {

// What a higher layer keeps for an open file, released with it.
struct FileAttachment {
  FileAttachment() = default;
  FileAttachment(const FileAttachment&) = delete;
  FileAttachment& operator=(const FileAttachment&) = delete;
  virtual ~FileAttachment() = default;
};

// Owned by its slot of the file table; owns the stream and every table and
// vector of the file, from dbCreate/dbOpen to dbClose.
//
// Each table carries the number of records actually allocated (the *Cap
// fields) beside the counts and capacities of the FileDef: the FileDef
// fields are file format and may be replaced by a header read from disk,
// the Cap fields are what every bounds check in memory relies on.
struct FileCtrl {
  Stream* pFile;
  FileDef def;
  DataCtrl* pDataCtrl;
  std::int32_t nDataCtrlCap;
  IndexCtrl* pIndexCtrl;
  std::int32_t nIndexCtrlCap;
  IndexVector* pIndexVectors;
  std::int32_t nIndexVectorCap;
  Section* pSection;
  std::int32_t nSectionCap;
  std::int32_t* pIndDataTypes;
  std::int32_t nIndDataTypesCap;
  std::int32_t* pIndSections;
  std::int32_t nIndSectionsCap;
  // The stream takes writes (created, or opened with write access).
  bool writable;
  // End of the places handed to singly placed records so far; a place is
  // reserved here at once, before its block reaches the file.
  std::int32_t lPlacedEnd;
  // The keys of the hash buckets read so far (see sections/key_index.h);
  // null until a key is looked up.
  FileAttachment* pKeyIndex;
  // The write epoch: raised by every change that may alter the bytes of the
  // watched range [lWatchLow, lWatchHigh) or the tables read with them, so
  // that whatever was learnt from those bytes (the key index) knows that it
  // no longer holds. See note_write and SameBytes.
  std::uint64_t nWriteEpoch;
  std::int64_t lWatchLow;
  std::int64_t lWatchHigh;
};

// A write of [offset, offset + length): raises the write epoch when the
// range meets the watched range, unless a SameBytes scope is open.
void note_write(FileCtrl& f, std::int64_t offset, std::int64_t length);

// A change not tied to a range (tables read or written, blocks dropped,
// offsets shifted): raises the write epoch.
inline void note_change(FileCtrl& f) { ++f.nWriteEpoch; }

// Writes inside this scope change nothing that a watcher must learn anew:
// they put back the bytes a reader already sees (a cache write-back, the
// moves of a growth), or append what the watcher takes in itself (a key).
class SameBytes {
 public:
  SameBytes();
  ~SameBytes();
  SameBytes(const SameBytes&) = delete;
  SameBytes& operator=(const SameBytes&) = delete;
};

// A FileCtrl with no stream, no tables and a zeroed FileDef; null when
// memory runs out.
FileCtrl* new_file_ctrl();

// Releases the tables, vectors and the control block itself (the stream
// must have been closed before).
void release_file_ctrl(FileCtrl* f);

// Checked access to the tables. Each returns null when the index names
// nothing that exists in memory, so that no number from a caller or from a
// file ever reaches memory unchecked.
DataCtrl* data_ctrl(FileCtrl& f, std::int32_t k);
IndexCtrl* index_ctrl(FileCtrl& f, std::int32_t v);
IndexVector* index_vector(FileCtrl& f, std::int32_t v);
Section* section_at(FileCtrl& f, std::int32_t s);

// The DataCtrl index a data type number names (-1 for none); the number
// must lie below nIndDataTypesX.
std::int32_t type_to_ctrl(const FileCtrl& f, std::int32_t type);

// Entries of the IndSections vector in memory (nIndSections while
// nIndSectionsX is still -1 after creation).
std::int32_t ind_sections_len(const FileCtrl& f);

// End of the area of a data type (one byte past its last block).
inline std::int64_t area_end(const DataCtrl& dc) {
  return static_cast<std::int64_t>(dc.lOffsetData) + dc.lLenData;
}

// Where the area of catalogue entry k begins: right behind entry k - 1.
std::int64_t next_area_start(FileCtrl& f, std::int32_t k);

// End of the data area: the end of the highest area of any data type.
std::int64_t data_area_end(const FileCtrl& f);

}  // namespace rb
