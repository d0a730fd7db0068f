// The section dumps refuse section numbers that name no section.
#include <cstring>
#include <vector>

#include "dump/dump_kit.h"
#include "file/file_ctrl.h"

namespace {

using dumptest::DumpTest;
using rbtest::desc;
using rbtest::file_ctrl;

// A section record as the section table would hold it after two keys.
rb::Section sample_section() {
  rb::Section s{};
  s.nSectionType = 3;
  s.nFlags = 0x2F;
  s.nKeys = 2;
  s.lOpenKeysHandle = 123456;
  s.nDataTypeIndexNo = 4;
  s.nHashFstDataCtrlHandle = 1;
  s.nBuckets = 2;
  s.nBucketMsk = 1;
  s.lFstKeyHandle = 0;
  s.nFstKeyBucket = 1;
  const std::int32_t max_keys[] = {7, 12, -1, -1};
  std::memcpy(s.nMaxKeys, max_keys, sizeof max_keys);
  s.nLstKeyBucket = 0;
  s.lLstKeyHandle = 2;
  for (std::int32_t& k : s.nIndDataCtrl) k = -1;
  s.nIndDataCtrl[0] = 5;
  s.nIndDataCtrl[9] = 11;
  const std::int32_t last[] = {7, 5, -1, -1};
  std::memcpy(s.nKeysLst, last, sizeof last);
  return s;
}

class SectionDumpTest : public DumpTest {
 protected:
  // A file with three DataCtrls (0 plain, 1 and 2 serving as the buckets
  // of the sample section) and the section under number 3.
  void SetUp() override {
    DumpTest::SetUp();
    ASSERT_EQ(
        create("sec.db",
               {desc(0, 0, 60, 4096, 10), desc(1, 0, 60, 4096, 10), desc(2, 0, 60, 4096, 10)}, 2),
        0);
    rb::FileCtrl& f = file_ctrl(0);
    f.def.nSections = 1;
    f.pSection[0] = sample_section();
    f.pIndSections[3] = 0;
  }
};

TEST_F(SectionDumpTest, SectionNumbersThatNameNothingAreRefused) {
  EXPECT_EQ(dbDumpSection(0, 1, 0), -90);  // one section only
  EXPECT_EQ(dbDumpSection(0, 2, 1), -90);  // IndSections entry -1
  EXPECT_EQ(dbDumpSection(0, 5, 1), -90);  // outside the vector
  EXPECT_EQ(dbDumpSection(3, 0, 0), -6);
  EXPECT_EQ(dbDumpSectionKeys(0, 1, 0), -90);
  EXPECT_EQ(dbDumpSectionKeys(1, 0, 0), -6);
  file_ctrl(0).pSection[0].nBuckets = 3;  // bucket 2 would be DataCtrl 3
  EXPECT_EQ(dbDumpSectionKeys(0, 0, 0), -90);
  file_ctrl(0).pSection[0].nHashFstDataCtrlHandle = -1;  // no buckets made
  EXPECT_EQ(dbDumpSectionKeys(0, 0, 0), -90);
  EXPECT_FALSE(rbtest::file_exists(dumptest::kDumpFile));
  EXPECT_EQ(dbGetErrorCount(), 8);
}

}  // namespace
