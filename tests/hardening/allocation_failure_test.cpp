// Running out of memory anywhere: one scenario through every subsystem,
// with the n-th allocation failing for n = 1, 2, ... until it completes.
// Each failure must come back as a negative code and leave the library
// usable; LeakSanitizer (the sanitizer build) sees every block that a
// failure would leave behind.
#include <cstdio>
#include <string>
#include <vector>

#include "frame/heap.h"
#include "hardening/hardening_kit.h"
#include "support/testkit.h"

namespace {

constexpr const char* kName = "allocation.db";

// The scenario: its first negative code, or 0 when all of it worked.
std::int32_t scenario(std::vector<hardkit::Stored>& model) {
  if (const std::int32_t r = dbInit(8, 4); r < 0) return r;
  std::int32_t file = -1;
  if (const std::int32_t r = hardkit::build(kName, file, model); r < 0) return r;
  const std::int32_t queries[] = {dbGetFirstDataType(file),
                                  dbGetNextDataType(file),
                                  dbGetDataTypeSize(file, 3),
                                  dbGetDataTypeMaxCount(file, 2),
                                  dbGetIndex(file, -1, 2, 12),
                                  dbGetDataTypeRecs(file, 3, 5),
                                  dbDumpAllDataCtrl(file),
                                  dbDumpSectionKeys(file, 1, 1) - 1,
                                  dbDumpCashCtrl(),
                                  dbFlush(file)};
  for (std::int32_t r : queries) {
    if (r < 0) return r;
  }
  if (const std::int32_t r = dbClose(file); r < 0) return r;
  file = dbOpen(kName, DB_MODE_WRITE);
  if (file < 0) return file;
  if (!hardkit::verify(file, model).empty()) return -1000000;
  // Growth after the reopen: the plain type once more, a new indexed type.
  const std::string more = hardkit::pattern(1, 40, 0, 10);
  if (const std::int32_t r = dbWrite(file, 1, 40, 0, more.data()); r < 0) return r;
  model.push_back(hardkit::Stored{-1, {}, 1, 40, 0, more});
  const DataDesc added{8, DTF_INDEX, 4, 16, 0};
  if (const std::int32_t r = dbAddDataCtrl(file, &added); r < 0) return r;
  for (std::int32_t rec = 0; rec < 150; rec += 7) {
    const std::string bytes = hardkit::pattern(8, rec, 0, 4);
    if (const std::int32_t r = dbWrite(file, 8, rec, 0, bytes.data()); r < 0) return r;
    model.push_back(hardkit::Stored{-1, {}, 8, rec, 0, bytes});
  }
  return dbClose(file) < 0 ? -1 : 0;
}

// After the scenario, whatever it left: the library must close down and
// start again, and the whole scenario must then work.
void expect_usable(std::int64_t n) {
  rb::testing::fail_allocation_at(0);
  dbExit();
  std::vector<hardkit::Stored> model;
  ASSERT_EQ(scenario(model), 0) << "after the failure of allocation " << n;
  ASSERT_EQ(dbOpen(kName, 0), 0);
  EXPECT_EQ(hardkit::verify(0, model), "") << "after the failure of allocation " << n;
  EXPECT_EQ(dbExit(), 0);
}

TEST(AllocationFailure, EveryAllocationOfTheScenario) {
  dbExit();
  std::int64_t n = 1;
  for (;; ++n) {
    std::remove("tovek.tst");
    std::vector<hardkit::Stored> model;
    rb::testing::fail_allocation_at(n);
    const std::int32_t r = scenario(model);
    const bool injected = rb::testing::allocation_count() >= n;
    rb::testing::fail_allocation_at(0);
    if (!injected) {
      EXPECT_EQ(r, 0);
      break;
    }
    EXPECT_LT(r, 0) << "allocation " << n << " failed unnoticed";
    ASSERT_NO_FATAL_FAILURE(expect_usable(n));
  }
  std::printf("allocation points exercised: %lld\n", static_cast<long long>(n - 1));
  EXPECT_GT(n, 50);
  dbExit();
}

}  // namespace
