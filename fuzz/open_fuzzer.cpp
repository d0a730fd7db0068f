// libFuzzer target: the input is a database file. It is opened for reading
// and for writing, and each opening goes through the reads, queries, dumps,
// key look-ups and (with write access) a few writes that a host would make.
// Whatever the bytes, the library must answer with codes, never crash, leak
// or hang; a file it accepted and wrote back must open again.
//
// Each input runs in a scratch directory of its own (the log, the dump file
// and the database lie in the current directory), emptied for every input;
// between inputs libFuzzer works in the directory it was started in.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "file/file_ctrl.h"
#include "frame/io_env.h"
#include "frame/state.h"
#include "recbase.h"

namespace {

constexpr char kDbName[] = "fuzz.db";
constexpr char kJournalName[] = "fuzz.db-journal";
// Record blocks larger than this are legal but would make every input that
// names one slow; such files get no record IO.
constexpr std::int32_t kMaxRecordBlock = 1 << 20;
constexpr int kMaxTypes = 12;
constexpr int kMaxKeys = 8;
constexpr int kMaxSections = 4;

std::string g_scratch;
std::string g_home;

void remove_scratch_files() {
  std::remove(kDbName);
  std::remove(kJournalName);
  std::remove("tovek.log");
  std::remove("tovek.tst");
}

void enter_scratch() {
  if (chdir(g_scratch.c_str()) != 0) std::abort();
  remove_scratch_files();
}

void leave_scratch() {
  if (chdir(g_home.c_str()) != 0) std::abort();
}

void remove_scratch() {
  if (chdir(g_scratch.c_str()) == 0) remove_scratch_files();
  if (chdir(g_home.c_str()) == 0) rmdir(g_scratch.c_str());
}

bool write_input(const std::uint8_t* data, std::size_t size) {
  std::FILE* out = std::fopen(kDbName, "wb");
  if (out == nullptr) return false;
  const bool ok = size == 0 || std::fwrite(data, 1, size, out) == size;
  return std::fclose(out) == 0 && ok;
}

// Length of a buffer that holds any record of the open file, or 0 when some
// data type has blocks too large to be read here.
std::size_t record_buffer_len(std::int32_t file) {
  const rb::FileCtrl* f = rb::file_at(file);
  if (f == nullptr) return 0;
  std::int32_t longest = 64;  // a key record at least
  for (std::int32_t k = 0; k < f->def.nDataTypes && k < f->nDataCtrlCap; ++k) {
    const rb::DataCtrl& dc = f->pDataCtrl[k];
    if (dc.nBlockSize > kMaxRecordBlock || dc.nDataSize > kMaxRecordBlock) return 0;
    longest = std::max({longest, dc.nDataSize, dc.nBlockSize});
  }
  return static_cast<std::size_t>(longest);
}

std::vector<std::int32_t> declared_types(std::int32_t file) {
  std::vector<std::int32_t> types;
  for (std::int32_t t = dbGetFirstDataType(file);
       t >= 0 && static_cast<int>(types.size()) < kMaxTypes; t = dbGetNextDataType(file)) {
    types.push_back(t);
  }
  return types;
}

void query_types(std::int32_t file, const std::vector<std::int32_t>& types) {
  for (std::int32_t t : types) {
    dbExistDataType(file, t);
    dbGetDataTypeSize(file, t);
    dbGetDataTypeMaxCount(file, t);
    for (std::int32_t rec : {0, 1, 7}) {
      dbGetDataTypeRecs(file, t, rec);
      dbGetIndex(file, -1, t, rec);
    }
  }
  for (std::int32_t s = 0; s < kMaxSections; ++s) {
    for (std::int32_t place : {0, 1, 9}) {
      dbGetDataTypeMaxCountS(file, s, place);
      dbGetIndex(file, s, place, 0);
    }
  }
}

void read_records(std::int32_t file, const std::vector<std::int32_t>& types,
                  std::vector<unsigned char>& buffer) {
  const auto len = static_cast<std::int32_t>(buffer.size());
  for (std::int32_t t : types) {
    for (std::int32_t rec : {0, 1, 7, 100}) {
      dbRead(file, t, rec, 0, buffer.data(), len);
      dbRead(file, t, rec, 1, buffer.data(), len);
    }
  }
  // Catalogue entries named directly, hash buckets among them.
  for (std::int32_t k = 0; k < kMaxTypes; ++k) {
    dbRead(file, -1 - k, 0, 0, buffer.data(), len);
    dbReadKey(file, k, 0, buffer.data(), len);
    dbReadKey(file, k, 3, buffer.data(), len);
  }
}

// Enumerates the keys of the first sections and reads their records.
void walk_keys(std::int32_t file, std::vector<unsigned char>* buffer) {
  for (std::int32_t s = 0; s < kMaxSections; ++s) {
    std::int32_t keys[4] = {0, 0, 0, 0};
    dbGetMaxKey(file, s, keys);
    std::int32_t probe[4] = {1, 2, 3, 4};
    dbSetSection(file, s, probe);
    std::int32_t mode = 0;
    for (int n = 0; n < kMaxKeys && dbGetKey(file, s, mode, keys) == 1; ++n, mode = 1) {
      dbSetSection(file, s, keys);
      if (buffer == nullptr) continue;
      const auto len = static_cast<std::int32_t>(buffer->size());
      for (std::int32_t place : {0, 1, 9}) {
        dbReadS(file, place, 0, 0, buffer->data(), len, s);
        dbReadS(file, place, 2, 0, buffer->data(), len, s);
      }
    }
    std::int32_t found_no = 0;
    dbGetSection(file, &found_no, keys);
  }
}

void dump_all(std::int32_t file, const std::vector<std::int32_t>& types) {
  dbDumpFileDef(file);
  dbDumpAllDataCtrl(file);
  dbDumpIndDataTypes(file);
  dbDumpIndSections(file);
  for (std::int32_t t : types) {
    dbDumpDataCtrl(file, t, 1);
    dbDumpDataIndex(file, t, 0x03);
  }
  for (std::int32_t n = 0; n < kMaxSections; ++n) {
    dbDumpDataCtrl(file, n, 0);
    dbDumpSection(file, n, 0);
    dbDumpSection(file, n, 1);
    dbDumpSectionKeys(file, n, 0);
    dbDumpSectionKeys(file, n, 1);
  }
  dbDumpCashCtrl();
  // The dump file only grows: keep it from filling the disk.
  std::remove("tovek.tst");
}

void write_some(std::int32_t file, const std::vector<std::int32_t>& types,
                std::vector<unsigned char>* buffer) {
  if (buffer != nullptr) {
    std::fill(buffer->begin(), buffer->end(), 0x5a);
    const auto len = static_cast<std::int32_t>(buffer->size());
    for (std::size_t i = 0; i < types.size() && i < 3; ++i) {
      for (std::int32_t rec : {0, 3, 40}) dbWrite(file, types[i], rec, 0, buffer->data());
    }
    std::int32_t keys[4] = {5, 6, 7, 8};
    if (dbBeginSection(file, 0, keys) >= 0) {
      const DataDesc place = {0, 0, 24, 256, 0};
      if (dbBeginDataS(file, &place, 0) >= 0) {
        dbWriteS(file, 0, 0, 0, buffer->data(), len, 0);
        dbEndDataS(file);
      }
    }
  }
  const std::int32_t fresh = types.empty() ? 1 : types.back() + 1;
  const DataDesc later = {fresh, DTF_INDEX, 16, 512, 0};
  if (dbBeginData(file, &later) >= 0) {
    const unsigned char record[16] = {1, 2, 3};
    for (std::int32_t rec : {0, 1, 50}) dbWrite(file, fresh, rec, 0, record);
    dbEndData(file);
  }
  dbFlush(file);
}

// One opening of the input; returns the close's result (or the open's
// failure).
std::int32_t session(std::int32_t mode) {
  const std::int32_t file = dbOpen(kDbName, mode);
  if (file < 0) return file;
  const std::vector<std::int32_t> types = declared_types(file);
  const std::size_t buffer_len = record_buffer_len(file);
  std::vector<unsigned char> storage(buffer_len);
  std::vector<unsigned char>* buffer = buffer_len > 0 ? &storage : nullptr;

  query_types(file, types);
  if (buffer != nullptr) read_records(file, types, storage);
  walk_keys(file, buffer);
  dump_all(file, types);
  if ((mode & DB_MODE_WRITE) != 0) write_some(file, types, buffer);
  return dbClose(file);
}

// The platform's files without syncs: the fuzzer looks at what the
// library makes of the bytes, and a sync per commit would cost it most of
// its runs.
class NoSyncFile final : public rb::IoFile {
 public:
  explicit NoSyncFile(rb::IoFile* file) : file_(file) {}
  ~NoSyncFile() override { delete file_; }
  std::int64_t read_at(std::int64_t offset, void* buffer, std::int64_t length) override {
    return file_->read_at(offset, buffer, length);
  }
  std::int64_t write_at(std::int64_t offset, const void* data, std::int64_t length) override {
    return file_->write_at(offset, data, length);
  }
  std::int64_t size() override { return file_->size(); }
  const unsigned char* view(std::int64_t offset, std::int64_t length) override {
    return file_->view(offset, length);
  }
  bool truncate(std::int64_t length) override { return file_->truncate(length); }
  bool sync() override { return true; }
  Lock lock() override { return file_->lock(); }
  void unlock() override { file_->unlock(); }
  bool locked_elsewhere() override { return file_->locked_elsewhere(); }

