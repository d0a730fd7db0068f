// The IO seam: every byte the library reads from or writes to a database
// file, its journal or the log passes through an IoEnv and the IoFiles it
// opens.
// The platform's own environment (POSIX or Win32) serves the shipped
// library; tests put an environment of their own in its place to fail,
// tear or lose any single call.
#pragma once

#include <cstdint>

namespace rb {

// One open file. Offsets and lengths are byte counts; a file is never
// longer than 2^31 - 1 bytes; the lock byte at kLockOffset lies beyond
// and never holds data.
class IoFile {
 public:
  IoFile() = default;
  IoFile(const IoFile&) = delete;
  IoFile& operator=(const IoFile&) = delete;
  virtual ~IoFile() = default;

  // Reads up to length bytes at offset. Returns the bytes delivered (fewer
  // at the end of the file), or -1 when the device failed.
  virtual std::int64_t read_at(std::int64_t offset, void* buffer, std::int64_t length) = 0;
  // Writes length bytes at offset. Returns the bytes the device took
  // (fewer when it ran out of room), or -1 when it failed.
  virtual std::int64_t write_at(std::int64_t offset, const void* data, std::int64_t length) = 0;
  // Size in bytes, -1 when it cannot be told.
  virtual std::int64_t size() = 0;
  // The bytes [offset, offset + length) in place, through a read-only map
  // of the file: they stay readable until the file is closed and show
  // every later write to the file. Null when the platform maps no files or
  // the range reaches beyond the end of the file.
  virtual const unsigned char* view(std::int64_t offset, std::int64_t length) {
    (void)offset;
    (void)length;
    return nullptr;
  }
  // Cuts the file to length bytes (or extends it with zero bytes).
  virtual bool truncate(std::int64_t length) = 0;
  // Forces what was written to the device.
  virtual bool sync() = 0;

  enum class Lock { taken, busy, failed };
  // Takes the writer's lock of the file without waiting. The lock belongs
  // to this open file: another open file, in this process or another, is
  // refused with busy until unlock, close or the end of the process.
  virtual Lock lock() = 0;
  virtual void unlock() = 0;
  // True when another open file holds the writer's lock.
  virtual bool locked_elsewhere() = 0;

  // Readers share the reader byte for as long as the file is open, so that
  // nothing empties the file under them (which would pull the bytes from
  // under a read in place). read_shared takes the shared lock: false where
  // the system cannot, or while the file is being emptied; such a reader
  // reads by copying. exclude_readers takes the byte alone, busy while any
  // other open file shares it; admit_readers gives it back.
  virtual bool read_shared() { return false; }
  virtual Lock exclude_readers() { return Lock::taken; }
  virtual void admit_readers() {}
};

enum class OpenMode {
  read,        // existing file, reading only
  read_write,  // existing file, reading and writing
  create,      // reading and writing; made empty when missing, never cut
};

class IoEnv {
 public:
  IoEnv() = default;
  IoEnv(const IoEnv&) = delete;
  IoEnv& operator=(const IoEnv&) = delete;
  virtual ~IoEnv() = default;

  // The open file, or null when it cannot be opened (or memory ran out).
  // Names are passed to the platform as they are: on Windows in the
  // process's ANSI code page, as fopen takes them.
  virtual IoFile* open(const char* path, OpenMode mode) = 0;
  virtual bool exists(const char* path) = 0;
  virtual bool remove(const char* path) = 0;
  // Makes the entry of a newly created file in its directory durable.
  virtual bool sync_parent(const char* path) = 0;
  // Appends length bytes to the text file path (the log), creating it when
  // missing. Line ends are the caller's.
  virtual bool append(const char* path, const void* data, std::int64_t length) = 0;
};

// Byte whose lock marks the one writer of a file: beyond the 2^31 - 1
// bytes a database file may hold, so a lock never keeps a reader from data.
inline constexpr std::int64_t kLockOffset = std::int64_t{1} << 31;
// The readers' byte, next to it.
inline constexpr std::int64_t kReaderLockOffset = kLockOffset + 1;

// The environment in use: the platform's own unless a test replaced it.
IoEnv& io_env();

// The platform's own environment.
IoEnv& platform_env();

// Replaces the environment (null restores the platform's own). Files
// opened before keep the environment that opened them.
void set_io_env(IoEnv* env);

}  // namespace rb
