// Failing IO, through the in-memory file system of the tests. The
// scenarios: two seeded random sequences on a committed file (those of the
// kill test; together they take every kind of step) and a new file built
// and committed. Each runs once undisturbed, noting the state of every
// commit point (dbFlush, dbClose); then once for every device call k with
// a crash there (the process dies with everything after k lost, or call k
// torn half-way, or the power cut so that only what was synced survives,
// or the database keeping every write while its journal keeps only what
// was synced), and once for every write k with the disk full from there on
// (write k takes half its bytes) or write k failing alone (the process
// then dies once the call that met it has returned).
//
// Every call that returned before the fault answers as undisturbed, the
// call that meets it as undisturbed or fails (what later calls read is not
// said), and every commit point that meets a full disk or a failed write
// fails. The file then opens, for reading and for writing, in the state of
// the last commit point done before the fault (after a crash, also that of
// the commit under way), with no journal left behind.
#include <cstdio>
#include <string>
#include <vector>

#include "file/journal.h"
#include "frame/state.h"
#include "hardening/hardening_kit.h"
#include "support/fault_run.h"
#include "support/testkit.h"

namespace {

using rbtest::Call;
using rbtest::FaultEnv;
using rbtest::Files;
using rbtest::Host;
using rbtest::Scenario;

constexpr const char* kName = "faults.db";
constexpr const char* kJournal = "faults.db-journal";

enum class Fault { kill, torn, power_cut, journal_unsynced, disk_full, write_failed };

// A new file: built, committed, grown and closed.
void fresh(Host& h) {
  std::vector<hardkit::Stored> model;
  h.call(hardkit::build(kName, h.file, model));
  h.flush();
  for (std::int32_t rec = 25; rec < 70; rec += 4) h.write(1, rec, 0, 10);
  h.write(2, 9, 0, 8);
  h.close();
}

class FaultTest : public rbtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    std::int32_t f = -1;
    std::vector<hardkit::Stored> model;
    ASSERT_EQ(hardkit::build(kName, f, model), 0);
    ASSERT_EQ(dbClose(f), 4096);
    base_ = env_.snapshot();
  }

  // A file with no commit yet is refused, with whichever code.
  static bool same(const std::string& got, const std::string& want) {
    return got == want || (want == "refused" && got.rfind("refused", 0) == 0);
  }

  // Returns the points covered: device calls or writes.
  std::int64_t everywhere(const Scenario& scenario, const Files& start, Fault fault) {
    std::vector<Call> clean;
    const std::vector<std::string> states =
        rbtest::committed_states(env_, kName, scenario, start, &clean);
    const std::size_t unit = fault >= Fault::disk_full ? 1 : 0;  // writes, else device calls
    const bool strict = fault >= Fault::disk_full;               // no commit under way may take
    const std::int64_t points = clean.back().end[unit];
    for (std::int64_t k = 1; k <= points; ++k) {
      SCOPED_TRACE("fault " + std::to_string(static_cast<int>(fault)) + " at " + std::to_string(k));
      const Host run = rbtest::play(env_, kName, scenario, start, [&] {
        if (fault == Fault::disk_full) env_.fill_disk_at(k);
        if (fault == Fault::write_failed) env_.fail_write_at(k);
        if (!strict) env_.crash_at(k, fault == Fault::torn);
      });
      env_.reboot(fault == Fault::power_cut || fault == Fault::journal_unsynced,
                  fault == Fault::journal_unsynced ? kName : "");
      dbInit(4, 2);
      EXPECT_EQ(run.calls.size(), clean.size());
      std::size_t done = 0;  // commit points done before the fault
      bool under_way = false;
      for (std::size_t i = 0; i < run.calls.size() && i < clean.size(); ++i) {
        const Call& want = clean[i];
        const std::int32_t got = run.calls[i].result;
        under_way |= want.commit && want.begin[unit] < k && k <= want.end[unit];
        if (want.end[unit] < k) {
          EXPECT_EQ(got, want.result) << "call " << i;
          done += want.commit ? 1 : 0;
        } else if (want.commit && strict) {  // the commit that met the fault says why
          const bool met = i == 0 || clean[i - 1].end[unit] < k;
          EXPECT_TRUE(met ? got == DB_ERR_WRITE || got == DB_ERR_JOURNAL : got < 0)
              << "commit at call " << i << ": " << got;
        } else if (i == 0 || clean[i - 1].end[unit] < k) {  // the call that met the fault
          EXPECT_TRUE(got == want.result || got < 0) << "call " << i << ": " << got;
        }
      }
      std::string first;
      for (std::int32_t i = 0; i < 2; ++i) {
        const std::int32_t mode = (k + i) % 2 == 0 ? 0 : DB_MODE_WRITE;
        const std::string got = hardkit::observe(kName, mode);
        EXPECT_TRUE(i == 0 ? same(got, states[done]) ||
                                 (!strict && under_way && got == states[done + 1])
                           : same(got, first))
            << "mode " << mode << ": " << got.substr(0, 12);
        EXPECT_FALSE(env_.exists(kJournal)) << "mode " << mode;
        first = got;
      }
      dbExit();
      if (HasFailure()) return k;
    }
    return points;
  }

  std::int64_t everywhere(const std::vector<Fault>& faults) {
    std::int64_t covered = 0;
    for (Fault fault : faults) {
      for (std::uint32_t seed : {10u, 15u}) {
        SCOPED_TRACE("sequence " + std::to_string(seed));
        covered += everywhere(rbtest::random_sequence(seed), base_, fault);
      }
      SCOPED_TRACE("a new file");
      covered += everywhere(fresh, {}, fault);
      if (HasFailure()) break;
    }
    return covered;
  }

  FaultEnv env_;
  Files base_;
};

