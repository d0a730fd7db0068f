// Shared fixture of the section tests: a new database file with write
// access and helpers to build sections and keys.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "frame/heap.h"
#include "support/testkit.h"

namespace sectest {

using Key = std::array<std::int32_t, 4>;

class SectionTest : public rbtest::LibraryTest {
 protected:
  void SetUp() override {
    rbtest::LibraryTest::SetUp();
    rbtest::remove_file(kName);
    fno = dbCreate(kName, 0, nullptr, 0, DB_MODE_WRITE);
    ASSERT_EQ(fno, 0);
  }

  rb::FileCtrl& f() { return rbtest::file_ctrl(fno); }
  rb::Section& section(std::int32_t i) { return f().pSection[i]; }
  rb::DataCtrl& ctrl(std::int32_t k) { return f().pDataCtrl[k]; }

  // dbBeginSections with the given depth; the test fails unless it succeeds.
  std::int32_t open_section(std::int32_t no, std::int32_t depth) {
    const std::int32_t i = dbBeginSections(fno, no, depth, 0);
    EXPECT_GE(i, 0);
    return i;
  }

  // Adds key through the bracket and closes it again.
  void add_key(std::int32_t no, std::int32_t i, Key key) {
    EXPECT_EQ(dbBeginSection(fno, no, key.data()), i);
    EXPECT_EQ(dbEndSection(fno, i), i);
  }

  void reopen(std::int32_t mode) {
    ASSERT_GE(dbClose(fno), 0);
    fno = dbOpen(kName, mode);
    ASSERT_EQ(fno, 0);
  }

  static constexpr const char* kName = "sections.db";
  std::int32_t fno = -1;
};

}  // namespace sectest
