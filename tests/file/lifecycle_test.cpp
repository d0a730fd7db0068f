// Creating, opening and closing database files.
#include <string>
#include <vector>

#include "frame/state.h"
#include "support/stored.h"
#include "support/testkit.h"

namespace {

using rbtest::desc;
using rbtest::file_ctrl;
using rbtest::put_word;
using rbtest::read_file;
using rbtest::stored;
using rbtest::stored_def;
using rbtest::write_file;

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
  EXPECT_EQ(dbClose(0), 0);
}

// A damaged file is refused and leaves its slot free.
TEST_F(LifecycleTest, CorruptFilesAreRefused) {
  make_closed("life_good.db");
  const std::string good = read_file("life_good.db");
  const rb::FileDef d = stored_def(good);
  struct Damage {
    const char* what;
    std::string bytes;
    std::int32_t code;
  };
  std::vector<Damage> cases;
  const auto patched = [&](std::size_t offset, std::int32_t value) {
    std::string b = good;
    put_word(b, offset, value);
    return b;
  };
  cases.push_back({"empty", "", -100});
  cases.push_back({"1167 bytes", good.substr(0, 1167), -100});
  cases.push_back({"foreign id", "tovek" + good.substr(5), -101});
  cases.push_back({"IndexCtrl size", patched(offsetof(rb::FileDef, nIndexCtrlSize), 24), -101});
  cases.push_back({"DataTypes > X", patched(offsetof(rb::FileDef, nDataTypes), 2), -100});
  cases.push_back({"IndDataTypes -> no DataCtrl", patched(d.lOffsetIndDataTypes + 4 * 3, 1), -100});
  cases.push_back({"DataCtrl names no vector", patched(d.lOffsetDataCtrl + 44, 5), -100});
  cases.push_back({"vector beyond the file", patched(d.lOffsetIndexCtrl + 16, d.lFileLen), -20});
  cases.push_back({"boundary beyond the length",
                   patched(offsetof(rb::FileDef, lOffsetVectors), d.lFileLen + 1), -100});
  cases.push_back({"truncated table area", good.substr(0, good.size() - 4000), -100});

  for (const Damage& c : cases) {
    SCOPED_TRACE(c.what);
    write_file("life_bad.db", c.bytes);
    for (std::int32_t mode : {0, DB_MODE_WRITE}) {
      EXPECT_EQ(dbOpen("life_bad.db", mode), c.code);
      EXPECT_EQ(open_slot_count(), 0);
    }
  }
  EXPECT_EQ(dbOpen("life_good.db", DB_MODE_WRITE), 0);
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
