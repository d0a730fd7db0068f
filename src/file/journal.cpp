#include "file/journal.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "frame/crc32.h"
#include "frame/heap.h"
#include "frame/log.h"

namespace rb {

namespace {

// Pages saved with one read-append round.
constexpr std::int64_t kRunPages = 16;
constexpr std::int64_t kRecordBytes = sizeof(JournalRecord) + kJournalPage;

// A new salt for every interval, so that records of an earlier journal of
// the same name never pass for this one's.
std::uint32_t next_salt(const void* owner) {
  static std::uint32_t counter = 0;
  const std::uint64_t mix[] = {static_cast<std::uint64_t>(std::time(nullptr)),
                               static_cast<std::uint64_t>(std::clock()),
                               reinterpret_cast<std::uintptr_t>(owner), ++counter};
  return crc32(0x9E3779B9u, mix, sizeof mix);
}

bool read_header(IoFile& file, JournalHeader& h) {
  return file.read_at(0, &h, sizeof h) == static_cast<std::int64_t>(sizeof h) &&
         journal_header_fault(h) == JournalHeaderFault::kNone;
}

// Makes a journal say nothing: cut to nothing and synced, so that it is
// stale even should its removal not reach the device. (A cut either
// happens or not; a header overwritten in part on a full disk could not
// tell the caller which.)
std::int32_t invalidate(IoFile& file) {
  if (!file.truncate(0)) return report(kJournalFailed);
  if (!file.sync()) return report(kSyncFailed);
  return 0;
}

// Invalidates a journal that has done its work and removes it.
std::int32_t retire(IoEnv& env, const char* path, IoFile* file) {
  const std::int32_t result = invalidate(*file);
  delete file;
  env.remove(path);
  return result;
}

}  // namespace

Journal::~Journal() {
  drop();
  heap_free(saved_);
  heap_free(scratch_);
  heap_free(pages_);
}

void Journal::begin(IoEnv& env, const char* path, std::int64_t committed) {
  env_ = &env;
  path_ = path;
  committed_ = committed;
}

void Journal::drop() {
  delete file_;
  file_ = nullptr;
}

bool Journal::is_saved(std::int64_t page) const {
  return (saved_[page >> 3] & (1u << (page & 7))) != 0;
}

bool Journal::ensure_map() {
  const std::int64_t pages = (committed_ + kJournalPage - 1) / kJournalPage;
  if (saved_ == nullptr || map_pages_ != pages) {
    heap_free(saved_);
    saved_ = allocate_filled<unsigned char>((pages + 7) / 8, 0);
    map_pages_ = saved_ != nullptr ? pages : 0;
  }
  if (scratch_ == nullptr) scratch_ = allocate<unsigned char>(kRunPages * kRecordBytes);
  if (pages_ == nullptr) pages_ = allocate<unsigned char>(kRunPages * kJournalPage);
  return saved_ != nullptr && scratch_ != nullptr && pages_ != nullptr;
}

bool Journal::ensure_file() {
  if (file_ != nullptr) return true;
  file_ = env_->open(path_, OpenMode::create);
  if (file_ == nullptr) return false;
  JournalHeader h{};
  std::memcpy(h.cMagic, kJournalMagic, sizeof h.cMagic);
  h.nVersion = kJournalVersion;
  h.nPageSize = kJournalPage;
  h.lCommittedLen = static_cast<std::int32_t>(committed_);
  h.nSalt = salt_ = next_salt(this);
  h.nCheck = journal_header_check(h);
  if (!file_->truncate(0) ||
      file_->write_at(0, &h, sizeof h) != static_cast<std::int64_t>(sizeof h)) {
    drop();
    return false;
  }
  end_ = sizeof h;
  unsynced_ = created_ = true;
  return true;
}

std::int32_t Journal::save_run(IoFile& db, std::int64_t first, std::int64_t count) {
  if (!ensure_file()) return report(kJournalFailed);
  const std::int64_t start = first * kJournalPage;
  const std::int64_t length = std::min(count * kJournalPage, committed_ - start);
  if (db.read_at(start, pages_, length) != length) return report(kJournalFailed);
  std::int64_t bytes = 0;
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int64_t offset = (first + i) * kJournalPage;
    JournalRecord r{
        static_cast<std::int32_t>(offset),
        static_cast<std::int32_t>(std::min<std::int64_t>(kJournalPage, committed_ - offset)), 0};
    unsigned char* data = scratch_ + bytes + sizeof r;
    std::memcpy(data, pages_ + i * kJournalPage, static_cast<std::size_t>(r.lLen));
    r.nCheck = journal_record_check(salt_, r, data);
    std::memcpy(scratch_ + bytes, &r, sizeof r);
    bytes += static_cast<std::int64_t>(sizeof r) + r.lLen;
  }
  // A short append leaves end_ where it was: the next append takes its
  // place, so no good record ever follows a torn one.
  if (file_->write_at(end_, scratch_, bytes) != bytes) return report(kJournalFailed);
  end_ += bytes;
  unsynced_ = true;
  for (std::int64_t p = first; p < first + count; ++p) saved_[p >> 3] |= 1u << (p & 7);
  saved_count_ += count;
  return 0;
}

