// Readers for the records of a database file image, and small helpers that
// the file and catalogue tests share.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "file/format.h"
#include "support/testkit.h"

namespace rbtest {

// The record of type T stored at byte offset of a file image.
template <class T>
T stored(const std::string& bytes, std::size_t offset) {
  T record{};
  if (offset + sizeof(T) > bytes.size()) {
    ADD_FAILURE() << "record at " << offset << " lies beyond the file (" << bytes.size() << ")";
    return record;
  }
  std::memcpy(static_cast<void*>(&record), bytes.data() + offset, sizeof(T));
  return record;
}

inline rb::FileDef stored_def(const std::string& bytes) { return stored<rb::FileDef>(bytes, 0); }

// count 32-bit words from offset.
inline std::vector<std::int32_t> words(const std::string& bytes, std::size_t offset,
                                       std::size_t count) {
  std::vector<std::int32_t> out;
  for (std::size_t i = 0; i < count; ++i) out.push_back(word_at(bytes, offset + 4 * i));
  return out;
}

}  // namespace rbtest
