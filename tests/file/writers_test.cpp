// One writer per file. While a writer holds the file a second write open
// is refused with -18 (logged), and so is a dbCreate over the file, which
// stays as it was; a reader opens alongside until the writer has begun to
// overwrite committed bytes. Once the writer has closed the file, the file
// can be written again.
#include <string>
#include <vector>

#include "hardening/hardening_kit.h"
#include "support/testkit.h"

namespace {

constexpr const char* kName = "writers.db";
constexpr const char* kJournal = "writers.db-journal";

class WritersTest : public rbtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    rbtest::remove_file(kJournal);
    std::int32_t f = -1;
    ASSERT_EQ(hardkit::build(kName, f, model_), 0);
    ASSERT_EQ(dbClose(f), 4096);
  }

  // With the file held by a writer that has not changed it yet.
  void expect_held() {
    EXPECT_EQ(dbOpen(kName, DB_MODE_WRITE), DB_ERR_BUSY);
    const std::vector<std::string> log = rbtest::log_lines();
    ASSERT_GE(log.size(), 2u);
    EXPECT_NE(log.end()[-2].find("dbOpen"), std::string::npos) << log.end()[-2];
    EXPECT_NE(log.back().find("(  -18)"), std::string::npos) << log.back();
    EXPECT_EQ(dbCreate(kName, 0, nullptr, 0, DB_MODE_WRITE), DB_ERR_BUSY);
    EXPECT_TRUE(rbtest::read_file(kName) == bytes_);
    const std::int32_t reader = dbOpen(kName, 0);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(hardkit::verify(reader, model_), "");
    EXPECT_EQ(dbClose(reader), 0);
  }

  // The file can be written again and holds every record.
  void expect_free() {
    const std::int32_t f = dbOpen(kName, DB_MODE_WRITE);
    ASSERT_GE(f, 0);
    EXPECT_EQ(hardkit::verify(f, model_), "");
    EXPECT_EQ(dbClose(f), 4096);
  }

  std::vector<hardkit::Stored> model_;
  std::string bytes_;  // the file before the writer opened it
};

TEST_F(WritersTest, OneWriterInThisProcess) {
  bytes_ = rbtest::read_file(kName);
  const std::int32_t writer = dbOpen(kName, DB_MODE_WRITE);
  ASSERT_GE(writer, 0);
  expect_held();
  // Grown in the middle, the file is changing under its journal: a reader
  // would find it half done and is refused as well.
  for (std::int32_t rec = 25; rec < 80; rec += 5) {
    const std::string bytes = hardkit::pattern(1, rec, 0, 10);
    ASSERT_EQ(dbWrite(writer, 1, rec, 0, bytes.data()), 0);
    model_.push_back({-1, {}, 1, rec, 0, bytes});
  }
  ASSERT_TRUE(rbtest::file_exists(kJournal));
  EXPECT_EQ(dbOpen(kName, 0), DB_ERR_BUSY);
  EXPECT_EQ(dbClose(writer), 4096);
  EXPECT_FALSE(rbtest::file_exists(kJournal));
  expect_free();
}

}  // namespace
