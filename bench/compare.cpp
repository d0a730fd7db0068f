// recbase beside SQLite, LMDB and plain stdio on the same workloads. Every
// record read is compared with the record written; a wrong answer ends the
// run with exit code 1. Each workload runs --reps times and the tables show
// medians, speed ratios (time of the other / time of recbase: above 1 means
// recbase is faster), nanoseconds and system calls per operation, and the
// peak resident memory of each engine.
//
//   recbase_compare [--n N] [--k K] [--reps R] [--dir DIR] [--only ENGINE] [--cpu]
//                   [--durable] [--budget-kib KIB] [--syscalls] [--workload NAME]
//
// --only runs one of recbase, growth (W6 on recbase and the plain copy), raw,
// sqlite, lmdb. --workload runs one workload by its name in the table (for
// example "W3 rand read"), after the untimed workloads whose files it reads.
// --cpu measures the process's CPU time (user + system) instead of wall-clock
// time, which stays meaningful on a loaded machine.
//
// Memory: every engine gets the same cache budget, --budget-kib KiB (default
// 2048), for every workload. recbase gets KIB * 1024 / 4096 cache slots of
// one 4096-byte block each, SQLite PRAGMA cache_size=-KIB on every
// connection. LMDB has no cache of its own (it maps the file and the kernel
// keeps the pages) and plain stdio has its stream buffer.
//
// Processes: each engine runs in a child process, a fresh one per
// repetition (this program again, with --child). The child prints one line
// per timing and, at its end, its peak resident set (getrusage ru_maxrss);
// the parent takes the medians of the timings and the largest peak. A child
// that fails makes the parent fail.
//
// Per operation: an operation is a record written or read (W1 to W4), a key
// inserted or looked up (W5; a lookup also asks for one absent key, and
// still counts once), and the one growth of W6 (40 records written into a
// new block of the type in front of the 20 MB, which moves them up a block).
//
// System calls (--syscalls, Linux with strace on PATH): for each engine and
// workload the parent runs a child with only that workload of only that
// engine (--workload, --engine) under `strace -f -c`, and another that does
// the same setup but skips the measured body (--setup-only). The difference
// of the calls in the two "total" rows of strace's summary is what the
// workload itself called: start-up, input drawing, setup and clean-up appear
// in both runs and cancel, up to a few calls of noise. Without strace the
// column shows "-".
//
// recbase always commits as a host sees it: every dbClose and dbFlush of a
// file opened for writing forces the new state to the device. The other
// engines skip their syncs unless --durable is given (SQLite synchronous=FULL
// with its rollback journal on disk, LMDB without MDB_NOSYNC, raw and copy
// fsync before they close).
#include <lmdb.h>
#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <initializer_list>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "recbase.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

constexpr std::int32_t kRecSize = 100;
constexpr std::int32_t kBlockSize = 4096;
constexpr std::int32_t kPiece = 32767;  // the library's default transfer piece
constexpr std::int64_t kBehindBytes = 20 * 1024 * 1024;

// The workloads, by the names the table shows.
constexpr const char* kW1 = "W1 seq write";
constexpr const char* kW2 = "W2 seq read";
constexpr const char* kW3 = "W3 rand read";
constexpr const char* kW4Write = "W4 sparse write";
constexpr const char* kW4Read = "W4 sparse read";
constexpr const char* kW5Insert = "W5 key insert";
constexpr const char* kW5Lookup = "W5 key lookup";
constexpr const char* kW6 = "W6 growth 20MB";

// The engines as --only names them; each runs in a process of its own.
const char* const kGroups[] = {"recbase", "growth", "raw", "sqlite", "lmdb"};
// The engines as the table names them.
const char* const kEngines[] = {"recbase", "raw", "copy", "LMDB", "SQLite"};

struct Config {
  std::int32_t n = 200000;
  std::int32_t k = 20000;
  int reps = 5;
  std::string dir = ".";
  std::string only;                // run one engine: recbase, growth, raw, sqlite, lmdb
  bool cpu = false;                // process CPU time instead of wall-clock time
  bool durable = false;            // the other engines sync their commits too
  std::int32_t budget_kib = 2048;  // the cache every engine gets
  bool syscalls = false;           // count system calls with strace
  std::string workload;            // run only this workload (and what it reads)
  std::string engine;              // child: only this table engine (W6: recbase or copy)
  bool setup_only = false;         // child: the workload's setup without its body
  bool child = false;              // run the engines here and print the raw results
};
Config g_cfg;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "recbase_compare: FAILED: %s\n", what.c_str());
  std::exit(1);
}

// The checks of the measured loops build no message unless they fail, so
// that every engine's time is its own.
void expect(bool ok, const char* what) {
  if (!ok) fail(what);
}
void expect(bool ok, const std::string& what) {
  if (!ok) fail(what);
}

std::string path(const char* name) { return g_cfg.dir + "/" + name; }

std::int32_t cache_slots() { return g_cfg.budget_kib * 1024 / kBlockSize; }

// The bytes of record r: a fixed pattern stamped with the record number.
struct Records {
  unsigned char base[kRecSize];
  Records() {
    for (int i = 0; i < kRecSize; ++i) base[i] = static_cast<unsigned char>(i * 37 + 11);
  }
  void make(std::uint32_t r, unsigned char* out) const {
    std::memcpy(out, base, kRecSize);
    std::memcpy(out, &r, 4);
    const std::uint32_t x = r ^ 0xA5A5A5A5u;
    std::memcpy(out + kRecSize - 4, &x, 4);
    out[4 + r % 90] = static_cast<unsigned char>(r >> 3);
  }
  void check(std::uint32_t r, const void* got, const char* who) const {
    unsigned char want[kRecSize];
    make(r, want);
    if (std::memcmp(want, got, kRecSize) != 0) {
      fail(std::string(who) + ": wrong bytes for record " + std::to_string(r));
    }
  }
};
const Records g_rec;

using Clock = std::chrono::steady_clock;

