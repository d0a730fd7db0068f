// The on-disk layout of a database file and the readers and writers of the
// header and of each table.
#include <ctime>
#include <string>

#include "support/stored.h"
#include "support/testkit.h"

namespace {

using rbtest::desc;
using rbtest::file_ctrl;
using rbtest::read_file;
using rbtest::stored;
using rbtest::stored_def;
using rbtest::word_at;
using rbtest::words;

class LayoutTest : public rbtest::LibraryTest {
 protected:
  // One indexed type: records of 16 bytes, blocks of 1024, 100 declared.
  std::int32_t create_one_type(const char* name, std::int32_t flags = DB_MODE_WRITE) {
    const DataDesc d = desc(7, DTF_INDEX, 16, 1024, 100);
    return dbCreate(name, 1, &d, 0, flags);
  }
};

TEST_F(LayoutTest, StoredHeaderOfANewFile) {
  const std::int32_t before = static_cast<std::int32_t>(std::time(nullptr));
  ASSERT_EQ(create_one_type("layout_new.db", DB_MODE_WRITE | 0x100), 0);
  EXPECT_EQ(file_ctrl(0).def.lFileLen, 4096);
  ASSERT_EQ(dbFlush(0), 0);
  const std::string bytes = read_file("layout_new.db");
  ASSERT_EQ(bytes.size(), 4096u);
  const rb::FileDef d = stored_def(bytes);
  EXPECT_EQ(std::string(bytes, 0, 16), std::string("TOVEK 1.00.0001\0", 16));
  EXPECT_EQ(bytes.substr(16, 1024), std::string(1024, '\0'));
  EXPECT_EQ(bytes.substr(1168), std::string(4096 - 1168, '\0'));
  EXPECT_GE(d.tCreate, before);
  EXPECT_EQ(d.tUpdate, d.tCreate);
  EXPECT_EQ(d.nFlags, DB_MODE_WRITE | 0x100 | DB_MODE_CREATED);
  EXPECT_EQ(d.lFileLen, 0);
  EXPECT_EQ(d.lOffsetDataCtrl, 4096);
  for (std::int32_t offset :
       {d.nLenIndexCtrl, d.lOffsetIndexCtrl, d.nLenSection, d.lOffsetSection, d.lOffsetIndDataTypes,
        d.lOffsetIndSections, d.lOffsetVectors, d.nDataCtrlOpen, d.nDataTypeCursor,
        d.nOpenSectionHandle, d.nActiveSectionHandle, d.nIndSectionsX}) {
    EXPECT_EQ(offset, -1);
  }
  EXPECT_EQ(d.nDataTypes, 1);
  EXPECT_EQ(d.nDataTypesX, 1);
  EXPECT_EQ(d.nLenDataCtrl, 64);
  EXPECT_EQ(d.nIndexVectors, 1);
  EXPECT_EQ(d.nIndexVectorsX, 10);
  EXPECT_EQ(d.nIndDataTypes, 4096);
  EXPECT_EQ(d.nIndSections, 5);
}

TEST_F(LayoutTest, ClosedFileWithoutRecords) {
  ASSERT_EQ(create_one_type("layout_closed.db"), 0);
  ASSERT_EQ(dbClose(0), 4096);
  const std::string bytes = read_file("layout_closed.db");
  const std::int32_t vec = 4096, ictl = vec + 400, dctl = ictl + 20, ind = dctl + 64,
                     isec = ind + 16384, end = isec + 20;
  ASSERT_EQ(bytes.size(), static_cast<std::size_t>(end));

  const rb::FileDef d = stored_def(bytes);
  EXPECT_EQ(std::string(bytes, 0, 16), std::string("TOVEK 1.00.0001\0", 16));
  EXPECT_EQ(bytes.substr(16, 1024), std::string(1024, '\0'));
  EXPECT_EQ(bytes.substr(1168, 4096 - 1168), std::string(4096 - 1168, '\0'));
  EXPECT_EQ(d.nFlags, DB_MODE_WRITE);  // 0x1000 cleared
  EXPECT_EQ(d.tUpdate, d.tCreate);
  EXPECT_EQ(d.nDataCtrlOpen, -1);
  EXPECT_EQ(d.nDataTypeCursor, -1);
  EXPECT_EQ(d.lFileLen, end);
  EXPECT_EQ(words(bytes, 1064, 7), (std::vector<std::int32_t>{1, 1, 1, 1, 20, 20, ictl}));
  EXPECT_EQ(words(bytes, 1092, 5), (std::vector<std::int32_t>{1, 1, 64, 64, dctl}));
  EXPECT_EQ(words(bytes, 1112, 5), (std::vector<std::int32_t>{0, 0, 124, -1, -1}));
  EXPECT_EQ(words(bytes, 1132, 9),
            (std::vector<std::int32_t>{4096, 4096, ind, 5, 5, isec, -1, -1, 4096}));

  EXPECT_EQ(bytes.substr(vec, 400), std::string(400, '\xff'));
  EXPECT_EQ(words(bytes, ictl, 5), (std::vector<std::int32_t>{1, 0, 100, 100, vec}));
  EXPECT_EQ(words(bytes, dctl, 16), (std::vector<std::int32_t>{7, DTF_INDEX, 16, 1024, 0, 100, 64,
                                                               2, 4096, 2048, 0, 0, -1, -1, 0, 0}));
  std::string ind_expected(16384, '\xff');
  rbtest::put_word(ind_expected, 7 * 4, 0);
  EXPECT_EQ(bytes.substr(ind, 16384), ind_expected);
  EXPECT_EQ(bytes.substr(isec, 20), std::string(20, '\xff'));
}

TEST_F(LayoutTest, WritersPlaceTablesAtTheFileEnd) {
  ASSERT_EQ(create_one_type("layout_writers.db"), 0);
  rb::FileDef& d = file_ctrl(0).def;
  EXPECT_EQ(dbWriteSections(0), 0);  // no sections: nothing at all
  EXPECT_EQ(d.nLenSection, -1);
  EXPECT_EQ(d.lOffsetSection, -1);
  EXPECT_EQ(d.lFileLen, 4096);

  EXPECT_EQ(dbWriteDataCtrl(0), 64);
  EXPECT_EQ(d.lOffsetDataCtrl, 4096);
  EXPECT_EQ(dbWriteDataCtrl(0), 64);  // a second copy behind the first
  EXPECT_EQ(d.lOffsetDataCtrl, 4160);
  EXPECT_EQ(d.lFileLen, 4224);

  EXPECT_EQ(dbWriteIndDataTypes(0), 16384);
  EXPECT_EQ(d.lOffsetIndDataTypes, 4224);
  EXPECT_EQ(dbWriteIndDataTypes(0), 16384);  // same place again
  EXPECT_EQ(d.lOffsetIndDataTypes, 4224);
  EXPECT_EQ(d.lFileLen, 4224 + 16384);

  // IndexCtrl table grown to 10 while one is in use: stored as one record.
  EXPECT_EQ(d.nIndexCtrlsX, 10);
  EXPECT_EQ(dbWriteIndexCtrl(0), 20);
  EXPECT_EQ(d.nIndexCtrlsX, 1);
  EXPECT_EQ(d.nIndexVectorsX, 1);
  EXPECT_EQ(d.nLenIndexCtrl, 20);
  ASSERT_EQ(dbFlush(0), 0);
  const std::string bytes = read_file("layout_writers.db");
  EXPECT_EQ(bytes.substr(4096, 64), bytes.substr(4160, 64));
  EXPECT_EQ(word_at(bytes, 4096), 7);
}

TEST_F(LayoutTest, FileWithoutIndexVectorsStoresAnEmptyIndexCtrlTable) {
  const DataDesc plain = desc(0, 0, 100, 4096, 10);
  ASSERT_EQ(dbCreate("layout_novec.db", 1, &plain, 0, DB_MODE_WRITE), 0);
  EXPECT_EQ(dbWriteDataIndex(0), 0);
  ASSERT_EQ(dbClose(0), 4096);
  const std::string bytes = read_file("layout_novec.db");
  const rb::FileDef d = stored_def(bytes);
  EXPECT_EQ(d.nLenIndexCtrl, 0);
  EXPECT_EQ(d.lOffsetIndexCtrl, 4096);
  EXPECT_EQ(d.lOffsetDataCtrl, 4096);
  EXPECT_EQ(d.lFileLen, 4096 + 64 + 16384 + 20);

  ASSERT_EQ(dbOpen("layout_novec.db", 0), 0);
  EXPECT_EQ(dbReadIndexCtrl(0), 0);
  EXPECT_EQ(dbReadDataIndex(0), 0);
  EXPECT_EQ(dbReadSections(0), 0);
  EXPECT_EQ(dbReadDataCtrl(0), 64);
  EXPECT_EQ(dbReadIndDataTypes(0), 16384);
  EXPECT_EQ(dbReadIndSections(0), 20);
  EXPECT_EQ(dbReadFileDef(0), 4096);
  EXPECT_EQ(file_ctrl(0).pDataCtrl[0].lMaxFileRecs, 10);
}

TEST_F(LayoutTest, ReservedHeaderBytesAndUnknownVersionSurviveAClose) {
  ASSERT_EQ(create_one_type("layout_reserved.db"), 0);
  ASSERT_EQ(dbClose(0), 4096);
  std::string bytes = read_file("layout_reserved.db");
  bytes.replace(5, 11, std::string(" 9.99.9999\0", 11));
  bytes.replace(100, 5, "hello");
  rbtest::write_file("layout_reserved.db", bytes);
  ASSERT_EQ(dbOpen("layout_reserved.db", DB_MODE_WRITE), 0);
  ASSERT_EQ(dbClose(0), 4096);
  const std::string after = read_file("layout_reserved.db");
  EXPECT_EQ(after.substr(0, 16), std::string("TOVEK 9.99.9999\0", 16));
  EXPECT_EQ(after.substr(100, 5), "hello");
}

}  // namespace
