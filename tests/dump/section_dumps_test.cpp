#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "dump/dump_kit.h"
#include "file/file_ctrl.h"
#include "frame/state.h"

namespace {

using dumptest::dump_lines;
using dumptest::dump_text;
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

TEST_F(SectionDumpTest, KeyLevelsFollowNKeysWithinFour) {
  rb::Section& s = file_ctrl(0).pSection[0];
  s.nKeys = 0;
  ASSERT_EQ(dbDumpSection(0, 0, 0), 0);
  s.nKeys = 99;  // damaged: never more than the four stored levels
  ASSERT_EQ(dbDumpSection(0, 0, 0), 0);
  const auto lines = dump_lines();
  ASSERT_EQ(lines.size(), 28u);
  EXPECT_EQ(lines[7], "       Maximale Keywerte.................(nMaxKeys).: ");
  EXPECT_EQ(lines[21],
            "       Maximale Keywerte.................(nMaxKeys).:        7      12"
            "      -1      -1");
}

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

// Entry 3 names the section, but a vector of length 3 ends before it.
TEST_F(SectionDumpTest, NumberEqualToTheVectorLengthIsRefused) {
  ASSERT_EQ(dbDumpSection(0, 3, 1), 0);
  file_ctrl(0).def.nIndSectionsX = 3;
  EXPECT_EQ(dbDumpSection(0, 3, 1), -90);
  EXPECT_EQ(dbDumpSectionKeys(0, 3, 1), -90);
}

rb::KeyRecord key_record(std::int32_t k0, std::int32_t k1, std::int32_t place0) {
  rb::KeyRecord r{};
  for (std::int32_t& k : r.nIndDataCtrl) k = -1;
  r.nIndDataCtrl[0] = place0;
  r.nKey[0] = k0;
  r.nKey[1] = k1;
  r.nKey[2] = r.nKey[3] = -1;
  return r;
}

// A key record that cannot be read is listed with its values zeroed.
TEST_F(SectionDumpTest, UnreadableKeysShowZeroes) {
  const rb::KeyRecord first = key_record(1, 2, 3);
  ASSERT_EQ(dbWrite(0, -1 - 1, 0, 0, &first), 0);  // bucket 0 is DataCtrl 1
  rb::DataCtrl& bucket = file_ctrl(0).pDataCtrl[1];
  bucket.lFileRecs = bucket.lBlockRecs + 1;  // the last one lies beyond the area
  EXPECT_EQ(dbDumpSectionKeys(0, 0, 0), 1);
  const auto lines = dump_lines();
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(4 + bucket.lFileRecs));
  EXPECT_EQ(lines[3], "            0     1 -     1     2    -1    -1     3    -1    -1    -1");
  EXPECT_EQ(lines[lines.size() - 2],
            "           68     1 -     0     0     0     0     0     0     0     0");
  EXPECT_EQ(lines.back(), "       Hashbucket 1");
  EXPECT_EQ(dbGetErrorCount(), 1);
  EXPECT_EQ(rbtest::log_lines()[1], "  Funktion......: dbReadKey (Datei: 0)");
}

TEST_F(SectionDumpTest, BucketsThatHoldNoKeyRecordsAreRefused) {
  file_ctrl(0).pDataCtrl[2].nDataSize = 100;
  EXPECT_EQ(dbDumpSectionKeys(0, 0, 0), -90);
  EXPECT_FALSE(rbtest::file_exists(dumptest::kDumpFile));
}

