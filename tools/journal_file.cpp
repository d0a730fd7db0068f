#include "journal_file.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "file/journal_format.h"
#include "frame/io_env.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace rbtool {

namespace {

// What keeps a header from counting; empty when it counts.
std::string header_fault(const rb::JournalHeader& h) {
  switch (rb::journal_header_fault(h)) {
    case rb::JournalHeaderFault::kNone:
      return {};
    case rb::JournalHeaderFault::kMagic:
      return "no journal magic";
    case rb::JournalHeaderFault::kVersion:
      return "version " + std::to_string(h.nVersion);
    case rb::JournalHeaderFault::kPageSize:
      return "page size " + std::to_string(h.nPageSize);
    case rb::JournalHeaderFault::kCommittedLength:
      return "committed length " + std::to_string(h.lCommittedLen);
    case rb::JournalHeaderFault::kCheck:
      return "header check fails";
  }
  return "header check fails";
}

// True when another open file holds the writer's lock of the database: the
// byte at kLockOffset, as the library takes it.
bool writer_holds(const std::string& path) {
#if defined(_WIN32)
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  // Windows cannot ask for a lock without taking it: taken and given back
  // at once.
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(rb::kLockOffset & 0xFFFFFFFF);
  o.OffsetHigh = static_cast<DWORD>(rb::kLockOffset >> 32);
  const bool taken =
      LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &o) != 0;
  if (taken) UnlockFileEx(h, 0, 1, 0, &o);
  CloseHandle(h);
  return !taken;
#else
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock l {};
  l.l_type = F_WRLCK;
  l.l_whence = SEEK_SET;
  l.l_start = static_cast<off_t>(rb::kLockOffset);
  l.l_len = 1;
#ifdef F_OFD_GETLK
  const int asked = ::fcntl(fd, F_OFD_GETLK, &l);
#else
  const int asked = ::fcntl(fd, F_GETLK, &l);
#endif
  ::close(fd);
  return asked == 0 && l.l_type != F_UNLCK;
#endif
}

}  // namespace

std::string journal_path(const std::string& path) { return path + rb::kJournalSuffix; }

JournalFile read_journal(const std::string& path, bool keep_pages) {
  JournalFile j;
  j.path = journal_path(path);
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(j.path.c_str(), "rb"));
  if (!file) {
    // There without read access: the library takes it for a journal it
    // must roll back.
    std::error_code ec;
    if (std::filesystem::exists(j.path, ec)) j.state = JournalFile::State::unreadable;
    return j;
  }
  if (std::fseek(file.get(), 0, SEEK_END) == 0) j.bytes = std::ftell(file.get());
  std::rewind(file.get());
  rb::JournalHeader h{};
  if (std::fread(&h, 1, sizeof h, file.get()) != sizeof h) {
    j.state = JournalFile::State::stale;
    j.why_stale = j.bytes == 0 ? "empty" : "header incomplete";
    return j;
  }
  j.why_stale = header_fault(h);
  if (!j.why_stale.empty()) {
    j.state = JournalFile::State::stale;
    return j;
  }
  j.state = JournalFile::State::pending;
  j.restored.length = h.lCommittedLen;
  std::vector<char> page(rb::kJournalPage);
  for (;;) {
    rb::JournalRecord r{};
    if (std::fread(&r, 1, sizeof r, file.get()) != sizeof r ||
        !rb::journal_record_fits(r, h.lCommittedLen) ||
        std::fread(page.data(), 1, static_cast<std::size_t>(r.lLen), file.get()) !=
            static_cast<std::size_t>(r.lLen) ||
        r.nCheck != rb::journal_record_check(h.nSalt, r, page.data())) {
      break;
    }
    if (keep_pages) {
      j.restored.pages[r.lOffset].assign(page.data(), static_cast<std::size_t>(r.lLen));
    }
    ++j.pages;
  }
  j.writer_at_work = writer_holds(path);
  return j;
}

std::string journal_note(const JournalFile& journal, const std::string& name, bool opened) {
  if (journal.state != JournalFile::State::pending) return {};
  if (journal.writer_at_work) {
    // The library refuses to open the file (-18) and says so itself.
    return opened ? std::string()
                  : name + ": a writer is at work on the file; shown are the bytes on disk as " +
                        "they are now";
  }
  if (opened) {
    return name + ": dbOpen rolled back the journal an interrupted writer left; the file holds " +
           "its last committed state again";
  }
  return name + ": the journal an interrupted writer left is pending; shown are the bytes on " +
         "disk, which the next dbOpen rolls back to the last committed state";
}

}  // namespace rbtool
