// Creating, opening and closing database files.
#include <string>
#include <vector>

#include "frame/heap.h"
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

// Each close places vectors and tables anew behind everything written (an
// overlap the open checks refuse), a grown vector is stored whole, and
// what a reopened file adds survives.
TEST_F(LifecycleTest, CloseReopenCyclesNeverOverlapTables) {
  make_closed("life_cycle.db");
  ASSERT_EQ(dbOpen("life_cycle.db", DB_MODE_WRITE), 0);
  {
    rb::FileCtrl& f = file_ctrl(0);
    EXPECT_EQ(f.def.lOffsetVectors, 4096);
    // Slots of records the type counts, as an open accepts them.
    f.pDataCtrl[0].lFileRecs = 5;
    f.pIndexVectors[0].entries[5] = 3;
    EXPECT_EQ(dbExpandIndex(0, 0, 150), 0);  // 100 -> 200 entries
    f.pIndexVectors[0].entries[199] = 4;
    const DataDesc added = desc(9, DTF_INDEX, 100, 4096);
    EXPECT_EQ(dbBeginData(0, &added), 1);
    EXPECT_EQ(dbEndData(0), 1);
  }
  ASSERT_EQ(dbClose(0), 4096);
  const std::string bytes = read_file("life_cycle.db");
  const rb::FileDef d = stored_def(bytes);
  EXPECT_EQ(d.lOffsetVectors, 10240);
  const auto ic = stored<rb::IndexCtrl>(bytes, d.lOffsetIndexCtrl);
  EXPECT_EQ(ic.lIndexLen, 200);
  EXPECT_EQ(ic.lOffsetIndex, 10240);
  EXPECT_EQ(rbtest::word_at(bytes, ic.lOffsetIndex + 4 * 5), 3);
  EXPECT_EQ(rbtest::word_at(bytes, ic.lOffsetIndex + 4 * 199), 4);

  // Two more rounds: reopen for writing and close again unchanged.
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(dbOpen("life_cycle.db", DB_MODE_WRITE), 0);
    ASSERT_EQ(dbClose(0), 4096);
    const std::string again = read_file("life_cycle.db");
    EXPECT_EQ(again.substr(4096), bytes.substr(4096));
  }

  ASSERT_EQ(dbOpen("life_cycle.db", 0), 0);
  rb::FileCtrl& f = file_ctrl(0);
  EXPECT_EQ(f.pIndDataTypes[9], 1);
  EXPECT_EQ(f.pDataCtrl[1].lOffsetData, 6144);
  EXPECT_EQ(f.pIndexVectors[0].entries[5], 3);
  EXPECT_EQ(f.pIndexVectors[1].capacity, 100);
}