double seconds_of(const std::function<void()>& body) {
  if (g_cfg.cpu) {
    const std::clock_t c0 = std::clock();
    body();
    return static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
  }
  const auto t0 = Clock::now();
  body();
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Timings: workload -> engine -> one value per repetition.
std::map<std::string, std::map<std::string, std::vector<double>>> g_times;
void note(const std::string& workload, const std::string& engine, double s) {
  g_times[workload][engine].push_back(s);
}

// Whether this process runs `workload` on `engine` at all.
bool involved(const char* workload, const char* engine) {
  if (g_cfg.workload.empty()) return true;
  return g_cfg.workload == workload && (g_cfg.engine.empty() || g_cfg.engine == engine);
}

// One workload of one engine. A full run times it. A run of one workload
// times only that one (nothing with --setup-only), runs the workloads named
// in `feeds` untimed when the asked-for one reads their files, and skips the
// rest.
void step(const char* workload, const char* engine, std::initializer_list<const char*> feeds,
          const std::function<void()>& body) {
  if (g_cfg.workload.empty()) {
    note(workload, engine, seconds_of(body));
    return;
  }
  if (!g_cfg.engine.empty() && g_cfg.engine != engine) return;
  if (g_cfg.workload == workload) {
    if (!g_cfg.setup_only) note(workload, engine, seconds_of(body));
    return;
  }
  for (const char* later : feeds) {
    if (g_cfg.workload == later) {
      body();
      return;
    }
  }
}

// The random inputs, drawn once per process.
struct Inputs {
  std::vector<std::uint32_t> random_reads;  // W3: N uniform record numbers
  std::vector<std::uint32_t> sparse_write;  // W4: N distinct numbers of 0..10N
  std::vector<std::uint32_t> sparse_read;   // W4: the same in another order
  std::vector<std::uint32_t> key_order;     // W5: lookup order of the K keys
};
Inputs g_in;

void draw_inputs() {
  std::mt19937_64 rng(20240607);
  const auto n = static_cast<std::uint32_t>(g_cfg.n);
  std::uniform_int_distribution<std::uint32_t> any(0, n - 1);
  g_in.random_reads.resize(n);
  for (auto& r : g_in.random_reads) r = any(rng);
  // Distinct numbers by rejection against a bitmap: a few hundred KB, where a
  // shuffled array of all 10N numbers would add megabytes to every engine's
  // peak memory.
  std::uniform_int_distribution<std::uint32_t> wide(0, n * 10 - 1);
  std::vector<bool> taken(static_cast<std::size_t>(n) * 10, false);
  g_in.sparse_write.clear();
  g_in.sparse_write.reserve(n);
  while (g_in.sparse_write.size() < n) {
    const std::uint32_t r = wide(rng);
    if (taken[r]) continue;
    taken[r] = true;
    g_in.sparse_write.push_back(r);
  }
  g_in.sparse_read = g_in.sparse_write;
  std::shuffle(g_in.sparse_read.begin(), g_in.sparse_read.end(), rng);
  g_in.key_order.resize(static_cast<std::size_t>(g_cfg.k));
  for (std::uint32_t i = 0; i < g_in.key_order.size(); ++i) g_in.key_order[i] = i;
  std::shuffle(g_in.key_order.begin(), g_in.key_order.end(), rng);
}

std::int32_t key_b(std::int32_t i) { return static_cast<std::int32_t>((i * 7LL) % 1000); }

// What the bucket growths of the W5 insert move: every block behind a
// growing bucket.
std::int64_t w5_moved_bytes() {
  std::vector<std::int64_t> keys_in(16, 0);
  std::vector<std::int64_t> blocks(16, 1);
  const std::int64_t per_block = kBlockSize / 60;
  std::int64_t moved = 0;
  for (std::int32_t i = 0; i < g_cfg.k; ++i) {
    const auto b = static_cast<std::size_t>((i + key_b(i)) & 15);
    if (keys_in[b] >= blocks[b] * per_block) {
      for (std::size_t c = b + 1; c < 16; ++c) moved += blocks[c] * kBlockSize;
      blocks[b] += 1;
    }
    keys_in[b] += 1;
  }
  return moved;
}

// Operations of a workload, for the time and the system calls per operation:
// records read or written, keys inserted or looked up (a lookup also asks for
// an absent key), and for W6 the one move.
double ops_of(const std::string& workload) {
  if (workload == kW6) return 1;
  if (workload == kW5Insert || workload == kW5Lookup) return g_cfg.k;
  return g_cfg.n;
}

void remove_file(const std::string& p) { std::remove(p.c_str()); }

// Empties stdio's buffer; with --durable also forces the file to the device,
// as a plain file writer makes its bytes durable.
void sync_stdio(std::FILE* f) {
  std::fflush(f);
  if (!g_cfg.durable) return;
#if defined(_WIN32)
  expect(_commit(_fileno(f)) == 0, "_commit");
#else
  expect(fsync(fileno(f)) == 0, "fsync");
#endif
}

// --- recbase ----------------------------------------------------------------

void rb_init() {
  dbExit();
  expect(dbInit(cache_slots(), 4) == 0, "dbInit");
}

void rb_close(std::int32_t file) {
  const std::int32_t r = dbClose(file);
  expect(r >= 0, "dbClose " + std::to_string(r));
}

void recbase_runs() {
  const std::string db = path("cmp_recbase.db");
  const std::string db4 = path("cmp_recbase4.db");
  const std::string db5 = path("cmp_recbase5.db");
  const std::int32_t n = g_cfg.n;
  unsigned char buf[kRecSize];

  rb_init();
  remove_file(db);
  step(kW1, "recbase", {kW2, kW3}, [&] {
    DataDesc d{1, 0, kRecSize, kBlockSize, n};
    const std::int32_t f = dbCreate(db.c_str(), 1, &d, 0, DB_MODE_WRITE);
    expect(f >= 0, "dbCreate");
    for (std::int32_t r = 0; r < n; ++r) {
      g_rec.make(static_cast<std::uint32_t>(r), buf);
      expect(dbWrite(f, 1, r, 0, buf) == 0, "dbWrite");
    }
    rb_close(f);
  });

  step(kW2, "recbase", {}, [&] {
    const std::int32_t f = dbOpen(db.c_str(), 0);
    expect(f >= 0, "dbOpen");
    for (std::int32_t r = 0; r < n; ++r) {
      expect(dbRead(f, 1, r, 0, buf, kRecSize) == 0, "dbRead");
      g_rec.check(static_cast<std::uint32_t>(r), buf, "recbase W2");
    }
    rb_close(f);
  });

  step(kW3, "recbase", {}, [&] {
    const std::int32_t f = dbOpen(db.c_str(), 0);
    expect(f >= 0, "dbOpen");
    for (const std::uint32_t r : g_in.random_reads) {
      expect(dbRead(f, 1, static_cast<std::int32_t>(r), 0, buf, kRecSize) == 0, "dbRead");
      g_rec.check(r, buf, "recbase W3");
    }
    rb_close(f);
  });

  remove_file(db4);
  step(kW4Write, "recbase", {kW4Read}, [&] {
    DataDesc d{1, DTF_INDEX, kRecSize, kBlockSize, n};
    const std::int32_t f = dbCreate(db4.c_str(), 1, &d, 0, DB_MODE_WRITE);
    expect(f >= 0, "dbCreate");
    for (const std::uint32_t r : g_in.sparse_write) {
      g_rec.make(r, buf);
      expect(dbWrite(f, 1, static_cast<std::int32_t>(r), 0, buf) == 0, "dbWrite W4");
    }
    rb_close(f);
  });
  step(kW4Read, "recbase", {}, [&] {
    const std::int32_t f = dbOpen(db4.c_str(), 0);
    expect(f >= 0, "dbOpen");
    for (const std::uint32_t r : g_in.sparse_read) {
      expect(dbRead(f, 1, static_cast<std::int32_t>(r), 0, buf, kRecSize) == 0, "dbRead W4");
      g_rec.check(r, buf, "recbase W4");
    }
    rb_close(f);
  });

  remove_file(db5);
  step(kW5Insert, "recbase", {kW5Lookup}, [&] {
    const std::int32_t f = dbCreate(db5.c_str(), 0, nullptr, 0, DB_MODE_WRITE);
    expect(f >= 0, "dbCreate");
    const std::int32_t s = dbBeginSections(f, 0, 2, 0);
    expect(s >= 0, "dbBeginSections");
    for (std::int32_t i = 0; i < g_cfg.k; ++i) {
      std::int32_t keys[4] = {i, key_b(i), 0, 0};
      expect(dbBeginSection(f, 0, keys) == s, "dbBeginSection");
      expect(dbEndSection(f, s) == s, "dbEndSection");
    }
    expect(dbEndSections(f, s) == s, "dbEndSections");
    rb_close(f);
  });
  step(kW5Lookup, "recbase", {}, [&] {
    const std::int32_t f = dbOpen(db5.c_str(), 0);
    expect(f >= 0, "dbOpen");
    bool first = true;
    for (const std::uint32_t u : g_in.key_order) {
      const auto i = static_cast<std::int32_t>(u);
      std::int32_t keys[4] = {i, key_b(i), -1, -1};
      if (dbSetSection(f, 0, keys) != 1) fail("dbSetSection " + std::to_string(i));
      // dbGetSection names the last key found by reading a bucket: the
      // one just asked for, unless the first was current already.
      std::int32_t no = -2;
      std::int32_t got[4] = {0, 0, 0, 0};
      if (!first) {
        expect(dbGetSection(f, &no, got) == 0, "dbGetSection");
        expect(no == 0 && got[0] == i && got[1] == key_b(i), "W5 wrong key");
      }
      first = false;
      // A key that was never added must not be found.
      std::int32_t absent[4] = {i, key_b(i) + 1000, -1, -1};
      expect(dbSetSection(f, 0, absent) == 0, "W5 absent key found");
    }
    rb_close(f);
  });
  remove_file(db5);
  remove_file(db4);
  remove_file(db);
}

// W6: type 1 holds one block, type 2 20 MB behind it; writing the next
// block of type 1 moves type 2 up.
void growth_recbase() {
  const std::string db = path("cmp_growth.db");
  const std::int32_t per_block = kBlockSize / kRecSize;
  const auto behind_recs = static_cast<std::int32_t>(kBehindBytes / kBlockSize * per_block);
  unsigned char buf[kRecSize];

  rb_init();
  remove_file(db);
  DataDesc d[2] = {{1, 0, kRecSize, kBlockSize, per_block},
                   {2, 0, kRecSize, kBlockSize, behind_recs}};
  const std::int32_t f = dbCreate(db.c_str(), 2, d, 0, DB_MODE_WRITE);
  expect(f >= 0, "dbCreate W6");
  for (std::int32_t r = 0; r < behind_recs; ++r) {
    g_rec.make(static_cast<std::uint32_t>(r), buf);
    expect(dbWrite(f, 2, r, 0, buf) == 0, "dbWrite W6 type 2");
  }
  for (std::int32_t r = 0; r < per_block; ++r) {
    g_rec.make(static_cast<std::uint32_t>(r), buf);
    expect(dbWrite(f, 1, r, 0, buf) == 0, "dbWrite W6 type 1");
  }
  expect(dbFlush(f) == 0, "dbFlush");
  step(kW6, "recbase", {}, [&] {
    for (std::int32_t r = per_block; r < 2 * per_block; ++r) {
      g_rec.make(static_cast<std::uint32_t>(r), buf);
      expect(dbWrite(f, 1, r, 0, buf) == 0, "dbWrite W6 growth");
    }
    expect(dbFlush(f) == 0, "dbFlush");
  });
  for (std::int32_t r = 0; r < behind_recs; r += 997) {
    expect(dbRead(f, 2, r, 0, buf, kRecSize) == 0, "dbRead W6");
    g_rec.check(static_cast<std::uint32_t>(r), buf, "recbase W6");
  }
  rb_close(f);
  remove_file(db);
}

// The plain copy: the same bytes moved up one block in pieces, highest piece
// first, then the new block written.
void growth_copy() {
  const std::string raw = path("cmp_growth.raw");
  std::FILE* out = std::fopen(raw.c_str(), "w+b");
  expect(out != nullptr, "fopen W6");
  std::vector<unsigned char> chunk(kPiece, 0x5A);
  const std::int64_t total = kBlockSize * 2 + kBehindBytes;
  for (std::int64_t done = 0; done < total; done += kPiece) {
    std::fwrite(chunk.data(), 1,
                static_cast<std::size_t>(std::min<std::int64_t>(kPiece, total - done)), out);
  }
  std::fflush(out);
  step(kW6, "copy", {}, [&] {
    const std::int64_t low_end = kBlockSize * 2;
    for (std::int64_t high = total; high > low_end;) {
      const std::int64_t low = std::max(low_end, high - kPiece);
      const auto len = static_cast<std::size_t>(high - low);
      std::fseek(out, static_cast<long>(low), SEEK_SET);
      expect(std::fread(chunk.data(), 1, len, out) == len, "fread W6");
      std::fseek(out, static_cast<long>(low + kBlockSize), SEEK_SET);
      expect(std::fwrite(chunk.data(), 1, len, out) == len, "fwrite W6");
      high = low;
    }
    std::fseek(out, static_cast<long>(low_end), SEEK_SET);
    std::fwrite(chunk.data(), 1, kBlockSize, out);
    sync_stdio(out);
  });
  std::fclose(out);
  remove_file(raw);
}

void growth_runs() {
  if (involved(kW6, "recbase")) growth_recbase();
  if (involved(kW6, "copy")) growth_copy();
}

// --- raw stdio ----------------------------------------------------------------

void raw_runs() {
  const std::string p = path("cmp_raw.bin");
  const std::int32_t n = g_cfg.n;
  unsigned char buf[kRecSize];
  remove_file(p);
  step(kW1, "raw", {kW2, kW3}, [&] {
    std::FILE* f = std::fopen(p.c_str(), "w+b");
    expect(f != nullptr, "fopen raw");
    for (std::int32_t r = 0; r < n; ++r) {
      g_rec.make(static_cast<std::uint32_t>(r), buf);
      expect(std::fwrite(buf, 1, kRecSize, f) == kRecSize, "fwrite raw");
    }
    sync_stdio(f);
    std::fclose(f);
  });
  step(kW2, "raw", {}, [&] {
    std::FILE* f = std::fopen(p.c_str(), "rb");
    expect(f != nullptr, "fopen raw");
    for (std::int32_t r = 0; r < n; ++r) {
      expect(std::fread(buf, 1, kRecSize, f) == kRecSize, "fread raw");
      g_rec.check(static_cast<std::uint32_t>(r), buf, "raw W2");
    }
    std::fclose(f);
  });
  step(kW3, "raw", {}, [&] {
    std::FILE* f = std::fopen(p.c_str(), "rb");
    expect(f != nullptr, "fopen raw");
    for (const std::uint32_t r : g_in.random_reads) {
      std::fseek(f, static_cast<long>(r) * kRecSize, SEEK_SET);
      expect(std::fread(buf, 1, kRecSize, f) == kRecSize, "fread raw");
      g_rec.check(r, buf, "raw W3");
    }
    std::fclose(f);
  });
  remove_file(p);
}

// --- SQLite -----------------------------------------------------------------

void sql_exec(sqlite3* db, const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    fail(std::string("sqlite: ") + sql + ": " + (err != nullptr ? err : "?"));
  }
}

