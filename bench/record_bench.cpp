// Micro-benchmarks of the record hit path: nanoseconds per dbRead/dbWrite
// when the block is cached, and heap allocations per access (which must be
// zero on a hit).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "frame/heap.h"
#include "recbase.h"

namespace {

constexpr std::int32_t kRecords = 1000;  // 25 blocks of 40 records

struct Fixture {
  std::int32_t file = -1;
  explicit Fixture(std::int32_t flags, std::int32_t cache_slots) {
    dbExit();
    dbInit(cache_slots, 2);
    DataDesc d{1, flags, 100, 4096, kRecords};
    file = dbCreate("bench.db", 1, &d, 0, DB_MODE_WRITE);
    std::vector<char> rec(100, 'b');
    for (std::int32_t r = 0; r < kRecords; ++r) dbWrite(file, 1, r, 0, rec.data());
  }
  ~Fixture() {
    dbExit();
    std::remove("bench.db");
    std::remove("tovek.log");
  }
};

void read_hits(benchmark::State& state, std::int32_t flags) {
  Fixture fx(flags, 64);
  std::vector<char> out(100);
  std::int32_t rec = 0;
  rb::testing::fail_allocation_at(0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(dbRead(fx.file, 1, rec, 0, out.data(), 100));
    rec = (rec + 397) % kRecords;
  }
  state.counters["allocs/op"] = benchmark::Counter(
      static_cast<double>(rb::testing::allocation_count()), benchmark::Counter::kAvgIterations);
}

void BM_ReadHitPlain(benchmark::State& state) { read_hits(state, 0); }
void BM_ReadHitIndexed(benchmark::State& state) { read_hits(state, DTF_INDEX); }

void BM_WriteHitIndexed(benchmark::State& state) {
  Fixture fx(DTF_INDEX, 64);
  std::vector<char> rec(100, 'w');
  std::int32_t r = 0;
  rb::testing::fail_allocation_at(0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(dbWrite(fx.file, 1, r, 0, rec.data()));
    r = (r + 397) % kRecords;
  }
  state.counters["allocs/op"] = benchmark::Counter(
      static_cast<double>(rb::testing::allocation_count()), benchmark::Counter::kAvgIterations);
}

void BM_ReadMissTwoSlots(benchmark::State& state) {
  Fixture fx(0, 2);
  dbFlush(fx.file);
  std::vector<char> out(100);
  std::int32_t rec = 0;
  rb::testing::fail_allocation_at(0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(dbRead(fx.file, 1, rec, 0, out.data(), 100));
    rec = (rec + 41) % kRecords;  // a different block every time
  }
  state.counters["allocs/op"] = benchmark::Counter(
      static_cast<double>(rb::testing::allocation_count()), benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_ReadHitPlain);
BENCHMARK(BM_ReadHitIndexed);
BENCHMARK(BM_WriteHitIndexed);
BENCHMARK(BM_ReadMissTwoSlots);

}  // namespace

BENCHMARK_MAIN();
