// Index vectors: creation, growth of one vector, growth of both tables.
#include <vector>

#include "frame/heap.h"
#include "support/testkit.h"

namespace {

using rbtest::file_ctrl;

class IndexVectorTest : public rbtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    ASSERT_EQ(dbCreate("index_vectors.db", 0, nullptr, 0, DB_MODE_WRITE), 0);
  }
  static std::vector<std::int32_t> entries(std::int32_t v) {
    const rb::FileCtrl& f = file_ctrl(0);
    const rb::IndexVector& vec = f.pIndexVectors[v];
    return {vec.entries, vec.entries + f.pIndexCtrl[v].lIndexLen};
  }
  static std::vector<std::int32_t> ctrl(std::int32_t v) {
    const rb::IndexCtrl& c = file_ctrl(0).pIndexCtrl[v];
    return {c.nIndexType, c.nOwnerNo, c.lMaxRecs, c.lIndexLen, c.lOffsetIndex};
  }
};

TEST_F(IndexVectorTest, NewVectorsAreEmptyAndTheTablesGrowByTen) {
  const rb::FileDef& d = file_ctrl(0).def;
  EXPECT_EQ(d.nIndexVectorsX, 0);
  for (std::int32_t v = 0; v < 10; ++v) EXPECT_EQ(dbAddIndexVector(0, 5 * v, 1 + v % 3, v), v);
  EXPECT_EQ(d.nIndexVectorsX, 10);
  file_ctrl(0).pIndexVectors[3].entries[2] = 77;
  EXPECT_EQ(dbAddIndexVector(0, 50, 3, 4), 10);  // the eleventh
  EXPECT_EQ(d.nIndexVectorsX, 20);
  EXPECT_EQ(d.nIndexCtrlsX, 20);
  EXPECT_EQ(ctrl(10), (std::vector<std::int32_t>{3, 4, 50, 50, -1}));
  EXPECT_EQ(entries(10), std::vector<std::int32_t>(50, -1));
  EXPECT_EQ(ctrl(3), (std::vector<std::int32_t>{1, 3, 15, 15, -1}));
  EXPECT_EQ(entries(3)[2], 77);
  EXPECT_EQ(ctrl(19), std::vector<std::int32_t>(5, -1));
}

// The vector in memory grows ahead of the stored length; every growth
// still adds one step to the stored length, keeps the entries and shows -1
// for the new ones.
TEST_F(IndexVectorTest, RepeatedGrowthKeepsTheStepRule) {
  const std::int32_t v = dbAddIndexVector(0, 0, 1, 0);
  ASSERT_GE(v, 0);
  std::vector<std::int32_t> expected;
  for (const std::int32_t rec : {1000, 1099, 1100, 1250, 1260}) {
    if (rec >= static_cast<std::int32_t>(expected.size())) {
      ASSERT_EQ(dbExpandIndex(0, v, rec), v);
      const std::size_t step = rec < static_cast<std::int32_t>(expected.size()) + 100
                                   ? expected.size() + 100
                                   : static_cast<std::size_t>(rec) + 100;
      expected.resize(step, -1);
    }
    file_ctrl(0).pIndexVectors[v].entries[rec] = rec;
    expected[static_cast<std::size_t>(rec)] = rec;
    EXPECT_EQ(entries(v), expected) << rec;
  }
  EXPECT_EQ(ctrl(v)[3], 1300);
}

TEST_F(IndexVectorTest, GrowthGoesOneStepOrOneStepPastTheRecord) {
  struct Case {
    std::int32_t length, rec_no, grown;
  };
  for (const Case& c :
       {Case{100, 150, 200}, Case{100, 200, 300}, Case{100, 199, 200}, Case{100, -1, 200},
        Case{100, 5, 200}, Case{0, -1, 100}, Case{0, 0, 100}, Case{0, 1000, 1100}}) {
    SCOPED_TRACE(testing::Message() << c.length << " for " << c.rec_no);
    const std::int32_t v = dbAddIndexVector(0, c.length, 1, 0);
    ASSERT_GE(v, 0);
    if (c.length > 0) file_ctrl(0).pIndexVectors[v].entries[c.length - 1] = 42;
    file_ctrl(0).pIndexCtrl[v].lOffsetIndex = 8192;
    EXPECT_EQ(dbExpandIndex(0, v, c.rec_no), v);
    EXPECT_EQ(ctrl(v), (std::vector<std::int32_t>{1, 0, c.length, c.grown, 8192}));
    std::vector<std::int32_t> expected(c.grown, -1);
    if (c.length > 0) expected[c.length - 1] = 42;
    EXPECT_EQ(entries(v), expected);
  }
}

TEST_F(IndexVectorTest, FailedAllocationsLeaveEverythingAsItWas) {
  EXPECT_EQ(dbAddIndexVector(0, 100, 1, 0), 0);
  file_ctrl(0).pIndexVectors[0].entries[7] = 7;

  rb::testing::fail_allocation_at(1);
  EXPECT_EQ(dbExpandIndex(0, 0, 150), -3201);
  EXPECT_EQ(ctrl(0)[3], 100);
  EXPECT_EQ(entries(0)[7], 7);

  for (const auto& [n, code] : {std::pair{1, -3051}, std::pair{2, -3052}}) {
    rb::testing::fail_allocation_at(n);
    EXPECT_EQ(dbExpandIndexVectors(0), code);
    EXPECT_EQ(file_ctrl(0).def.nIndexVectorsX, 10);
    EXPECT_EQ(file_ctrl(0).def.nIndexCtrlsX, 10);
  }
  rb::testing::fail_allocation_at(1);
  EXPECT_EQ(dbAddIndexVector(0, 10, 1, 0), -2);
  EXPECT_EQ(file_ctrl(0).def.nIndexVectors, 1);
  EXPECT_EQ(file_ctrl(0).pIndexVectors[1].entries, nullptr);
  rb::testing::fail_allocation_at(0);

  EXPECT_EQ(dbAddIndexVector(0, 10, 1, 0), 1);
  EXPECT_EQ(dbExpandIndexVectors(0), 20);
  EXPECT_EQ(entries(0)[7], 7);
}

}  // namespace
