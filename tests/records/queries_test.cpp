#include <vector>

#include "file/file_ctrl.h"
#include "support/testkit.h"

namespace {

using rbtest::desc;
using rbtest::file_ctrl;

class QueryTest : public rbtest::LibraryTest {
 protected:
  void TearDown() override {
    rbtest::LibraryTest::TearDown();
    rbtest::remove_file("queries.db");
  }
  // A file with the given data types; its number.
  std::int32_t create(const std::vector<DataDesc>& types, std::int32_t sections = 0) {
    const auto n = static_cast<std::int32_t>(types.size());
    return dbCreate("queries.db", n, n > 0 ? types.data() : nullptr, sections, DB_MODE_WRITE);
  }
  char record_[100] = {};
};

TEST_F(QueryTest, EnumerationWalksTheDeclaredNumbers) {
  ASSERT_EQ(create({desc(7, 0, 10, 100, 1), desc(0, 0, 10, 100, 1), desc(3, 0, 10, 100, 1)}), 0);
  EXPECT_EQ(dbGetNextDataType(0), 0);  // without First: from zero
  EXPECT_EQ(dbGetFirstDataType(0), 0);
  EXPECT_EQ(dbGetNextDataType(0), 3);
  EXPECT_EQ(dbGetNextDataType(0), 7);
  EXPECT_EQ(dbGetNextDataType(0), -1);
  EXPECT_EQ(dbGetNextDataType(0), -1);
  EXPECT_EQ(dbGetFirstDataType(0), 0);
  // Damaged cursors neither overflow nor scan below zero.
  file_ctrl(0).def.nDataTypeCursor = INT32_MAX;
  EXPECT_EQ(dbGetNextDataType(0), -1);
  file_ctrl(0).def.nDataTypeCursor = INT32_MIN;
  EXPECT_EQ(dbGetNextDataType(0), 0);
  ASSERT_EQ(dbCreate("queries_empty.db", 0, nullptr, 0, DB_MODE_WRITE), 1);
  EXPECT_EQ(dbGetFirstDataType(1), -1);
  EXPECT_EQ(dbGetNextDataType(1), -1);
  EXPECT_TRUE(rbtest::log_lines().empty());
}

TEST_F(QueryTest, ExistAnswersOnlyNumbersBelowNIndDataTypes) {
  ASSERT_EQ(create({desc(1, 0, 10, 100, 1), desc(6, 0, 10, 100, 1)}), 0);
  EXPECT_EQ(dbExistDataType(0, 6), 1);
  EXPECT_EQ(dbExistDataType(0, 2), -1);
  EXPECT_EQ(dbExistDataType(0, -1), -1);
  file_ctrl(0).def.nIndDataTypes = 5;  // the vector in memory is longer
  EXPECT_EQ(dbExistDataType(0, 6), -1);
  file_ctrl(0).pIndDataTypes[3] = 40;  // names no DataCtrl
  EXPECT_EQ(dbExistDataType(0, 3), -1);
  EXPECT_TRUE(rbtest::log_lines().empty());
  EXPECT_EQ(dbExistDataType(1, 1), -6);
}

TEST_F(QueryTest, RecsByKindOfType) {
  ASSERT_EQ(create({desc(1, 0, 100, 4096, 10), desc(2, DTF_INDEX, 60, 4096, 10),
                    desc(3, DTF_INDEX | DTF_ITERATOR, 32, 4096, 20)}),
            0);
  ASSERT_EQ(dbWrite(0, 1, 4, 0, record_), 0);
  ASSERT_EQ(dbWrite(0, 2, 7, 0, record_), 0);
  for (std::int32_t sub = 0; sub < 5; ++sub) ASSERT_EQ(dbWrite(0, 3, 2, sub, record_), 0);

  EXPECT_EQ(dbGetDataTypeRecs(0, 1, 4), 1);  // below lFileRecs
  EXPECT_EQ(dbGetDataTypeRecs(0, 1, 5), 0);
  EXPECT_EQ(dbGetDataTypeRecs(0, 2, 7), 1);
  EXPECT_EQ(dbGetDataTypeRecs(0, 2, 6), 0);
  EXPECT_EQ(dbGetDataTypeRecs(0, 2, 10), 0);  // beyond the vector
  EXPECT_EQ(dbGetDataTypeRecs(0, 3, 2), 5);   // the run length
  EXPECT_EQ(dbGetDataTypeRecs(0, 3, 3), 0);
  EXPECT_EQ(dbGetDataTypeRecs(0, 2, INT32_MIN), 0);
  EXPECT_EQ(dbGetDataTypeRecs(0, -4, 0), 0);
  EXPECT_EQ(dbGetErrorCount(), 0);

  file_ctrl(0).pDataCtrl[2].nIteratorNo = -1;
  EXPECT_EQ(dbGetDataTypeRecs(0, 3, 2), -51);
  file_ctrl(0).pDataCtrl[1].nIndexNo = 77;  // names no vector
  EXPECT_EQ(dbGetDataTypeRecs(0, 2, 7), -51);
  // Asked through dbExistDataType, whose name the log record carries.
  EXPECT_EQ(rbtest::log_lines()[1], "  Funktion......: dbExistDataType (Datei: 0)");
  EXPECT_EQ(dbGetDataTypeRecs(2, 1, 0), -6);
}

TEST_F(QueryTest, IndexOfPlainAndIndexedTypes) {
  ASSERT_EQ(create({desc(1, 0, 100, 4096, 10), desc(2, DTF_INDEX, 60, 4096, 10)}), 0);
  ASSERT_EQ(dbWrite(0, 1, 3, 0, record_), 0);
  for (const std::int32_t rec : {7, 3, 7}) ASSERT_EQ(dbWrite(0, 2, rec, 0, record_), 0);
  EXPECT_EQ(dbGetIndex(0, -1, 1, 2), 2);
  EXPECT_EQ(dbGetIndex(0, -1, 1, 3), 3);
  EXPECT_EQ(dbGetIndex(0, -1, 1, 4), -1);  // at lFileRecs
  EXPECT_EQ(dbGetIndex(0, -1, 2, 7), 0);
  EXPECT_EQ(dbGetIndex(0, -1, 2, 3), 1);
  EXPECT_EQ(dbGetIndex(0, -1, 2, 4), -1);   // entry -1
  EXPECT_EQ(dbGetIndex(0, -1, 2, 10), -1);  // beyond the vector
  EXPECT_EQ(dbGetIndex(0, -1, 5, 0), -1);   // undeclared
  EXPECT_EQ(dbGetIndex(0, -1, 1 << 30, 0), -1);
  EXPECT_EQ(dbGetErrorCount(), 0);

  EXPECT_EQ(dbGetIndex(0, -1, 1, -1), -90);
  EXPECT_EQ(dbGetIndex(0, -1, 2, INT32_MIN), -90);
  EXPECT_EQ(dbGetIndex(1, -1, 1, 0), -1);
  EXPECT_EQ(dbGetIndex(99, -1, 1, 0), -1);
  const auto log = rbtest::log_lines();
  ASSERT_EQ(log.size(), 12u);
  EXPECT_EQ(log[11], "  Fehler (   -1): Dateizeiger ist ungueltig.");
}

// Section data types through a section filled in as the section table
// keeps it: section number 1 is section index 0, its place 2 DataCtrl 1.
class SectionQueryTest : public QueryTest {
 protected:
  void SetUp() override {
    QueryTest::SetUp();
    ASSERT_EQ(create({desc(0, 0, 100, 4096, 10), desc(1, DTF_INDEX, 60, 4096, 10)}, 2), 0);
    rb::FileCtrl& f = file_ctrl(0);
    f.def.nSections = 2;
    for (std::int32_t s = 0; s < 2; ++s) {
      for (std::int32_t& k : f.pSection[s].nIndDataCtrl) k = -1;
    }
    f.pSection[0].nIndDataCtrl[2] = 1;
    f.pSection[0].nIndDataCtrl[3] = 9;  // names no DataCtrl
    f.pIndSections[1] = 0;
    f.pDataCtrl[1].lMaxIndex = -1;  // as a new section type
  }
};

TEST_F(SectionQueryTest, MaxCountAndIndexOfASectionType) {
  EXPECT_EQ(dbGetDataTypeMaxCountS(0, 1, 2), -1);
  ASSERT_EQ(dbWrite(0, 1, 4, 0, record_), 0);
  EXPECT_EQ(dbGetDataTypeMaxCountS(0, 1, 2), 5);
  EXPECT_EQ(dbGetErrorCount(), 0);

  EXPECT_EQ(dbGetDataTypeMaxCountS(0, 2, 2), -9003);
  EXPECT_EQ(dbGetDataTypeMaxCountS(0, 1, 10), -90);
  EXPECT_EQ(dbGetDataTypeMaxCountS(0, 1, -1), -90);
  EXPECT_EQ(dbGetDataTypeMaxCountS(0, 0, 2), -90);  // IndSections entry -1
  EXPECT_EQ(dbGetDataTypeMaxCountS(0, 1, 3), -50);  // names no DataCtrl
  EXPECT_EQ(dbGetIndex(0, 1, 2, 4), 0);
  EXPECT_EQ(dbGetIndex(0, 1, 2, 5), -1);
  EXPECT_EQ(dbGetIndex(0, -2, 2, 0), -9003);
  EXPECT_EQ(dbGetIndex(0, 0, 2, 0), -90);  // IndSections entry -1
  file_ctrl(0).def.nSections = 9;          // beyond the IndSections vector
  EXPECT_EQ(dbGetDataTypeMaxCountS(0, 7, 2), -90);
  EXPECT_EQ(dbGetDataTypeMaxCountS(2, 1, 2), -6);
}

}  // namespace
