// A file opened without write access stays byte for byte what it was,
// whatever the host calls: a seeded random sequence over the whole
// interface, legal and hostile arguments mixed, failed calls included.
#include <climits>
#include <random>
#include <string>
#include <vector>

#include "hardening/api_table.h"
#include "support/testkit.h"

namespace {

using namespace apitable;

// Arguments for a random call: mostly small legal numbers, the row's own
// base values, or one of its hostile values.
Args random_args(const Row& row, std::mt19937& rng) {
  Args a = row.base;
  for (std::size_t i = 0; i < row.values.size(); ++i) {
    switch (rng() % 3) {
      case 0:
        a[i] = static_cast<std::int32_t>(rng() % 12);
        break;
      case 1:
        a[i] = row.values[i][rng() % row.values[i].size()];
        break;
      default:
        break;
    }
  }
  return a;
}

class ReadOnlyTest : public rbtest::LibraryTest {};

TEST_F(ReadOnlyTest, RandomCallsLeaveTheFileUnchanged) {
  std::int32_t file = -1;
  std::vector<hardkit::Stored> model;
  ASSERT_EQ(hardkit::build("read_only.db", file, model), 0);
  ASSERT_EQ(dbClose(file), 4096);
  const std::string before = rbtest::read_file("read_only.db");
  std::vector<Row> rows;
  for (Row& row : all_rows()) {
    if (!row.lifecycle) rows.push_back(std::move(row));
  }
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    ASSERT_EQ(dbOpen("read_only.db", 0), 0);
    std::mt19937 rng(seed);
    for (int step = 0; step < 400; ++step) {
      const Row& row = rows[rng() % rows.size()];
      const std::int32_t target = rng() % 8 == 0 ? static_cast<std::int32_t>(rng() % 4) : 0;
      const Args a = random_args(row, rng);
      const bool nul = row.pointers && rng() % 8 == 0;
      row.call(target, a, nul);
    }
    // Refused declarations may have changed the tables in memory; none of
    // it may reach the file.
    EXPECT_EQ(dbFlush(0), 0) << "seed " << seed;
    EXPECT_EQ(dbClose(0), 0) << "seed " << seed;
    EXPECT_TRUE(rbtest::read_file("read_only.db") == before) << "seed " << seed;
    dbCloseAll();
  }
  ASSERT_EQ(dbOpen("read_only.db", 0), 0);
  EXPECT_EQ(hardkit::verify(0, model), "");
}

}  // namespace
