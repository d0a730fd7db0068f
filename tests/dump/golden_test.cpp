#include <cstdio>

#include "dump/dump_kit.h"

namespace {

using dumptest::DumpTest;

TEST_F(DumpTest, GoldenScratch) {
  dbSetMaxDataType(12);
  const std::int32_t f = create(
      "golden.db", {rbtest::desc(2, 0, 100, 4096, 1000), rbtest::desc(5, DTF_INDEX, 60, 4096, 25),
                    rbtest::desc(7, DTF_INDEX | DTF_ITERATOR, 32, 4096, 20)});
  ASSERT_EQ(f, 0);
  DataDesc later = rbtest::desc(9, 0, 16, 1024);
  ASSERT_EQ(dbBeginData(f, &later), 3);
  ASSERT_EQ(dbEndData(f), 3);
  EXPECT_EQ(dbDumpSysData(), 0);
  EXPECT_EQ(dbDumpFileDef(f), 0);
  EXPECT_EQ(dbDumpAllDataCtrl(f), 0);
  EXPECT_EQ(dbDumpDataIndex(f, 5, 3), 0);
  EXPECT_EQ(dbDumpDataIndex(f, 7, 3), 0);
  EXPECT_EQ(dbDumpIndDataTypes(f), 0);
  EXPECT_EQ(dbDumpIndSections(f), 0);
  std::fputs(dumptest::dump_text().c_str(), stdout);
}

}  // namespace
