#include "support/fault_run.h"

#include <gtest/gtest.h>

#include <random>

#include "hardening/hardening_kit.h"

namespace rbtest {

std::array<std::int64_t, 2> Host::marks() const {
  if (env == nullptr) return {0, 0};
  return {env->calls(), env->writes()};
}

void Host::note(std::int32_t result, bool commit, std::array<std::int64_t, 2> begin) {
  calls.push_back({result, commit, begin, marks()});
  if (env != nullptr && env->write_failed()) env->crash_at(env->calls() + 1, false);
}

std::int32_t Host::call(std::int32_t result) {
  note(result, false, marks());
  return result;
}

void Host::write(std::int32_t type, std::int32_t rec, std::int32_t sub, std::int32_t size) {
  const std::string bytes = hardkit::pattern(type + salt, rec, sub, size);
  call(dbWrite(file, type, rec, sub, bytes.data()));
}

void Host::write_s(std::int32_t place, std::int32_t rec, std::int32_t size) {
  const std::string bytes = hardkit::pattern(100 + place + salt, rec, 0, size);
  call(dbWriteS(file, place, rec, 0, bytes.data(), size, hardkit::kSectionNo));
}

void Host::commit(std::int32_t (*point)(std::int32_t), std::int32_t success) {
  if (at_commit) at_commit(false, 0);
  const std::array<std::int64_t, 2> begin = marks();
  const std::int32_t r = point(file);
  if (r == success && env != nullptr) committed.push_back(env->snapshot());
  if (at_commit) at_commit(true, r);
  note(r, true, begin);
}

Scenario random_sequence(std::uint32_t seed) {
  return [seed](Host& h) {
    std::mt19937 rng(seed);
    const auto pick = [&](std::int32_t n) { return static_cast<std::int32_t>(rng() % n); };
    std::int32_t new_types = 0;
    std::int32_t new_keys = 0;
    h.open();
    for (std::int32_t step = 0, steps = 10 + pick(16); step < steps; ++step) {
      h.salt = step;
      const std::int32_t kind = pick(9);
      if (kind == 0) h.write(1, pick(25), 0, 10);
      if (kind == 1) h.write(1, 25 + pick(100), 0, 10);  // grows the first area
      if (kind == 2) h.write(2, pick(80), 0, 8);
      if (kind == 3) h.write(3, pick(2) == 0 ? 5 : 9, pick(3), 6);
      if (kind == 4) h.write(4, pick(200), 0, 12);
      if (kind == 5 && new_types > 0 && pick(2) == 0) {
        h.write(9 + pick(new_types), pick(20), 0, 30);
      } else if (kind == 5 && new_types < 6) {
        const DataDesc d{9 + new_types++, DTF_INDEX, 30, 120, 0};
        h.call(dbBeginData(h.file, &d));
        for (std::int32_t rec = 0, n = 2 + pick(8); rec < n; ++rec) h.write(d.nType, rec, 0, 30);
        h.call(dbEndData(h.file));
      }
      if (kind == 6 && new_keys < 6) {
        std::int32_t key[4] = {10 + new_keys, new_keys % 3, -1, -1};
        ++new_keys;
        const std::int32_t s = h.call(dbBeginSection(h.file, hardkit::kSectionNo, key));
        const DataDesc place{0, 0, 8, 32, 0};
        h.call(dbBeginDataS(h.file, &place, hardkit::kSectionNo));
        for (std::int32_t rec = 0, n = 1 + pick(5); rec < n; ++rec) h.write_s(0, rec, 8);
        h.call(dbEndDataS(h.file));
        h.call(dbEndSection(h.file, s));
      }
      if (kind >= 7) {  // records of the keys of the base file
        const bool first = pick(2) == 0;
        hardkit::Key key = first ? hardkit::kFirstKey : hardkit::kSecondKey;
        h.call(dbSetSection(h.file, hardkit::kSectionNo, key.data()));
        h.write_s(first ? 0 : 1, pick(8), first ? 16 : 8);
      }
      if (pick(3) == 0) h.flush();
    }
    h.close();
  };
}

Host play(FaultEnv& env, const char* name, const Scenario& scenario, const Files& start,
          const std::function<void()>& arm) {
  env.restore(start);
  dbExit();
  dbInit(4, 2);
  if (arm) arm();
  Host host{name, &env};
  scenario(host);
  dbExit();
  return host;
}

std::vector<std::string> committed_states(FaultEnv& env, const char* name, const Scenario& scenario,
                                          const Files& start, std::vector<Call>* clean) {
  const Host host = play(env, name, scenario, start);
  dbInit(4, 2);
  std::size_t commits = 0;
  for (const Call& c : host.calls) commits += c.commit ? 1 : 0;
  EXPECT_EQ(host.committed.size(), commits) << "a commit failed undisturbed";
  std::vector<std::string> states{"refused"};
  if (!start.empty()) {
    env.restore(start);
    states[0] = hardkit::observe(name);
  }
  for (const Files& files : host.committed) {
    env.restore(files);
    states.push_back(hardkit::observe(name));
  }
  if (clean != nullptr) *clean = host.calls;
  return states;
}

}  // namespace rbtest