sqlite3* sql_open(const std::string& p) {
  sqlite3* db = nullptr;
  expect(sqlite3_open(p.c_str(), &db) == SQLITE_OK, "sqlite3_open");
  if (g_cfg.durable) {
    sql_exec(db, "PRAGMA synchronous=FULL");
    sql_exec(db, "PRAGMA journal_mode=DELETE");
  } else {
    sql_exec(db, "PRAGMA synchronous=OFF");
    sql_exec(db, "PRAGMA journal_mode=MEMORY");
  }
  // A negative cache_size is a size in KiB.
  const std::string cache = "PRAGMA cache_size=-" + std::to_string(g_cfg.budget_kib);
  sql_exec(db, cache.c_str());
  return db;
}

sqlite3_stmt* sql_prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* st = nullptr;
  expect(sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK, sql);
  return st;
}

void sql_read(sqlite3_stmt* get, std::uint32_t r, const char* who) {
  sqlite3_bind_int64(get, 1, r);
  if (sqlite3_step(get) != SQLITE_ROW) fail(std::string(who) + ": missing row");
  if (sqlite3_column_bytes(get, 0) != kRecSize) fail(std::string(who) + ": wrong length");
  g_rec.check(r, sqlite3_column_blob(get, 0), who);
  sqlite3_reset(get);
}