TEST_F(FaultTest, CrashAtEveryCall) {
  const std::int64_t covered =
      everywhere({Fault::kill, Fault::torn, Fault::power_cut, Fault::journal_unsynced});
  std::printf("crash points covered: %lld\n", static_cast<long long>(covered));
}

TEST_F(FaultTest, DiskFullOrAFailedWriteAtEveryWrite) {
  const std::int64_t full = everywhere({Fault::disk_full});
  const std::int64_t failed = everywhere({Fault::write_failed});
  std::printf("disk-full points covered: %lld, failed-write points covered: %lld\n",
              static_cast<long long>(full), static_cast<long long>(failed));
}

// A file the process may not write opens for reading when asked for
// writing: writes are refused and nothing reaches the device.
TEST_F(FaultTest, AFileThatMayNotBeWrittenOpensForReading) {
  const std::string committed = env_.bytes(kName);
  const std::string state = hardkit::observe(kName);
  Files files;
  files[kName] = FaultEnv::Node{committed, {}, 0, true};
  env_.restore(files);
  const std::int32_t f = dbOpen(kName, DB_MODE_WRITE);
  ASSERT_EQ(f, 0);
  const std::string record(10, 'w');
  EXPECT_EQ(dbWrite(f, 1, 0, 0, record.data()), -102);
  EXPECT_EQ(dbClose(f), 0);
  EXPECT_EQ(hardkit::observe(kName, DB_MODE_WRITE), state);
  EXPECT_EQ(env_.calls(), 0);
  EXPECT_TRUE(env_.bytes(kName) == committed);
}

