// What an open finds beside a database file. A journal that a crashed
// writer left is rolled back, by a reader too, to the last committed image
// byte for byte; a file that the process may not write keeps a journal it
// cannot honour and is refused (-19), both untouched, while one that
// restores nothing stays and is ignored; a file with no journal is only
// read. (Journals left empty or torn by a crash: faults_test.cpp.)
#include <map>
#include <string>
#include <vector>

#include "file/journal.h"
#include "frame/state.h"
#include "hardening/hardening_kit.h"
#include "support/fault_env.h"
#include "support/testkit.h"

namespace {

using rbtest::FaultEnv;

constexpr const char* kName = "journal.db";
constexpr const char* kJournal = "journal.db-journal";

class JournalTest : public rbtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    std::int32_t f = -1;
    std::vector<hardkit::Stored> model;
    ASSERT_EQ(hardkit::build(kName, f, model), 0);
    ASSERT_EQ(dbClose(f), 4096);
    committed_ = env_.bytes(kName);
    state_ = hardkit::observe(kName);
    // A writer grows the first area in the middle, which writes its blocks
    // back and moves the data behind, and dies as its commit begins. Moved
    // in pieces of 1 KiB, the data costs one sync of the journal, as do the
    // blocks written back before.
    f = dbOpen(kName, DB_MODE_WRITE);
    rb::g_lib.sys->lBufferLen = 1024;
    const std::int64_t syncs = env_.syncs();
    for (std::int32_t rec = 25; rec < 80; rec += 5) {
      const std::string bytes = hardkit::pattern(40, rec, 0, 10);
      ASSERT_EQ(dbWrite(f, 1, rec, 0, bytes.data()), 0);
    }
    EXPECT_EQ(env_.syncs() - syncs, 2);
    env_.crash_at(env_.calls() + 1, false);
    EXPECT_LT(dbFlush(f), 0);
    dbExit();
    env_.reboot(false);
    ASSERT_EQ(dbInit(8, 4), 0);
    crashed_ = env_.bytes(kName);
    hot_ = env_.bytes(kJournal);
    ASSERT_NE(crashed_, committed_);
    ASSERT_GT(hot_.size(), sizeof(rb::JournalHeader) + sizeof(rb::JournalRecord));
  }

  FaultEnv env_;
  std::string committed_;  // the file as its last commit left it
  std::string state_;      // and what a host finds in it
  std::string crashed_;    // the file as the crash left it
  std::string hot_;        // the journal beside it
};

TEST_F(JournalTest, WhatAnOpenFindsBesideTheFile) {
  enum class Beside { none, hot, empty };
  struct Case {
    const char* what;
    Beside journal;
    bool read_only;     // the process may not write the file
    std::int32_t code;  // of the opens; 0: they find the committed state
  };
  const Case cases[] = {
      {"hot journal", Beside::hot, false, 0},
      {"hot journal, file not writable", Beside::hot, true, DB_ERR_JOURNAL},
      {"empty journal, file not writable", Beside::empty, true, 0},
      {"no journal", Beside::none, false, 0},
      {"no journal, file not writable", Beside::none, true, 0},
  };
  for (const Case& c : cases) {
    for (std::int32_t mode : {0, DB_MODE_WRITE}) {
      SCOPED_TRACE(std::string(c.what) + (mode == 0 ? ", read-only open" : ", write open"));
      std::map<std::string, FaultEnv::Node> files;
      const std::string db = c.journal == Beside::hot ? crashed_ : committed_;
      files[kName] = FaultEnv::Node{db, {}, 0, c.read_only};
      const std::string journal = c.journal == Beside::hot ? hot_ : "";
      if (c.journal != Beside::none) files[kJournal] = FaultEnv::Node{journal, {}, 0, false};
      env_.restore(files);

      const std::string got = hardkit::observe(kName, mode);
      // Only a journal that must go makes an open change the device.
      const bool journal_stays = c.journal != Beside::none && c.read_only;
      if (c.code != 0) {
        EXPECT_EQ(got, "refused " + std::to_string(c.code));
      } else {
        EXPECT_EQ(got, state_);
      }
      EXPECT_EQ(env_.exists(kJournal), journal_stays);
      if (journal_stays) {
        EXPECT_EQ(env_.bytes(kJournal), journal);
      }
      if (mode == 0 || c.read_only) {
        EXPECT_EQ(env_.calls() == 0, journal_stays || c.journal == Beside::none);
        // Rolled back, the file is its committed image again, byte for byte.
        EXPECT_TRUE(env_.bytes(kName) == (c.code != 0 ? db : committed_));
      }
    }
  }
}

}  // namespace
