// Positioned block IO: dbFillUpTo, dbCopyToFile, dbCopyFromFile.
#include <string>
#include <vector>

#include "frame/heap.h"
#include "frame/state.h"
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
  // The transfers here bypass the cache: the file holds them at once.
  std::string on_disk() { return read_file(kName); }
  static std::string pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7) % 26);
    return s;
  }
  static constexpr const char* kName = "block_io.db";
};

// dbFillUpTo writes zeros from the logical end, over old bytes; a target
// not beyond the end does nothing; a missing zero buffer is reported.
TEST_F(BlockIoTest, FillUpTo) {
  std::string garbage(8192, 'g');
  ASSERT_EQ(dbCopyToFile(0, 4096, garbage.data(), 8192), 8192);
  file_len() = 6000;
  for (std::int32_t length : {6000, 100, -5}) EXPECT_EQ(dbFillUpTo(0, length), 0);
  rb::testing::fail_allocation_at(1);
  EXPECT_EQ(dbFillUpTo(0, 9000), -2001);
  rb::testing::fail_allocation_at(0);
  EXPECT_EQ(file_len(), 6000);
  EXPECT_EQ(dbFillUpTo(0, 6000 + 70000), 70000);
  EXPECT_EQ(file_len(), 76000);
  const std::string bytes = on_disk();
  ASSERT_EQ(bytes.size(), 76000u);
  EXPECT_EQ(bytes.substr(4096, 1904), std::string(1904, 'g'));
  EXPECT_EQ(bytes.substr(6000), std::string(70000, '\0'));
}

// Transfers longer than the piece size, with a piece size that divides
// nothing, arrive whole and in order.
TEST_F(BlockIoTest, TransfersAcrossManyPieces) {
  for (std::int32_t piece : {32767, 7, 1}) {
    SCOPED_TRACE(piece);
    rb::g_lib.sys->lBufferLen = piece;
    file_len() = 4096;
    const std::string data = pattern(70000);
    EXPECT_EQ(dbCopyToFile(0, 5000, data.data(), 70000), 70000);
    EXPECT_EQ(file_len(), 75000);
    std::string back(70000, '\0');
    EXPECT_EQ(dbCopyFromFile(0, 5000, back.data(), 70000), 70000);
    EXPECT_TRUE(back == data);
    EXPECT_TRUE(on_disk().substr(5000, 70000) == data);
    file_len() = 5000;
    EXPECT_EQ(dbFillUpTo(0, 5000 + 69999), 69999);
    EXPECT_TRUE(on_disk().substr(5000, 70000) == std::string(69999, '\0') + data[69999]);
  }
}

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

TEST_F(BlockIoTest, CopyFromFileStopsAtTheLogicalEnd) {
  const std::string data = pattern(100);
  ASSERT_EQ(dbCopyToFile(0, 4096, data.data(), 100), 100);
  std::string back(101, '#');
  EXPECT_EQ(dbCopyFromFile(0, 4096, back.data(), 100), 100);  // ends exactly at lFileLen
  EXPECT_EQ(back.substr(0, 100), data);
  back.assign(101, '#');
  EXPECT_EQ(dbCopyFromFile(0, 4096, back.data(), 101), -20);
  EXPECT_EQ(back, std::string(101, '#'));
  EXPECT_EQ(dbCopyFromFile(0, 4197, back.data(), 0), -20);  // tested before the length
  EXPECT_EQ(dbCopyFromFile(0, 4196, back.data(), 0), 0);
  // The logical length counts, not the bytes on disk.
  file_len() = 4100;
  EXPECT_EQ(dbCopyFromFile(0, 4096, back.data(), 5), -20);
  EXPECT_EQ(rbtest::log_lines().at(1), "  Funktion......: dbCopyFromFile (Datei: 0)");
}

}  // namespace
