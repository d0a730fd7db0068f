#include "dump/dump_file.h"

namespace rb {

DumpFile::DumpFile() : out_(std::fopen(kDumpFileName, "a")) {}

DumpFile::~DumpFile() {
  if (out_ != nullptr) std::fclose(out_);
}

namespace {

void row_label(std::FILE* out, std::int64_t first, Listing style) {
  if (style == Listing::index_vector) {
    std::fprintf(out, "     %8ld - %8ld:", static_cast<long>(first), static_cast<long>(first + 9));
  } else {
    std::fprintf(out, "     %6d - %6d:", static_cast<int>(first), static_cast<int>(first + 9));
  }
}

void value(std::FILE* out, std::int32_t v, Listing style) {
  if (style == Listing::index_vector) {
    std::fprintf(out, "%8ld", static_cast<long>(v));
  } else {
    std::fprintf(out, "%7d", static_cast<int>(v));
  }
}

}  // namespace

void list_vector(std::FILE* out, const std::int32_t* values, std::int32_t count, Listing style) {
  for (std::int32_t i = 0; i < count; ++i) {
    if (i % 10 == 0) row_label(out, i, style);
    value(out, values[i], style);
    if (i % 10 == 9) std::fputc('\n', out);
  }
  std::fputc('\n', out);
}

}  // namespace rb
