// Record addressing, slots, counters and the faults a write must never
// commit: lost slots, shared places, stale bytes. (Wrapped offsets: the
// limits test.)
#include <cstring>
#include <string>
#include <vector>

#include "frame/heap.h"
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

TEST_F(RecordIo, RecordLandsInItsBlockAtTheComputedFileOffset) {
  // 40 records of 100 bytes per block: record 85 is the sixth of block 2.
  const std::int32_t f = create({desc(3, 0, 100, 4096, 1000)});
  const auto rec = record(100, 'R');
  ASSERT_EQ(dbWrite(f, 3, 85, 0, rec.data()), 0);
  EXPECT_EQ(file_ctrl(f).pDataCtrl[0].lFileRecs, 86);
  ASSERT_EQ(dbFlush(f), 0);
  const std::string bytes = read_file("records.db");
  ASSERT_GE(bytes.size(), 12288u + 4096u);
  EXPECT_EQ(bytes.substr(12788, 100), std::string(100, 'R'));
  // The rest of the new block, and the last 96 bytes that hold no record,
  // are zero bytes.
  EXPECT_EQ(bytes.substr(12288, 500), std::string(500, '\0'));
  EXPECT_EQ(bytes.substr(12888, 4096 - 600), std::string(4096 - 600, '\0'));
}

TEST_F(RecordIo, IndexedTypesHandOutSlotsInFirstWriteOrder) {
  const std::int32_t f = create({desc(5, DTF_INDEX, 8, 64, 20)});
  const auto rec = record(8, 'x');
  for (std::int32_t r : {7, 3, 7, 12}) ASSERT_EQ(dbWrite(f, 5, r, 0, rec.data()), 0);
  const rb::FileCtrl& fc = file_ctrl(f);
  const std::int32_t* index = fc.pIndexVectors[0].entries;
  EXPECT_EQ(index[7], 0);
  EXPECT_EQ(index[3], 1);
  EXPECT_EQ(index[12], 2);
  EXPECT_EQ(fc.pDataCtrl[0].lMaxIndex, 13);
  std::vector<char> out(8);
  EXPECT_EQ(dbRead(f, 5, 4, 0, out.data(), 8), -53);    // never written
  EXPECT_EQ(dbRead(f, 5, 500, 0, out.data(), 8), -53);  // beyond the vector
}

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

TEST_F(RecordIo, GrowingAnAreaMovesEverythingBehindIt) {
  const std::int32_t f = create({desc(1, 0, 100, 4096, 40), desc(2, 0, 100, 4096, 40)});
  const auto b = record(100, 'B');
  ASSERT_EQ(dbWrite(f, 2, 0, 0, b.data()), 0);
  ASSERT_EQ(file_ctrl(f).pDataCtrl[1].lOffsetData, 8192);
  const auto a = record(100, 'A');
  ASSERT_EQ(dbWrite(f, 1, 200, 0, a.data()), 0);  // block 5 of type 1
  EXPECT_EQ(file_ctrl(f).pDataCtrl[1].lOffsetData, 8192 + 5 * 4096);
  std::vector<char> out(100);
  ASSERT_EQ(dbRead(f, 2, 0, 0, out.data(), 100), 0);
  EXPECT_EQ(out, b);
  // The room opened holds zero bytes, not a copy of what moved.
  ASSERT_EQ(dbRead(f, 1, 41, 0, out.data(), 100), 0);
  EXPECT_EQ(out, record(100, '\0'));
  ASSERT_EQ(dbClose(f), 4096);
  const std::int32_t g = dbOpen("records.db", 0);
  ASSERT_EQ(dbRead(g, 2, 0, 0, out.data(), 100), 0);
  EXPECT_EQ(out, b);
  ASSERT_EQ(dbRead(g, 1, 200, 0, out.data(), 100), 0);
  EXPECT_EQ(out, a);
}

TEST_F(RecordIo, AnEmptyGrowingAreaKeepsItsStartAndLaterEmptyAreasMove) {
  const std::int32_t f = create({desc(1, 0, 64, 64, 1)});
  DataDesc second = desc(2, 0, 64, 64);
  DataDesc third = desc(3, 0, 64, 64);
  ASSERT_EQ(dbAddDataCtrl(f, &second), 1);
  ASSERT_EQ(dbAddDataCtrl(f, &third), 2);
  const std::int32_t start = file_ctrl(f).pDataCtrl[1].lOffsetData;
  ASSERT_EQ(file_ctrl(f).pDataCtrl[2].lOffsetData, start);
  const auto rec = record(64, 'q');
  ASSERT_EQ(dbWrite(f, 1, 0, 0, rec.data()), 0);  // something behind the empty areas
  ASSERT_EQ(dbWrite(f, 2, 0, 0, rec.data()), 0);
  EXPECT_EQ(file_ctrl(f).pDataCtrl[1].lOffsetData, start);
  EXPECT_EQ(file_ctrl(f).pDataCtrl[2].lOffsetData, start + 64);
  const auto third_rec = record(64, 't');
  ASSERT_EQ(dbWrite(f, 3, 0, 0, third_rec.data()), 0);
  std::vector<char> out(64);
  ASSERT_EQ(dbRead(f, 2, 0, 0, out.data(), 64), 0);
  EXPECT_EQ(out, rec);
}

TEST_F(RecordIo, PlacedRecordsEachKeepAPlaceOfTheirOwn) {
  const std::int32_t f = create({desc(1, 0, 32, 256, 8), desc(4, DTF_INDEX | DTF_PLACED, 20, 20)});
  for (char c : {'a', 'b', 'c'}) {
    const auto rec = record(20, c);
    ASSERT_EQ(dbWrite(f, 4, c - 'a', 0, rec.data()), 0);  // before any flush
  }
  ASSERT_EQ(dbClose(f), 4096);
  const std::int32_t g = dbOpen("records.db", DB_MODE_WRITE);
  const auto d = record(20, 'd');
  ASSERT_EQ(dbWrite(g, 4, 3, 0, d.data()), 0);  // after a reopen for writing
  const auto grow = record(32, 'g');
  ASSERT_EQ(dbWrite(g, 1, 100, 0, grow.data()), 0);  // the area before them grows
  ASSERT_EQ(dbClose(g), 4096);
  const std::int32_t h = dbOpen("records.db", 0);
  std::vector<char> out(20);
  for (char c : {'a', 'b', 'c', 'd'}) {
    ASSERT_EQ(dbRead(h, 4, c - 'a', 0, out.data(), 20), 0);
    EXPECT_EQ(out, record(20, c)) << c;
  }
}

TEST_F(RecordIo, AFailedWriteHandsOutNoSlot) {
  const std::int32_t f = create({desc(6, DTF_INDEX, 16, 4096, 10)});
  const auto a = record(16, 'a');
  rb::testing::fail_allocation_at(1);  // the cache buffer of the first block
  EXPECT_EQ(dbWrite(f, 6, 4, 0, a.data()), -70);
  rb::testing::fail_allocation_at(0);
  std::vector<char> out(16);
  EXPECT_EQ(dbRead(f, 6, 4, 0, out.data(), 16), -53);
  const auto b = record(16, 'b');
  ASSERT_EQ(dbWrite(f, 6, 8, 0, b.data()), 0);
  ASSERT_EQ(dbWrite(f, 6, 4, 0, a.data()), 0);
  ASSERT_EQ(dbRead(f, 6, 8, 0, out.data(), 16), 0);
  EXPECT_EQ(out, b);
  EXPECT_EQ(file_ctrl(f).pDataCtrl[0].lFileRecs, 2);
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
