// The dump file "tovek.tst" and the pieces every dump shares.
#pragma once

#include <cstdint>
#include <cstdio>

namespace rb {

inline constexpr const char kDumpFileName[] = "tovek.tst";

// Code a dump answers when the dump file cannot be opened (logged).
inline constexpr std::int32_t kDumpOpenFailed = -13;

// The dump file, opened for appending in text mode for one dump and closed
// again when the object goes, so that nothing is lost when the process ends.
class DumpFile {
 public:
  DumpFile();
  ~DumpFile();
  DumpFile(const DumpFile&) = delete;
  DumpFile& operator=(const DumpFile&) = delete;

  explicit operator bool() const { return out_ != nullptr; }
  std::FILE* get() const { return out_; }

 private:
  std::FILE* out_;
};

// Values of the dump lines: %d takes an int, %ld a long, %X and %x an
// unsigned int, whatever the width of int and long on the platform.
inline int as_int(std::int32_t v) { return static_cast<int>(v); }
inline long as_long(std::int32_t v) { return static_cast<long>(v); }
inline unsigned as_hex(std::int32_t v) { return static_cast<unsigned>(v); }

// Row labels and value columns of the vector listings.
enum class Listing {
  index_vector,  // index and iterator vectors of a data type
  indirection,   // IndDataTypes and IndSections vectors
};

// Lists count values ten to a row, each row opened by its label, and ends
// the listing with one more line break.
void list_vector(std::FILE* out, const std::int32_t* values, std::int32_t count, Listing style);

}  // namespace rb
