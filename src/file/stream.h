// Raw transfers on a database file's stream. The one place where the
// library seeks, reads and writes; every offset is a signed 32-bit byte
// position and every range is checked against 2^31 - 1 by the callers.
#pragma once

#include <cstdint>
#include <cstdio>

namespace rb {

inline constexpr std::int64_t kMaxFileOffset = INT32_MAX;

// True when [offset, offset + length) lies inside the addressable file.
inline bool range_fits(std::int64_t offset, std::int64_t length) {
  return offset >= 0 && length >= 0 && offset + length <= kMaxFileOffset;
}

bool seek_to(std::FILE* stream, std::int32_t offset);

// Writes or reads length bytes in pieces of at most piece bytes. A piece
// that the stream takes or delivers only in part ends the transfer; the
// result is the number of bytes moved.
std::int32_t write_pieces(std::FILE* stream, const unsigned char* data, std::int32_t length,
                          std::int32_t piece);
std::int32_t read_pieces(std::FILE* stream, unsigned char* data, std::int32_t length,
                         std::int32_t piece);

// Size of the file behind the stream, -1 when it cannot be told.
std::int64_t stream_size(std::FILE* stream);

}  // namespace rb
