#include "archive/codec/crc32.h"

#include <array>
#include <cstring>

#include "archive/codec/crc32_fold.h"

namespace kv::codec {
namespace {

struct Crc32Tables {
    std::array<std::array<uint32_t, 256>, 8> t{};
    constexpr Crc32Tables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xff];
    }
};

// Built at compile time: no first-use guard on the hot path.
constexpr Crc32Tables kTables;

enum class Method { Tables, Pclmul, Vpclmul };

Method detectMethod() {
#ifdef KV_CRC32_FOLD
    __builtin_cpu_init();
    // The wide path needs the 256-bit forms, which the OS must also save (AVX2 implies it).
    if (__builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx2")) return Method::Vpclmul;
    if (__builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1")) return Method::Pclmul;
#endif
    return Method::Tables;
}

Method method() {
    static const Method m = detectMethod();
    return m;
}

}  // namespace

uint32_t crc32Byte(uint32_t reg, uint8_t b) { return kTables.t[0][(reg ^ b) & 0xff] ^ (reg >> 8); }

uint32_t crc32Register(uint32_t c, const uint8_t* p, size_t n) {
    const auto& t = kTables.t;
    while (n >= 8) {
        uint32_t lo, hi;
        std::memcpy(&lo, p, 4);  // little-endian hosts
        std::memcpy(&hi, p + 4, 4);
        lo ^= c;
        c = t[7][lo & 0xff] ^ t[6][(lo >> 8) & 0xff] ^ t[5][(lo >> 16) & 0xff] ^ t[4][lo >> 24] ^
            t[3][hi & 0xff] ^ t[2][(hi >> 8) & 0xff] ^ t[1][(hi >> 16) & 0xff] ^ t[0][hi >> 24];
        p += 8;
        n -= 8;
    }
    while (n--) c = t[0][(c ^ *p++) & 0xff] ^ (c >> 8);
    return c;
}

uint32_t crc32UpdateTables(uint32_t crc, const uint8_t* p, size_t n) { return ~crc32Register(~crc, p, n); }

uint32_t crc32Update(uint32_t crc, const uint8_t* p, size_t n) {
#ifdef KV_CRC32_FOLD
    switch (method()) {
        case Method::Vpclmul:
            if (n >= kWideFoldMinimum) return crc32FoldVpclmul(crc, p, n);
            [[fallthrough]];
        case Method::Pclmul:
            if (n >= kFoldMinimum) return crc32FoldPclmul(crc, p, n);
            break;
        case Method::Tables: break;
    }
#endif
    return crc32UpdateTables(crc, p, n);
}

const char* crc32Method() {
    switch (method()) {
        case Method::Vpclmul: return "vpclmulqdq";
        case Method::Pclmul: return "pclmulqdq";
        case Method::Tables: break;
    }
    return "tables";
}

}  // namespace kv::codec