TEST_F(LifecycleTest, ReopenStampsTheUpdateTime) {
  make_closed("life_time.db");
  std::string bytes = read_file("life_time.db");
  put_word(bytes, offsetof(rb::FileDef, tCreate), 1000);
  put_word(bytes, offsetof(rb::FileDef, tUpdate), 1000);
  write_file("life_time.db", bytes);
  ASSERT_EQ(dbOpen("life_time.db", 0), 0);
  EXPECT_EQ(file_ctrl(0).def.tUpdate, 1000);
  ASSERT_EQ(dbClose(0), 0);
  ASSERT_EQ(dbOpen("life_time.db", DB_MODE_WRITE | 0x200), 0);
  EXPECT_GT(file_ctrl(0).def.tUpdate, 1000);
  ASSERT_EQ(dbClose(0), 4096);
  const rb::FileDef d = stored_def(read_file("life_time.db"));
  EXPECT_EQ(d.tCreate, 1000);
  EXPECT_GT(d.tUpdate, 1000);
  EXPECT_EQ(d.nFlags, DB_MODE_WRITE | 0x200);
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
  cases.push_back({"DataCtrl size", patched(offsetof(rb::FileDef, nDataCtrlSize), 60), -101});
  cases.push_back({"Section size", patched(offsetof(rb::FileDef, nSectionSize), 0), -101});
  cases.push_back(
      {"huge IndDataTypesX", patched(offsetof(rb::FileDef, nIndDataTypesX), 0x7fffffff), -100});
  cases.push_back(
      {"huge DataTypesX", patched(offsetof(rb::FileDef, nDataTypesX), 0x7fffffff), -100});
  cases.push_back({"DataTypes > X", patched(offsetof(rb::FileDef, nDataTypes), 2), -100});
  cases.push_back({"IndDataTypes > X", patched(offsetof(rb::FileDef, nIndDataTypes), 4097), -100});
  cases.push_back({"negative count", patched(offsetof(rb::FileDef, nIndexCtrls), -1), -100});
  cases.push_back(
      {"huge IndexVectorsX", patched(offsetof(rb::FileDef, nIndexVectorsX), 0x40000000), -100});
  cases.push_back(
      {"huge IndSectionsX", patched(offsetof(rb::FileDef, nIndSectionsX), 0x7fffffff), -100});
  cases.push_back(
      {"IndSections without capacity", patched(offsetof(rb::FileDef, nIndSectionsX), 0), -100});
  cases.push_back({"IndDataTypes -> no DataCtrl", patched(d.lOffsetIndDataTypes + 4 * 3, 1), -100});
  cases.push_back({"IndexCtrl length huge", patched(d.lOffsetIndexCtrl + 12, 0x7fffffff), -100});
  cases.push_back({"DataCtrl names no vector", patched(d.lOffsetDataCtrl + 44, 5), -100});
  cases.push_back({"vector beyond the file", patched(d.lOffsetIndexCtrl + 16, d.lFileLen), -20});
  cases.push_back({"IndDataTypes beyond the file",
                   patched(offsetof(rb::FileDef, lOffsetIndDataTypes), d.lFileLen - 100), -20});
  cases.push_back({"IndSections beyond the file",
                   patched(offsetof(rb::FileDef, lOffsetIndSections), 0x7ffffff0), -20});
  cases.push_back({"DataCtrl table beyond the file",
                   patched(offsetof(rb::FileDef, lOffsetDataCtrl), 0x7fff0000), -14});
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

// The n-th allocation of dbCreate, then of dbOpen, fails for n = 1, 2, ...
// until it succeeds: each failure reports its own code and frees the slot.
TEST_F(LifecycleTest, EveryAllocationOfCreateAndOpenFailsCleanly) {
  const auto codes = [&](const auto& call) {
    std::vector<std::int32_t> seen;
    while (seen.size() < 200) {
      rb::testing::fail_allocation_at(static_cast<std::int64_t>(seen.size()) + 1);
      const std::int32_t r = call();
      rb::testing::fail_allocation_at(0);
      if (r >= 0) return seen;
      EXPECT_EQ(open_slot_count(), 0) << r;
      EXPECT_EQ(dbGetLastError(), r);
      seen.push_back(r);
    }
    ADD_FAILURE() << "never succeeded";
    return seen;
  };
  const DataDesc d = desc(7, DTF_INDEX, 16, 1024, 100);
  EXPECT_EQ(codes([&] { return dbCreate("life_alloc.db", 1, &d, 3, DB_MODE_WRITE); }),
            (std::vector<std::int32_t>{-1052, -1057, -1058, -1053, -1056, -3051, -3052, -2, -1059,
                                       -1059, -1101}));
  EXPECT_EQ(file_ctrl(0).def.nDataTypes, 1);
  ASSERT_EQ(dbAddSection(0, 0, 0), 0);  // so that the open reads every table
  ASSERT_EQ(dbClose(0), 4096);
  // Two index vectors: the data type's and the section's.
  EXPECT_EQ(codes([] { return dbOpen("life_alloc.db", DB_MODE_WRITE); }),
            (std::vector<std::int32_t>{-1252, -1260, -1260, -1111, -1257, -1258, -1253, -1254,
                                       -1255, -1259, -1259, -1256}));
  EXPECT_EQ(file_ctrl(0).def.nSections, 1);
}

}  // namespace
