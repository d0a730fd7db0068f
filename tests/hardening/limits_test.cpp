// The 2 GiB limit: every operation whose offset or length would pass
// 2^31 - 1 is refused before any IO, and nothing wraps around.
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "hardening/hardening_kit.h"
#include "support/testkit.h"

namespace {

class LimitsTest : public rbtest::LibraryTest {
 protected:
  void SetUp() override {
    rbtest::LibraryTest::SetUp();
    ASSERT_EQ(hardkit::build("limits.db", file, model), 0);
  }

  // What the refusals must leave alone: the header and the catalogue.
  std::string snapshot() {
    rb::FileCtrl& f = rbtest::file_ctrl(file);
    std::string s(reinterpret_cast<const char*>(&f.def), sizeof f.def);
    s.append(reinterpret_cast<const char*>(f.pDataCtrl),
             static_cast<std::size_t>(f.def.nDataTypes) * sizeof(rb::DataCtrl));
    return s;
  }

  void expect_intact() {
    EXPECT_EQ(hardkit::verify(file, model), "");
    EXPECT_EQ(dbClose(file), 4096);
    ASSERT_EQ(dbOpen("limits.db", DB_MODE_WRITE), file);
    EXPECT_EQ(hardkit::verify(file, model), "");
  }

  std::int32_t file = -1;
  std::vector<hardkit::Stored> model;
  char buffer[64] = {};
};

struct Refusal {
  const char* what;
  std::int32_t (*call)(std::int32_t file, void* buffer);
  std::int32_t code;
};

TEST_F(LimitsTest, RangesPastTheLimitAreRefusedBeforeAnyIo) {
  const Refusal refusals[] = {
      {"copy to the last byte and one past",
       [](std::int32_t f, void* b) { return dbCopyToFile(f, INT_MAX - 10, b, 11); }, -12},
      {"copy at INT_MAX", [](std::int32_t f, void* b) { return dbCopyToFile(f, INT_MAX, b, 1); },
       -12},
      {"read past the limit",
       [](std::int32_t f, void* b) { return dbCopyFromFile(f, INT_MAX - 10, b, 20); }, -20},
      {"read beyond the file",
       [](std::int32_t f, void* b) { return dbCopyFromFile(f, 4096, b, INT_MAX); }, -20},
      {"cache block past the limit",
       [](std::int32_t f, void*) { return dbGetCashPtr(f, INT_MAX - 10, 11, nullptr) ? 0 : -90; },
       -90},
      {"cache block of INT_MAX bytes",
       [](std::int32_t f, void*) { return dbGetCashPtr(f, 4096, INT_MAX, nullptr) ? 0 : -90; },
       -90},
      {"room that would carry the file past the limit",
       [](std::int32_t f, void*) { return dbExpandFile(f, 4096, INT_MAX - 100); }, -12},
      {"room at INT_MAX", [](std::int32_t f, void*) { return dbExpandFile(f, INT_MAX, 1); }, -12},
      {"offsets raised past the limit",
       [](std::int32_t f, void*) { return dbShiftOffsets(f, 4096, INT_MAX - 100); }, -12},
      {"offsets raised by INT_MAX",
       [](std::int32_t f, void*) { return dbShiftOffsets(f, 0, INT_MAX); }, -12},
      {"index vector to INT_MAX",
       [](std::int32_t f, void*) { return dbExpandIndex(f, 0, INT_MAX); }, -3201},
      {"index vector near INT_MAX",
       [](std::int32_t f, void*) { return dbExpandIndex(f, 0, INT_MAX - 50); }, -3201},
      {"index vector of 2 GiB", [](std::int32_t f, void*) { return dbExpandIndex(f, 0, 1 << 29); },
       -3201},
      {"plain record whose block lies beyond",
       [](std::int32_t f, void* b) { return dbWrite(f, 1, INT_MAX - 1, 0, b); }, -12},
      {"indexed record INT_MAX",
       [](std::int32_t f, void* b) { return dbWrite(f, 2, INT_MAX, 0, b); }, -60},
      {"run past the limit", [](std::int32_t f, void* b) { return dbWrite(f, 3, 5, INT_MAX, b); },
       -12},
      {"read of a slot past the limit",
       [](std::int32_t f, void* b) { return dbRead(f, 1, INT_MAX, INT_MAX, b, 64); }, -12},
      {"type number INT_MAX",
       [](std::int32_t f, void*) {
         const DataDesc d{INT_MAX, 0, 4, 8, 0};
         return dbAddDataCtrl(f, &d);
       },
       -3301},
      {"type vector to INT_MAX",
       [](std::int32_t f, void*) { return dbExpandIndDataTypes(f, INT_MAX); }, -3301},
      {"type vector near INT_MAX",
       [](std::int32_t f, void*) { return dbExpandIndDataTypes(f, INT_MAX - 21); }, -3301},
      {"section number INT_MAX", [](std::int32_t f, void*) { return dbAddSection(f, INT_MAX, 0); },
       -3351},
      {"section bracket near INT_MAX",
       [](std::int32_t f, void*) { return dbBeginSections(f, INT_MAX - 1, 2, 0); }, -3351},
      {"section vector to INT_MAX",
       [](std::int32_t f, void*) { return dbExpandIndSections(f, INT_MAX); }, -3351},
  };
  for (const Refusal& r : refusals) {
    const std::string before = snapshot();
    EXPECT_EQ(r.call(file, buffer), r.code) << r.what;
    if (std::string(r.what).rfind("type number", 0) != 0) {
      EXPECT_TRUE(snapshot() == before) << r.what;  // a refused declaration keeps its entry
    }
  }
  EXPECT_EQ(dbGetDataTypeRecs(file, 3, 5), 3);  // the run kept its length
  expect_intact();
}

TEST_F(LimitsTest, GrowthThatWouldPassTheLimitIsRefused) {
  // Blocks of 1 GiB: block 1 would end 2^31 bytes behind the start of the
  // area, wherever that lies.
  const DataDesc huge{50, 0, 1, 1 << 30, 0};
  const std::int32_t k = dbAddDataCtrl(file, &huge);
  ASSERT_GE(k, 0);
  const std::string before = snapshot();
  for (std::int32_t rec : {1 << 30, INT_MAX}) {
    EXPECT_EQ(dbWrite(file, 50, rec, 0, buffer), -12) << rec;
    EXPECT_TRUE(snapshot() == before) << rec;
  }
  EXPECT_EQ(dbGetDataTypeRecs(file, 50, 1 << 30), 0);
  expect_intact();
}

}  // namespace
