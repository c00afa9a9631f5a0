// CRC-32 of ZIP (reflected 0xEDB88320, start and end complemented), eight bytes per step.
// The component base's crc32Update (archive/base/crc.h) answers through this one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv::codec {

// Continues `crc` (0 to begin) over `size` bytes.
uint32_t crc32Update(uint32_t crc, const uint8_t* data, size_t size);
// One step of the plain byte-wise register (no complement), as the PKWARE keys use it.
uint32_t crc32Byte(uint32_t reg, uint8_t b);

}  // namespace kv::codec