void sqlite_runs() {
  const std::string p = path("cmp_sqlite.db");
  unsigned char buf[kRecSize];
  const auto insert_all = [&](const std::vector<std::uint32_t>* order) {
    sqlite3* db = sql_open(p);
    sql_exec(db, "CREATE TABLE t (id INTEGER PRIMARY KEY, data BLOB)");
    sql_exec(db, "BEGIN");
    sqlite3_stmt* put = sql_prepare(db, "INSERT INTO t (id, data) VALUES (?, ?)");
    const auto one = [&](std::uint32_t r) {
      g_rec.make(r, buf);
      sqlite3_bind_int64(put, 1, r);
      sqlite3_bind_blob(put, 2, buf, kRecSize, SQLITE_STATIC);
      expect(sqlite3_step(put) == SQLITE_DONE, "sqlite insert");
      sqlite3_reset(put);
    };
    if (order == nullptr) {
      for (std::int32_t r = 0; r < g_cfg.n; ++r) one(static_cast<std::uint32_t>(r));
    } else {
      for (const std::uint32_t r : *order) one(r);
    }
    sqlite3_finalize(put);
    sql_exec(db, "COMMIT");
    sqlite3_close(db);
  };
  const auto read_all = [&](const char* workload, const std::vector<std::uint32_t>* order) {
    step(workload, "SQLite", {}, [&] {
      sqlite3* db = sql_open(p);
      sql_exec(db, "BEGIN");
      sqlite3_stmt* get = sql_prepare(db, "SELECT data FROM t WHERE id = ?");
      if (order == nullptr) {
        for (std::int32_t r = 0; r < g_cfg.n; ++r) {
          sql_read(get, static_cast<std::uint32_t>(r), workload);
        }
      } else {
        for (const std::uint32_t r : *order) sql_read(get, r, workload);
      }
      sqlite3_finalize(get);
      sql_exec(db, "COMMIT");
      sqlite3_close(db);
    });
  };
  remove_file(p);
  step(kW1, "SQLite", {kW2, kW3}, [&] { insert_all(nullptr); });
  read_all(kW2, nullptr);
  read_all(kW3, &g_in.random_reads);
  remove_file(p);
  step(kW4Write, "SQLite", {kW4Read}, [&] { insert_all(&g_in.sparse_write); });
  read_all(kW4Read, &g_in.sparse_read);
  remove_file(p);

  step(kW5Insert, "SQLite", {kW5Lookup}, [&] {
    sqlite3* db = sql_open(p);
    sql_exec(db, "CREATE TABLE k (a INTEGER, b INTEGER, PRIMARY KEY (a, b))");
    sql_exec(db, "BEGIN");
    sqlite3_stmt* put = sql_prepare(db, "INSERT INTO k (a, b) VALUES (?, ?)");
    for (std::int32_t i = 0; i < g_cfg.k; ++i) {
      sqlite3_bind_int(put, 1, i);
      sqlite3_bind_int(put, 2, key_b(i));
      expect(sqlite3_step(put) == SQLITE_DONE, "sqlite key insert");
      sqlite3_reset(put);
    }
    sqlite3_finalize(put);
    sql_exec(db, "COMMIT");
    sqlite3_close(db);
  });
  step(kW5Lookup, "SQLite", {}, [&] {
    sqlite3* db = sql_open(p);
    sql_exec(db, "BEGIN");
    sqlite3_stmt* get = sql_prepare(db, "SELECT a, b FROM k WHERE a = ? AND b = ?");
    for (const std::uint32_t u : g_in.key_order) {
      const auto i = static_cast<std::int32_t>(u);
      sqlite3_bind_int(get, 1, i);
      sqlite3_bind_int(get, 2, key_b(i));
      expect(sqlite3_step(get) == SQLITE_ROW && sqlite3_column_int(get, 0) == i,
             "sqlite key lookup");
      sqlite3_reset(get);
      sqlite3_bind_int(get, 2, key_b(i) + 1000);
      expect(sqlite3_step(get) == SQLITE_DONE, "sqlite absent key found");
      sqlite3_reset(get);
    }
    sqlite3_finalize(get);
    sql_exec(db, "COMMIT");
    sqlite3_close(db);
  });
  remove_file(p);
}

