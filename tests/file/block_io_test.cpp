// Positioned block IO and the logical length of the file.
#include <string>

#include "support/testkit.h"

namespace {

using rbtest::file_ctrl;
using rbtest::read_file;

class BlockIoTest : public rbtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    ASSERT_EQ(dbCreate(kName, 0, nullptr, 0, DB_MODE_WRITE), 0);
  }
  std::int32_t& file_len() { return file_ctrl(0).def.lFileLen; }
  static std::string pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7) % 26);
    return s;
  }
  static constexpr const char* kName = "block_io.db";
};

TEST_F(BlockIoTest, CopyToFileRaisesTheLengthOnlyPastTheEnd) {
  const std::string data = pattern(100);
  EXPECT_EQ(dbCopyToFile(0, 4096, data.data(), 100), 100);
  EXPECT_EQ(dbCopyToFile(0, 4000, data.data(), 100), 100);  // ends inside
  EXPECT_EQ(file_len(), 4196);
  EXPECT_EQ(dbCopyToFile(0, 1 << 30, data.data(), 0), 0);
  EXPECT_EQ(dbCopyToFile(0, -8, nullptr, -1), 0);
  char buffer[16] = {};
  EXPECT_EQ(dbCopyToFile(0, -1, buffer, 16), -12);
  EXPECT_EQ(dbCopyToFile(0, 0x7ffffff8, buffer, 16), -12);
  EXPECT_EQ(dbCopyToFile(0, 4096, nullptr, 16), -90);
  EXPECT_EQ(dbCopyFromFile(0, 0, nullptr, 16), -90);
  EXPECT_EQ(dbCopyFromFile(0, -16, buffer, 16), -12);
  EXPECT_EQ(file_len(), 4196);
}

}  // namespace