TEST_F(DumpTest, CashCtrlListsTheSlotsInUseNumberedFromOne) {
  ASSERT_EQ(dbDumpCashCtrl(), 0);
  EXPECT_TRUE(rbtest::file_exists(dumptest::kDumpFile));
  EXPECT_EQ(dump_text(), "");

  static unsigned char block_a[16];
  static unsigned char block_b[16];
  rb::CashCtrl& first = *rb::g_lib.buffers[0];
  rb::CashCtrl& third = *rb::g_lib.buffers[2];
  first = {1, 3, rb::kCashDirty, 4096, 4096, block_a};
  third = {0, -1, 0, 0xABCDE, 60, block_b};
  ASSERT_EQ(dbDumpCashCtrl(), 0);
  first.pBuffer = nullptr;
  third.pBuffer = nullptr;

  EXPECT_EQ(dumptest::masked(dump_text()),
            "     Cashcontrol....................................: 1\n"
            "       Dateihandle........................(nFileNo).: 1\n"
            "       Indirekter Datentypzeiger........(nDataType).: 3\n"
            "       Flags...............................(nFlags).: 1\n"
            "       Offset in Datei................(lOffsetData).:      4096 (1000) Bytes\n"
            "       Laenge der Daten in Datei.........(lLenData).:      4096 Bytes\n"
            "       Bufferadresse......................(pBuffer).: <masked>\n"
            "     Cashcontrol....................................: 3\n"
            "       Dateihandle........................(nFileNo).: 0\n"
            "       Indirekter Datentypzeiger........(nDataType).: -1\n"
            "       Flags...............................(nFlags).: 0\n"
            "       Offset in Datei................(lOffsetData).:    703710 (ABCDE) Bytes\n"
            "       Laenge der Daten in Datei.........(lLenData).:        60 Bytes\n"
            "       Bufferadresse......................(pBuffer).: <masked>\n");
  char expected[64];
  std::snprintf(expected, sizeof expected, "%9lx",
                static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(block_a)));
  EXPECT_EQ(dump_lines()[6],
            "       Bufferadresse......................(pBuffer).: " + std::string(expected));
  EXPECT_EQ(expected[std::strspn(expected, " 0123456789abcdef")], '\0');
}

TEST_F(DumpTest, IOCtrlShowsTheFileOfTheLastOperation) {
  ASSERT_EQ(create("io0.db", {}), 0);
  ASSERT_EQ(create("io1.db", {desc(1, 0, 100, 4096, 3)}), 1);
  EXPECT_EQ(dbExistDataType(1, 1), 0);  // records file 1 for the log
  ASSERT_EQ(dumpIOCtrl(4096, 300, "Block"), 0);
  EXPECT_EQ(dump_text(),
            "==> W-IO      : Block\n"
            "    Offset    :       4096 (1000)   /  Laenge :        300 (12C)\n"
            "    lFileLen      :       4096 (1000)\n"
            "    lOffsetVectors:         -1 (FFFFFFFF)\n");
}

TEST_F(DumpTest, DumpsBeforeInitAnswerWithoutWriting) {
  dbExit();
  EXPECT_EQ(dbDumpSysData(), -4);
  EXPECT_EQ(dbDumpCashCtrl(), -5);
  EXPECT_EQ(dumpIOCtrl(0, 0, "x"), -5);
  EXPECT_EQ(dbDumpFileDef(0), -4);
  EXPECT_EQ(dbDumpAllDataCtrl(0), -4);
  EXPECT_EQ(dbDumpIndDataTypes(0), -4);
  EXPECT_EQ(dbDumpSection(0, 0, 0), -4);
  EXPECT_EQ(dbDumpSectionKeys(0, 0, 0), -4);
  EXPECT_FALSE(rbtest::file_exists(dumptest::kDumpFile));
}

TEST_F(SectionDumpTest, ADumpFileThatCannotBeOpenedIsReported) {
  std::filesystem::create_directory(dumptest::kDumpFile);
  EXPECT_EQ(dbDumpSysData(), -13);
  EXPECT_EQ(dbDumpFileDef(0), -13);
  EXPECT_EQ(dbDumpDataCtrl(0, 0, 0), -13);
  EXPECT_EQ(dbDumpAllDataCtrl(0), -13);
  EXPECT_EQ(dbDumpIndDataTypes(0), -13);
  EXPECT_EQ(dbDumpIndSections(0), -13);
  EXPECT_EQ(dbDumpSection(0, 0, 0), -13);
  EXPECT_EQ(dbDumpSectionKeys(0, 0, 0), -13);
  EXPECT_EQ(dbDumpSectionKeys(0, 2, 1), -13);
  EXPECT_EQ(dbDumpCashCtrl(), -13);
  EXPECT_EQ(dumpIOCtrl(0, 0, "x"), -13);
  std::filesystem::remove(dumptest::kDumpFile);
  EXPECT_EQ(dbGetErrorCount(), 11);
  EXPECT_EQ(rbtest::log_lines().back(),
            "  Fehler (  -13): Fehler beim Schreiben auf Datenbasisdatei.");
}

}  // namespace