std::int32_t Journal::save(IoFile& db, std::int64_t offset, std::int64_t length) {
  const std::int64_t end = std::min(offset + length, committed_);
  if (length <= 0 || offset >= end) return 0;
  if (!ensure_map()) return report(kJournalFailed);
  const std::int64_t last = (end - 1) / kJournalPage;
  for (std::int64_t p = std::max<std::int64_t>(offset, 0) / kJournalPage; p <= last;) {
    if (is_saved(p)) {
      ++p;
      continue;
    }
    std::int64_t count = 0;
    while (p + count <= last && count < kRunPages && !is_saved(p + count)) ++count;
    if (const std::int32_t r = save_run(db, p, count); r < 0) return r;
    p += count;
  }
  return 0;
}

std::int32_t Journal::sync() {
  if (!unsynced_) return 0;
  if (!file_->sync()) return report(kSyncFailed);
  // A journal the device keeps but whose name it lost would restore nothing.
  if (created_ && !env_->sync_parent(path_)) return report(kSyncFailed);
  unsynced_ = created_ = false;
  return 0;
}

std::int32_t Journal::protect(IoFile& db, std::int64_t offset, std::int64_t length) {
  if (const std::int32_t r = save(db, offset, length); r < 0) return r;
  return sync();
}

std::int32_t Journal::guard_empty() {
  if (committed_ != 0 || ensure_file()) return 0;
  return report(kJournalFailed);
}

std::int32_t Journal::finish(std::int64_t committed) {
  std::int32_t result = 0;
  if (file_ != nullptr) {
    result = invalidate(*file_);
    // A journal that could not be cut still restores the last image: the
    // interval goes on. Once cut, the new image stands even when the sync
    // failed.
    if (result == kJournalFailed) return result;
    drop();
    env_->remove(path_);
  }
  committed_ = committed;
  end_ = 0;
  unsynced_ = false;
  saved_count_ = 0;
  heap_free(saved_);
  saved_ = nullptr;
  map_pages_ = 0;
  return result;
}

Journal::Found Journal::inspect(IoEnv& env, const char* path) {
  IoFile* file = env.open(path, OpenMode::read);
  if (file == nullptr) return env.exists(path) ? Found::hot : Found::none;
  JournalHeader h{};
  const bool valid = read_header(*file, h);
  delete file;
  return valid ? Found::hot : Found::stale;
}

std::int32_t Journal::roll_back(IoEnv& env, const char* path, IoFile& db) {
  IoFile* file = env.open(path, OpenMode::read_write);
  if (file == nullptr) {
    if (!env.exists(path)) return 0;
    return report(kJournalFailed);
  }
  JournalHeader h{};
  if (!read_header(*file, h)) return retire(env, path, file);

  auto* page = allocate<unsigned char>(kJournalPage);
  if (page == nullptr) {
    delete file;
    return report(kJournalFailed);
  }
  std::int32_t result = 0;
  for (std::int64_t at = sizeof h;;) {
    JournalRecord r{};
    if (file->read_at(at, &r, sizeof r) != static_cast<std::int64_t>(sizeof r) ||
        !journal_record_fits(r, h.lCommittedLen) ||
        file->read_at(at + static_cast<std::int64_t>(sizeof r), page, r.lLen) != r.lLen ||
        r.nCheck != journal_record_check(h.nSalt, r, page)) {
      break;  // the end, or a torn append whose page was never overwritten
    }
    if (db.write_at(r.lOffset, page, r.lLen) != r.lLen) {
      result = report(kJournalFailed);
      break;
    }
    at += static_cast<std::int64_t>(sizeof r) + r.lLen;
  }
  heap_free(page);
  if (result == 0 && !db.truncate(h.lCommittedLen)) result = report(kJournalFailed);
  if (result == 0 && !db.sync()) result = report(kSyncFailed);
  if (result != 0) {
    delete file;  // kept for the next attempt
    return result;
  }
  return retire(env, path, file);
}

char* journal_path(const char* db_path) {
  const std::size_t n = std::strlen(db_path);
  char* path = allocate<char>(static_cast<std::int64_t>(n + sizeof kJournalSuffix));
  if (path == nullptr) return nullptr;
  std::memcpy(path, db_path, n);
  std::memcpy(path + n, kJournalSuffix, sizeof kJournalSuffix);
  return path;
}

}  // namespace rb
