// The rollback journal of a database file open for writing.
//
// Between two commit points the file on the device must be restorable to
// its last committed image. Before a byte of that image is overwritten for
// the first time in a commit interval, the page that holds it (4096 bytes,
// counted from the start of the file) is appended to the journal, a side
// file named after the database with "-journal" behind the name. The
// journal reaches the device before the database file is overwritten; at a
// commit point the database file is synced and the journal is emptied,
// synced and removed. A journal found beside a database therefore holds
// the original of every page the interrupted interval changed: writing
// them back and cutting the file to its committed length restores the
// last committed image exactly. A journal that has done its work is cut
// to nothing and synced before it is removed.
//
// Bytes behind the committed image are never journaled: the cut restores
// them. A file that has never been committed (from dbCreate to its first
// commit) has an image of length 0 and journals no page; its first commit
// still writes a journal, so that a commit cut short empties the file
// rather than leave it half made.
//
// The journal's layout and the rules that say which of its bytes count
// are in file/journal_format.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "file/journal_format.h"
#include "frame/io_env.h"
#include "recbase.h"

namespace rb {

// Codes of the journal's failures.
inline constexpr std::int32_t kSyncFailed = DB_ERR_SYNC;
inline constexpr std::int32_t kWriterBusy = DB_ERR_BUSY;
inline constexpr std::int32_t kJournalFailed = DB_ERR_JOURNAL;

class Journal {
 public:
  Journal() = default;
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;
  ~Journal();

  // Starts the first interval of a file whose committed image is
  // `committed` bytes long. path is the journal's name (kept, not copied).
  void begin(IoEnv& env, const char* path, std::int64_t committed);

  // Saves the pages of the committed image that [offset, offset + length)
  // overlaps and that this interval has not saved yet. Returns 0 or the
  // reported code (-19).
  std::int32_t save(IoFile& db, std::int64_t offset, std::int64_t length);
  // Forces every saved page to the device (-17 reported on failure).
  std::int32_t sync();
  // save, then sync: afterwards the range may be overwritten.
  std::int32_t protect(IoFile& db, std::int64_t offset, std::int64_t length);
  // Makes the journal of an empty image, which saves no page, before a
  // commit overwrites anything (synced with the next sync). Returns 0 or
  // the reported code (-19).
  std::int32_t guard_empty();

  // Ends the interval once the database file holds its new image, synced:
  // the journal is cut to nothing, synced and removed; the next interval
  // protects an image of `committed` bytes. Returns 0 or the reported
  // code; on failure the interval goes on.
  std::int32_t finish(std::int64_t committed);

  // Gives up the journal's file without touching it (a crash or a failed
  // close leaves it for the next open).
  void drop();

  std::int64_t committed() const { return committed_; }
  // Pages saved in this interval.
  std::int64_t saved_pages() const { return saved_count_; }

  // What a journal found beside a database says.
  enum class Found { none, stale, hot };
  // Looks at the journal at path: none when missing, stale when it saves
  // nothing (empty, torn before its header reached the device, or of
  // another format), hot when it must be rolled back.
  static Found inspect(IoEnv& env, const char* path);

  // Writes a hot journal's pages back into db, cuts db to its committed
  // length, syncs it and removes the journal (a stale one is removed
  // only). The caller holds the writer's lock of db. Returns 0 or the
  // reported code (-19, -17).
  static std::int32_t roll_back(IoEnv& env, const char* path, IoFile& db);

 private:
  bool ensure_file();
  bool ensure_map();
  bool is_saved(std::int64_t page) const;
  std::int32_t save_run(IoFile& db, std::int64_t first, std::int64_t count);

  IoEnv* env_ = nullptr;
  const char* path_ = nullptr;
  IoFile* file_ = nullptr;
  std::int64_t committed_ = 0;
  std::int64_t end_ = 0;  // bytes of the journal that count
  std::uint32_t salt_ = 0;
  bool unsynced_ = false;
  bool created_ = false;            // the journal's directory entry is not yet synced
  unsigned char* saved_ = nullptr;  // one bit per page of the image
  std::int64_t map_pages_ = 0;
  std::int64_t saved_count_ = 0;
  unsigned char* scratch_ = nullptr;  // records of a run of pages
  unsigned char* pages_ = nullptr;    // the run as read from the database
};

// "<database name>-journal" in a heap block (null when memory ran out).
char* journal_path(const char* db_path);

}  // namespace rb
