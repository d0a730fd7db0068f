// Crashes at every single call that changes the device. Each scenario runs
// once undisturbed, noting the state of every commit point (dbFlush,
// dbClose); then once for each call k, crashing there: the process dies
// with everything after k lost, or call k torn half-way, or the power cut
// so that only what was synced survives. The file must then open, in the
// state of its last commit point: every count, record and key as the
// undisturbed run committed it (a crash inside a commit may leave the
// commit before or the one being made).
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "hardening/hardening_kit.h"
#include "support/fault_env.h"
#include "support/testkit.h"

namespace {

using rbtest::FaultEnv;

constexpr const char* kName = "crash.db";
constexpr const char* kJournal = "crash.db-journal";

std::string observe() { return hardkit::observe(kName); }

// A commit point of the undisturbed run: the calls made before it began
// and when it returned, and the files as it left them.
struct Commit {
  std::int64_t begin;
  std::int64_t end;
  std::map<std::string, FaultEnv::Node> files;
  std::string state;
};

// The host of a scenario; it notes its commit points when given a list.
struct Host {
  FaultEnv& env;
  std::vector<Commit>* commits;
  std::int32_t file = -1;

  void write(std::int32_t type, std::int32_t rec, std::int32_t sub, std::int32_t size,
             std::int32_t salt) {
    const std::string bytes = hardkit::pattern(type + salt, rec, sub, size);
    dbWrite(file, type, rec, sub, bytes.data());
  }
  void write_s(std::int32_t place, std::int32_t rec, std::int32_t size, std::int32_t salt) {
    const std::string bytes = hardkit::pattern(100 + place + salt, rec, 0, size);
    dbWriteS(file, place, rec, 0, bytes.data(), size, hardkit::kSectionNo);
  }
  void open() { file = dbOpen(kName, DB_MODE_WRITE); }
  void flush() {
    const std::int64_t begin = env.calls();
    note(dbFlush(file) == 0, begin);
  }
  void close() {
    const std::int64_t begin = env.calls();
    note(dbClose(file) == 4096, begin);
    file = -1;
  }

