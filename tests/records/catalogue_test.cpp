// The data type catalogue: declaration at creation and through a data input.
#include <vector>

#include "frame/state.h"
#include "support/testkit.h"

namespace {

using rbtest::desc;
using rbtest::file_ctrl;

class CatalogueTest : public rbtest::LibraryTest {
 protected:
  static std::vector<std::int32_t> area(std::int32_t k) {
    const rb::DataCtrl& dc = file_ctrl(0).pDataCtrl[k];
    return {dc.lBlockRecs, dc.lMaxBlockRecs, dc.lOffsetData, dc.lLenData};
  }
};

TEST_F(CatalogueTest, SetDataCtrlOnlyFillsAnEmptyCatalogue) {
  const DataDesc d[] = {desc(1, 0, 10, 100, 5), desc(2, 0, 10, 100, 5)};
  ASSERT_EQ(dbCreate("catalogue_set.db", 1, d, 0, DB_MODE_WRITE), 0);
  EXPECT_EQ(dbSetDataCtrl(0, 1, d + 1), -90);
  ASSERT_EQ(dbCreate("catalogue_set2.db", 0, nullptr, 0, DB_MODE_WRITE), 1);
  EXPECT_EQ(dbSetDataCtrl(1, 2, d), 0);
  EXPECT_EQ(file_ctrl(1).pIndDataTypes[2], 1);
  EXPECT_EQ(file_ctrl(1).pDataCtrl[1].lOffsetData, 4096 + 100);
}

TEST_F(CatalogueTest, DataInputSizesTheAreaAtItsEnd) {
  const DataDesc first = desc(1, 0, 16, 1024, 100);  // 2 blocks from 4096
  ASSERT_EQ(dbCreate("catalogue_input.db", 1, &first, 0, DB_MODE_WRITE), 0);
  rb::FileCtrl& f = file_ctrl(0);
  EXPECT_EQ(dbEndData(0), -41);
  const DataDesc a = desc(2, 0, 100, 4096), b = desc(3, DTF_INDEX, 8, 512);
  EXPECT_EQ(dbBeginData(0, &a), 1);
  f.pDataCtrl[1].lMaxFileRecs = 100;  // as record writing would leave it
  rbtest::remove_file("tovek.log");
  EXPECT_EQ(dbBeginData(0, &b), 2);  // closes the open input with a warning
  const auto lines = rbtest::log_lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "  Funktion......: dbBeginData (Datei: 0)");
  EXPECT_EQ(lines[2], "  Warnung(  -40): Datenbestand wurde implizit geschlossen.");
  EXPECT_EQ(area(1), (std::vector<std::int32_t>{40, 3, 6144, 3 * 4096}));
  EXPECT_EQ(f.def.lOffsetVectors, 6144 + 3 * 4096);
  EXPECT_EQ(dbEndData(0), 2);  // nothing written: one block
  EXPECT_EQ(area(2), (std::vector<std::int32_t>{64, 1, 18432, 512}));
  EXPECT_EQ(f.def.lFileLen, 18432 + 512);
  EXPECT_EQ(f.def.nDataCtrlOpen, -1);
  EXPECT_EQ(dbEndData(0), -41);
}

}  // namespace
