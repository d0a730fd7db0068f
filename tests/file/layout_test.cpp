// The on-disk layout of a database file and the readers and writers of the
// header and of each table.
#include <string>

#include "support/stored.h"
#include "support/testkit.h"

namespace {

using rbtest::desc;
using rbtest::read_file;
using rbtest::stored_def;
using rbtest::words;
using LayoutTest = rbtest::LibraryTest;

// Ten records of 16 bytes in one indexed type (blocks of 1024, 100
// declared): the header, one block of data, then the index vector,
// IndexCtrl, DataCtrl, IndDataTypes and IndSections end to end.
TEST_F(LayoutTest, WorkedLayoutAfterAClose) {
  const DataDesc d = desc(7, DTF_INDEX, 16, 1024, 100);
  ASSERT_EQ(dbCreate("layout.db", 1, &d, 0, DB_MODE_WRITE), 0);
  for (std::int32_t r = 0; r < 10; ++r) {
    const std::string rec(16, static_cast<char>('a' + r));
    ASSERT_EQ(dbWrite(0, 7, r, 0, rec.data()), 0);
  }
  ASSERT_EQ(dbClose(0), 4096);
  const std::string b = read_file("layout.db");
  const std::int32_t vec = 5120, ictl = vec + 400, dctl = ictl + 20, ind = dctl + 64,
                     isec = ind + 16384, end = isec + 20;
  ASSERT_EQ(b.size(), static_cast<std::size_t>(end));
  EXPECT_EQ(std::string(b, 0, 16), std::string("TOVEK 1.00.0001\0", 16));
  EXPECT_EQ(b.substr(1168, 4096 - 1168), std::string(4096 - 1168, '\0'));
  const rb::FileDef h = stored_def(b);
  EXPECT_EQ(h.nFlags, DB_MODE_WRITE);  // 0x1000 cleared
  EXPECT_EQ(h.tUpdate, h.tCreate);
  EXPECT_EQ(h.lFileLen, end);
  EXPECT_EQ(h.lOffsetVectors, vec);
  EXPECT_EQ(words(b, 1064, 7), (std::vector<std::int32_t>{1, 1, 1, 1, 20, 20, ictl}));
  EXPECT_EQ(words(b, 1092, 5), (std::vector<std::int32_t>{1, 1, 64, 64, dctl}));
  EXPECT_EQ(words(b, 1112, 5), (std::vector<std::int32_t>{0, 0, 124, -1, -1}));
  EXPECT_EQ(words(b, 1132, 9),
            (std::vector<std::int32_t>{4096, 4096, ind, 5, 5, isec, -1, -1, vec}));

  EXPECT_EQ(b.substr(4096, 16), std::string(16, 'a'));
  EXPECT_EQ(b.substr(4096 + 9 * 16, 16), std::string(16, 'j'));
  EXPECT_EQ(b.substr(4096 + 160, 1024 - 160), std::string(1024 - 160, '\0'));
  std::string index(400, '\xff');
  for (std::int32_t r = 0; r < 10; ++r) rbtest::put_word(index, 4 * r, r);
  EXPECT_EQ(b.substr(vec, 400), index);
  EXPECT_EQ(words(b, ictl, 5), (std::vector<std::int32_t>{1, 0, 100, 100, vec}));
  EXPECT_EQ(words(b, dctl, 16), (std::vector<std::int32_t>{7, DTF_INDEX, 16, 1024, 10, 100, 64, 2,
                                                           4096, 2048, 10, 0, -1, -1, 0, 0}));
  std::string ind_expected(16384, '\xff');
  rbtest::put_word(ind_expected, 7 * 4, 0);
  EXPECT_EQ(b.substr(ind, 16384), ind_expected);
  EXPECT_EQ(b.substr(isec, 20), std::string(20, '\xff'));
}

// Twenty records of 100 bytes fill two blocks of 1000 exactly: the tables
// follow the second block, no third one is added.
TEST_F(LayoutTest, TablesFollowAFullLastBlockDirectly) {
  const DataDesc full = desc(1, 0, 100, 1000, 20);
  ASSERT_EQ(dbCreate("layout_full.db", 1, &full, 0, DB_MODE_WRITE), 0);
  const std::string rec(100, 'r');
  for (std::int32_t r = 0; r < 20; ++r) ASSERT_EQ(dbWrite(0, 1, r, 0, rec.data()), 0);
  ASSERT_EQ(dbClose(0), 4096);
  const std::string b = read_file("layout_full.db");
  EXPECT_EQ(stored_def(b).lOffsetVectors, 4096 + 2000);
  EXPECT_EQ(b.size(), 4096u + 2000 + 64 + 16384 + 20);
}

}  // namespace
