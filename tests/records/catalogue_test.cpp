// The data type catalogue: areas, declaration one by one, the data input.
#include <string>
#include <vector>

#include "frame/heap.h"
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
  static std::int32_t type_ctrl(std::int32_t type) { return file_ctrl(0).pIndDataTypes[type]; }
};

TEST_F(CatalogueTest, AreasOfTypesDeclaredAtCreationLieEndToEnd) {
  const DataDesc d[] = {desc(3, 0, 100, 4096, 1000), desc(0, 0, 60, 4096, 0),
                        desc(5000, 0, 4096, 4096, 1)};
  ASSERT_EQ(dbCreate("catalogue_areas.db", 3, d, 0, DB_MODE_WRITE), 0);
  EXPECT_EQ(area(0), (std::vector<std::int32_t>{40, 25, 4096, 25 * 4096}));
  EXPECT_EQ(area(1), (std::vector<std::int32_t>{68, 1, 26 * 4096, 4096}));
  EXPECT_EQ(area(2), (std::vector<std::int32_t>{1, 1, 27 * 4096, 4096}));
  const rb::FileDef& def = file_ctrl(0).def;
  // Type 5000 lies beyond the 4096 entries: 5001 stored, margin of 20.
  EXPECT_EQ(def.nIndDataTypes, 5001);
  EXPECT_EQ(def.nIndDataTypesX, 5021);
  EXPECT_EQ(type_ctrl(0), 1);
  EXPECT_EQ(type_ctrl(5000), 2);
  // A block holding one record and no records declared: no block at all.
  const DataDesc single = desc(1, 0, 512, 512, 0);
  ASSERT_EQ(dbCreate("catalogue_single.db", 1, &single, 0, DB_MODE_WRITE), 1);
  EXPECT_EQ(file_ctrl(1).pDataCtrl[0].lMaxBlockRecs, 0);
}

TEST_F(CatalogueTest, IndexAndIteratorVectorsAreAsLongAsDeclared) {
  const DataDesc d[] = {desc(1, DTF_INDEX | DTF_ITERATOR, 8, 64, 30),
                        desc(2, DTF_INDEX | DTF_PLACED, 8, 64, 7)};
  ASSERT_EQ(dbCreate("catalogue_vectors.db", 2, d, 0, DB_MODE_WRITE), 0);
  const rb::FileCtrl& f = file_ctrl(0);
  EXPECT_EQ(f.pDataCtrl[0].nIndexNo, 0);
  EXPECT_EQ(f.pDataCtrl[0].nIteratorNo, 1);
  EXPECT_EQ(f.pDataCtrl[1].nIndexNo, 2);
  EXPECT_EQ(f.pDataCtrl[1].nIteratorNo, -1);
  EXPECT_EQ(f.pIndexCtrl[1].nIndexType, 3);
  EXPECT_EQ(f.pIndexCtrl[1].lIndexLen, 30);
  EXPECT_EQ(f.pIndexCtrl[2].nOwnerNo, 1);
  EXPECT_EQ(f.pIndexCtrl[2].lIndexLen, 7);
}

TEST_F(CatalogueTest, AddingGrowsTheTableAndAppendsEmptyAreas) {
  const DataDesc first = desc(4, 0, 100, 4096, 100);
  ASSERT_EQ(dbCreate("catalogue_add.db", 1, &first, 0, DB_MODE_WRITE), 0);
  rb::FileCtrl& f = file_ctrl(0);
  const DataDesc more = desc(6, DTF_INDEX, 50, 1000, 999);  // the count is not read
  EXPECT_EQ(dbAddDataCtrl(0, &more), 1);
  EXPECT_EQ(f.def.nDataTypesX, 11);
  EXPECT_EQ(area(1), (std::vector<std::int32_t>{20, 0, 4096 + 3 * 4096, 0}));
  EXPECT_EQ(f.pDataCtrl[1].lMaxFileRecs, 0);
  EXPECT_EQ(f.pIndexCtrl[f.pDataCtrl[1].nIndexNo].lIndexLen, 100);
  for (std::int32_t k = 2; k < 11; ++k) EXPECT_EQ(dbAddDataCtrl(0, &more), k);
  EXPECT_EQ(f.def.nDataTypesX, 11);
  EXPECT_EQ(dbAddDataCtrl(0, &more), 11);
  EXPECT_EQ(f.def.nDataTypesX, 21);
  EXPECT_EQ(type_ctrl(6), 11);  // the number names the newest entry
  EXPECT_EQ(area(1)[2], 4096 + 3 * 4096);
}

