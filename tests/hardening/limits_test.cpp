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

// Offsets and lengths that pass the limit, in every kind of operation.
TEST_F(LimitsTest, RangesPastTheLimitAreRefusedBeforeAnyIo) {
  const std::string before = snapshot();
  EXPECT_EQ(dbCopyToFile(file, INT_MAX - 10, buffer, 11), -12);
  EXPECT_EQ(dbCopyToFile(file, INT_MAX, buffer, 1), -12);
  EXPECT_EQ(dbCopyFromFile(file, INT_MAX - 10, buffer, 20), -20);
  EXPECT_EQ(dbGetCashPtr(file, INT_MAX - 10, 11, nullptr), nullptr);
  EXPECT_EQ(dbGetCashPtr(file, 4096, INT_MAX, nullptr), nullptr);
  EXPECT_EQ(dbExpandFile(file, 4096, INT_MAX - 100), -12);
  EXPECT_EQ(dbShiftOffsets(file, 4096, INT_MAX - 100), -12);
  EXPECT_EQ(dbExpandIndex(file, 0, INT_MAX - 50), -3201);
  EXPECT_EQ(dbWrite(file, 1, INT_MAX - 1, 0, buffer), -12);  // its block lies beyond
  EXPECT_EQ(dbWrite(file, 2, INT_MAX, 0, buffer), -60);
  EXPECT_EQ(dbWrite(file, 3, 5, INT_MAX, buffer), -12);
  EXPECT_EQ(dbRead(file, 1, INT_MAX, INT_MAX, buffer, 64), -12);
  EXPECT_EQ(dbExpandIndDataTypes(file, INT_MAX - 21), -3301);
  EXPECT_EQ(dbExpandIndSections(file, INT_MAX), -3351);
  EXPECT_EQ(dbBeginSections(file, INT_MAX - 1, 2, 0), -3351);
  EXPECT_TRUE(snapshot() == before);
  EXPECT_EQ(dbGetDataTypeRecs(file, 3, 5), 3);  // the run kept its length
  expect_intact();
}

}  // namespace
