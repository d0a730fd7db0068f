// The shared block cache: slots that follow their bytes, and an index of
// the slots that goes back to scanning once two slots hold one block.
#include <cstring>
#include <string>
#include <vector>

#include "frame/state.h"
#include "records/cache_index.h"
#include "support/testkit.h"

namespace {

using rbtest::desc;
using rbtest::file_ctrl;

class Cache : public rbtest::LibraryTest {
 protected:
  void SetUp() override {
    rbtest::LibraryTest::SetUp();
    dbExit();
    ASSERT_EQ(dbInit(2, 4), 0);
  }
  static int slot_of(std::int32_t file, std::int32_t offset) {
    for (int i = 0; i < rb::g_lib.cash->nCashBuffers; ++i) {
      const rb::CashCtrl& s = *rb::g_lib.buffers[i];
      if (s.pBuffer != nullptr && s.nFileNo == file && s.lOffsetData == offset) return i;
    }
    return -1;
  }
  static void* get(std::int32_t file, std::int32_t offset, std::int32_t& flags,
                   std::int32_t in = 0) {
    flags = in;
    return dbGetCashPtr(file, offset, 4096, &flags);
  }
};

// Offsets shifted past 2^31 - 1 stop at it: two slots then hold one block,
// and the index must go back to scanning.
TEST_F(Cache, SlotsClampedOntoOneBlockTurnTheIndexToScanning) {
  const std::int32_t f = dbCreate("cache.db", 0, nullptr, 0, DB_MODE_WRITE);
  std::int32_t flags = 0;
  ASSERT_NE(get(f, 8192, flags), nullptr);  // read, not dirty: nothing to write back
  ASSERT_NE(get(f, 12288, flags), nullptr);
  ASSERT_EQ(dbShiftOffsets(f, 8192, INT32_MAX - 8192), 0);
  EXPECT_EQ(slot_of(f, INT32_MAX), 0);
  EXPECT_EQ(rb::g_lib.buffers[1]->lOffsetData, INT32_MAX);
  EXPECT_TRUE(rb::testing::cash_index_consistent());
}

// Where the file is mapped, a block that is only read is served from the
// file's bytes in place. Such a block follows its bytes through a growth
// move, and the pointer a host gets is always a copy it may change.
TEST_F(Cache, ReadBlocksFollowTheirBytesAndHostPointersAreCopies) {
  DataDesc d[2] = {desc(1, 0, 100, 4096, 40), desc(2, 0, 100, 4096, 40)};
  std::int32_t f = dbCreate("moved.db", 2, d, 0, DB_MODE_WRITE);
  ASSERT_GE(f, 0);
  std::vector<char> rec(100);
  for (std::int32_t r = 0; r < 40; ++r) {
    std::memset(rec.data(), 'a' + r % 20, rec.size());
    ASSERT_EQ(dbWrite(f, 1, r, 0, rec.data()), 0);
    std::memset(rec.data(), 'A' + r % 20, rec.size());
    ASSERT_EQ(dbWrite(f, 2, r, 0, rec.data()), 0);
  }
  ASSERT_GE(dbClose(f), 0);
  f = dbOpen("moved.db", DB_MODE_WRITE);
  ASSERT_GE(f, 0);
  ASSERT_EQ(dbRead(f, 2, 5, 0, rec.data(), 100), 0);  // type 2's block, clean
  // The second block of type 1 moves type 2 up; the flush then writes that
  // block where type 2 was.
  std::memset(rec.data(), 'z', rec.size());
  ASSERT_EQ(dbWrite(f, 1, 40, 0, rec.data()), 0);
  ASSERT_EQ(dbFlush(f), 0);
  ASSERT_EQ(dbRead(f, 2, 5, 0, rec.data(), 100), 0);
  EXPECT_EQ(std::string(rec.data(), 100), std::string(100, 'F'));

  const rb::DataCtrl& two = file_ctrl(f).pDataCtrl[1];
  ASSERT_EQ(two.nType, 2);
  const std::int32_t at = two.lOffsetData;
  ASSERT_GE(slot_of(f, at), 0);
  std::int32_t flags = 0;
  auto* bytes = static_cast<char*>(get(f, at, flags));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(flags, CASH_HIT);
  bytes[500] = '!';  // record 5 of type 2, changed by the host in place
  ASSERT_EQ(dbRead(f, 2, 5, 0, rec.data(), 100), 0);
  EXPECT_EQ(rec[0], '!');
  ASSERT_GE(dbClose(f), 0);
}

}  // namespace
