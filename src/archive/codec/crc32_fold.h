// The carry-less multiply paths of CRC-32 (crc32_fold.cpp), each built for the
// instructions it needs; crc32.cpp calls one only when the CPU has them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv::codec {

// Smallest buffer the folding paths take: four 16-byte lanes (eight for the wide one).
constexpr size_t kFoldMinimum = 64;
constexpr size_t kWideFoldMinimum = 128;

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KV_CRC32_FOLD 1
// Continue `crc` (complemented, as crc32Update) over at least kFoldMinimum bytes.
uint32_t crc32FoldPclmul(uint32_t crc, const uint8_t* data, size_t size);
// The same with 256-bit registers, over at least kWideFoldMinimum bytes.
uint32_t crc32FoldVpclmul(uint32_t crc, const uint8_t* data, size_t size);
#endif

}  // namespace kv::codec
