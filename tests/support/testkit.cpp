#include "support/testkit.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "frame/heap.h"
#include "frame/state.h"

namespace rbtest {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool file_exists(const std::string& path) { return std::ifstream(path).good(); }

void remove_file(const std::string& path) { std::remove(path.c_str()); }

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::vector<std::string> log_lines() {
  std::vector<std::string> lines;
  std::istringstream in(read_file("tovek.log"));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::int32_t word_at(const std::string& bytes, std::size_t offset) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes.at(offset + i));
  return static_cast<std::int32_t>(v);
}

void put_word(std::string& bytes, std::size_t offset, std::int32_t value) {
  auto v = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<char>((v >> (8 * i)) & 0xff);
}

rb::FileCtrl& file_ctrl(std::int32_t file_no) {
  rb::FileCtrl* f = rb::file_at(file_no);
  if (f == nullptr) {
    ADD_FAILURE() << "no open file " << file_no;
    static rb::FileCtrl empty{};
    return empty;
  }
  return *f;
}

DataDesc desc(std::int32_t type, std::int32_t flags, std::int32_t size, std::int32_t block,
              std::int32_t max_recs) {
  return DataDesc{type, flags, size, block, max_recs};
}

void LibraryTest::SetUp() {
  rb::testing::fail_allocation_at(0);
  dbExit();
  remove_file("tovek.log");
  ASSERT_EQ(dbInit(8, 4), 0);
}

void LibraryTest::TearDown() {
  rb::testing::fail_allocation_at(0);
  dbExit();
}

}  // namespace rbtest
