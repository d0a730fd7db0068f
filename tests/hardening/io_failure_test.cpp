// Failing IO, through the in-memory file system of the tests: a disk that
// fills up at any single write, and reads that come back short.
//
// Each disk-full sequence runs once undisturbed, noting the state of every
// commit point (dbFlush, dbClose); then once for every write k, with write
// k taking half its bytes and every later write none. Every commit point
// that meets the full disk fails, every other call answers as undisturbed
// or fails, and once space has been freed the file opens, for reading and
// for writing, in the state of the last commit point that succeeded, with
// no journal left behind.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "hardening/hardening_kit.h"
#include "support/fault_env.h"
#include "support/testkit.h"

namespace {

using rbtest::FaultEnv;
using Files = std::map<std::string, FaultEnv::Node>;

constexpr const char* kName = "full.db";
constexpr const char* kJournal = "full.db-journal";

// One call of a sequence: its result and the writes made when it returned.
struct Call {
  std::int32_t result;
  std::int64_t writes;
  bool commit;
};

struct Host {
  FaultEnv& env;
  std::int32_t file = -1;
  std::vector<Call> calls;
  std::vector<Files> committed;  // the files as each successful commit left them

  std::int32_t call(std::int32_t r) {
    calls.push_back({r, env.writes(), false});
    return r;
  }
  void write(std::int32_t type, std::int32_t rec, std::int32_t sub, std::int32_t size) {
    const std::string bytes = hardkit::pattern(type + 7, rec, sub, size);
    call(dbWrite(file, type, rec, sub, bytes.data()));
  }
  void flush() { commit(dbFlush(file), 0); }
  void close() {
    commit(dbClose(file), 4096);
    file = -1;
  }

 private:
  void commit(std::int32_t r, std::int32_t success) {
    calls.push_back({r, env.writes(), true});
    if (r == success) committed.push_back(env.snapshot());
  }
};

using Sequence = std::function<void(Host&)>;

// The committed base file: records overwritten in place, new records of an
// indexed and a placed type, the first area grown in the middle, a commit;
// then a new data type, a new key with records, and the close.
void on_base(Host& r) {
  r.file = r.call(dbOpen(kName, DB_MODE_WRITE));
  for (std::int32_t rec = 0; rec < 25; rec += 3) r.write(1, rec, 0, 10);
  for (std::int32_t rec : {51, 60, 75}) r.write(2, rec, 0, 8);
  for (std::int32_t rec : {2, 3, 40}) r.write(4, rec, 0, 12);
  for (std::int32_t rec = 30; rec < 90; rec += 9) r.write(1, rec, 0, 10);
  r.flush();
  r.write(3, 5, 1, 6);
  const DataDesc later{9, DTF_INDEX, 30, 120, 0};
  r.call(dbBeginData(r.file, &later));
  for (std::int32_t rec = 0; rec < 10; ++rec) r.write(9, rec, 0, 30);
  r.call(dbEndData(r.file));
  std::int32_t key[4] = {7, 8, -1, -1};
  const std::int32_t s = r.call(dbBeginSection(r.file, hardkit::kSectionNo, key));
  const DataDesc place{0, 0, 8, 32, 0};
  r.call(dbBeginDataS(r.file, &place, hardkit::kSectionNo));
  for (std::int32_t rec = 0; rec < 5; ++rec) {
    const std::string bytes = hardkit::pattern(150, rec, 0, 8);
    r.call(dbWriteS(r.file, 0, rec, 0, bytes.data(), 8, hardkit::kSectionNo));
  }
  r.call(dbEndDataS(r.file));
  r.call(dbEndSection(r.file, s));
  r.close();
}

// A new file: built, committed, grown and closed.
void fresh(Host& r) {
  std::vector<hardkit::Stored> model;
  r.call(hardkit::build(kName, r.file, model));
  r.flush();
  for (std::int32_t rec = 25; rec < 70; rec += 4) r.write(1, rec, 0, 10);
  r.write(2, 9, 0, 8);
  r.close();
}

class IoFailureTest : public rbtest::LibraryTest {
 protected:
  // Runs the sequence from the files `start`, the disk full from write
  // full_at on (0: never); the process then ends, and a new one begins.
  Host play(const Sequence& sequence, const Files& start, std::int64_t full_at) {
    env_.restore(start);
    dbExit();
    dbInit(4, 2);
    if (full_at > 0) env_.fill_disk_at(full_at);
    Host run{env_, -1, {}, {}};
    sequence(run);
    dbExit();
    dbInit(4, 2);
    return run;
  }

