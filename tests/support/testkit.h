// Shared helpers of the tests: a fixture that gives every test a freshly
// initialised library, and readers for the files the library writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "file/file_ctrl.h"
#include "recbase.h"

namespace rbtest {

// Whole file as bytes ("" when missing).
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
void remove_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

// Lines of "tovek.log" in the working directory.
std::vector<std::string> log_lines();

// Little-endian int32 at byte offset of a byte string.
std::int32_t word_at(const std::string& bytes, std::size_t offset);
void put_word(std::string& bytes, std::size_t offset, std::int32_t value);

// The in-memory control block of an open file (the test fails when none).
rb::FileCtrl& file_ctrl(std::int32_t file_no);

DataDesc desc(std::int32_t type, std::int32_t flags, std::int32_t size, std::int32_t block,
              std::int32_t max_recs = 0);

// Every test starts with dbInit(8 cache slots, 4 files), no log and no
// allocation failure armed, and ends with dbExit.
class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

}  // namespace rbtest