// --- LMDB ---------------------------------------------------------------------

void mdb_ok(int rc, const char* what) {
  if (rc != MDB_SUCCESS) fail(std::string("lmdb: ") + what + ": " + mdb_strerror(rc));
}

struct Lmdb {
  MDB_env* env = nullptr;
  MDB_txn* txn = nullptr;
  MDB_dbi dbi = 0;
  Lmdb(const std::string& p, bool write) {
    mdb_ok(mdb_env_create(&env), "env_create");
    mdb_ok(mdb_env_set_mapsize(env, std::size_t{1} << 31), "set_mapsize");
    const unsigned sync = g_cfg.durable ? 0 : MDB_NOSYNC;
    mdb_ok(mdb_env_open(env, p.c_str(), MDB_NOSUBDIR | sync | (write ? 0 : MDB_RDONLY), 0644),
           "env_open");
    mdb_ok(mdb_txn_begin(env, nullptr, write ? 0 : MDB_RDONLY, &txn), "txn_begin");
    mdb_ok(mdb_dbi_open(txn, nullptr, MDB_INTEGERKEY | (write ? MDB_CREATE : 0), &dbi), "dbi_open");
  }
  ~Lmdb() {
    mdb_ok(mdb_txn_commit(txn), "commit");
    mdb_env_close(env);
  }
};

void lmdb_remove(const std::string& p) {
  remove_file(p);
  remove_file(p + "-lock");
}

