// Hostile arguments: file numbers that name no open file, null pointers,
// calls without an initialised library.
#include <climits>
#include <set>
#include <string>
#include <vector>

#include "hardening/api_table.h"
#include "support/testkit.h"

namespace {

using rbtest::file_ctrl;
using ArgumentsTest = rbtest::LibraryTest;

// The operations on a file as a whole: its tables, its bytes, its catalogue.
std::vector<apitable::Row> operations_on_a_file() {
  const std::set<std::string> names = {
      "dbWriteFileDef",       "dbReadFileDef",        "dbWriteDataCtrl",
      "dbReadDataCtrl",       "dbWriteIndexCtrl",     "dbReadIndexCtrl",
      "dbWriteDataIndex",     "dbReadDataIndex",      "dbWriteSections",
      "dbReadSections",       "dbWriteIndDataTypes",  "dbReadIndDataTypes",
      "dbWriteIndSections",   "dbReadIndSections",    "dbFillUpTo",
      "dbCopyToFile",         "dbCopyFromFile",       "dbFlush",
      "dbAddIndexVector",     "dbExpandIndexVectors", "dbExpandIndex",
      "dbSetDataCtrl",        "dbAddDataCtrl",        "dbExpandDataCtrl",
      "dbExpandIndDataTypes", "dbBeginData",          "dbEndData"};
  std::vector<apitable::Row> rows;
  for (apitable::Row& row : apitable::all_rows()) {
    if (names.count(row.name) != 0) rows.push_back(std::move(row));
  }
  EXPECT_EQ(rows.size(), names.size());
  return rows;
}

TEST_F(ArgumentsTest, FileNumbersThatNameNoOpenFile) {
  ASSERT_EQ(dbCreate("args_open.db", 0, nullptr, 0, DB_MODE_WRITE), 0);
  ASSERT_EQ(dbCreate("args_open2.db", 0, nullptr, 0, DB_MODE_WRITE), 1);
  ASSERT_EQ(dbClose(1), 4096);  // slot 1 is empty now
  for (const apitable::Row& op : operations_on_a_file()) {
    for (std::int32_t file_no : {-1, 1, 3, 4, INT_MAX, INT_MIN}) {
      EXPECT_EQ(op.call(file_no, op.base, false), -6) << op.name << " on " << file_no;
    }
  }
  EXPECT_EQ(dbClose(-1), -6);
  EXPECT_EQ(dbClose(4), -6);
  EXPECT_EQ(dbClose(3), 0);
  EXPECT_EQ(dbReset(4), 0);
  EXPECT_EQ(file_ctrl(0).def.lFileLen, 4096);  // the open file is untouched
  EXPECT_EQ(dbClose(0), 4096);
}

TEST_F(ArgumentsTest, OperationsWithoutTheLibrary) {
  ASSERT_EQ(dbExit(), 0);
  const std::vector<apitable::Row> operations = operations_on_a_file();
  for (const apitable::Row& op : operations) {
    EXPECT_EQ(op.call(0, op.base, false), -4) << op.name << " before dbInit";
  }
  EXPECT_EQ(dbInit(1, 0), -90);  // SysData only: the missing Cashsystem is logged
  for (const apitable::Row& op : operations) {
    EXPECT_EQ(op.call(0, op.base, false), -5) << op.name << " without Cashsystem";
  }
  EXPECT_EQ(dbClose(0), -5);
  EXPECT_EQ(dbGetErrorCount(), 1 + static_cast<std::int32_t>(operations.size()));
}

}  // namespace
