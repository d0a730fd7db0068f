// Iterator runs and their counters, refused arguments, and files opened
// for reading. (Wrapped offsets: the limits test.)
#include <string>
#include <vector>

#include "support/testkit.h"

namespace {

using rbtest::desc;
using rbtest::file_ctrl;
using rbtest::read_file;

class RecordIo : public rbtest::LibraryTest {
 protected:
  std::int32_t create(std::vector<DataDesc> types, const char* name = "records.db") {
    const std::int32_t no =
        dbCreate(name, static_cast<std::int32_t>(types.size()), types.data(), 0, DB_MODE_WRITE);
    EXPECT_GE(no, 0);
    return no;
  }
  static std::vector<char> record(std::size_t size, char fill) {
    return std::vector<char>(size, fill);
  }
};

TEST_F(RecordIo, IteratorRunsAndTheirCounters) {
  const std::int32_t f = create({desc(2, DTF_INDEX | DTF_ITERATOR, 10, 100, 30)});
  const std::vector<std::pair<int, int>> writes = {{5, 0}, {5, 1}, {5, 2}, {9, 0}};
  for (auto [r, s] : writes) {
    const auto rec = record(10, static_cast<char>('0' + r + s));
    ASSERT_EQ(dbWrite(f, 2, r, s, rec.data()), 0);
  }
  const rb::FileCtrl& fc = file_ctrl(f);
  EXPECT_EQ(fc.pIndexVectors[0].entries[5], 0);
  EXPECT_EQ(fc.pIndexVectors[1].entries[5], 3);
  EXPECT_EQ(fc.pIndexVectors[0].entries[9], 3);
  std::vector<char> out(10);
  ASSERT_EQ(dbRead(f, 2, 5, 2, out.data(), 10), 0);
  EXPECT_EQ(out[0], '7');
  // A run begins with sub-index 0.
  const auto rec = record(10, 'z');
  EXPECT_EQ(dbWrite(f, 2, 11, 2, rec.data()), -90);
  // An iterator type keeps the area it was declared with.
  EXPECT_EQ(dbWrite(f, 2, 29, 0, rec.data()), 0);
  EXPECT_EQ(dbWrite(f, 2, 29, 40, rec.data()), -3402);
}

TEST_F(RecordIo, BadArgumentsAreRefused) {
  const std::int32_t f = create({desc(1, 0, 16, 64, 4)});
  std::vector<char> buf(16);
  EXPECT_EQ(dbWrite(f, 1, -1, 0, buf.data()), -90);
  EXPECT_EQ(dbWrite(f, 2, 0, 0, buf.data()), -50);
  EXPECT_EQ(dbWrite(f, -2, 0, 0, buf.data()), -90);  // DataCtrl 1 does not exist
  EXPECT_EQ(dbWrite(f, 1, 0, 0, nullptr), -90);
  EXPECT_EQ(dbRead(3, 1, 0, 0, buf.data(), 16), -1);
  EXPECT_EQ(dbRead(f, 1, 400, 0, buf.data(), 16), -52);  // beyond the area
  EXPECT_EQ(dbReadKey(f, 7, 0, buf.data(), 16), -90);
  EXPECT_EQ(dbWriteKey(f, 0, 0, buf.data(), 16), -5001);
  ASSERT_EQ(dbWrite(f, 1, 0, 0, buf.data()), 0);
  EXPECT_EQ(dbWriteKey(f, 0, 0, buf.data(), 16), 0);
  EXPECT_EQ(dbReadKey(f, 0, 0, buf.data(), 16), 0);
}

TEST_F(RecordIo, AFileOpenedForReadingIsNeverWritten) {
  const std::int32_t f = create({desc(1, 0, 16, 64, 4)});
  const auto rec = record(16, 'r');
  ASSERT_EQ(dbWrite(f, 1, 0, 0, rec.data()), 0);
  ASSERT_EQ(dbClose(f), 4096);
  const std::string before = read_file("records.db");
  const std::int32_t g = dbOpen("records.db", 0);
  EXPECT_EQ(dbWrite(g, 1, 50, 0, rec.data()), -102);
  std::int32_t flags = CASH_WRITE;
  EXPECT_EQ(dbGetCashPtr(g, 4096, 64, &flags), nullptr);
  EXPECT_EQ(dbExpandFile(g, 4096, 64), -102);
  std::vector<char> out(16);
  EXPECT_EQ(dbRead(g, 1, 0, 0, out.data(), 16), 0);
  EXPECT_EQ(dbClose(g), 0);
  EXPECT_EQ(read_file("records.db"), before);
}

}  // namespace