void lmdb_runs() {
  const std::string p = path("cmp_lmdb.mdb");
  unsigned char buf[kRecSize];
  const auto put_all = [&](const std::vector<std::uint32_t>* order) {
    Lmdb db(p, true);
    const auto one = [&](std::uint32_t r) {
      g_rec.make(r, buf);
      unsigned int key = r;
      MDB_val k{sizeof key, &key};
      MDB_val v{kRecSize, buf};
      mdb_ok(mdb_put(db.txn, db.dbi, &k, &v, 0), "put");
    };
    if (order == nullptr) {
      for (std::int32_t r = 0; r < g_cfg.n; ++r) one(static_cast<std::uint32_t>(r));
    } else {
      for (const std::uint32_t r : *order) one(r);
    }
  };
  const auto get_one = [](Lmdb& db, std::uint32_t r, const char* who) {
    unsigned int key = r;
    MDB_val k{sizeof key, &key};
    MDB_val v{};
    mdb_ok(mdb_get(db.txn, db.dbi, &k, &v), who);
    if (v.mv_size != kRecSize) fail(std::string(who) + ": wrong length");
    g_rec.check(r, v.mv_data, who);
  };
  const auto get_all = [&](const char* workload, const std::vector<std::uint32_t>* order) {
    step(workload, "LMDB", {}, [&] {
      Lmdb db(p, false);
      if (order == nullptr) {
        for (std::int32_t r = 0; r < g_cfg.n; ++r) {
          get_one(db, static_cast<std::uint32_t>(r), workload);
        }
      } else {
        for (const std::uint32_t r : *order) get_one(db, r, workload);
      }
    });
  };
  lmdb_remove(p);
  step(kW1, "LMDB", {kW2, kW3}, [&] { put_all(nullptr); });
  get_all(kW2, nullptr);
  get_all(kW3, &g_in.random_reads);
  lmdb_remove(p);
  step(kW4Write, "LMDB", {kW4Read}, [&] { put_all(&g_in.sparse_write); });
  get_all(kW4Read, &g_in.sparse_read);
  lmdb_remove(p);

  const auto composite = [](std::int32_t i) {
    return (static_cast<std::size_t>(static_cast<std::uint32_t>(i)) << 32) |
           static_cast<std::uint32_t>(key_b(i));
  };
  step(kW5Insert, "LMDB", {kW5Lookup}, [&] {
    Lmdb db(p, true);
    for (std::int32_t i = 0; i < g_cfg.k; ++i) {
      std::size_t key = composite(i);
      MDB_val k{sizeof key, &key};
      MDB_val v{sizeof key, &key};
      mdb_ok(mdb_put(db.txn, db.dbi, &k, &v, 0), "put key");
    }
  });
  step(kW5Lookup, "LMDB", {}, [&] {
    Lmdb db(p, false);
    for (const std::uint32_t u : g_in.key_order) {
      std::size_t key = composite(static_cast<std::int32_t>(u));
      MDB_val k{sizeof key, &key};
      MDB_val v{};
      mdb_ok(mdb_get(db.txn, db.dbi, &k, &v), "get key");
      expect(v.mv_size == sizeof key && std::memcmp(v.mv_data, &key, sizeof key) == 0,
             "lmdb wrong key");
      std::size_t none = key + 1000;
      MDB_val absent{sizeof none, &none};
      expect(mdb_get(db.txn, db.dbi, &absent, &v) == MDB_NOTFOUND, "lmdb absent key found");
    }
  });
  lmdb_remove(p);
}

// Whether the engine process `group` (an --only name) has anything to run.
bool wanted(const std::string& group) {
  if (!g_cfg.only.empty() && g_cfg.only != group) return false;
  if (g_cfg.workload.empty()) return true;
  if (g_cfg.workload == kW6) return group == "growth";
  if (group == "growth") return false;
  return group != "raw" || g_cfg.workload == kW1 || g_cfg.workload == kW2 || g_cfg.workload == kW3;
}

void run_group(const std::string& group) {
  if (group == "recbase") recbase_runs();
  if (group == "growth") growth_runs();
  if (group == "raw") raw_runs();
  if (group == "sqlite") sqlite_runs();
  if (group == "lmdb") lmdb_runs();
}

// --- processes ------------------------------------------------------------------

// Peak resident set of an engine's processes, in KiB: at the end, and after
// drawing the inputs, before the engine ran.
struct Peak {
  long end_kib = -1;
  long start_kib = -1;
};
std::map<std::string, Peak> g_peaks;  // by --only name
// Which process runs each (workload, table engine).
std::map<std::pair<std::string, std::string>, std::string> g_group_of;
// System calls per operation: workload -> engine -> calls.
std::map<std::string, std::map<std::string, double>> g_calls;

long peak_rss_kib() {
#if defined(_WIN32)
  return -1;
#else
  struct rusage ru {};
  if (getrusage(RUSAGE_SELF, &ru) != 0) return -1;
  return ru.ru_maxrss;  // KiB on Linux
#endif
}

// A child: runs the engines it is given and prints its results, one per line:
//   time <TAB> engine <TAB> seconds <TAB> workload
//   rss <TAB> peak KiB at the end <TAB> peak KiB before the engines ran
void child_main() {
  draw_inputs();
  const long start_kib = peak_rss_kib();
  for (int rep = 0; rep < g_cfg.reps; ++rep) {
    for (const char* group : kGroups) {
      if (wanted(group)) run_group(group);
    }
  }
  dbExit();
  std::remove("tovek.log");
  for (const auto& [workload, by_engine] : g_times) {
    for (const auto& [engine, values] : by_engine) {
      for (const double s : values) {
        std::printf("time\t%s\t%.17g\t%s\n", engine.c_str(), s, workload.c_str());
      }
    }
  }
  std::printf("rss\t%ld\t%ld\n", peak_rss_kib(), start_kib);
}

#if !defined(_WIN32)

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, sep)) parts.push_back(part);
  return parts;
}

// Takes in the lines a child of engine `group` printed.
void take_results(const std::string& group, const std::string& out) {
  for (const std::string& line : split(out, '\n')) {
    const std::vector<std::string> f = split(line, '\t');
    if (f.size() == 4 && f[0] == "time") {
      note(f[3], f[1], std::strtod(f[2].c_str(), nullptr));
      g_group_of[{f[3], f[1]}] = group;
    } else if (f.size() == 3 && f[0] == "rss") {
      Peak& p = g_peaks[group];
      p.end_kib = std::max(p.end_kib, std::strtol(f[1].c_str(), nullptr, 10));
      p.start_kib = std::max(p.start_kib, std::strtol(f[2].c_str(), nullptr, 10));
    }
  }
}

std::string g_self;  // this program, to run again as a child

struct Outcome {
  bool ok = false;  // exited with 0
  std::string out;  // what it printed on stdout
};

