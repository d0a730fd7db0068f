// recbase beside SQLite, LMDB and plain stdio on the same workloads, in one
// process. Every record read is compared with the record written; a wrong
// answer ends the run with exit code 1. Each workload runs --reps times and
// the table shows medians and speed ratios (time of the other / time of
// recbase: above 1 means recbase is faster).
//
//   recbase_compare [--n N] [--k K] [--reps R] [--dir DIR] [--only ENGINE] [--cpu]
//                   [--durable]
//
// --only runs one of recbase, growth (W6), raw, sqlite, lmdb. --cpu measures
// the process's CPU time (user + system) instead of wall-clock time, which
// stays meaningful on a loaded machine.
//
// recbase always commits as a host sees it: every dbClose and dbFlush of a
// file opened for writing forces the new state to the device. The other
// engines skip their syncs unless --durable is given (SQLite synchronous=FULL
// with its rollback journal on disk, LMDB without MDB_NOSYNC, raw and copy
// fsync before they close).
#include <lmdb.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "recbase.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr std::int32_t kRecSize = 100;
constexpr std::int32_t kBlockSize = 4096;
constexpr std::int32_t kPiece = 32767;  // the library's default transfer piece
constexpr std::int64_t kBehindBytes = 20 * 1024 * 1024;

struct Config {
  std::int32_t n = 200000;
  std::int32_t k = 20000;
  int reps = 5;
  std::string dir = ".";
  std::string only;      // run one engine: recbase, growth, raw, sqlite, lmdb
  bool cpu = false;      // process CPU time instead of wall-clock time
  bool durable = false;  // the other engines sync their commits too
};
Config g_cfg;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "recbase_compare: FAILED: %s\n", what.c_str());
  std::exit(1);
}

void expect(bool ok, const std::string& what) {
  if (!ok) fail(what);
}

std::string path(const char* name) { return g_cfg.dir + "/" + name; }

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

// The random inputs, drawn once.
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
  std::vector<std::uint32_t> all(static_cast<std::size_t>(n) * 10);
  for (std::uint32_t i = 0; i < all.size(); ++i) all[i] = i;
  std::shuffle(all.begin(), all.end(), rng);
  g_in.sparse_write.assign(all.begin(), all.begin() + n);
  g_in.sparse_read = g_in.sparse_write;
  std::shuffle(g_in.sparse_read.begin(), g_in.sparse_read.end(), rng);
  g_in.key_order.resize(static_cast<std::size_t>(g_cfg.k));
  for (std::uint32_t i = 0; i < g_in.key_order.size(); ++i) g_in.key_order[i] = i;
  std::shuffle(g_in.key_order.begin(), g_in.key_order.end(), rng);
}

std::int32_t key_b(std::int32_t i) { return static_cast<std::int32_t>((i * 7LL) % 1000); }

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

std::int32_t whole_area_slots() { return (g_cfg.n + kBlockSize / kRecSize - 1) / 40 + 16; }

void rb_init(std::int32_t slots) {
  dbExit();
  expect(dbInit(slots, 4) == 0, "dbInit");
}

void rb_close(std::int32_t file) {
  const std::int32_t r = dbClose(file);
  expect(r >= 0, "dbClose " + std::to_string(r));
}

