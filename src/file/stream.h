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

// Positions the stream at offset. The call is skipped when the stream
// already stands there after a transfer of write_pieces or read_pieces in
// the same direction (want_write); between a write and a read, or after any
// other use of the stream, the stream is always positioned.
bool seek_to(std::FILE* stream, std::int32_t offset, bool want_write);
// Forgets where the stream stands: after any transfer that bypasses
// write_pieces and read_pieces, and before the stream is closed.
void forget_position();

// Writes or reads length bytes in pieces of at most piece bytes. A piece
// that the stream takes or delivers only in part ends the transfer; the
// result is the number of bytes moved.
// offset is where the stream stands before the transfer.
std::int32_t write_pieces(std::FILE* stream, const unsigned char* data, std::int32_t length,
                          std::int32_t piece, std::int32_t offset);
std::int32_t read_pieces(std::FILE* stream, unsigned char* data, std::int32_t length,
                         std::int32_t piece, std::int32_t offset);

// Size of the file behind the stream, -1 when it cannot be told. Moves the
// stream.
std::int64_t stream_size(std::FILE* stream);

}  // namespace rb