// Runs args[0] with args, its stdout read through a pipe, its stderr ours.
Outcome run_process(const std::vector<std::string>& args) {
  int fds[2];
  expect(pipe(fds) == 0, "pipe");
  std::fflush(nullptr);
  const pid_t pid = fork();
  expect(pid >= 0, "fork");
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    std::fprintf(stderr, "recbase_compare: cannot run %s\n", args[0].c_str());
    _exit(127);
  }
  close(fds[1]);
  Outcome o;
  char buf[4096];
  for (;;) {
    const ssize_t got = read(fds[0], buf, sizeof buf);
    if (got > 0) {
      o.out.append(buf, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) expect(errno == EINTR, "waitpid");
  o.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return o;
}

// The command line of a child for one engine and repetition.
std::vector<std::string> child_args(const std::string& group) {
  std::vector<std::string> a = {g_self,   "--child", "--only", group,
                                "--reps", "1",       "--dir",  g_cfg.dir};
  a.insert(a.end(), {"--n", std::to_string(g_cfg.n), "--k", std::to_string(g_cfg.k)});
  a.insert(a.end(), {"--budget-kib", std::to_string(g_cfg.budget_kib)});
  if (g_cfg.durable) a.emplace_back("--durable");
  if (g_cfg.cpu) a.emplace_back("--cpu");
  return a;
}

void run_child(const std::string& group) {
  std::vector<std::string> args = child_args(group);
  if (!g_cfg.workload.empty()) {
    args.emplace_back("--workload");
    args.push_back(g_cfg.workload);
  }
  const Outcome o = run_process(args);
  expect(o.ok, "the " + group + " process failed");
  take_results(group, o.out);
}

std::string find_on_path(const char* name) {
  const char* env = std::getenv("PATH");
  if (env == nullptr) return "";
  for (std::string dir : split(env, ':')) {
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// The calls column of the "total" row of a strace -c summary, or -1.
long strace_total(const std::string& file) {
  std::FILE* f = std::fopen(file.c_str(), "r");
  if (f == nullptr) return -1;
  long total = -1;
  char line[512];
  while (std::fgets(line, sizeof line, f) != nullptr) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    // % time, seconds, usecs/call, calls, [errors,] "total"
    if (words.size() >= 5 && words.back() == "total")
      total = std::strtol(words[3].c_str(), nullptr, 10);
  }
  std::fclose(f);
  return total;
}

// The system calls of a child running one workload of one engine under
// strace (or only that workload's setup), or -1 when strace traced nothing.
long traced_calls(const std::string& strace, const std::string& group, const std::string& workload,
                  const std::string& engine, bool setup_only) {
  const std::string summary = path("cmp_strace.txt");
  remove_file(summary);
  std::vector<std::string> args = {strace, "-f", "-c", "-o", summary};
  for (const std::string& a : child_args(group)) args.push_back(a);
  args.insert(args.end(), {"--workload", workload, "--engine", engine});
  if (setup_only) args.emplace_back("--setup-only");
  const Outcome o = run_process(args);
  const long total = strace_total(summary);
  remove_file(summary);
  if (total < 0) return -1;
  expect(o.ok, "the " + group + " process for " + workload + " failed under strace");
  return total;
}

// Fills g_calls; answers what the table should say about the counts.
std::string count_syscalls() {
  if (!g_cfg.syscalls) return "system calls: not counted (--syscalls counts them with strace)";
  const std::string strace = find_on_path("strace");
  if (strace.empty()) return "system calls: not counted, strace is not on PATH";
  for (const auto& [key, group] : g_group_of) {
    const auto& [workload, engine] = key;
    std::fprintf(stderr, "system calls: %s, %s\n", engine.c_str(), workload.c_str());
    const long all = traced_calls(strace, group, workload, engine, false);
    const long setup = all < 0 ? -1 : traced_calls(strace, group, workload, engine, true);
    if (all < 0 || setup < 0) {
      g_calls.clear();
      return "system calls: not counted, strace could not trace (" + strace + ")";
    }
    g_calls[workload][engine] = static_cast<double>(std::max(0L, all - setup)) / ops_of(workload);
  }
  return "system calls: strace -f -c of a process running the one workload, minus one doing "
         "only its setup";
}

#endif  // !_WIN32

// --- the tables -----------------------------------------------------------------

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t m = v.size() / 2;
  return v.size() % 2 == 1 ? v[m] : (v[m - 1] + v[m]) / 2;
}

double mib(double bytes) { return bytes / (1024.0 * 1024.0); }

void print_tables(const std::string& calls_note) {
  std::printf("\nN = %d records of %d bytes, %d-byte blocks, K = %d keys, %d repetitions\n",
              g_cfg.n, kRecSize, kBlockSize, g_cfg.k, g_cfg.reps);
  std::printf(
      "cache budget %d KiB for every engine and workload: recbase %d slots of %d bytes,\n"
      "SQLite cache_size=-%d, LMDB maps the file, raw has stdio's buffer\n",
      g_cfg.budget_kib, cache_slots(), kBlockSize, g_cfg.budget_kib);
  std::printf("%s", g_cfg.durable ? "every engine syncs its commits\n"
                                  : "recbase syncs its commits, the others do not\n");
  std::printf("%s, median milliseconds; x/recbase = time of the engine / time of recbase\n\n",
              g_cfg.cpu ? "CPU time (user + system)" : "wall-clock time");
  std::printf("%-16s %-8s %10s %9s %13s %11s\n", "workload", "engine", "ms", "x/recbase", "ns/op",
              "syscalls/op");
  for (const auto& [workload, by_engine] : g_times) {
    double mine = 0;
    if (const auto it = by_engine.find("recbase"); it != by_engine.end()) mine = median(it->second);
    bool first = true;
    for (const char* e : kEngines) {
      const auto it = by_engine.find(e);
      if (it == by_engine.end()) continue;
      const double s = median(it->second);
      std::printf("%-16s %-8s %10.2f", first ? workload.c_str() : "", e, s * 1e3);
      first = false;
      if (mine > 0) {
        std::printf(" %9.2f", s / mine);
      } else {
        std::printf(" %9s", "-");
      }
      std::printf(" %13.1f", s * 1e9 / ops_of(workload));
      const auto w = g_calls.find(workload);
      if (w != g_calls.end() && w->second.count(e) != 0) {
        std::printf(" %11.3f\n", w->second.at(e));
      } else {
        std::printf(" %11s\n", "-");
      }
    }
  }
  std::printf(
      "\nAn operation is a record written or read (W1 to W4), a key inserted or looked up (W5; "
      "each lookup\nalso asks for one absent key), and the one growth of W6 (%d records "
      "written into a new block,\nthe 20 MB behind it moved up).\n%s\n",
      kBlockSize / kRecSize, calls_note.c_str());
  const auto w5 = g_times.find(kW5Insert);
  if (w5 != g_times.end() && w5->second.count("recbase") != 0) {
    std::printf("W5: the bucket growths of the insert moved %.1f MB\n", mib(w5_moved_bytes()));
  }

  std::printf("\n%-12s %-44s %13s %14s\n", "engine", "cache", "peak RSS MiB", "before it MiB");
  const std::string slots =
      std::to_string(cache_slots()) + " slots x " + std::to_string(kBlockSize) + " bytes = ";
  char size[32];
  std::snprintf(size, sizeof size, "%.2f MiB",
                mib(static_cast<double>(cache_slots()) * kBlockSize));
  char sqlite_size[32];
  std::snprintf(sqlite_size, sizeof sqlite_size, "%.2f MiB", g_cfg.budget_kib / 1024.0);
  const std::pair<const char*, std::string> rows[] = {
      {"recbase", slots + size},
      {"growth", "as recbase; the copy moves " + std::to_string(kPiece) + "-byte pieces"},
      {"raw", "stdio buffer"},
      {"sqlite", "cache_size=-" + std::to_string(g_cfg.budget_kib) + " = " + sqlite_size},
      {"lmdb", "maps the file"}};
  for (const auto& [group, cache] : rows) {
    if (!wanted(group)) continue;
    const auto it = g_peaks.find(group);
    std::printf("%-12s %-44s", group, cache.c_str());
    if (it == g_peaks.end() || it->second.end_kib < 0) {
      std::printf(" %13s %14s\n", "-", "-");
    } else {
      std::printf(" %13.2f %14.2f\n", it->second.end_kib / 1024.0, it->second.start_kib / 1024.0);
    }
  }
  std::printf(
      "\nPeak RSS: the largest ru_maxrss of the engine's processes, one per repetition; \"before "
      "it\" is the\npeak after the program started and drew its inputs, before the engine ran.\n");
}

int parse_int(const char* text, const char* flag) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < 1 || v > 10000000) {
    std::fprintf(stderr, "recbase_compare: bad value for %s: %s\n", flag, text);
    std::exit(2);
  }
  return static_cast<int>(v);
}