// What an open finds beside the file after a writer died as its commit
// began, having grown the first area in the middle: its blocks written
// back, the data behind moved in pieces of 1 KiB, each costing one sync of
// the journal. The journal is rolled back, by a reader too, to the last
// committed image byte for byte; a file that the process may not write
// keeps a journal it cannot honour and is refused (-19), both untouched,
// while one that restores nothing stays and is ignored; a file with no
// journal is only read. A journal is trusted only as far as its checksums
// hold: one with a damaged header restores nothing, and a record whose
// page does not match its checksum ends it.
TEST_F(FaultTest, WhatAnOpenFindsBesideTheFile) {
  const std::string committed = env_.bytes(kName);
  const std::string state = hardkit::observe(kName);
  rbtest::play(
      env_, kName,
      [&](Host& h) {
        h.open();
        rb::g_lib.sys->lBufferLen = 1024;
        const std::int64_t syncs = env_.syncs();
        for (std::int32_t rec = 25; rec < 80; rec += 5) h.write(1, rec, 0, 10);
        EXPECT_EQ(env_.syncs() - syncs, 2);
        env_.crash_at(env_.calls() + 1, false);
        h.flush();
      },
      base_);
  env_.reboot(false);
  ASSERT_EQ(dbInit(8, 4), 0);
  const std::string crashed = env_.bytes(kName);
  const std::string hot = env_.bytes(kJournal);
  ASSERT_NE(crashed, committed);
  ASSERT_GT(hot.size(), sizeof(rb::JournalHeader) + sizeof(rb::JournalRecord));

  std::string hot_foreign_tail = hot;  // a record of the header page, its check wrong
  rb::JournalRecord r{0, rb::kJournalPage, 0};
  hot_foreign_tail.append(reinterpret_cast<const char*>(&r), sizeof r);
  hot_foreign_tail.append(rb::kJournalPage, '\xee');
  std::string hot_bad_header = hot;
  hot_bad_header[offsetof(rb::JournalHeader, nCheck)] ^= 1;
  env_.restore({{kName, FaultEnv::Node{crashed, {}, 0, false}}});
  const std::string crashed_state = hardkit::observe(kName);

  enum class Beside { none, hot_journal, foreign_tail, bad_header, empty };
  struct Case {
    const char* what;
    Beside journal;
    bool read_only;     // the process may not write the file
    std::int32_t code;  // of the opens; 0: they find the committed state
  };
  const Case cases[] = {
      {"hot journal", Beside::hot_journal, false, 0},
      {"hot journal ending in a record whose page fails its check", Beside::foreign_tail, false, 0},
      {"journal with a damaged header", Beside::bad_header, false, 0},
      {"hot journal, file not writable", Beside::hot_journal, true, DB_ERR_JOURNAL},
      {"empty journal, file not writable", Beside::empty, true, 0},
      {"no journal", Beside::none, false, 0},
      {"no journal, file not writable", Beside::none, true, 0},
  };
  for (const Case& c : cases) {
    for (std::int32_t mode : {0, DB_MODE_WRITE}) {
      SCOPED_TRACE(std::string(c.what) + (mode == 0 ? ", read-only open" : ", write open"));
      Files files;
      const bool hot_file = c.journal >= Beside::hot_journal && c.journal <= Beside::bad_header;
      const bool untrusted = c.journal == Beside::bad_header;
      const std::string db = hot_file ? crashed : committed;
      files[kName] = FaultEnv::Node{db, {}, 0, c.read_only};
      const std::string journal = c.journal == Beside::hot_journal    ? hot
                                  : c.journal == Beside::foreign_tail ? hot_foreign_tail
                                  : c.journal == Beside::bad_header   ? hot_bad_header
                                                                      : "";
      if (c.journal != Beside::none) files[kJournal] = FaultEnv::Node{journal, {}, 0, false};
      env_.restore(files);

      const std::string got = hardkit::observe(kName, mode);
      // Only a journal that must go makes an open change the device.
      const bool journal_stays = c.journal != Beside::none && c.read_only;
      EXPECT_EQ(got, c.code != 0 ? "refused " + std::to_string(c.code)
                                 : (untrusted ? crashed_state : state));
      EXPECT_EQ(env_.exists(kJournal), journal_stays);
      EXPECT_TRUE(!journal_stays || env_.bytes(kJournal) == journal);
      if (mode == 0 || c.read_only) {
        EXPECT_EQ(env_.calls() == 0, journal_stays || c.journal == Beside::none);
        // Rolled back, the file is its committed image again, byte for byte.
        EXPECT_TRUE(env_.bytes(kName) == (c.code != 0 || untrusted ? db : committed));
      }
    }
  }
}

}  // namespace
