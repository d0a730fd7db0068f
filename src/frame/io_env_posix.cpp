// The IO seam on POSIX systems: positioned reads and writes on a file
// descriptor, and the writer's lock as an open-file-description lock where
// the system has one, so that it is tied to the open file, not to the
// process (a second open in the same process is refused too, and closing
// another descriptor of the same file keeps it).
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "frame/io_env.h"

namespace rb {

namespace {

#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
constexpr int kGetLock = F_OFD_GETLK;
#else
constexpr int kSetLock = F_SETLK;
constexpr int kGetLock = F_GETLK;
#endif

struct flock lock_byte(short type) {
  struct flock l {};
  l.l_type = type;
  l.l_whence = SEEK_SET;
  l.l_start = static_cast<off_t>(kLockOffset);
  l.l_len = 1;
  l.l_pid = 0;
  return l;
}

class PosixFile final : public IoFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }

  std::int64_t read_at(std::int64_t offset, void* buffer, std::int64_t length) override {
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
      if (put <= 0) return done > 0 ? done : -1;
      done += put;
    }
    return done;
  }

  std::int64_t size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
  }

  bool truncate(std::int64_t length) override {
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
    struct flock l = lock_byte(F_WRLCK);
    if (::fcntl(fd_, kSetLock, &l) == 0) return Lock::taken;
    return errno == EACCES || errno == EAGAIN ? Lock::busy : Lock::failed;
  }

  void unlock() override {
    struct flock l = lock_byte(F_UNLCK);
    ::fcntl(fd_, kSetLock, &l);
  }

  bool locked_elsewhere() override {
    struct flock l = lock_byte(F_WRLCK);
    if (::fcntl(fd_, kGetLock, &l) != 0) return false;
    return l.l_type != F_UNLCK;
  }

 private:
  int fd_;
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
