#include "archive/base/crc.h"

#include <array>

#include "archive/codec/crc32.h"

namespace kv {
namespace {

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

// One CRC-32 for the whole engine: the extractors' eight-bytes-a-step routine.
uint32_t crc32Update(uint32_t crc, std::span<const uint8_t> data) {
    return codec::crc32Update(crc, data.data(), data.size());
}

uint16_t crc16Update(uint16_t crc, std::span<const uint8_t> data) {
    uint16_t c = crc;
    for (uint8_t b : data) c = static_cast<uint16_t>(kCrc16.t[(c ^ b) & 0xFF] ^ (c >> 8));
    return c;
}

}  // namespace kv
