#include "file/stream.h"

#include <algorithm>

namespace rb {

namespace {

// Where the stream of the last transfer stands, when nothing else has used
// it since: one stream at a time is enough for runs of sequential blocks.
struct Position {
  std::FILE* stream = nullptr;
  std::int64_t offset = -1;
  bool wrote = false;
};
Position g_pos;

void remember(std::FILE* stream, std::int64_t offset, bool wrote) {
  g_pos = Position{stream, offset, wrote};
}

}  // namespace

void forget_position() { g_pos = Position{}; }

bool seek_to(std::FILE* stream, std::int32_t offset, bool want_write) {
  if (offset < 0) return false;
  if (g_pos.stream == stream && g_pos.offset == offset && g_pos.wrote == want_write) return true;
  forget_position();
  return std::fseek(stream, static_cast<long>(offset), SEEK_SET) == 0;
}

std::int32_t write_pieces(std::FILE* stream, const unsigned char* data, std::int32_t length,
                          std::int32_t piece, std::int32_t offset) {
  forget_position();
  std::int32_t total = 0;
  while (total < length) {
    const std::int32_t want = std::min(length - total, piece);
    const auto got = static_cast<std::int32_t>(std::fwrite(data + total, 1, want, stream));
    total += got;
    if (got != want) return total;
  }
  remember(stream, static_cast<std::int64_t>(offset) + total, true);
  return total;
}

std::int32_t read_pieces(std::FILE* stream, unsigned char* data, std::int32_t length,
                         std::int32_t piece, std::int32_t offset) {
  forget_position();
  std::int32_t total = 0;
  while (total < length) {
    const std::int32_t want = std::min(length - total, piece);
    const auto got = static_cast<std::int32_t>(std::fread(data + total, 1, want, stream));
    total += got;
    if (got != want) return total;
  }
  remember(stream, static_cast<std::int64_t>(offset) + total, false);
  return total;
}

std::int64_t stream_size(std::FILE* stream) {
  forget_position();
  if (std::fseek(stream, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(stream);
  return end < 0 ? -1 : static_cast<std::int64_t>(end);
}

}  // namespace rb
