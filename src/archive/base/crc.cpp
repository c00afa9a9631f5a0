#include "archive/base/crc.h"

#include <array>

namespace kv {
namespace {

// Slicing-by-8 tables: the readers check headers and the extractors whole files with these.
struct Crc32Tables {
  std::array<std::array<uint32_t, 256>, 8> t{};
  constexpr Crc32Tables() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
      t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
      for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  }
};
constexpr Crc32Tables kCrc32;

struct Crc16Table {
  std::array<uint16_t, 256> t{};
  constexpr Crc16Table() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
      t[i] = static_cast<uint16_t>(c);
    }
  }
};
constexpr Crc16Table kCrc16;

}  // namespace

uint32_t crc32Update(uint32_t crc, std::span<const uint8_t> data) {
  uint32_t c = ~crc;
  const uint8_t* p = data.data();
  size_t n = data.size();
  const auto& t = kCrc32.t;
  while (n >= 8) {
    uint32_t lo = c ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
    uint32_t hi = uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
    c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
        t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    p += 8;
    n -= 8;
  }
  while (n--) c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  return ~c;
}

uint16_t crc16Update(uint16_t crc, std::span<const uint8_t> data) {
  uint16_t c = crc;
  for (uint8_t b : data) c = static_cast<uint16_t>(kCrc16.t[(c ^ b) & 0xFF] ^ (c >> 8));
  return c;
}

}  // namespace kv
