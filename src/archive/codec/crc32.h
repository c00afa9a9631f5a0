// CRC-32 of ZIP (reflected 0xEDB88320, start and end complemented). Large buffers fold
// with the carry-less multiply instructions where the CPU has them (chosen once at run
// time); elsewhere, and for short buffers, eight table lookups per eight bytes.
// The component base's crc32Update (archive/base/crc.h) answers through this one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv::codec {

// Continues `crc` (0 to begin) over `size` bytes.
uint32_t crc32Update(uint32_t crc, const uint8_t* data, size_t size);
// The same through the table routine only, whatever the CPU: the reference the folding
// paths are checked and timed against.
uint32_t crc32UpdateTables(uint32_t crc, const uint8_t* data, size_t size);
// The plain register (no complement at either end) advanced over `size` bytes by the
// tables; the folding paths finish their last bytes through it.
uint32_t crc32Register(uint32_t reg, const uint8_t* data, size_t size);
// One step of the plain byte-wise register (no complement), as the PKWARE keys use it.
uint32_t crc32Byte(uint32_t reg, uint8_t b);
// Which routine crc32Update uses for large buffers on this CPU: "vpclmulqdq",
// "pclmulqdq" or "tables".
const char* crc32Method();

}  // namespace kv::codec
