// Scenarios of a host that writes a database and commits it (dbFlush,
// dbClose), run against the in-memory file system or the platform's files.
// The host notes every call's result and, at each commit point, the device
// calls and writes made before it began and when it returned, and the
// files as it left them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "recbase.h"
#include "support/fault_env.h"

namespace rbtest {

using Files = std::map<std::string, FaultEnv::Node>;

// One call: its result and, as {device calls, writes}, the marks when it
// began (commit points only) and when it returned.
struct Call {
  std::int32_t result;
  bool commit;
  std::array<std::int64_t, 2> begin;
  std::array<std::int64_t, 2> end;
};

struct Host {
  Host(const char* file_name, FaultEnv* fault_env) : name(file_name), env(fault_env) {}

  const char* name;
  FaultEnv* env;  // null: the platform's files, nothing counted
  std::int32_t file = -1;
  std::int32_t salt = 0;  // varies the bytes written
  // Called as each commit point begins (false) and when it returned.
  std::function<void(bool returned, std::int32_t result)> at_commit;
  std::vector<Call> calls;
  std::vector<Files> committed;  // the files as each successful commit left them

  // Notes the result of a call just made. A failed write (fail_write_at)
  // ends the process once the call that met it has returned.
  std::int32_t call(std::int32_t result);
  void open() { file = call(dbOpen(name, DB_MODE_WRITE)); }
  void write(std::int32_t type, std::int32_t rec, std::int32_t sub, std::int32_t size);
  void write_s(std::int32_t place, std::int32_t rec, std::int32_t size);
  void flush() { commit(dbFlush, 0); }
  void close() {
    commit(dbClose, 4096);
    file = -1;
  }

 private:
  std::array<std::int64_t, 2> marks() const;
  void commit(std::int32_t (*point)(std::int32_t), std::int32_t success);
  void note(std::int32_t result, bool commit, std::array<std::int64_t, 2> begin);
};

using Scenario = std::function<void(Host&)>;

// A seeded random sequence on the committed file of hardkit::build, opened
// for writing: records of every kind, the first area grown in the middle,
// new data types, new keys with their records, records of old keys; a
// dbFlush after about a third of the steps, and the dbClose.
Scenario random_sequence(std::uint32_t seed);

// Runs the scenario from the files `start` in a new process (dbInit(4, 2)),
// `arm` setting a fault first; the process then ends (dbExit).
Host play(FaultEnv& env, const char* name, const Scenario& scenario, const Files& start,
          const std::function<void()>& arm = nullptr);

// What a host finds (hardkit::observe) in the files `start` ("refused" for
// no file) and after each commit point of the scenario, played undisturbed
// (its calls go to `clean`). The library is left initialised.
std::vector<std::string> committed_states(FaultEnv& env, const char* name, const Scenario& scenario,
                                          const Files& start, std::vector<Call>* clean = nullptr);

}  // namespace rbtest
