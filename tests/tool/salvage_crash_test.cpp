// Salvage of the files a writer left when it died: whatever the crash
// point, the new file holds every record, section and key of the state the
// library restores (the last commit point, or the one under way), no more
// and no less.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hardening/hardening_kit.h"
#include "support/fault_run.h"
#include "tool/tool_run.h"

namespace {

using rbtest::Files;
using rbtest::run_tool;
using rbtest::text_of;

constexpr const char* kName = "salv.db";

// The files after a crash at about a dozen device calls of a random
// sequence of writes, commits and growth, each kept as a reboot finds it
// (a third after a power cut, half of them torn at the crash point).
std::vector<Files> crash_images() {
  std::vector<Files> images;
  rbtest::FaultEnv env;
  EXPECT_EQ(dbInit(4, 2), 0);
  std::int32_t f = -1;
  std::vector<hardkit::Stored> model;
  EXPECT_EQ(hardkit::build(kName, f, model), 0);
  EXPECT_EQ(dbClose(f), 4096);
  const Files base = env.snapshot();
  std::vector<rbtest::Call> clean;
  rbtest::committed_states(env, kName, rbtest::random_sequence(15), base, &clean);
  const std::int64_t points = clean.back().end[0];
  for (std::int64_t k = 1; k <= points; k += points / 12 + 1) {
    rbtest::play(env, kName, rbtest::random_sequence(15), base,
                 [&] { env.crash_at(k, k % 2 == 0); });
    env.reboot(k % 3 == 0);
    images.push_back(env.snapshot());
  }
  dbExit();
  return images;
}

TEST(SalvageAfterACrash, KeepsEverythingTheRolledBackFileHolds) {
#if defined(_WIN32)
  GTEST_SKIP() << "each start of the tool costs a second under wine";
#endif
  const std::string journal = std::string(kName) + "-journal";
  for (const Files& files : crash_images()) {
    rbtest::remove_file(journal.c_str());
    for (const auto& [name, node] : files) rbtest::write_file(name, node.data);
    const bool hot = files.count(journal) != 0;
    SCOPED_TRACE(std::to_string(files.at(kName).data.size()) + " bytes" +
                 (hot ? ", a journal beside" : ""));
    const rbtest::ToolRun saved =
        run_tool(std::string("salvage ") + kName + " -o salv_new.db --force");
    ASSERT_EQ(saved.status, 0) << saved.err;
    ASSERT_EQ(run_tool(std::string("dump ") + kName + " --all", "salv.txt").status, 0);
    ASSERT_EQ(run_tool("dump salv_new.db --all", "salv_new.txt").status, 0);
    EXPECT_EQ(text_of("salv_new.txt"), text_of("salv.txt"));
    EXPECT_FALSE(rbtest::file_exists(journal.c_str()));
  }
}

}  // namespace
