// CRC-32 as zip and PNG compute it (reflected polynomial 0xEDB88320,
// initial value and final XOR 0xFFFFFFFF), eight bytes a step: the
// journal checks every page it saves with it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace rb {

namespace crc_detail {

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables make_tables() {
  Tables t{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][n] = c;
  }
  for (std::uint32_t n = 0; n < 256; ++n) {
    for (std::size_t k = 1; k < 8; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFFu];
  }
  return t;
}

inline constexpr Tables kTables = make_tables();

}  // namespace crc_detail

// CRC-32 of length bytes, continued from crc (0 to start).
inline std::uint32_t crc32(std::uint32_t crc, const void* bytes, std::size_t length) {
  const auto& t = crc_detail::kTables;
  const auto* p = static_cast<const unsigned char*>(bytes);
  crc = ~crc;
  for (; length >= 8; length -= 8, p += 8) {
    std::uint32_t lo = 0;
    std::uint32_t hi = 0;
    std::memcpy(&lo, p, 4);  // the file's byte order is the host's: little-endian
    std::memcpy(&hi, p + 4, 4);
    lo ^= crc;
    crc = t[7][lo & 0xFFu] ^ t[6][(lo >> 8) & 0xFFu] ^ t[5][(lo >> 16) & 0xFFu] ^ t[4][lo >> 24] ^
          t[3][hi & 0xFFu] ^ t[2][(hi >> 8) & 0xFFu] ^ t[1][(hi >> 16) & 0xFFu] ^ t[0][hi >> 24];
  }
  for (; length > 0; --length, ++p) crc = t[0][(crc ^ *p) & 0xFFu] ^ (crc >> 8);
  return ~crc;
}

}  // namespace rb
