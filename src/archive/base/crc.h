#pragma once
// CRC-32 (reflected 0xEDB88320, ZIP convention) and CRC-16 (reflected 0xA001, LHA/ARC).
#include <cstddef>
#include <cstdint>
#include <span>

namespace kv {

// Continue a CRC-32: pass 0 to start; the result is already complemented, as ZIP stores it.
uint32_t crc32Update(uint32_t crc, std::span<const uint8_t> data);
inline uint32_t crc32(std::span<const uint8_t> data) { return crc32Update(0, data); }

// Continue a CRC-16 whose register starts at 0.
uint16_t crc16Update(uint16_t crc, std::span<const uint8_t> data);
inline uint16_t crc16(std::span<const uint8_t> data) { return crc16Update(0, data); }

}  // namespace kv
