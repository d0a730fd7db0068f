// The IO seam on POSIX systems: positioned reads and writes on a file
// descriptor, and the writer's lock as an open-file-description lock where
// the system has one, so that it is tied to the open file, not to the
// process (a second open in the same process is refused too, and closing
// another descriptor of the same file keeps it).
#ifndef _WIN32

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "frame/io_env.h"

namespace rb {

namespace {

// Locks of the open file itself where the system has them; process locks,
// which another open file of the same process neither sees nor keeps,
// cannot protect a reader's map, so readers then read by copying.
#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
constexpr int kGetLock = F_OFD_GETLK;
constexpr bool kPrivateLocks = true;
#else
constexpr int kSetLock = F_SETLK;
constexpr int kGetLock = F_GETLK;
constexpr bool kPrivateLocks = false;
#endif

struct flock lock_byte(short type, std::int64_t at = kLockOffset) {
  struct flock l {};
  l.l_type = type;
  l.l_whence = SEEK_SET;
  l.l_start = static_cast<off_t>(at);
  l.l_len = 1;
  l.l_pid = 0;
  return l;
}

class PosixFile final : public IoFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override {
    if (map_ != nullptr) ::munmap(map_, kMapSpan);
    ::close(fd_);
  }

  std::int64_t read_at(std::int64_t offset, void* buffer, std::int64_t length) override {
    if (const unsigned char* bytes = view(offset, length); bytes != nullptr) {
      std::memcpy(buffer, bytes, static_cast<std::size_t>(length));
      return length;
    }
    auto* out = static_cast<char*>(buffer);
    std::int64_t done = 0;
    while (done < length) {
      const ssize_t got = ::pread(fd_, out + done, static_cast<std::size_t>(length - done),
                                  static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return -1;
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  std::int64_t write_at(std::int64_t offset, const void* data, std::int64_t length) override {
    const auto* in = static_cast<const char*>(data);
    std::int64_t done = 0;
    while (done < length) {
      const ssize_t put = ::pwrite(fd_, in + done, static_cast<std::size_t>(length - done),
                                   static_cast<off_t>(offset + done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) break;
      done += put;
    }
    if (known_end_ >= 0 && offset + done > known_end_) known_end_ = offset + done;
    return done > 0 || length == 0 ? done : -1;
  }

  std::int64_t size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
  }

  const unsigned char* view(std::int64_t offset, std::int64_t length) override {
    if (offset < 0 || length < 0 || !map_covers(offset + length)) return nullptr;
    return map_ + offset;
  }

  bool truncate(std::int64_t length) override {
    known_end_ = -1;
    return ::ftruncate(fd_, static_cast<off_t>(length)) == 0;
  }

  bool sync() override {
#if defined(__linux__)
    return ::fdatasync(fd_) == 0;
#else
    return ::fsync(fd_) == 0;
#endif
  }

  Lock lock() override {
    const Lock taken = set_lock(F_WRLCK, kLockOffset);
    writer_ = taken == Lock::taken;
    return taken;
  }

  void unlock() override {
    set_lock(F_UNLCK, kLockOffset);
    writer_ = false;
  }

  bool read_shared() override {
    reader_ = kPrivateLocks && set_lock(F_RDLCK, kReaderLockOffset) == Lock::taken;
    return reader_;
  }

  Lock exclude_readers() override { return set_lock(F_WRLCK, kReaderLockOffset); }

  void admit_readers() override { set_lock(F_UNLCK, kReaderLockOffset); }

  bool locked_elsewhere() override {
    struct flock l = lock_byte(F_WRLCK);
    if (::fcntl(fd_, kGetLock, &l) != 0) return false;
    return l.l_type != F_UNLCK;
  }

 private:
  // On 64-bit systems the file is mapped once, read-only and shared, over
  // the 2^31 bytes a database file may ever hold, so the map never moves
  // while the file is open and shows every write at once. Only bytes below
  // the known end are ever touched: a page beyond the end of a file faults.
  static constexpr std::size_t kMapSpan = std::size_t{1} << 31;

  Lock set_lock(short type, std::int64_t at) {
    struct flock l = lock_byte(type, at);
    if (::fcntl(fd_, kSetLock, &l) == 0) return Lock::taken;
    return errno == EACCES || errno == EAGAIN ? Lock::busy : Lock::failed;
  }

  // True when the first `end` bytes lie in the file and its map. Only a file
  // that nothing may empty while it is open is mapped: the writer's, or a
  // reader's that shares the readers' byte.
  bool map_covers(std::int64_t end) {
    if (sizeof(void*) < 8 || map_failed_ || !(writer_ || reader_)) return false;
    if (end > known_end_) {
      known_end_ = size();
      if (end > known_end_) return false;
    }
    if (map_ == nullptr) {
      void* m = ::mmap(nullptr, kMapSpan, PROT_READ, MAP_SHARED, fd_, 0);
      if (m == MAP_FAILED) {
        map_failed_ = true;
        return false;
      }
      map_ = static_cast<unsigned char*>(m);
    }
    return true;
  }

  int fd_;
  bool writer_ = false;
  bool reader_ = false;
  unsigned char* map_ = nullptr;
  bool map_failed_ = false;
  // Bytes the file is known to hold: what it held when last asked, raised
  // by this file's own writes; a cut makes it unknown again.
  std::int64_t known_end_ = -1;
};

class PosixEnv final : public IoEnv {
 public:
  IoFile* open(const char* path, OpenMode mode) override {
    int flags = O_CLOEXEC;
    switch (mode) {
      case OpenMode::read:
        flags |= O_RDONLY;
        break;
      case OpenMode::read_write:
        flags |= O_RDWR;
        break;
      case OpenMode::create:
        flags |= O_RDWR | O_CREAT;
        break;
    }
    int fd = -1;
    do {
      fd = ::open(path, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    auto* file = new (std::nothrow) PosixFile(fd);
    if (file == nullptr) ::close(fd);
    return file;
  }

  bool exists(const char* path) override {
    struct stat st {};
    return ::stat(path, &st) == 0;
  }

  bool remove(const char* path) override { return ::unlink(path) == 0; }

  bool append(const char* path, const void* data, std::int64_t length) override {
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const auto* in = static_cast<const char*>(data);
    std::int64_t done = 0;
    while (done < length) {
      const ssize_t put = ::write(fd, in + done, static_cast<std::size_t>(length - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) break;
      done += put;
    }
    ::close(fd);
    return done == length;
  }

  bool sync_parent(const char* path) override {
    const char* slash = std::strrchr(path, '/');
    const std::size_t n = slash == nullptr ? 0 : static_cast<std::size_t>(slash - path) + 1;
    char* dir = static_cast<char*>(std::malloc(n + 2));
    if (dir == nullptr) return false;
    std::memcpy(dir, n == 0 ? "." : path, n == 0 ? 1 : n);
    dir[n == 0 ? 1 : n] = '\0';
    const int fd = ::open(dir, O_RDONLY | O_CLOEXEC);
    std::free(dir);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
  }
};

}  // namespace

IoEnv& platform_env() {
  static PosixEnv env;
  return env;
}

}  // namespace rb

#endif  // !_WIN32
