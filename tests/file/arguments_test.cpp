// Hostile arguments: file numbers that name no open file, null pointers,
// calls without an initialised library.
#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "support/testkit.h"

namespace {

using rbtest::desc;
using rbtest::file_ctrl;
using ArgumentsTest = rbtest::LibraryTest;

struct Operation {
  const char* name;
  std::function<std::int32_t(std::int32_t)> call;
};

std::vector<Operation> operations_on_a_file() {
  static char buffer[64];
  static const DataDesc d = desc(1, 0, 10, 100, 5);
  return {
      {"dbWriteFileDef", dbWriteFileDef},
      {"dbReadFileDef", dbReadFileDef},
      {"dbWriteDataCtrl", dbWriteDataCtrl},
      {"dbReadDataCtrl", dbReadDataCtrl},
      {"dbWriteIndexCtrl", dbWriteIndexCtrl},
      {"dbReadIndexCtrl", dbReadIndexCtrl},
      {"dbWriteDataIndex", dbWriteDataIndex},
      {"dbReadDataIndex", dbReadDataIndex},
      {"dbWriteSections", dbWriteSections},
      {"dbReadSections", dbReadSections},
      {"dbWriteIndDataTypes", dbWriteIndDataTypes},
      {"dbReadIndDataTypes", dbReadIndDataTypes},
      {"dbWriteIndSections", dbWriteIndSections},
      {"dbReadIndSections", dbReadIndSections},
      {"dbFillUpTo", [](std::int32_t f) { return dbFillUpTo(f, 10000); }},
      {"dbCopyToFile", [](std::int32_t f) { return dbCopyToFile(f, 4096, buffer, 64); }},
      {"dbCopyFromFile", [](std::int32_t f) { return dbCopyFromFile(f, 0, buffer, 64); }},
      {"dbFlush", dbFlush},
      {"dbAddIndexVector", [](std::int32_t f) { return dbAddIndexVector(f, 10, 1, 0); }},
      {"dbExpandIndexVectors", dbExpandIndexVectors},
      {"dbExpandIndex", [](std::int32_t f) { return dbExpandIndex(f, 0, 5); }},
      {"dbSetDataCtrl", [](std::int32_t f) { return dbSetDataCtrl(f, 1, &d); }},
      {"dbAddDataCtrl", [](std::int32_t f) { return dbAddDataCtrl(f, &d); }},
      {"dbExpandDataCtrl", dbExpandDataCtrl},
      {"dbExpandIndDataTypes", [](std::int32_t f) { return dbExpandIndDataTypes(f, 5000); }},
      {"dbBeginData", [](std::int32_t f) { return dbBeginData(f, &d); }},
      {"dbEndData", dbEndData},
  };
}

TEST_F(ArgumentsTest, FileNumbersThatNameNoOpenFile) {
  ASSERT_EQ(dbCreate("args_open.db", 0, nullptr, 0, DB_MODE_WRITE), 0);
  ASSERT_EQ(dbCreate("args_open2.db", 0, nullptr, 0, DB_MODE_WRITE), 1);
  ASSERT_EQ(dbClose(1), 4096);  // slot 1 is empty now
  for (const Operation& op : operations_on_a_file()) {
    for (std::int32_t file_no : {-1, 1, 3, 4, INT_MAX, INT_MIN}) {
      EXPECT_EQ(op.call(file_no), -6) << op.name << " on " << file_no;
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
  for (const Operation& op : operations_on_a_file()) {
    EXPECT_EQ(op.call(0), -4) << op.name << " before dbInit";
  }
  EXPECT_EQ(dbInit(1, 0), -90);  // SysData only: the missing Cashsystem is logged
  for (const Operation& op : operations_on_a_file()) {
    EXPECT_EQ(op.call(0), -5) << op.name << " without Cashsystem";
  }
  EXPECT_EQ(dbClose(0), -5);
  EXPECT_EQ(dbGetErrorCount(), 1 + static_cast<std::int32_t>(operations_on_a_file().size()));
}

}  // namespace