void recbase_runs(std::int64_t& w5_moved) {
  const std::string db = path("cmp_recbase.db");
  const std::string db4 = path("cmp_recbase4.db");
  const std::string db5 = path("cmp_recbase5.db");
  const std::int32_t n = g_cfg.n;
  unsigned char buf[kRecSize];

  rb_init(64);
  remove_file(db);
  note("W1 seq write", "recbase", seconds_of([&] {
         DataDesc d{1, 0, kRecSize, kBlockSize, n};
         const std::int32_t f = dbCreate(db.c_str(), 1, &d, 0, DB_MODE_WRITE);
         expect(f >= 0, "dbCreate");
         for (std::int32_t r = 0; r < n; ++r) {
           g_rec.make(static_cast<std::uint32_t>(r), buf);
           expect(dbWrite(f, 1, r, 0, buf) == 0, "dbWrite");
         }
         rb_close(f);
       }));

  note("W2 seq read", "recbase", seconds_of([&] {
         const std::int32_t f = dbOpen(db.c_str(), 0);
         expect(f >= 0, "dbOpen");
         for (std::int32_t r = 0; r < n; ++r) {
           expect(dbRead(f, 1, r, 0, buf, kRecSize) == 0, "dbRead");
           g_rec.check(static_cast<std::uint32_t>(r), buf, "recbase W2");
         }
         rb_close(f);
       }));

  const auto random_read = [&](const char* workload) {
    note(workload, "recbase", seconds_of([&] {
           const std::int32_t f = dbOpen(db.c_str(), 0);
           expect(f >= 0, "dbOpen");
           for (const std::uint32_t r : g_in.random_reads) {
             expect(dbRead(f, 1, static_cast<std::int32_t>(r), 0, buf, kRecSize) == 0, "dbRead");
             g_rec.check(r, buf, workload);
           }
           rb_close(f);
         }));
  };
  rb_init(64);
  random_read("W3a rand read 64 slots");
  rb_init(whole_area_slots());
  random_read("W3b rand read all slots");

  // W4 keeps the whole area in the cache, as W3b.
  remove_file(db4);
  note("W4 sparse write", "recbase", seconds_of([&] {
         DataDesc d{1, DTF_INDEX, kRecSize, kBlockSize, n};
         const std::int32_t f = dbCreate(db4.c_str(), 1, &d, 0, DB_MODE_WRITE);
         expect(f >= 0, "dbCreate");
         for (const std::uint32_t r : g_in.sparse_write) {
           g_rec.make(r, buf);
           expect(dbWrite(f, 1, static_cast<std::int32_t>(r), 0, buf) == 0, "dbWrite W4");
         }
         rb_close(f);
       }));
  note("W4 sparse read", "recbase", seconds_of([&] {
         const std::int32_t f = dbOpen(db4.c_str(), 0);
         expect(f >= 0, "dbOpen");
         for (const std::uint32_t r : g_in.sparse_read) {
           expect(dbRead(f, 1, static_cast<std::int32_t>(r), 0, buf, kRecSize) == 0, "dbRead W4");
           g_rec.check(r, buf, "recbase W4");
         }
         rb_close(f);
       }));

  // The key area (about 300 blocks for K = 20000) fits the 512 slots, as the
  // key table fits SQLite's default page cache of 2 MB.
  rb_init(512);
  remove_file(db5);
  note("W5 key insert", "recbase", seconds_of([&] {
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
       }));
  note("W5 key lookup", "recbase", seconds_of([&] {
         const std::int32_t f = dbOpen(db5.c_str(), 0);
         expect(f >= 0, "dbOpen");
         bool first = true;
         for (const std::uint32_t u : g_in.key_order) {
           const auto i = static_cast<std::int32_t>(u);
           std::int32_t keys[4] = {i, key_b(i), -1, -1};
           expect(dbSetSection(f, 0, keys) == 1, "dbSetSection " + std::to_string(i));
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
       }));
  // What the bucket growths moved: every block behind a growing bucket.
  {
    std::vector<std::int64_t> keys_in(16, 0);
    std::vector<std::int64_t> blocks(16, 1);
    const std::int64_t per_block = kBlockSize / 60;
    w5_moved = 0;
    for (std::int32_t i = 0; i < g_cfg.k; ++i) {
      const auto b = static_cast<std::size_t>((i + key_b(i)) & 15);
      if (keys_in[b] >= blocks[b] * per_block) {
        for (std::size_t c = b + 1; c < 16; ++c) w5_moved += blocks[c] * kBlockSize;
        blocks[b] += 1;
      }
      keys_in[b] += 1;
    }
  }
  remove_file(db5);
  remove_file(db4);
  remove_file(db);
}

// W6: type 1 holds one block, type 2 20 MB behind it; writing the next
// block of type 1 moves type 2 up.
void growth_runs() {
  const std::string db = path("cmp_growth.db");
  const std::string raw = path("cmp_growth.raw");
  const std::int32_t per_block = kBlockSize / kRecSize;
  const auto behind_recs = static_cast<std::int32_t>(kBehindBytes / kBlockSize * per_block);
  unsigned char buf[kRecSize];

  rb_init(64);
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
  note("W6 growth 20MB", "recbase", seconds_of([&] {
         for (std::int32_t r = per_block; r < 2 * per_block; ++r) {
           g_rec.make(static_cast<std::uint32_t>(r), buf);
           expect(dbWrite(f, 1, r, 0, buf) == 0, "dbWrite W6 growth");
         }
         expect(dbFlush(f) == 0, "dbFlush");
       }));
  for (std::int32_t r = 0; r < behind_recs; r += 997) {
    expect(dbRead(f, 2, r, 0, buf, kRecSize) == 0, "dbRead W6");
    g_rec.check(static_cast<std::uint32_t>(r), buf, "recbase W6");
  }
  rb_close(f);
  remove_file(db);

  // The plain copy: the same bytes moved up one block in pieces, highest
  // piece first, then the new block written.
  std::FILE* out = std::fopen(raw.c_str(), "w+b");
  expect(out != nullptr, "fopen W6");
  std::vector<unsigned char> chunk(kPiece, 0x5A);
  const std::int64_t total = kBlockSize * 2 + kBehindBytes;
  for (std::int64_t done = 0; done < total; done += kPiece) {
    std::fwrite(chunk.data(), 1,
                static_cast<std::size_t>(std::min<std::int64_t>(kPiece, total - done)), out);
  }
  std::fflush(out);
  note("W6 growth 20MB", "copy", seconds_of([&] {
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
       }));
  std::fclose(out);
  remove_file(raw);
}

// --- raw stdio ----------------------------------------------------------------

void raw_runs() {
  const std::string p = path("cmp_raw.bin");
  const std::int32_t n = g_cfg.n;
  unsigned char buf[kRecSize];
  remove_file(p);
  note("W1 seq write", "raw", seconds_of([&] {
         std::FILE* f = std::fopen(p.c_str(), "w+b");
         expect(f != nullptr, "fopen raw");
         for (std::int32_t r = 0; r < n; ++r) {
           g_rec.make(static_cast<std::uint32_t>(r), buf);
           expect(std::fwrite(buf, 1, kRecSize, f) == kRecSize, "fwrite raw");
         }
         sync_stdio(f);
         std::fclose(f);
       }));
  note("W2 seq read", "raw", seconds_of([&] {
         std::FILE* f = std::fopen(p.c_str(), "rb");
         expect(f != nullptr, "fopen raw");
         for (std::int32_t r = 0; r < n; ++r) {
           expect(std::fread(buf, 1, kRecSize, f) == kRecSize, "fread raw");
           g_rec.check(static_cast<std::uint32_t>(r), buf, "raw W2");
         }
         std::fclose(f);
       }));
  const auto random_read = [&](const char* workload) {
    note(workload, "raw", seconds_of([&] {
           std::FILE* f = std::fopen(p.c_str(), "rb");
           expect(f != nullptr, "fopen raw");
           for (const std::uint32_t r : g_in.random_reads) {
             std::fseek(f, static_cast<long>(r) * kRecSize, SEEK_SET);
             expect(std::fread(buf, 1, kRecSize, f) == kRecSize, "fread raw");
             g_rec.check(r, buf, "raw W3");
           }
           std::fclose(f);
         }));
  };
  random_read("W3a rand read 64 slots");
  random_read("W3b rand read all slots");
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
  return db;
}

sqlite3_stmt* sql_prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* st = nullptr;
  expect(sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK, sql);
  return st;
}

