// dbInit / dbExit, the tunables and the version text.
#include <vector>

#include "frame/state.h"
#include "support/testkit.h"

namespace {

using rbtest::LibraryTest;
using rbtest::log_lines;

struct Tunable {
  const char* name;
  std::int32_t (*set)(std::int32_t);
  std::int32_t (*get)();
  std::int32_t initial;
};

const Tunable kTunables[] = {
    {"MaxDataType", dbSetMaxDataType, dbGetMaxDataType, 4096},
    {"MaxSection", dbSetMaxSection, dbGetMaxSection, 5},
    {"BucketBlock", dbSetBucketBlock, dbGetBucketBlock, 4096},
    {"Bucket", dbSetBucket, dbGetBucket, 16},
    {"BucketMsk", dbSetBucketMsk, dbGetBucketMsk, 15},
};

TEST_F(LibraryTest, SettersReturnTheOldValueAndASecondInitRestoresDefaults) {
  for (const Tunable& t : kTunables) {
    SCOPED_TRACE(t.name);
    EXPECT_EQ(t.set(-7), t.initial);  // not tested: any value is stored
    EXPECT_EQ(t.set(20), -7);
    EXPECT_EQ(t.get(), 20);
  }
  EXPECT_EQ(dbInit(8, 4), -1001);
  EXPECT_EQ(dbGetLastError(), -1001);
  for (const Tunable& t : kTunables) EXPECT_EQ(t.get(), t.initial) << t.name;
  // Still initialised: files can be created.
  EXPECT_EQ(dbCreate("state_second_init.db", 0, nullptr, 0, DB_MODE_WRITE), 0);
}

// Without dbInit everything answers -4 (no SysData) or -5 (no Cashsystem);
// dbInit with invalid sizes leaves SysData only, until a valid dbInit.
TEST_F(LibraryTest, WithoutTheLibraryOrWithInvalidSizes) {
  ASSERT_EQ(dbExit(), 0);
  EXPECT_EQ(dbExit(), -5);
  for (const Tunable& t : kTunables) EXPECT_EQ(t.set(3), -4) << t.name;
  EXPECT_EQ(dbGetErrorCount(), -4);
  EXPECT_EQ(dbSetError(-90), -4);
  EXPECT_EQ(dbCreate("state_nolib.db", 0, nullptr, 0, DB_MODE_WRITE), -4);
  EXPECT_EQ(dbOpen("state_nolib.db", 0), -4);
  EXPECT_EQ(dbCloseAll(), -5);
  EXPECT_STREQ(dbGetLibVersion(), "1.01.0000 - 10.09.05");
  EXPECT_FALSE(rbtest::file_exists("tovek.log"));
  EXPECT_FALSE(rbtest::file_exists("state_nolib.db"));
  for (const auto& [buffers, files] : std::vector<std::pair<int, int>>{{0, 5}, {5, 0}, {-1, 1}}) {
    rbtest::remove_file("tovek.log");
    EXPECT_EQ(dbInit(buffers, files), -90);
    EXPECT_EQ(dbGetLastError(), -90);
    EXPECT_EQ(log_lines().size(), 3u);
    EXPECT_EQ(dbCreate("state_half.db", 0, nullptr, 0, DB_MODE_WRITE), -5);  // logged now
    EXPECT_EQ(dbExit(), -5);
  }
  EXPECT_EQ(dbInit(5, 5), 0);
  EXPECT_EQ(dbGetErrorCount(), 0);
}

}  // namespace
