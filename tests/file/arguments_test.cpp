// Operations on a file called with file numbers that name no open file, and
// without an initialised library.
#include <climits>
#include <functional>
#include <vector>

#include "support/testkit.h"

namespace {

using rbtest::file_ctrl;
using ArgumentsTest = rbtest::LibraryTest;

using Operation = std::function<std::int32_t(std::int32_t)>;

// The operations on a file as a whole: its tables, its bytes, its catalogue.
std::vector<Operation> operations_on_a_file() {
  static char bytes[16];
  static const DataDesc type = rbtest::desc(3, 0, 8, 64, 4);
  return {
      [](std::int32_t f) { return dbWriteFileDef(f); },
      [](std::int32_t f) { return dbReadFileDef(f); },
      [](std::int32_t f) { return dbWriteDataCtrl(f); },
      [](std::int32_t f) { return dbReadDataCtrl(f); },
      [](std::int32_t f) { return dbWriteIndexCtrl(f); },
      [](std::int32_t f) { return dbReadIndexCtrl(f); },
      [](std::int32_t f) { return dbWriteDataIndex(f); },
      [](std::int32_t f) { return dbReadDataIndex(f); },
      [](std::int32_t f) { return dbWriteSections(f); },
      [](std::int32_t f) { return dbReadSections(f); },
      [](std::int32_t f) { return dbWriteIndDataTypes(f); },
      [](std::int32_t f) { return dbReadIndDataTypes(f); },
      [](std::int32_t f) { return dbWriteIndSections(f); },
      [](std::int32_t f) { return dbReadIndSections(f); },
      [](std::int32_t f) { return dbFillUpTo(f, 8192); },
      [](std::int32_t f) { return dbCopyToFile(f, 0, bytes, 4); },
      [](std::int32_t f) { return dbCopyFromFile(f, 0, bytes, 4); },
      [](std::int32_t f) { return dbFlush(f); },
      [](std::int32_t f) { return dbAddIndexVector(f, 10, 1, 0); },
      [](std::int32_t f) { return dbExpandIndexVectors(f); },
      [](std::int32_t f) { return dbExpandIndex(f, 0, 0); },
      [](std::int32_t f) { return dbSetDataCtrl(f, 1, &type); },
      [](std::int32_t f) { return dbAddDataCtrl(f, &type); },
      [](std::int32_t f) { return dbExpandDataCtrl(f); },
      [](std::int32_t f) { return dbExpandIndDataTypes(f, 5); },
      [](std::int32_t f) { return dbBeginData(f, &type); },
      [](std::int32_t f) { return dbEndData(f); },
  };
}

TEST_F(ArgumentsTest, FileNumbersThatNameNoOpenFile) {
  ASSERT_EQ(dbCreate("args_open.db", 0, nullptr, 0, DB_MODE_WRITE), 0);
  ASSERT_EQ(dbCreate("args_open2.db", 0, nullptr, 0, DB_MODE_WRITE), 1);
  ASSERT_EQ(dbClose(1), 4096);  // slot 1 is empty now
  const std::vector<Operation> operations = operations_on_a_file();
  for (std::size_t i = 0; i < operations.size(); ++i) {
    for (std::int32_t file_no : {-1, 1, 3, 4, INT_MAX, INT_MIN}) {
      EXPECT_EQ(operations[i](file_no), -6) << "operation " << i << " on " << file_no;
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
  const std::vector<Operation> operations = operations_on_a_file();
  for (const Operation& op : operations) EXPECT_EQ(op(0), -4);
  EXPECT_EQ(dbInit(1, 0), -90);  // SysData only: the missing Cashsystem is logged
  for (const Operation& op : operations) EXPECT_EQ(op(0), -5);
  EXPECT_EQ(dbClose(0), -5);
  EXPECT_EQ(dbGetErrorCount(), 1 + static_cast<std::int32_t>(operations.size()));
}

}  // namespace
