// The section, key and indirection dumps of a fixed scenario against their
// expected text.
#include <string>

#include "dump/dump_kit.h"

namespace {

using dumptest::DumpTest;
using rbtest::desc;

// Section 3 with keys of two values in four buckets: (1, 2) and (2, 1)
// share bucket 3, (4, 4) lands in bucket 0; key (1, 2) gets a data type.
void build_sections() {
  dbSetMaxDataType(8);
  dbSetBucket(4);
  dbSetBucketMsk(3);
  const DataDesc types[] = {desc(1, 0, 40, 1024, 10)};
  ASSERT_EQ(dbCreate("golden_sections.db", 1, types, 0, DB_MODE_WRITE), 0);
  ASSERT_EQ(dbBeginSections(0, 3, 2, 0x20), 0);
  std::int32_t keys[][4] = {{1, 2, 0, 0}, {2, 1, 0, 0}, {4, 4, 0, 0}};
  const DataDesc place = desc(0, DTF_INDEX, 24, 512);
  char record[24] = "section record";
  for (auto& key : keys) {
    ASSERT_EQ(dbBeginSection(0, 3, key), 0);
    if (key[0] == 1) {
      ASSERT_GE(dbBeginDataS(0, &place, 3), 0);
      ASSERT_EQ(dbWriteS(0, 0, 5, 0, record, 24, 3), 0);
      ASSERT_GE(dbEndDataS(0), 0);
    }
    ASSERT_EQ(dbEndSection(0, 0), 0);
  }
  ASSERT_EQ(dbEndSections(0, 0), 0);
  const std::int32_t lookup[4] = {1, 2, -1, -1};
  ASSERT_EQ(dbSetSection(0, 3, lookup), 1);
}

constexpr char kGolden[] = R"(
     Datei 0, Sectionindex 0, Sectiontyp: 3
       Kennungen...........................(nFlags).: 20
       Verschachtelungstiefe................(nKeys).:         2
       Geoeffneter Key............(lOpenKeysHandle).:        -1
       Indexnummer...............(nDataTypeIndexNo).:         0
       1. Hashlistenhandle.(nHashFstDataCtrlHandle).:         1
       Maximale Keywerte.................(nMaxKeys).:        4       4
       Keys des letzten Zugriffs.........(nKeysLst).:        1       2
       Letzte Section-DataCtrl.......(nIndDataCtrl).:         5       -1       -1       -1       -1       -1       -1       -1       -1       -1
       Erster Sectionhandle.........(lFstKeyHandle).:         0
       Erster Buckethandle..........(nFstKeyBucket).:         3
       Letzter Sectionhandle........(lLstKeyHandle).:         0
       Letzter Buckethandle.........(nLstKeyBucket).:         3

     Datei 0, Sectionindex 0, Sectiontyp: 3
       Hashbucket 0
            0     1 -     4     4    -1    -1    -1    -1    -1    -1
       Hashbucket 1
       Hashbucket 2
       Hashbucket 3
            0     4 -     1     2    -1    -1     5    -1    -1    -1
            1     4 -     2     1    -1    -1    -1    -1    -1    -1

     Datei 0, Vektor indirekter Sections (5)
          0 -      9:     -1     -1     -1      0     -1
)";

TEST_F(DumpTest, GoldenSections) {
  build_sections();
  EXPECT_EQ(dbDumpSection(0, 3, 1), 0);
  EXPECT_EQ(dbDumpSectionKeys(0, 3, 1), 1);
  EXPECT_EQ(dbDumpIndSections(0), 0);
  EXPECT_EQ(dumptest::dump_text(), kGolden);
  // A section number that names no section: one message line, result 0.
  rbtest::remove_file(dumptest::kDumpFile);
  EXPECT_EQ(dbDumpSectionKeys(0, 2, 1), 0);
  EXPECT_EQ(dumptest::dump_text(),
            "\n     Datei 0, nSection 2: Es wurde keine Section definiert.\n");
  ASSERT_EQ(dbClose(0), 4096);
  rbtest::remove_file("golden_sections.db");
}

}  // namespace