 private:
  void note(bool ok, std::int64_t begin) {
    if (ok && commits != nullptr) commits->push_back({begin, env.calls(), env.snapshot(), {}});
  }
};

using Scenario = std::function<void(Host&)>;

void in_place(Host& h) {
  h.open();
  for (std::int32_t rec = 0; rec < 25; rec += 2) h.write(1, rec, 0, 10, 7);
  h.flush();
  for (std::int32_t rec : {7, 3, 12}) h.write(2, rec, 0, 8, 7);
  h.write(3, 5, 1, 6, 7);
  h.close();
}

void growth(Host& h) {
  h.open();
  for (std::int32_t rec = 25; rec < 60; rec += 3) h.write(1, rec, 0, 10, 3);  // the first area
  h.flush();
  for (std::int32_t rec = 60; rec < 90; rec += 7) h.write(1, rec, 0, 10, 3);
  for (std::int32_t rec = 51; rec < 70; rec += 6) h.write(2, rec, 0, 8, 3);  // new records
  h.close();
}

void new_type_and_placed(Host& h) {
  h.open();
  const DataDesc later{9, DTF_INDEX, 30, 120, 0};
  dbBeginData(h.file, &later);
  for (std::int32_t rec = 0; rec < 12; ++rec) h.write(9, rec, 0, 30, 1);
  dbEndData(h.file);
  h.flush();
  for (std::int32_t rec : {2, 3, 0, 9}) h.write(4, rec, 0, 12, 1);  // placed records
  h.write(3, 12, 0, 6, 1);
  h.close();
}

void keys(Host& h) {
  h.open();
  for (std::int32_t i = 0; i < 4; ++i) {
    std::int32_t key[4] = {10 + i, i, -1, -1};
    const std::int32_t s = dbBeginSection(h.file, hardkit::kSectionNo, key);
    const DataDesc place{0, 0, 8, 32, 0};
    dbBeginDataS(h.file, &place, hardkit::kSectionNo);
    for (std::int32_t rec = 0; rec < 3 + i; ++rec) h.write_s(0, rec, 8, i);
    dbEndDataS(h.file);
    dbEndSection(h.file, s);
    if (i == 1) h.flush();
  }
  h.close();
}

enum class Crash { kill, torn, power_cut };

class CrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dbExit();
    std::remove("tovek.log");
    ASSERT_EQ(dbInit(4, 2), 0);
    std::int32_t f = -1;
    std::vector<hardkit::Stored> model;
    ASSERT_EQ(hardkit::build(kName, f, model), 0);
    ASSERT_EQ(dbClose(f), 4096);
    base_ = env_.snapshot();
    base_state_ = observe();
    ASSERT_EQ(base_state_.rfind("refused", 0), std::string::npos);
    dbExit();
  }
  void TearDown() override { dbExit(); }

  // Runs the scenario on the base file, opened for writing, until the end
  // or a crash; the process then dies (nothing is closed any more).
  // Returns the device-changing calls it made.
  std::int64_t play(const Scenario& scenario, std::vector<Commit>* commits, std::int64_t crash_at,
                    Crash crash) {
    env_.restore(base_);
    dbInit(4, 2);
    if (crash_at > 0) env_.crash_at(crash_at, crash == Crash::torn);
    Host host{env_, commits};
    scenario(host);
    dbExit();
    const std::int64_t calls = env_.calls();
    env_.reboot(crash == Crash::power_cut);
    dbInit(4, 2);
    return calls;
  }

  // A crash at call k may leave the last commit done before k, or the one
  // under way at k.
  // A file with no commit yet is refused, with whichever code.
  static bool same(const std::string& got, const std::string& want) {
    return got == want || (want == "refused" && got.rfind("refused", 0) == 0);
  }

  bool acceptable(const std::vector<Commit>& commits, std::int64_t k, const std::string& got) {
    const std::string* last = &base_state_;
    for (const Commit& c : commits) {
      if (k <= c.end) return same(got, *last) || (k > c.begin && got == c.state);
      last = &c.state;
    }
    return same(got, *last);
  }

  // Returns the crash points covered.
  std::int64_t crash_everywhere(const Scenario& scenario) {
    std::vector<Commit> commits;
    const std::int64_t calls = play(scenario, &commits, 0, Crash::kill);
    EXPECT_FALSE(commits.empty());
    for (Commit& c : commits) {
      env_.restore(c.files);
      c.state = observe();
    }
    dbExit();
    std::int64_t covered = 0;
    for (std::int64_t k = 1; k <= calls; ++k) {
      for (Crash crash : {Crash::kill, Crash::torn, Crash::power_cut}) {
        play(scenario, nullptr, k, crash);
        const std::string got = observe();
        ++covered;
        EXPECT_TRUE(acceptable(commits, k, got))
            << "crash at call " << k << " (" << static_cast<int>(crash)
            << "): " << got.substr(0, 7);
        EXPECT_FALSE(env_.exists(kJournal)) << "crash at call " << k;
        dbExit();
        if (::testing::Test::HasFailure()) return covered;
      }
    }
    return covered;
  }

  FaultEnv env_;
  std::map<std::string, FaultEnv::Node> base_;
  std::string base_state_;
};

TEST_F(CrashTest, EveryCallOfEveryScenario) {
  std::int64_t covered = 0;
  for (const auto& [name, scenario] : std::vector<std::pair<const char*, Scenario>>{
           {"records in place", in_place},
           {"growth in the middle and new records", growth},
           {"a new data type and placed records", new_type_and_placed},
           {"sections and keys", keys}}) {
    SCOPED_TRACE(name);
    covered += crash_everywhere(scenario);
    if (HasFailure()) break;
  }
  std::printf("crash points covered: %lld\n", static_cast<long long>(covered));
}

// A new file has no committed state until its first commit: a crash before
// leaves a file that dbOpen refuses, one after it the state committed.
TEST_F(CrashTest, ANewFileFromItsFirstCommit) {
  base_.clear();
  base_state_ = "refused";
  const std::int64_t covered = crash_everywhere([](Host& h) {
    const DataDesc types[] = {{1, 0, 10, 100, 20}, {2, DTF_INDEX, 8, 64, 10}};
    h.file = dbCreate(kName, 2, types, 0, DB_MODE_WRITE);
    for (std::int32_t rec = 0; rec < 30; rec += 2) h.write(1, rec, 0, 10, 5);
    h.flush();
    for (std::int32_t rec : {4, 9, 11}) h.write(2, rec, 0, 8, 5);
    h.write(1, 3, 0, 10, 6);
    h.close();
  });
  std::printf("crash points covered: %lld\n", static_cast<long long>(covered));
}

}  // namespace