void sql_read(sqlite3_stmt* get, std::uint32_t r, const char* who) {
  sqlite3_bind_int64(get, 1, r);
  expect(sqlite3_step(get) == SQLITE_ROW, std::string(who) + ": missing row");
  expect(sqlite3_column_bytes(get, 0) == kRecSize, std::string(who) + ": wrong length");
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
    note(workload, "SQLite", seconds_of([&] {
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
         }));
  };
  remove_file(p);
  note("W1 seq write", "SQLite", seconds_of([&] { insert_all(nullptr); }));
  read_all("W2 seq read", nullptr);
  read_all("W3a rand read 64 slots", &g_in.random_reads);
  read_all("W3b rand read all slots", &g_in.random_reads);
  remove_file(p);
  note("W4 sparse write", "SQLite", seconds_of([&] { insert_all(&g_in.sparse_write); }));
  read_all("W4 sparse read", &g_in.sparse_read);
  remove_file(p);

  note("W5 key insert", "SQLite", seconds_of([&] {
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
       }));
  note("W5 key lookup", "SQLite", seconds_of([&] {
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
       }));
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
    expect(v.mv_size == kRecSize, std::string(who) + ": wrong length");
    g_rec.check(r, v.mv_data, who);
  };
  const auto get_all = [&](const char* workload, const std::vector<std::uint32_t>* order) {
    note(workload, "LMDB", seconds_of([&] {
           Lmdb db(p, false);
           if (order == nullptr) {
             for (std::int32_t r = 0; r < g_cfg.n; ++r) {
               get_one(db, static_cast<std::uint32_t>(r), workload);
             }
           } else {
             for (const std::uint32_t r : *order) get_one(db, r, workload);
           }
         }));
  };
  lmdb_remove(p);
  note("W1 seq write", "LMDB", seconds_of([&] { put_all(nullptr); }));
  get_all("W2 seq read", nullptr);
  get_all("W3a rand read 64 slots", &g_in.random_reads);
  get_all("W3b rand read all slots", &g_in.random_reads);
  lmdb_remove(p);
  note("W4 sparse write", "LMDB", seconds_of([&] { put_all(&g_in.sparse_write); }));
  get_all("W4 sparse read", &g_in.sparse_read);
  lmdb_remove(p);

  const auto composite = [](std::int32_t i) {
    return (static_cast<std::size_t>(static_cast<std::uint32_t>(i)) << 32) |
           static_cast<std::uint32_t>(key_b(i));
  };
  note("W5 key insert", "LMDB", seconds_of([&] {
         Lmdb db(p, true);
         for (std::int32_t i = 0; i < g_cfg.k; ++i) {
           std::size_t key = composite(i);
           MDB_val k{sizeof key, &key};
           MDB_val v{sizeof key, &key};
           mdb_ok(mdb_put(db.txn, db.dbi, &k, &v, 0), "put key");
         }
       }));
  note("W5 key lookup", "LMDB", seconds_of([&] {
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
       }));
  lmdb_remove(p);
}

