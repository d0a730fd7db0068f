// Helpers of the dump tests: the dump file as text, with the parts that
// change from run to run masked.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "support/testkit.h"

namespace dumptest {

inline constexpr char kDumpFile[] = "tovek.tst";

// The dump file's text with every '\r' removed (text mode on Windows
// writes "\r\n").
inline std::string dump_text() {
  std::string text = rbtest::read_file(kDumpFile);
  std::erase(text, '\r');
  return text;
}

inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The text with the time stamps of the FileDef dump and the cache buffer
// addresses replaced by "<masked>".
inline std::string masked(const std::string& text) {
  std::string out;
  for (const std::string& line : lines_of(text)) {
    const bool varies = line.find("(tCreate).: ") != std::string::npos ||
                        line.find("(tUpdate).: ") != std::string::npos ||
                        line.find("(pBuffer).: ") != std::string::npos;
    out += varies ? line.substr(0, line.find(".: ") + 3) + "<masked>" : line;
    out += '\n';
  }
  return out;
}

// Every test starts with no dump file; the database files it creates are
// removed when it ends.
class DumpTest : public rbtest::LibraryTest {
 protected:
  void SetUp() override {
    rbtest::LibraryTest::SetUp();
    rbtest::remove_file(kDumpFile);
  }
  void TearDown() override {
    rbtest::LibraryTest::TearDown();
    for (const std::string& name : created_) rbtest::remove_file(name);
  }
  // Creates name with the given data types and room for sections sections,
  // with write access; returns the file number.
  std::int32_t create(const std::string& name, const std::vector<DataDesc>& types,
                      std::int32_t sections = 0) {
    created_.push_back(name);
    const auto n = static_cast<std::int32_t>(types.size());
    return dbCreate(name.c_str(), n, n > 0 ? types.data() : nullptr, sections, DB_MODE_WRITE);
  }

 private:
  std::vector<std::string> created_;
};

}  // namespace dumptest
