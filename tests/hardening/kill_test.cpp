// Writers killed at random moments, with the platform's own files. A child
// process writes a seeded random sequence into a committed file (records
// of every kind, the first area grown in the middle, new data types, new
// keys with their records, records of old keys) and commits every few
// steps (dbFlush; dbClose at the end), telling its parent through a pipe
// when each commit begins and when it has returned. The parent kills it
// with SIGKILL after a random delay, within the few milliseconds that the
// sequence takes, and opens the file: it must hold exactly the state of
// the last commit that returned or, killed inside a commit, of the one
// being made. The states are those that the same sequence
// (rbtest::random_sequence) commits in the in-memory file system.
//
// RECBASE_KILLS sets the number of kills (500; a fifth of that under
// AddressSanitizer).
#include "support/testkit.h"

#ifndef _WIN32

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "hardening/hardening_kit.h"
#include "support/fault_run.h"

#if defined(__SANITIZE_ADDRESS__)
#define KILL_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KILL_TEST_SANITIZED 1
#endif
#endif

namespace {

using rbtest::FaultEnv;

constexpr const char* kName = "kill.db";
constexpr const char* kJournal = "kill.db-journal";
constexpr std::int32_t kKillsPerSequence = 9;

std::int32_t kills_wanted() {
  if (const char* n = std::getenv("RECBASE_KILLS")) return std::atoi(n);
#ifdef KILL_TEST_SANITIZED
  return 100;
#else
  return 500;
#endif
}

// The child: the sequence with the platform's files; before commit i it
// sends 2i, after it returned 2i + 1 (-1 when it failed).
[[noreturn]] void child(std::uint32_t seed, int out) {
  rbtest::Host host{kName, nullptr};
  std::int32_t commit = 0;
  host.at_commit = [&](bool returned, std::int32_t result) {
    commit += returned ? 0 : 1;
    const std::int32_t message = !returned ? 2 * commit : result >= 0 ? 2 * commit + 1 : -1;
    if (write(out, &message, sizeof message) != static_cast<ssize_t>(sizeof message)) _exit(3);
  };
  rbtest::random_sequence(seed)(host);
  _exit(host.calls.front().result >= 0 ? 0 : 2);
}

class KillTest : public rbtest::LibraryTest {};

TEST_F(KillTest, KilledWritersLeaveACommittedState) {
  rbtest::remove_file(kJournal);
  std::int32_t f = -1;
  std::vector<hardkit::Stored> model;
  ASSERT_EQ(hardkit::build(kName, f, model), 0);
  ASSERT_EQ(dbClose(f), 4096);
  const std::string base = rbtest::read_file(kName);

  std::mt19937 rng(20240607);
  std::uint32_t seed = 0;
  std::vector<std::string> states;
  std::int64_t duration = 1;  // microseconds the sequence took undisturbed
  std::int32_t kills = 0;
  std::int32_t inside = 0;
  std::int32_t inside_kept = 0;
  std::int32_t finished = 0;
  std::int32_t mismatches = 0;
  for (std::int32_t run = 0; kills < kills_wanted() && mismatches < 3; ++run) {
    // Each sequence runs once undisturbed, timed, and is then killed at
    // moments spread over that time.
    const bool timed = run % (kKillsPerSequence + 1) == 0;
    if (timed) {
      seed = rng();
      FaultEnv env;
      states = rbtest::committed_states(env, kName, rbtest::random_sequence(seed),
                                        {{kName, FaultEnv::Node{base, {}, 0, false}}});
    }
    rbtest::write_file(kName, base);
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(pipe_fds[0]);
      child(seed, pipe_fds[1]);
    }
    close(pipe_fds[1]);
    const auto started = std::chrono::steady_clock::now();
    std::int32_t last = 0;  // the child's last message
    if (!timed) {
      usleep(static_cast<useconds_t>(rng() % duration));
      ::kill(pid, SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (timed) {
      duration = std::max<std::int64_t>(1, std::chrono::duration_cast<std::chrono::microseconds>(
                                               std::chrono::steady_clock::now() - started)
                                               .count());
    }
    for (std::int32_t m = 0; read(pipe_fds[0], &m, sizeof m) == sizeof m;) last = m;
    close(pipe_fds[0]);
    ASSERT_GE(last, 0) << "a commit failed in the child, seed " << seed;
    if (WIFEXITED(status)) {
      ASSERT_EQ(WEXITSTATUS(status), 0) << "seed " << seed;
      finished += timed ? 0 : 1;
    } else {
      ASSERT_FALSE(timed) << "seed " << seed << ": status " << status;
    }

    // Commit `done` returned; killed inside the next one, it may have taken.
    const bool in_commit = last % 2 == 0 && last > 0;
    const auto done = static_cast<std::size_t>(last / 2 - (in_commit ? 1 : 0));
    ASSERT_LT(done + (in_commit ? 1 : 0), states.size());
    const std::int32_t mode = run % 2 == 0 ? 0 : DB_MODE_WRITE;
    const std::string got = hardkit::observe(kName, mode);
    const bool kept = in_commit && got != states[done] && got == states[done + 1];
    if (got != states[done] && !kept) {
      ++mismatches;
      ADD_FAILURE() << "run " << run << " (seed " << seed << ", mode " << mode
                    << "): not the state of commit " << done << (in_commit ? " or the next" : "")
                    << "\n"
                    << got;
    }
    EXPECT_FALSE(rbtest::file_exists(kJournal)) << "run " << run;
    if (!timed) {
      ++kills;
      inside += in_commit ? 1 : 0;
      inside_kept += kept ? 1 : 0;
    }
  }
  std::printf(
      "kills: %d, inside a commit: %d (%d of them kept the commit), after the end: %d, "
      "mismatches: %d\n",
      kills, inside, inside_kept, finished, mismatches);
}

}  // namespace

#else

TEST(KillTest, KilledWritersLeaveACommittedState) {
  GTEST_SKIP() << "kills a forked child with SIGKILL: POSIX only";
}

#endif
