// Creating, opening and closing database files.
#include <string>
#include <vector>

#include "frame/state.h"
#include "support/stored.h"
#include "support/testkit.h"

namespace {

using rbtest::desc;
using rbtest::file_ctrl;
using rbtest::read_file;
using rbtest::stored;

class LifecycleTest : public rbtest::LibraryTest {
 protected:
  // A closed file with one indexed type (7: 16-byte records, 100 declared).
  static void make_closed(const char* name, std::int32_t flags = DB_MODE_WRITE) {
    const DataDesc d = desc(7, DTF_INDEX, 16, 1024, 100);
    const std::int32_t file_no = dbCreate(name, 1, &d, 0, flags);
    ASSERT_GE(file_no, 0);
    ASSERT_EQ(dbClose(file_no), (flags & DB_MODE_WRITE) != 0 ? 4096 : 0);
  }
  static std::int32_t open_slot_count() {
    std::int32_t n = 0;
    for (std::int32_t i = 0; i < rb::g_lib.cash->nFiles; ++i) n += rb::g_lib.files[i] != nullptr;
    return n;
  }
};

TEST_F(LifecycleTest, FailedOpensFreeTheirSlot) {
  EXPECT_EQ(dbCreate("life_no_such_dir/x.db", 0, nullptr, 0, DB_MODE_WRITE), -10);
  make_closed("life_locked.db", DB_MODE_WRITE | DB_MODE_LOCK);
  EXPECT_EQ(dbOpen("life_missing.db", DB_MODE_WRITE), -11);
  EXPECT_EQ(dbOpen("life_locked.db", DB_MODE_WRITE), -102);
  EXPECT_EQ(open_slot_count(), 0);
  // A file created without write access never had a commit point.
  make_closed("life_nowrite.db", 0);
  EXPECT_EQ(read_file("life_nowrite.db").size(), 4096u);
  EXPECT_EQ(dbOpen("life_nowrite.db", 0), -55);
  EXPECT_EQ(open_slot_count(), 0);
  EXPECT_EQ(dbOpen("life_locked.db", 0), 0);
  EXPECT_EQ(file_ctrl(0).def.nFlags, 0);
  EXPECT_EQ(dbCloseAll(), 0);
  EXPECT_EQ(open_slot_count(), 0);
}

// Nor is a state that dbOpen would refuse ever committed: dbFlush and
// dbClose fail, and the next open finds the last commit, byte for byte.
TEST_F(LifecycleTest, AStateThatWouldBeRefusedIsNeverCommitted) {
  make_closed("life_refused.db");
  const std::string committed = read_file("life_refused.db");
  ASSERT_EQ(dbOpen("life_refused.db", DB_MODE_WRITE), 0);
  file_ctrl(0).pIndDataTypes[3] = 1;  // a data type without a DataCtrl
  EXPECT_EQ(dbFlush(0), -100);
  EXPECT_EQ(dbClose(0), -100);
  EXPECT_EQ(dbOpen("life_refused.db", 0), 0);
  EXPECT_TRUE(read_file("life_refused.db") == committed);
}

}  // namespace
