// Every exported function called with arguments no host should pass: file
// numbers that name no open file, null pointers, negative and extreme
// numbers; without the library, half initialised, and against an open
// database that must come through intact.
#include <climits>
#include <set>
#include <string>

#include "hardening/api_table.h"
#include "support/testkit.h"

namespace {

using namespace apitable;

std::string describe(const Row& row, std::int32_t file, const Args& a, bool null) {
  std::string s = std::string(row.name) + "(file " + std::to_string(file);
  for (std::size_t i = 0; i < row.values.size(); ++i) s += ", " + std::to_string(a[i]);
  return s + (null ? ", null pointers)" : ")");
}

void expect_plain(const Row& row, std::int32_t file, const Args& a, bool null) {
  const std::int32_t r = row.call(file, a, null);
  EXPECT_TRUE(r < 0 || row.plain(r)) << describe(row, file, a, null) << " gave " << r;
}

// The row with each number made hostile in turn, and with null pointers.
void attack_arguments(const Row& row, std::int32_t file) {
  for (std::size_t i = 0; i < row.values.size(); ++i) {
    for (std::int32_t v : row.values[i]) {
      Args a = row.base;
      a[i] = v;
      expect_plain(row, file, a, false);
    }
  }
  if (row.pointers) expect_plain(row, file, row.base, true);
}

// Every call of every row: the library is not there, so nothing may work.
void attack_everything(std::int32_t file) {
  for (const Row& row : all_rows()) {
    expect_plain(row, file, row.base, false);
    attack_arguments(row, file);
  }
}

TEST(HostileArguments, TheTableCoversTheWholeInterface) {
  std::set<std::string> names;
  for (const Row& row : all_rows()) names.insert(row.name);
  EXPECT_EQ(names.size(), 94u);
  EXPECT_EQ(all_rows().size(), 94u);
}

TEST(HostileArguments, WithoutTheLibrary) {
  dbExit();
  attack_everything(0);
  attack_everything(-1);
  EXPECT_EQ(dbInit(8, 4), 0);
  EXPECT_EQ(dbExit(), 0);
}

TEST(HostileArguments, AfterAFailedInit) {
  dbExit();
  ASSERT_EQ(dbInit(0, 4), -90);  // the tunables exist, the file table does not
  attack_everything(0);
  EXPECT_EQ(dbInit(8, 4), 0);
  EXPECT_EQ(dbExit(), 0);
}

TEST(HostileArguments, AfterExitWithAFileOpen) {
  dbExit();
  ASSERT_EQ(dbInit(8, 4), 0);
  std::int32_t file = -1;
  std::vector<hardkit::Stored> model;
  ASSERT_EQ(hardkit::build("hostile_exit.db", file, model), 0);
  ASSERT_EQ(dbExit(), 0);
  attack_everything(file);
  ASSERT_EQ(dbInit(8, 4), 0);
  ASSERT_EQ(dbOpen("hostile_exit.db", 0), 0);
  EXPECT_EQ(hardkit::verify(0, model), "");
  EXPECT_EQ(dbExit(), 0);
}

class HostileOnOpenDatabase : public rbtest::LibraryTest {};

TEST_F(HostileOnOpenDatabase, RefusedAndTheDatabaseIntact) {
  std::int32_t file = -1;
  std::vector<hardkit::Stored> model;
  ASSERT_EQ(hardkit::build("hostile.db", file, model), 0);
  ASSERT_EQ(file, 0);
  ASSERT_EQ(dbCreate("hostile_other.db", 0, nullptr, 0, DB_MODE_WRITE), 1);
  ASSERT_EQ(dbFlush(file), 0);  // dbReset(-1) below may drop clean blocks only
  const std::int32_t empty_slot = 2;
  for (const Row& row : all_rows()) {
    if (row.lifecycle) continue;
    if (row.file) {
      for (std::int32_t bad : {-1, 4, INT_MAX, INT_MIN, empty_slot}) {
        expect_plain(row, bad, row.base, false);
      }
    }
    attack_arguments(row, file);
    ASSERT_EQ(hardkit::verify(file, model), "") << "after " << row.name;
  }
  for (std::int32_t bad : {-1, 4, INT_MAX, INT_MIN}) EXPECT_EQ(dbClose(bad), -6);
  EXPECT_EQ(dbClose(empty_slot), 0);
  EXPECT_EQ(dbClose(1), 4096);
  EXPECT_EQ(dbClose(file), 4096);
  ASSERT_EQ(dbOpen("hostile.db", DB_MODE_WRITE), 0);
  EXPECT_EQ(hardkit::verify(0, model), "");
  EXPECT_EQ(dbClose(0), 4096);
  ASSERT_EQ(dbOpen("hostile.db", 0), 0);
  EXPECT_EQ(hardkit::verify(0, model), "");
}

}  // namespace