 private:
  rb::IoFile* file_;
};

class NoSyncEnv final : public rb::IoEnv {
 public:
  rb::IoFile* open(const char* path, rb::OpenMode mode) override {
    rb::IoFile* file = rb::platform_env().open(path, mode);
    return file == nullptr ? nullptr : new NoSyncFile(file);
  }
  bool exists(const char* path) override { return rb::platform_env().exists(path); }
  bool remove(const char* path) override { return rb::platform_env().remove(path); }
  bool sync_parent(const char*) override { return true; }
  bool append(const char* path, const void* data, std::int64_t length) override {
    return rb::platform_env().append(path, data, length);
  }
};

NoSyncEnv g_env;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  rb::set_io_env(&g_env);
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/recbase-fuzz-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  std::vector<char> home(4096);
  if (mkdtemp(name.data()) == nullptr || getcwd(home.data(), home.size()) == nullptr) {
    std::perror("recbase fuzzer: scratch directory");
    std::abort();
  }
  g_scratch = name.data();
  g_home = home.data();
  std::atexit(remove_scratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  enter_scratch();
  if (!write_input(data, size)) std::abort();
  if (dbInit(4, 2) != 0) std::abort();

  session(0);
  const std::int32_t closed = session(DB_MODE_WRITE);
  // A file that was accepted for writing and committed by dbClose must be
  // accepted again; a refusal is kept and ends the run like a crash. (A
  // close that fails leaves the journal, which restores the input.)
  if (closed == 4096) {
    const std::int32_t file = dbOpen(kDbName, 0);
    if (file < 0) {
      std::fprintf(stderr, "recbase fuzzer: file written back by dbClose refused: %d\n", file);
      // Kept for the post-mortem beside the crash input.
      std::rename(kDbName, (g_home + "/refused-written-back.db").c_str());
      std::abort();
    }
    dbClose(file);
  }

  if (dbExit() != 0) std::abort();
  leave_scratch();
  return 0;
}