bool known(const std::string& name, std::initializer_list<const char*> names) {
  for (const char* n : names) {
    if (name == n) return true;
  }
  return false;
}

int usage(const char* program) {
  std::fprintf(stderr,
               "usage: %s [--n N] [--k K] [--reps R] [--dir DIR] [--only ENGINE] [--cpu] "
               "[--durable]\n          [--budget-kib KIB] [--syscalls] [--workload NAME]\n"
               "ENGINE: recbase, growth, raw, sqlite, lmdb; NAME: a workload of the table, "
               "such as \"W3 rand read\"\n",
               program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 < argc && a == "--n") {
      g_cfg.n = parse_int(argv[++i], "--n");
    } else if (i + 1 < argc && a == "--k") {
      g_cfg.k = parse_int(argv[++i], "--k");
    } else if (i + 1 < argc && a == "--reps") {
      g_cfg.reps = parse_int(argv[++i], "--reps");
    } else if (i + 1 < argc && a == "--dir") {
      g_cfg.dir = argv[++i];
    } else if (i + 1 < argc && a == "--budget-kib") {
      g_cfg.budget_kib = parse_int(argv[++i], "--budget-kib");
    } else if (a == "--cpu") {
      g_cfg.cpu = true;
    } else if (a == "--durable") {
      g_cfg.durable = true;
    } else if (a == "--syscalls") {
      g_cfg.syscalls = true;
    } else if (i + 1 < argc && a == "--only") {
      g_cfg.only = argv[++i];
    } else if (i + 1 < argc && a == "--workload") {
      g_cfg.workload = argv[++i];
    } else if (i + 1 < argc && a == "--engine") {
      g_cfg.engine = argv[++i];
    } else if (a == "--setup-only") {
      g_cfg.setup_only = true;
    } else if (a == "--child") {
      g_cfg.child = true;
    } else {
      return usage(argv[0]);
    }
  }
  if (!g_cfg.only.empty() && !known(g_cfg.only, {"recbase", "growth", "raw", "sqlite", "lmdb"})) {
    return usage(argv[0]);
  }
  if (!g_cfg.workload.empty() &&
      !known(g_cfg.workload, {kW1, kW2, kW3, kW4Write, kW4Read, kW5Insert, kW5Lookup, kW6})) {
    return usage(argv[0]);
  }
  if (cache_slots() < 1) {
    std::fprintf(stderr, "recbase_compare: --budget-kib must hold one %d-byte block\n", kBlockSize);
    return 2;
  }
  if (g_cfg.child) {
    child_main();
    return 0;
  }

  std::string calls_note = "system calls: not counted on this system";
#if defined(_WIN32)
  // No child processes here: every engine runs in this one.
  draw_inputs();
  for (int rep = 0; rep < g_cfg.reps; ++rep) {
    std::fprintf(stderr, "repetition %d of %d\n", rep + 1, g_cfg.reps);
    for (const char* group : kGroups) {
      if (wanted(group)) run_group(group);
    }
  }
  dbExit();
  std::remove("tovek.log");
#else
  char self[4096];
  const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
  if (len > 0) {
    self[len] = '\0';
    g_self = self;
  } else {
    g_self = argv[0];
  }
  for (int rep = 0; rep < g_cfg.reps; ++rep) {
    std::fprintf(stderr, "repetition %d of %d\n", rep + 1, g_cfg.reps);
    for (const char* group : kGroups) {
      if (wanted(group)) run_child(group);
    }
  }
  calls_note = count_syscalls();
#endif
  print_tables(calls_note);
  return 0;
}