// --- the table ------------------------------------------------------------------

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t m = v.size() / 2;
  return v.size() % 2 == 1 ? v[m] : (v[m - 1] + v[m]) / 2;
}

void print_table(std::int64_t w5_moved) {
  const char* engines[] = {"recbase", "raw", "copy", "LMDB", "SQLite"};
  std::printf("\nN = %d records of %d bytes, %d-byte blocks, K = %d keys, %d repetitions\n",
              g_cfg.n, kRecSize, kBlockSize, g_cfg.k, g_cfg.reps);
  std::printf("%s", g_cfg.cpu ? "CPU time (user + system), " : "wall-clock time, ");
  std::printf("%s", g_cfg.durable ? "every engine syncs its commits, "
                                  : "recbase syncs its commits, the others do not, ");
  std::printf("median milliseconds; x<engine> = time of <engine> / time of recbase\n\n");
  std::printf("%-26s %10s %10s %10s %10s %10s  %8s %8s %8s %8s\n", "workload", "recbase", "raw",
              "copy", "LMDB", "SQLite", "xraw", "xcopy", "xLMDB", "xSQLite");
  for (const auto& [workload, by_engine] : g_times) {
    std::printf("%-26s", workload.c_str());
    double mine = 0;
    if (const auto it = by_engine.find("recbase"); it != by_engine.end()) mine = median(it->second);
    for (const char* e : engines) {
      const auto it = by_engine.find(e);
      if (it == by_engine.end()) {
        std::printf(" %10s", "-");
      } else {
        std::printf(" %10.2f", median(it->second) * 1e3);
      }
    }
    std::printf(" ");
    for (std::size_t j = 1; j < std::size(engines); ++j) {
      const char* e = engines[j];
      const auto it = by_engine.find(e);
      if (it == by_engine.end() || mine <= 0) {
        std::printf(" %8s", "-");
      } else {
        std::printf(" %8.2f", median(it->second) / mine);
      }
    }
    std::printf("\n");
  }
  std::printf(
      "\nW5 lookups also ask for one absent key each.\nW5: the bucket growths of the insert moved "
      "%.1f MB\n",
      static_cast<double>(w5_moved) / (1024.0 * 1024.0));
  std::printf("W4 and W3b use %d cache slots (the whole area), W5 512, W1, W2 and W3a 64\n",
              whole_area_slots());
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
    } else if (a == "--cpu") {
      g_cfg.cpu = true;
    } else if (a == "--durable") {
      g_cfg.durable = true;
    } else if (i + 1 < argc && a == "--only") {
      g_cfg.only = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: %s [--n N] [--k K] [--reps R] [--dir DIR] [--only ENGINE] [--cpu] "
                   "[--durable]\n",
                   argv[0]);
      return 2;
    }
  }
  draw_inputs();
  std::int64_t w5_moved = 0;
  for (int rep = 0; rep < g_cfg.reps; ++rep) {
    std::fprintf(stderr, "repetition %d of %d\n", rep + 1, g_cfg.reps);
    const auto wanted = [](const char* name) { return g_cfg.only.empty() || g_cfg.only == name; };
    if (wanted("recbase")) recbase_runs(w5_moved);
    if (wanted("growth")) growth_runs();
    if (wanted("raw")) raw_runs();
    if (wanted("sqlite")) sqlite_runs();
    if (wanted("lmdb")) lmdb_runs();
  }
  dbExit();
  std::remove("tovek.log");
  print_table(w5_moved);
  return 0;
}
