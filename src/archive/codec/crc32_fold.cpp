// CRC-32 by folding: the buffer is read in 16-byte lanes, each lane held as a 128-bit
// polynomial, and carry-less multiplication moves a lane forward by a fixed distance
// (multiplying by x^distance mod P keeps the remainder the same). When the data runs out
// the lanes are folded into one, and those 16 bytes plus the tail go through the table
// register: the CRC of that short message equals the CRC of the whole buffer.
//
// In the reflected bit order of this CRC, bit i of a little-endian 128-bit lane is the
// coefficient of x^(127-i). Its low 64 bits H are then the high half (H * x^64) and its
// high 64 bits L the low half, so moving the lane by D bits is H*x^(D+64) + L*x^D. A
// carry-less product of two reflected 64-bit values comes out one degree short
// (x^126 is its top bit in a 128-bit view that starts at x^127), so the constants are
// x^(D+63) and x^(D-1) mod P. Their remainders have fewer than 32 bits, which leaves
// each product inside 128 bits.
#include "archive/codec/crc32_fold.h"

#ifdef KV_CRC32_FOLD

#include <immintrin.h>

#include <cstring>

#include "archive/codec/crc32.h"

namespace kv::codec {
namespace {

// x^n mod P in the CRC register's reflected form, placed in the top half of a 64-bit
// operand (bit 63 - d holds x^d).
constexpr uint64_t xPowerModP(unsigned n) {
    uint32_t v = 0x80000000u;  // x^0
    for (unsigned i = 0; i < n; ++i) v = (v >> 1) ^ ((v & 1) ? 0xEDB88320u : 0);
    return uint64_t(v) << 32;
}

// Low half multiplies the lane's H, high half its L.
struct FoldConstants {
    uint64_t forLow, forHigh;
};
constexpr FoldConstants foldBy(unsigned bits) { return {xPowerModP(bits + 63), xPowerModP(bits - 1)}; }

constexpr FoldConstants kFold128 = foldBy(128);
constexpr FoldConstants kFold256 = foldBy(256);
constexpr FoldConstants kFold512 = foldBy(512);
constexpr FoldConstants kFold1024 = foldBy(1024);

[[gnu::target("pclmul,sse4.1")]] inline __m128i constants128(FoldConstants k) {
    return _mm_set_epi64x(static_cast<long long>(k.forHigh), static_cast<long long>(k.forLow));
}

[[gnu::target("pclmul,sse4.1")]] inline __m128i fold128(__m128i lane, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11));
}

[[gnu::target("pclmul,sse4.1")]] inline __m128i load128(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Folds the remaining whole lanes into `acc` and finishes through the table register.
[[gnu::target("pclmul,sse4.1")]] uint32_t finishFold(__m128i acc, const uint8_t* p, size_t n) {
    const __m128i k128 = constants128(kFold128);
    while (n >= 16) {
        acc = _mm_xor_si128(fold128(acc, k128), load128(p));
        p += 16;
        n -= 16;
    }
    uint8_t last[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(last), acc);
    return ~crc32Register(crc32Register(0, last, 16), p, n);
}

}  // namespace

[[gnu::target("pclmul,sse4.1")]] uint32_t crc32FoldPclmul(uint32_t crc, const uint8_t* p, size_t n) {
    // The running register enters as the first 32 bits of the message.
    __m128i x0 = _mm_xor_si128(load128(p), _mm_cvtsi32_si128(static_cast<int>(~crc)));
    __m128i x1 = load128(p + 16), x2 = load128(p + 32), x3 = load128(p + 48);
    p += 64;
    n -= 64;
    const __m128i k512 = constants128(kFold512);
    while (n >= 64) {
        x0 = _mm_xor_si128(fold128(x0, k512), load128(p));
        x1 = _mm_xor_si128(fold128(x1, k512), load128(p + 16));
        x2 = _mm_xor_si128(fold128(x2, k512), load128(p + 32));
        x3 = _mm_xor_si128(fold128(x3, k512), load128(p + 48));
        p += 64;
        n -= 64;
    }
    const __m128i k128 = constants128(kFold128);
    x1 = _mm_xor_si128(x1, fold128(x0, k128));
    x2 = _mm_xor_si128(x2, fold128(x1, k128));
    x3 = _mm_xor_si128(x3, fold128(x2, k128));
    return finishFold(x3, p, n);
}

namespace {

[[gnu::target("vpclmulqdq,avx2,pclmul,sse4.1")]] inline __m256i constants256(FoldConstants k) {
    return _mm256_set_epi64x(static_cast<long long>(k.forHigh), static_cast<long long>(k.forLow),
                             static_cast<long long>(k.forHigh), static_cast<long long>(k.forLow));
}

[[gnu::target("vpclmulqdq,avx2,pclmul,sse4.1")]] inline __m256i fold256(__m256i lanes, __m256i k) {
    return _mm256_xor_si256(_mm256_clmulepi64_epi128(lanes, k, 0x00),
                            _mm256_clmulepi64_epi128(lanes, k, 0x11));
}

[[gnu::target("vpclmulqdq,avx2,pclmul,sse4.1")]] inline __m256i load256(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

}  // namespace

// Eight lanes in four 256-bit registers, 128 bytes a step.
[[gnu::target("vpclmulqdq,avx2,pclmul,sse4.1")]] uint32_t crc32FoldVpclmul(uint32_t crc, const uint8_t* p,
                                                                           size_t n) {
    __m256i y0 = _mm256_xor_si256(load256(p), _mm256_setr_epi32(static_cast<int>(~crc), 0, 0, 0, 0, 0, 0, 0));
    __m256i y1 = load256(p + 32), y2 = load256(p + 64), y3 = load256(p + 96);
    p += 128;
    n -= 128;
    const __m256i k1024 = constants256(kFold1024);
    while (n >= 128) {
        y0 = _mm256_xor_si256(fold256(y0, k1024), load256(p));
        y1 = _mm256_xor_si256(fold256(y1, k1024), load256(p + 32));
        y2 = _mm256_xor_si256(fold256(y2, k1024), load256(p + 64));
        y3 = _mm256_xor_si256(fold256(y3, k1024), load256(p + 96));
        p += 128;
        n -= 128;
    }
    const __m256i k256 = constants256(kFold256);
    y1 = _mm256_xor_si256(y1, fold256(y0, k256));
    y2 = _mm256_xor_si256(y2, fold256(y1, k256));
    y3 = _mm256_xor_si256(y3, fold256(y2, k256));
    // The low lane comes first in the message.
    __m128i lo = _mm256_castsi256_si128(y3), hi = _mm256_extracti128_si256(y3, 1);
    return finishFold(_mm_xor_si128(hi, fold128(lo, constants128(kFold128))), p, n);
}

}  // namespace kv::codec

#endif
