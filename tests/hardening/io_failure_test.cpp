// Failing IO: writes that stop part-way (a child process whose files may
// not grow past a limit) and reads that come back short (a file truncated
// behind the library's back). Every failing call returns its code, nothing
// crashes, and a file closed before the failure keeps all its data.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "hardening/hardening_kit.h"
#include "support/testkit.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using Results = std::vector<std::int32_t>;

constexpr const char* kSafe = "io_safe.db";
constexpr const char* kFailing = "io_failing.db";

#ifndef _WIN32

// From here on no file of this process may grow past `bytes`; a write
// beyond fails with EFBIG instead of raising SIGXFSZ.
void cap_file_size(std::uintmax_t bytes) {
  signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  setrlimit(RLIMIT_FSIZE, &limit);
}

// Runs body in a child process and returns the numbers it sent back
// through a pipe; the test fails when the child does not exit normally.
Results in_child(const std::function<Results()>& body) {
  int fds[2];
  if (pipe(fds) != 0) {
    ADD_FAILURE() << "no pipe";
    return {};
  }
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const Results out = body();
    const auto bytes = static_cast<ssize_t>(out.size() * sizeof(std::int32_t));
    _exit(write(fds[1], out.data(), static_cast<std::size_t>(bytes)) == bytes ? 0 : 3);
  }
  close(fds[1]);
  Results out;
  std::int32_t value = 0;
  while (read(fds[0], &value, sizeof value) == static_cast<ssize_t>(sizeof value)) {
    out.push_back(value);
  }
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  return out;
}

const DataDesc kTypes[] = {{1, 0, 100, 4096, 400}, {2, 0, 100, 4096, 40}};  // 10 blocks, 1 block

std::int32_t write_record(std::int32_t file, std::int32_t type, std::int32_t rec) {
  const std::string bytes = hardkit::pattern(type, rec, 0, 100);
  return dbWrite(file, type, rec, 0, bytes.data());
}

// The first negative result of the writes, 0 when all worked.
std::int32_t write_records(std::int32_t file, std::int32_t type, std::vector<std::int32_t> recs) {
  for (std::int32_t rec : recs) {
    if (const std::int32_t r = write_record(file, type, rec); r < 0) return r;
  }
  return 0;
}

struct Phase {
  const char* name;
  std::vector<std::int32_t> second_type_records;  // written before the cap
  std::function<Results(std::int32_t file)> act;  // after the cap
};

const Phase kPhases[] = {
    // Nine new blocks and eight cache slots: a dirty block is written back.
    {"write-back",
     {},
     [](std::int32_t f) {
       return Results{write_records(f, 1, {40, 80, 120, 160, 200, 240, 280, 320, 360})};
     }},
    // The first area grows: the second type's block moves up past the cap.
    {"growth", {0}, [](std::int32_t f) { return Results{write_record(f, 1, 400)}; }},
    {"flush",
     {},
     [](std::int32_t f) {
       return Results{write_records(f, 1, {40, 80}), dbFlush(f)};
     }},
    {"close",
     {},
     [](std::int32_t f) {
       return Results{write_records(f, 1, {40, 80}), dbClose(f), dbClose(f)};
     }},
    // Zeros up to 1 MiB stop at the cap; the logical length must not claim
    // what never reached the file.
    {"fill",
     {},
     [](std::int32_t f) {
       char buffer[10];
       return Results{dbFillUpTo(f, 1 << 20), dbCopyFromFile(f, (1 << 20) - 10, buffer, 10)};
     }},
};

// The child: the safe file opened for reading, the failing file built up to
// the cap, then the phase. Sends the phase's results, whether the safe file
// reads back while the failing file is open and after it was closed, and
// the result of dbExit.
Results run_phase(const Phase& phase, const std::vector<hardkit::Stored>& model) {
  dbExit();
  std::remove("tovek.log");
  if (dbInit(8, 4) != 0 || dbOpen(kSafe, 0) != 0) return {};
  const std::int32_t f = dbCreate(kFailing, 2, kTypes, 0, DB_MODE_WRITE);
  if (write_record(f, 1, 0) < 0 || write_records(f, 2, phase.second_type_records) < 0 ||
      dbFlush(f) != 0) {
    return {};
  }
  cap_file_size(std::filesystem::file_size(kFailing) + 1000);
  Results out = phase.act(f);
  out.push_back(hardkit::verify(0, model).empty() ? 1 : 0);
  dbClose(f);  // its blocks that cannot be written keep the cache busy until then
  out.push_back(hardkit::verify(0, model).empty() ? 1 : 0);
  out.push_back(dbExit());
  return out;
}

class IoFailureTest : public rbtest::LibraryTest {};

TEST_F(IoFailureTest, WritesThatStopPartWay) {
  std::int32_t safe = -1;
  std::vector<hardkit::Stored> model;
  ASSERT_EQ(hardkit::build(kSafe, safe, model), 0);
  ASSERT_EQ(dbClose(safe), 4096);
  for (const Phase& phase : kPhases) {
    const Results out = in_child([&] { return run_phase(phase, model); });
    ASSERT_GE(out.size(), 4u) << phase.name;
    const std::string name = phase.name;
    if (name == "close") {
      EXPECT_EQ(out[0], 0) << name;  // the blocks wait in the cache
      EXPECT_LT(out[1], 0) << name;  // the close fails ...
      EXPECT_EQ(out[2], 0) << name;  // ... and empties the slot all the same
    } else if (name == "fill") {
      EXPECT_EQ(out[0], -13) << name;
      EXPECT_EQ(out[1], -20) << name;
    } else {
      EXPECT_LT(out.end()[-4], 0) << name;
    }
    // Every cache slot holds a block that cannot be written after the
    // write-back phase; in the others the safe file finds a slot.
    if (name != "write-back") {
      EXPECT_EQ(out.end()[-3], 1) << name << ": the open safe file";
    }
    for (std::size_t i = 0; i + 3 < out.size(); ++i) {
      if (out[i] >= 0) continue;
      EXPECT_TRUE(out[i] == -12 || out[i] == -13 || out[i] == -20 || out[i] == -70)
          << name << " gave " << out[i];
    }
    EXPECT_EQ(out.end()[-2], 1) << name << ": the file opened for reading";
    EXPECT_EQ(out.end()[-1], 0) << name << ": dbExit";
  }
  ASSERT_EQ(dbOpen(kSafe, DB_MODE_WRITE), 0);
  EXPECT_EQ(hardkit::verify(0, model), "");
}

TEST_F(IoFailureTest, ReadsThatComeBackShort) {
  std::int32_t f = -1;
  std::vector<hardkit::Stored> model;
  ASSERT_EQ(hardkit::build("io_short.db", f, model), 0);
  ASSERT_EQ(dbClose(f), 4096);
  ASSERT_EQ(dbOpen("io_short.db", 0), 0);
  std::filesystem::resize_file("io_short.db", 6000);
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

#else

TEST(IoFailureTest, LinuxOnly) { GTEST_SKIP() << "needs fork and RLIMIT_FSIZE"; }

#endif

}  // namespace
