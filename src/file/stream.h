// A database file as the library holds it open: its file of the IO seam
// and, for the one writer of the file, the writer's lock and the rollback
// journal that keeps the last committed image restorable. The one place
// where the library reads and writes database files; every offset is a
// signed 32-bit byte position and every range is checked against
// 2^31 - 1 by the callers.
#pragma once

#include <cstdint>

#include "file/journal.h"
#include "frame/io_env.h"

namespace rb {

inline constexpr std::int64_t kMaxFileOffset = INT32_MAX;

// True when [offset, offset + length) lies inside the addressable file.
inline bool range_fits(std::int64_t offset, std::int64_t length) {
  return offset >= 0 && length >= 0 && offset + length <= kMaxFileOffset;
}

struct Stream {
  IoFile* io = nullptr;
  char* journal_name = nullptr;
  // Holds the writer's lock; its overwrites of the committed image are
  // journaled first.
  bool writer = false;
  // Code of a failure that left the file out of step with memory (a move
  // of a growth cut short): no later commit may take this state, the
  // journal restores the last committed image at the next open.
  std::int32_t broken = 0;
  Journal journal;
};

enum class StreamMode {
  read,    // reading only; a journal an interrupted writer left is rolled
           // back first when the file can be written
  write,   // the one writer: reading and writing, journaled
  create,  // as write, and the file is made empty
};

// Opens the database file name. Returns 0 and the stream, or a code:
// kCannotOpen or kStreamNoMemory (not reported) when the file cannot be
// opened in that mode or memory ran out, else the reported code: -18
// another writer holds the file, -19 or -17 a journal could not be rolled
// back.
inline constexpr std::int32_t kCannotOpen = 1;
inline constexpr std::int32_t kStreamNoMemory = 2;
std::int32_t open_stream(const char* name, StreamMode mode, Stream*& out);

// Closes the file and releases the writer's lock. A journal stays on the
// device for the next open unless a commit has retired it.
void close_stream(Stream* s);

// Reads length bytes at offset in pieces of at most piece bytes. A piece
// that the device delivers only in part ends the transfer; the result is
// the number of bytes read.
std::int32_t read_pieces(Stream& s, std::int64_t offset, void* data, std::int32_t length,
                         std::int32_t piece);

// Writes length bytes at offset in pieces, once the committed bytes they
// cover are safe in the journal. Returns the number of bytes written (a
// short piece ends the transfer), or the reported code of the journal.
std::int32_t write_pieces(Stream& s, std::int64_t offset, const void* data, std::int32_t length,
                          std::int32_t piece);

// Saves the committed bytes of [offset, offset + length) in the journal
// and forces the journal to the device, so that a run of writes in that
// range costs one sync. Returns 0 or the reported code.
std::int32_t protect(Stream& s, std::int64_t offset, std::int64_t length);

// The two halves of protect, for ranges that are saved one by one and
// then synced once.
std::int32_t save_committed(Stream& s, std::int64_t offset, std::int64_t length);
std::int32_t sync_journal(Stream& s);

// The committed or written bytes [offset, offset + length) in place (see
// IoFile::view), or null when they can only be read.
inline const unsigned char* stream_view(Stream& s, std::int64_t offset, std::int64_t length) {
  return s.io->view(offset, length);
}

// Size of the file on the device, -1 when it cannot be told.
std::int64_t stream_size(Stream& s);

}  // namespace rb
