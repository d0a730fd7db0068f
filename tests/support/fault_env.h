// An in-memory file system behind the library's IO seam, for tests that
// crash the library, tear its writes, fill its disk or cut its power at
// any single call.
//
// Calls that change the device (write, truncate, sync, remove, a directory
// sync) are counted from 1. crash_at(k) makes call k the last: it is lost
// (or, torn, half done), and every call after it fails, as if the process
// had died there. reboot() then brings the files back as a new process
// finds them: everything done before the crash, or with power_cut only
// what had been synced (but for one file that may be spared, as a device
// that wrote it out of order). Writes are counted from 1 as well:
// fill_disk_at(k) lets write k take half its bytes and every later write
// none, until reboot; fail_write_at(k) fails write k alone. A file marked
// read_only opens for reading only, as one the process may not write.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "frame/io_env.h"

namespace rbtest {

class FaultEnv final : public rb::IoEnv {
 public:
  struct Node {
    std::string data;
    std::string durable;  // as of the last sync
    std::int32_t lock_owner = 0;
    bool read_only = false;
  };

  // Puts itself in place of the platform's environment until destroyed.
  FaultEnv();
  ~FaultEnv() override;

  rb::IoFile* open(const char* path, rb::OpenMode mode) override;
  bool exists(const char* path) override;
  bool remove(const char* path) override;
  bool sync_parent(const char* path) override;
  // The log: kept in memory, never counted, never failing.
  bool append(const char* path, const void* data, std::int64_t length) override;

  // Device-changing calls so far.
  std::int64_t calls() const { return calls_; }
  // Writes and syncs so far (writes: the count fill_disk_at refers to).
  std::int64_t writes() const { return writes_; }
  std::int64_t syncs() const { return syncs_; }
  void crash_at(std::int64_t k, bool torn);
  void fill_disk_at(std::int64_t k) { full_at_ = k; }
  void fail_write_at(std::int64_t k) { fail_at_ = k; }
  bool write_failed() const { return fail_at_ != 0 && writes_ >= fail_at_; }
  // Ends a crash or a full disk; with power_cut every file but `spared`
  // keeps only what was synced. Locks die with the process that held them.
  void reboot(bool power_cut, const std::string& spared = "");

  // The files, to look at, to copy and to put back.
  std::map<std::string, std::shared_ptr<Node>>& files() { return files_; }
  std::string bytes(const std::string& path) const;
  // A deep copy of every file, and its return.
  std::map<std::string, Node> snapshot() const;
  void restore(const std::map<std::string, Node>& files);

 private:
  friend class FaultFile;
  // Counts a changing call; false when it must not happen. torn is set
  // when the call is the crash point of a torn crash.
  bool allow(bool& torn);
  bool allow_write(std::int64_t& length);

  std::map<std::string, std::shared_ptr<Node>> files_;
  std::int64_t calls_ = 0;
  std::int64_t crash_at_ = 0;
  bool torn_ = false;
  bool dead_ = false;
  std::int64_t full_at_ = 0;
  std::int64_t fail_at_ = 0;
  std::int64_t writes_ = 0;
  std::int64_t syncs_ = 0;
  std::int32_t next_handle_ = 1;
};

}  // namespace rbtest
