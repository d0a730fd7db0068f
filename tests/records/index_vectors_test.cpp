// Index vectors: the stored length grows by the tunable step, however far
// ahead the vector in memory has grown.
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

}  // namespace
