// The folding CRC-32 paths against the table routine (and zlib where present), over the
// lengths where the folding code changes course: below its minimum, around each lane and
// step boundary, and large; at odd alignments and with a running value carried in.
#include "archive/codec/crc32.h"
#include "archive/codec/crc32_fold.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#ifdef KV_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

std::vector<uint8_t> noise(size_t n) {
    std::vector<uint8_t> v(n);
    std::mt19937 rng(7);
    for (auto& b : v) b = uint8_t(rng());
    return v;
}

TEST(Crc32Fold, EveryPathAgreesWithTheTables) {
    const std::vector<uint8_t> data = noise((1u << 20) + 64);
    const size_t lengths[] = {0,   1,   15,  16,  63,  64,  65,  79,   80,   127,  128,   129,     143,
                              191, 192, 255, 256, 257, 300, 511, 1000, 4096, 4111, 65537, 1u << 20};
    const uint32_t seeds[] = {0, 0xCBF43926u, 0xFFFFFFFFu};
    for (size_t len : lengths)
        for (size_t offset : {0, 1, 3, 13})
            for (uint32_t seed : seeds) {
                const uint8_t* p = data.data() + offset;
                const uint32_t want = kv::codec::crc32UpdateTables(seed, p, len);
                SCOPED_TRACE(testing::Message()
                             << "length " << len << " offset " << offset << " seed " << seed);
                EXPECT_EQ(kv::codec::crc32Update(seed, p, len), want);
#ifdef KV_HAVE_ZLIB
                EXPECT_EQ(uint32_t(crc32(seed, p, uInt(len))), want);
#endif
#ifdef KV_CRC32_FOLD
                // Each folding path directly, where this CPU can run it.
                if (__builtin_cpu_supports("pclmul") && len >= kv::codec::kFoldMinimum) {
                    EXPECT_EQ(kv::codec::crc32FoldPclmul(seed, p, len), want);
                }
                if (__builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx2") &&
                    len >= kv::codec::kWideFoldMinimum) {
                    EXPECT_EQ(kv::codec::crc32FoldVpclmul(seed, p, len), want);
                }
#endif
            }
}

TEST(Crc32Fold, KnownValuesAndPiecewiseUpdates) {
    const std::vector<uint8_t> zeros(4096, 0), ones(4096, 0xFF);
    // Uniform buffers: lanes that are all zeros or all ones, and the carried value alone.
    EXPECT_EQ(kv::codec::crc32Update(0, zeros.data(), zeros.size()),
              kv::codec::crc32UpdateTables(0, zeros.data(), zeros.size()));
    EXPECT_EQ(kv::codec::crc32Update(0, ones.data(), ones.size()),
              kv::codec::crc32UpdateTables(0, ones.data(), ones.size()));
    const std::vector<uint8_t> data = noise(100000);
    const uint32_t whole = kv::codec::crc32UpdateTables(0, data.data(), data.size());
    for (size_t step : {1u, 63u, 64u, 200u, 4099u}) {
        uint32_t c = 0;
        for (size_t pos = 0; pos < data.size(); pos += step)
            c = kv::codec::crc32Update(c, data.data() + pos, std::min(step, data.size() - pos));
        EXPECT_EQ(c, whole) << "step " << step;
    }
}

}  // namespace