  // Returns the disk-full points covered.
  std::int64_t fill_everywhere(const Sequence& sequence, const Files& start) {
    const Host clean = play(sequence, start, 0);
    std::vector<std::string> states{"refused"};  // a new file before its first commit
    if (!start.empty()) {
      env_.restore(start);
      states[0] = hardkit::observe(kName);
    }
    std::size_t commit_calls = 0;
    for (const Call& c : clean.calls) commit_calls += c.commit ? 1 : 0;
    EXPECT_EQ(clean.committed.size(), commit_calls) << "a commit failed undisturbed";
    for (const Files& files : clean.committed) {
      env_.restore(files);
      states.push_back(hardkit::observe(kName));
    }
    const std::int64_t writes = clean.calls.back().writes;
    for (std::int64_t k = 1; k <= writes; ++k) {
      SCOPED_TRACE("disk full at write " + std::to_string(k));
      const Host run = play(sequence, start, k);
      EXPECT_EQ(run.calls.size(), clean.calls.size());
      std::size_t committed = 0;
      for (std::size_t i = 0; i < run.calls.size() && i < clean.calls.size(); ++i) {
        const Call& got = run.calls[i];
        const std::int32_t want = clean.calls[i].result;
        if (got.writes < k) {
          EXPECT_EQ(got.result, want) << "call " << i;
        } else if (got.commit) {
          EXPECT_LT(got.result, 0) << "commit at call " << i;
        } else {
          EXPECT_TRUE(got.result == want || got.result < 0) << "call " << i << ": " << got.result;
        }
        committed += got.commit && got.result == want ? 1 : 0;
      }
      const std::string& expected = states[std::min(committed, states.size() - 1)];
      env_.reboot(false);
      for (std::int32_t i = 0; i < 2; ++i) {
        const std::int32_t mode = (k + i) % 2 == 0 ? 0 : DB_MODE_WRITE;
        const std::string got = hardkit::observe(kName, mode);
        if (expected == "refused") {
          EXPECT_EQ(got.rfind("refused", 0), 0u) << "mode " << mode << ": " << got;
        } else {
          EXPECT_EQ(got, expected) << "mode " << mode;
        }
        EXPECT_FALSE(env_.exists(kJournal)) << "mode " << mode;
      }
      if (HasFailure()) return k;
    }
    return writes;
  }

  FaultEnv env_;
};

TEST_F(IoFailureTest, DiskFullAtEveryWrite) {
  std::int32_t f = -1;
  std::vector<hardkit::Stored> model;
  ASSERT_EQ(hardkit::build(kName, f, model), 0);
  ASSERT_EQ(dbClose(f), 4096);
  const Files base = env_.snapshot();
  std::int64_t covered = 0;
  for (const auto& [name, sequence, start] : std::vector<std::tuple<const char*, Sequence, Files>>{
           {"the committed base file", on_base, base}, {"a new file", fresh, {}}}) {
    SCOPED_TRACE(name);
    covered += fill_everywhere(sequence, start);
    if (HasFailure()) break;
  }
  std::printf("disk-full points covered: %lld\n", static_cast<long long>(covered));
}

// Zeros up to 1 MiB meet the full disk: the logical length claims no byte
// that never reached the file.
TEST_F(IoFailureTest, FillCutShortByTheFullDisk) {
  ASSERT_EQ(dbCreate("io_fill.db", 0, nullptr, 0, DB_MODE_WRITE), 0);
  env_.fill_disk_at(env_.writes() + 1);
  EXPECT_EQ(dbFillUpTo(0, 1 << 20), -13);
  const auto on_device = static_cast<std::int32_t>(env_.bytes("io_fill.db").size());
  ASSERT_LT(on_device, 1 << 20);
  char buffer[10];
  EXPECT_EQ(dbCopyFromFile(0, on_device - 10, buffer, 10), 10);
  EXPECT_EQ(dbCopyFromFile(0, on_device - 9, buffer, 10), -20);
}

// A file cut short behind the library's back while it is open: reads that
// reach past the new end fail (-70, no cache block), what is left still
// reads, and the file no longer opens.
TEST_F(IoFailureTest, ReadsThatComeBackShort) {
  std::int32_t f = -1;
  std::vector<hardkit::Stored> model;
  ASSERT_EQ(hardkit::build("io_short.db", f, model), 0);
  ASSERT_EQ(dbClose(f), 4096);
  ASSERT_EQ(dbOpen("io_short.db", 0), 0);
  env_.files()["io_short.db"]->data.resize(6000);
  dbReset(-1);
  char buffer[64];
  std::int32_t failures = 0;
  for (const hardkit::Stored& s : model) {
    if (s.section >= 0) continue;
    const std::int32_t r = dbRead(0, s.type, s.rec, s.sub, buffer, 64);
    EXPECT_TRUE(r == 0 || r == -70) << "type " << s.type << " record " << s.rec << ": " << r;
    failures += r < 0 ? 1 : 0;
  }
  EXPECT_GT(failures, 0);
  EXPECT_EQ(dbGetLastError(), -70);
  EXPECT_EQ(dbCopyFromFile(0, 5990, buffer, 64), 10);  // what the file still has
  EXPECT_EQ(dbClose(0), 0);
  EXPECT_EQ(dbOpen("io_short.db", 0), -100);
}

}  // namespace