TEST_F(CatalogueTest, InvalidDescriptionsAreRefused) {
  ASSERT_EQ(dbCreate("catalogue_invalid.db", 0, nullptr, 0, DB_MODE_WRITE), 0);
  const rb::FileDef& d = file_ctrl(0).def;
  struct Case {
    const char* what;
    DataDesc desc;
    std::int32_t code;
  };
  const Case cases[] = {
      {"negative number", desc(-1, 0, 10, 100), -51},
      {"size 0", desc(1, 0, 0, 100), -51},
      {"negative size", desc(1, 0, -4, 100), -51},
      {"block below size", desc(1, 0, 101, 100), -51},
      {"placed without index", desc(1, DTF_PLACED, 10, 100), -54},
      {"iterator without index", desc(1, DTF_ITERATOR, 10, 100), -54},
      {"placed iterator", desc(1, DTF_INDEX | DTF_PLACED | DTF_ITERATOR, 10, 100), -54},
      {"bucket", desc(1, DTF_BUCKET, 10, 100), -54},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(dbAddDataCtrl(0, &c.desc), c.code);
    EXPECT_EQ(dbBeginData(0, &c.desc), c.code);
    EXPECT_EQ(d.nDataTypes, 0);
    EXPECT_EQ(d.nIndexVectors, 0);
    EXPECT_EQ(d.nDataCtrlOpen, -1);
    // At creation the whole call is refused and the slot given up.
    const DataDesc two[] = {desc(2, 0, 10, 100, 1), c.desc};
    EXPECT_EQ(dbCreate("catalogue_invalid2.db", 2, two, 0, DB_MODE_WRITE), c.code);
    EXPECT_EQ(rb::file_at(1), nullptr);
  }
  // Refused descriptions leave nothing behind: the next one is entry 0.
  const DataDesc good = desc(1, DTF_INDEX | DTF_PLACED, 10, 100);
  EXPECT_EQ(dbAddDataCtrl(0, &good), 0);
  ASSERT_EQ(dbClose(0), 4096);
  ASSERT_EQ(dbOpen("catalogue_invalid.db", 0), 0);
  EXPECT_EQ(file_ctrl(0).def.nDataTypes, 1);
  EXPECT_EQ(type_ctrl(1), 0);
}

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

TEST_F(CatalogueTest, EveryDeclaredNumberIsStored) {
  ASSERT_EQ(dbCreate("catalogue_numbers.db", 0, nullptr, 0, DB_MODE_WRITE), 0);
  rb::FileDef& d = file_ctrl(0).def;
  EXPECT_EQ(dbExpandIndDataTypes(0, 10), 4096 + 20);  // grows, never lowers the count
  EXPECT_EQ(d.nIndDataTypes, 4096);
  const DataDesc high = desc(4100, 0, 10, 100);
  EXPECT_EQ(dbAddDataCtrl(0, &high), 0);
  const DataDesc higher = desc(4110, 0, 10, 100);  // below X, above the count
  EXPECT_EQ(dbAddDataCtrl(0, &higher), 1);
  EXPECT_EQ(d.nIndDataTypesX, 4116);
  EXPECT_EQ(d.nIndDataTypes, 4111);
  ASSERT_EQ(dbClose(0), 4096);
  ASSERT_EQ(dbOpen("catalogue_numbers.db", 0), 0);
  EXPECT_EQ(type_ctrl(4110), 1);
  EXPECT_EQ(type_ctrl(4100), 0);
}

TEST_F(CatalogueTest, FailedGrowthsLeaveTheTablesAsTheyWere) {
  const DataDesc first = desc(1, 0, 10, 100, 5);
  ASSERT_EQ(dbCreate("catalogue_alloc.db", 1, &first, 0, DB_MODE_WRITE), 0);
  rb::FileCtrl& f = file_ctrl(0);
  const DataDesc next = desc(2, 0, 10, 100);
  rb::testing::fail_allocation_at(1);
  EXPECT_EQ(dbAddDataCtrl(0, &next), -3151);
  EXPECT_EQ(f.def.nDataTypes, 1);
  EXPECT_EQ(f.def.nDataTypesX, 1);
  rb::testing::fail_allocation_at(1);
  EXPECT_EQ(dbExpandIndDataTypes(0, 9000), -3301);
  EXPECT_EQ(f.def.nIndDataTypesX, 4096);
  EXPECT_EQ(f.def.nIndDataTypes, 4096);
  rb::testing::fail_allocation_at(0);
  EXPECT_EQ(dbAddDataCtrl(0, &next), 1);
  EXPECT_EQ(f.pDataCtrl[0].lMaxFileRecs, 5);
}

}  // namespace
