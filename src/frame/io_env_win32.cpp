// The IO seam on Windows: positioned ReadFile and WriteFile on a handle that
// lets other handles read, write and delete, and the writer's lock as a
// byte-range lock of the handle (LockFileEx), beyond the data, so that it
// never keeps a reader from the file's bytes.
#ifdef _WIN32

#include <windows.h>

#include <algorithm>
#include <new>

#include "frame/io_env.h"

namespace rb {

namespace {

constexpr DWORD kMaxTransfer = 1u << 30;

OVERLAPPED at(std::int64_t offset) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
  o.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  return o;
}

class WinFile final : public IoFile {
 public:
  explicit WinFile(HANDLE h) : h_(h) {}
  ~WinFile() override { CloseHandle(h_); }

  std::int64_t read_at(std::int64_t offset, void* buffer, std::int64_t length) override {
    auto* out = static_cast<char*>(buffer);
    std::int64_t done = 0;
    while (done < length) {
      OVERLAPPED o = at(offset + done);
      const auto want = static_cast<DWORD>(std::min<std::int64_t>(length - done, kMaxTransfer));
      DWORD got = 0;
      if (!ReadFile(h_, out + done, want, &got, &o)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        return -1;
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  std::int64_t write_at(std::int64_t offset, const void* data, std::int64_t length) override {
    const auto* in = static_cast<const char*>(data);
    std::int64_t done = 0;
    while (done < length) {
      OVERLAPPED o = at(offset + done);
      const auto want = static_cast<DWORD>(std::min<std::int64_t>(length - done, kMaxTransfer));
      DWORD put = 0;
      if (!WriteFile(h_, in + done, want, &put, &o) || put == 0) return done > 0 ? done : -1;
      done += put;
    }
    return done;
  }

  std::int64_t size() override {
    LARGE_INTEGER n{};
    if (!GetFileSizeEx(h_, &n)) return -1;
    return static_cast<std::int64_t>(n.QuadPart);
  }

  bool truncate(std::int64_t length) override {
    LARGE_INTEGER to{};
    to.QuadPart = length;
    return SetFilePointerEx(h_, to, nullptr, FILE_BEGIN) && SetEndOfFile(h_);
  }

  bool sync() override { return FlushFileBuffers(h_) != 0; }

  Lock lock() override { return lock_alone(kLockOffset); }

  void unlock() override { unlock_at(kLockOffset); }

  bool read_shared() override {
    OVERLAPPED o = at(kReaderLockOffset);
    return LockFileEx(h_, LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &o) != 0;
  }

  Lock exclude_readers() override { return lock_alone(kReaderLockOffset); }

  void admit_readers() override { unlock_at(kReaderLockOffset); }

  bool locked_elsewhere() override {
    if (lock() != Lock::taken) return true;
    unlock();
    return false;
  }

 private:
  // Takes the byte at offset alone, without waiting.
  Lock lock_alone(std::int64_t offset) {
    OVERLAPPED o = at(offset);
    if (LockFileEx(h_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &o)) {
      return Lock::taken;
    }
    const DWORD e = GetLastError();
    return e == ERROR_LOCK_VIOLATION || e == ERROR_IO_PENDING ? Lock::busy : Lock::failed;
  }

  void unlock_at(std::int64_t offset) {
    OVERLAPPED o = at(offset);
    UnlockFileEx(h_, 0, 1, 0, &o);
  }

  HANDLE h_;
};

class WinEnv final : public IoEnv {
 public:
  IoFile* open(const char* path, OpenMode mode) override {
    const DWORD access = mode == OpenMode::read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD disposition = mode == OpenMode::create ? OPEN_ALWAYS : OPEN_EXISTING;
    HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    auto* file = new (std::nothrow) WinFile(h);
    if (file == nullptr) CloseHandle(h);
    return file;
  }

  bool exists(const char* path) override {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
  }

  bool remove(const char* path) override { return DeleteFileA(path) != 0; }

  bool append(const char* path, const void* data, std::int64_t length) override {
    HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    const bool ok = WriteFile(h, data, static_cast<DWORD>(length), &put, nullptr) &&
                    put == static_cast<DWORD>(length);
    CloseHandle(h);
    return ok;
  }

  // NTFS makes a new directory entry durable with the file's own flush.
  bool sync_parent(const char*) override { return true; }
};

}  // namespace

IoEnv& platform_env() {
  static WinEnv env;
  return env;
}

}  // namespace rb

#endif  // _WIN32
