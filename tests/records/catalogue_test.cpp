// The data type catalogue: declaration at creation and through a data input.
#include "frame/state.h"
#include "support/testkit.h"

namespace {

using rbtest::desc;
using rbtest::file_ctrl;

using CatalogueTest = rbtest::LibraryTest;

TEST_F(CatalogueTest, SetDataCtrlOnlyFillsAnEmptyCatalogue) {
  const DataDesc d[] = {desc(1, 0, 10, 100, 5), desc(2, 0, 10, 100, 5)};
  ASSERT_EQ(dbCreate("catalogue_set.db", 1, d, 0, DB_MODE_WRITE), 0);
  EXPECT_EQ(dbSetDataCtrl(0, 1, d + 1), -90);
  ASSERT_EQ(dbCreate("catalogue_set2.db", 0, nullptr, 0, DB_MODE_WRITE), 1);
  EXPECT_EQ(dbSetDataCtrl(1, 2, d), 0);
  EXPECT_EQ(file_ctrl(1).pIndDataTypes[2], 1);
  EXPECT_EQ(file_ctrl(1).pDataCtrl[1].lOffsetData, 4096 + 100);
}

}  // namespace
