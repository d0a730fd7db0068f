#include "file/stream.h"
#include "frame/checks.h"
#include "recbase.h"

#include <algorithm>
#include <new>

#include "frame/heap.h"
#include "frame/log.h"

namespace rb {

namespace {

// Rolls back a journal that an interrupted writer left, through a file the
// caller opened for writing and locked.
std::int32_t recover(Stream& s, IoFile& db) {
  if (Journal::inspect(io_env(), s.journal_name) == Journal::Found::none) return 0;
  return Journal::roll_back(io_env(), s.journal_name, db);
}

// A reader finding a journal: when no writer is at work, the journal is
// rolled back through a second, writing handle; without write access to
// the file a journal that restores pages cannot be honoured.
std::int32_t recover_for_reader(Stream& s, const char* name) {
  const Journal::Found found = Journal::inspect(io_env(), s.journal_name);
  if (found == Journal::Found::none) return 0;
  if (s.io->locked_elsewhere()) return report(kWriterBusy);
  IoFile* db = io_env().open(name, OpenMode::read_write);
  if (db == nullptr) return found == Journal::Found::hot ? report(kJournalFailed) : 0;
  std::int32_t result = 0;
  switch (db->lock()) {
    case IoFile::Lock::taken:
      result = Journal::roll_back(io_env(), s.journal_name, *db);
      db->unlock();
      break;
    case IoFile::Lock::busy:
      result = report(kWriterBusy);
      break;
    case IoFile::Lock::failed:
      result = report(kJournalFailed);
      break;
  }
  delete db;
  return result;
}

// Takes the writer's lock and rolls back what an interrupted writer left.
// Where the system cannot lock the file, one writer cannot be promised:
// the open is refused like one beside another writer.
std::int32_t become_writer(Stream& s) {
  if (s.io->lock() != IoFile::Lock::taken) return report(kWriterBusy);
  s.writer = true;
  return recover(s, *s.io);
}

// Empties the file for a new database; refused while another open file
// reads it, which would lose its bytes under it.
std::int32_t empty(Stream& s) {
  switch (s.io->exclude_readers()) {
    case IoFile::Lock::taken:
      break;
    case IoFile::Lock::busy:
      return report(kWriterBusy);
    case IoFile::Lock::failed:
      return kCannotOpen;
  }
  const bool emptied = s.io->truncate(0);
  s.io->admit_readers();
  return emptied ? 0 : kCannotOpen;
}

OpenMode io_mode(StreamMode mode) {
  switch (mode) {
    case StreamMode::read:
      return OpenMode::read;
    case StreamMode::write:
      return OpenMode::read_write;
    case StreamMode::create:
      break;
  }
  return OpenMode::create;
}

}  // namespace

std::int32_t open_stream(const char* name, StreamMode mode, Stream*& out) {
  out = nullptr;
  void* place = heap_alloc(1, sizeof(Stream));
  if (place == nullptr) return kStreamNoMemory;
  auto* s = new (place) Stream;
  s->journal_name = journal_path(name);
  if (s->journal_name == nullptr) {
    close_stream(s);
    return kStreamNoMemory;
  }
  s->io = io_env().open(name, io_mode(mode));
  if (s->io == nullptr) {
    close_stream(s);
    return kCannotOpen;
  }
  std::int32_t r = mode == StreamMode::read ? recover_for_reader(*s, name) : become_writer(*s);
  if (r == 0 && mode == StreamMode::read) s->io->read_shared();
  if (r == 0 && mode == StreamMode::create) r = empty(*s);
  if (r == 0 && s->writer) {
    const std::int64_t size = s->io->size();
    if (size < 0) r = report(DB_ERR_SEEK);
    s->journal.begin(io_env(), s->journal_name, size);
  }
  if (r != 0) {
    close_stream(s);
    return r;
  }
  out = s;
  return 0;
}

void close_stream(Stream* s) {
  if (s == nullptr) return;
  s->journal.drop();
  if (s->io != nullptr && s->writer) s->io->unlock();
  delete s->io;
  heap_free(s->journal_name);
  s->~Stream();
  heap_free(s);
}

std::int32_t read_pieces(Stream& s, std::int64_t offset, void* data, std::int32_t length,
                         std::int32_t piece) {
  RB_CHECK(length >= 0 && piece >= 1);
  auto* out = static_cast<unsigned char*>(data);
  std::int32_t total = 0;
  while (total < length) {
    const std::int32_t want = std::min(length - total, piece);
    const std::int64_t got = s.io->read_at(offset + total, out + total, want);
    if (got > 0) total += static_cast<std::int32_t>(got);
    if (got != want) break;
  }
  return total;
}

std::int32_t write_pieces(Stream& s, std::int64_t offset, const void* data, std::int32_t length,
                          std::int32_t piece) {
  RB_CHECK(length >= 0 && piece >= 1 && s.writer);
  if (const std::int32_t r = protect(s, offset, length); r < 0) return r;
  const auto* in = static_cast<const unsigned char*>(data);
  std::int32_t total = 0;
  while (total < length) {
    const std::int32_t want = std::min(length - total, piece);
    const std::int64_t put = s.io->write_at(offset + total, in + total, want);
    if (put > 0) total += static_cast<std::int32_t>(put);
    if (put != want) break;
  }
  return total;
}

std::int32_t protect(Stream& s, std::int64_t offset, std::int64_t length) {
  if (!s.writer) return 0;
  return s.journal.protect(*s.io, offset, length);
}

std::int32_t save_committed(Stream& s, std::int64_t offset, std::int64_t length) {
  if (!s.writer) return 0;
  return s.journal.save(*s.io, offset, length);
}

std::int32_t sync_journal(Stream& s) {
  if (!s.writer) return 0;
  return s.journal.sync();
}

std::int64_t stream_size(Stream& s) { return s.io->size(); }

}  // namespace rb
