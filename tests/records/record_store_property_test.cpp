// Random sequences of writes, flushes, closes and reopens against a plain
// in-memory model: no record is ever lost or overwritten.
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/testkit.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct TypeModel {
  std::int32_t number;
  std::int32_t flags;
  std::int32_t size;
  std::map<std::pair<std::int32_t, std::int32_t>, Bytes> records;  // (rec, sub) -> bytes
  std::int32_t next_run = 0;  // iterator types: runs are written one at a time
};

struct FileModel {
  std::string name;
  std::int32_t no = -1;
  std::vector<TypeModel> types;
};

class Store {
 public:
  Store(std::uint32_t seed, int cache_slots) : rng_(seed) {
    dbExit();
    EXPECT_EQ(dbInit(cache_slots, 4), 0);
  }
  ~Store() { dbExit(); }

  void create(const std::string& name) {
    FileModel f;
    f.name = name;
    // Small areas declared at creation, so that writes beyond them grow the
    // file in the middle; block sizes differ per type.
    std::vector<DataDesc> declared = {
        rbtest::desc(1, 0, 40, 256, 10),
        rbtest::desc(2, DTF_INDEX, 24, 128, 5),
        rbtest::desc(3, DTF_INDEX | DTF_ITERATOR, 16, 4096, 600),
        rbtest::desc(4, DTF_INDEX | DTF_PLACED, 12, 512, 0),
    };
    f.no = dbCreate(name.c_str(), static_cast<std::int32_t>(declared.size()), declared.data(), 0,
                    DB_MODE_WRITE);
    ASSERT_GE(f.no, 0);
    for (const DataDesc& d : declared) f.types.push_back({d.nType, d.nFlags, d.nDataSize, {}});
    files_.push_back(f);
  }

  void run(int steps) {
    for (int i = 0; i < steps && !::testing::Test::HasFailure(); ++i) step();
    for (FileModel& f : files_) reopen(f);
    for (FileModel& f : files_) verify(f);
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  Bytes random_bytes(std::int32_t size) {
    Bytes b(static_cast<std::size_t>(size));
    for (auto& c : b) c = static_cast<unsigned char>(pick(256));
    return b;
  }

  void step() {
    FileModel& f = files_[static_cast<std::size_t>(pick(static_cast<int>(files_.size())))];
    const int what = pick(100);
    if (what < 75) {
      write(f, f.types[static_cast<std::size_t>(pick(static_cast<int>(f.types.size())))]);
    } else if (what < 80) {
      add_type(f);
    } else if (what < 88) {
      ASSERT_EQ(dbFlush(f.no), 0);
    } else if (what < 94) {
      verify(f);
    } else {
      reopen(f);
    }
  }

  void write(FileModel& f, TypeModel& t) {
    if ((t.flags & DTF_ITERATOR) != 0) {
      const std::int32_t rec = t.next_run++;
      const int subs = 1 + pick(4);
      for (std::int32_t sub = 0; sub < subs; ++sub) {
        const Bytes b = random_bytes(t.size);
        ASSERT_EQ(dbWrite(f.no, t.number, rec, sub, b.data()), 0) << "run " << rec;
        t.records[{rec, sub}] = b;
      }
      return;
    }
    // Mostly small record numbers, now and then a far one.
    const std::int32_t rec = pick(10) == 0 ? pick(3000) : pick(120);
    const Bytes b = random_bytes(t.size);
    ASSERT_EQ(dbWrite(f.no, t.number, rec, 0, b.data()), 0) << "type " << t.number;
    t.records[{rec, 0}] = b;
  }

  void add_type(FileModel& f) {
    const std::int32_t number = 10 + static_cast<std::int32_t>(f.types.size());
    const std::int32_t flags = pick(2) == 0 ? 0 : DTF_INDEX;
    const std::int32_t size = 8 + pick(60);
    DataDesc d = rbtest::desc(number, flags, size, 64 * (1 + pick(8)));
    ASSERT_GE(dbBeginData(f.no, &d), 0);
    TypeModel t{number, flags, size, {}};
    for (int i = 0, n = pick(30); i < n; ++i) {
      const std::int32_t rec = pick(50);
      const Bytes b = random_bytes(size);
      ASSERT_EQ(dbWrite(f.no, number, rec, 0, b.data()), 0);
      t.records[{rec, 0}] = b;
    }
    ASSERT_GE(dbEndData(f.no), 0);
    f.types.push_back(t);
  }

  void reopen(FileModel& f) {
    ASSERT_EQ(dbClose(f.no), 4096);
    f.no = dbOpen(f.name.c_str(), DB_MODE_WRITE);
    ASSERT_GE(f.no, 0);
  }

  void verify(const FileModel& f) {
    for (const TypeModel& t : f.types) {
      for (const auto& [key, bytes] : t.records) {
        Bytes got(bytes.size());
        ASSERT_EQ(dbRead(f.no, t.number, key.first, key.second, got.data(), 60), 0)
            << f.name << " type " << t.number << " rec " << key.first << "/" << key.second;
        ASSERT_EQ(got, bytes) << f.name << " type " << t.number << " rec " << key.first << "/"
                              << key.second;
      }
    }
  }

  std::mt19937 rng_;
  std::vector<FileModel> files_;
};

TEST(RecordStoreProperty, RandomWritesSurviveGrowthFlushesAndReopens) {
  for (std::uint32_t seed = 1; seed <= 24 && !HasFailure(); ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Store store(seed, 2 + static_cast<int>(seed % 3));
    store.create("prop_a.db");
    store.create("prop_b.db");
    store.run(250);
  }
}

}  // namespace
