#include "support/fault_env.h"

#include <algorithm>
#include <cstring>

namespace rbtest {

class FaultFile final : public rb::IoFile {
 public:
  FaultFile(FaultEnv& env, std::shared_ptr<FaultEnv::Node> node, bool writable, std::int32_t id)
      : env_(env), node_(std::move(node)), writable_(writable), id_(id) {}
  ~FaultFile() override { unlock(); }

  std::int64_t read_at(std::int64_t offset, void* buffer, std::int64_t length) override {
    if (env_.dead_) return -1;
    const std::string& d = node_->data;
    if (offset >= static_cast<std::int64_t>(d.size())) return 0;
    const std::int64_t n =
        std::min<std::int64_t>(length, static_cast<std::int64_t>(d.size()) - offset);
    std::memcpy(buffer, d.data() + offset, static_cast<std::size_t>(n));
    return n;
  }

  std::int64_t write_at(std::int64_t offset, const void* data, std::int64_t length) override {
    if (!writable_) return -1;
    std::int64_t n = length;
    if (!env_.allow_write(n)) return -1;
    std::string& d = node_->data;
    if (static_cast<std::int64_t>(d.size()) < offset + n)
      d.resize(static_cast<std::size_t>(offset + n), '\0');
    std::memcpy(d.data() + offset, data, static_cast<std::size_t>(n));
    return n;
  }

  std::int64_t size() override {
    if (env_.dead_) return -1;
    return static_cast<std::int64_t>(node_->data.size());
  }

  bool truncate(std::int64_t length) override {
    bool torn = false;
    if (!writable_ || !env_.allow(torn) || torn) return false;
    node_->data.resize(static_cast<std::size_t>(length), '\0');
    return true;
  }

  bool sync() override {
    bool torn = false;
    if (!env_.allow(torn) || torn) return false;
    ++env_.syncs_;
    node_->durable = node_->data;
    return true;
  }

  Lock lock() override {
    if (env_.dead_) return Lock::failed;
    if (node_->lock_owner != 0 && node_->lock_owner != id_) return Lock::busy;
    node_->lock_owner = id_;
    return Lock::taken;
  }

  void unlock() override {
    if (node_->lock_owner == id_) node_->lock_owner = 0;
  }

  bool locked_elsewhere() override { return node_->lock_owner != 0 && node_->lock_owner != id_; }

 private:
  FaultEnv& env_;
  std::shared_ptr<FaultEnv::Node> node_;
  bool writable_;
  std::int32_t id_;
};

FaultEnv::FaultEnv() { rb::set_io_env(this); }

FaultEnv::~FaultEnv() { rb::set_io_env(nullptr); }

bool FaultEnv::allow(bool& torn) {
  torn = false;
  if (dead_) return false;
  ++calls_;
  if (crash_at_ != 0 && calls_ >= crash_at_) {
    dead_ = true;
    torn = torn_;
    return torn;  // a torn call is done in part; any other is lost
  }
  return true;
}

bool FaultEnv::allow_write(std::int64_t& length) {
  bool torn = false;
  if (!allow(torn)) return false;
  if (torn) length /= 2;
  ++writes_;
  if (writes_ == fail_at_ || (full_at_ != 0 && writes_ > full_at_)) return false;
  if (full_at_ != 0 && writes_ == full_at_) length /= 2;
  return true;
}

rb::IoFile* FaultEnv::open(const char* path, rb::OpenMode mode) {
  if (dead_) return nullptr;
  auto it = files_.find(path);
  if (it == files_.end()) {
    if (mode != rb::OpenMode::create) return nullptr;
    it = files_.emplace(path, std::make_shared<Node>()).first;
  } else if (mode != rb::OpenMode::read && it->second->read_only) {
    return nullptr;
  }
  return new FaultFile(*this, it->second, mode != rb::OpenMode::read, next_handle_++);
}

bool FaultEnv::exists(const char* path) { return !dead_ && files_.count(path) != 0; }

bool FaultEnv::remove(const char* path) {
  bool torn = false;
  if (!allow(torn) || torn) return false;
  return files_.erase(path) != 0;
}

bool FaultEnv::sync_parent(const char*) {
  bool torn = false;
  return allow(torn) && !torn;
}

bool FaultEnv::append(const char* path, const void* data, std::int64_t length) {
  auto& node = files_[path];
  if (node == nullptr) node = std::make_shared<Node>();
  node->data.append(static_cast<const char*>(data), static_cast<std::size_t>(length));
  node->durable = node->data;
  return true;
}

void FaultEnv::crash_at(std::int64_t k, bool torn) {
  crash_at_ = k;
  torn_ = torn;
}

void FaultEnv::reboot(bool power_cut, const std::string& spared) {
  for (auto& [path, node] : files_) {
    if (power_cut && path != spared) node->data = node->durable;
    node->lock_owner = 0;
  }
  dead_ = false;
  crash_at_ = full_at_ = fail_at_ = 0;
  calls_ = writes_ = syncs_ = 0;
}

std::string FaultEnv::bytes(const std::string& path) const {
  const auto it = files_.find(path);
  return it == files_.end() ? std::string() : it->second->data;
}

std::map<std::string, FaultEnv::Node> FaultEnv::snapshot() const {
  std::map<std::string, Node> copy;
  for (const auto& [path, node] : files_) copy[path] = *node;
  return copy;
}

void FaultEnv::restore(const std::map<std::string, Node>& files) {
  files_.clear();
  for (const auto& [path, node] : files) {
    // What was there before a run is on the device, and no process holds it.
    auto copy = std::make_shared<Node>(node);
    copy->durable = copy->data;
    copy->lock_owner = 0;
    files_[path] = copy;
  }
  dead_ = false;
  crash_at_ = full_at_ = fail_at_ = 0;
  calls_ = writes_ = syncs_ = 0;
}

}  // namespace rbtest
