#include "file/stream.h"

#include <algorithm>

namespace rb {

bool seek_to(std::FILE* stream, std::int32_t offset) {
  if (offset < 0) return false;
  return std::fseek(stream, static_cast<long>(offset), SEEK_SET) == 0;
}

std::int32_t write_pieces(std::FILE* stream, const unsigned char* data, std::int32_t length,
                          std::int32_t piece) {
  std::int32_t total = 0;
  while (total < length) {
    const std::int32_t want = std::min(length - total, piece);
    const auto got = static_cast<std::int32_t>(std::fwrite(data + total, 1, want, stream));
    total += got;
    if (got != want) break;
  }
  return total;
}

std::int32_t read_pieces(std::FILE* stream, unsigned char* data, std::int32_t length,
                         std::int32_t piece) {
  std::int32_t total = 0;
  while (total < length) {
    const std::int32_t want = std::min(length - total, piece);
    const auto got = static_cast<std::int32_t>(std::fread(data + total, 1, want, stream));
    total += got;
    if (got != want) break;
  }
  return total;
}

std::int64_t stream_size(std::FILE* stream) {
  if (std::fseek(stream, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(stream);
  return end < 0 ? -1 : static_cast<std::int64_t>(end);
}

}  // namespace rb
