// CRC-32 speed: our crc32Update (the folding path this CPU gets) against the table
// routine alone and against zlib's crc32, on a buffer that stays in cache and on one far
// larger than it. Thread CPU time, best of RUNS. Run by hand: ./crc_bench [MB] [RUNS]
// (defaults 64 and 5).
#include "archive/codec/crc32.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#ifdef KV_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

double cpuNow() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

template <class Fn>
double bestRate(const std::vector<uint8_t>& buf, size_t piece, size_t bytesPerRun, int runs, uint32_t& crc,
                Fn fn) {
    double best = 1e9;
    for (int r = 0; r < runs; ++r) {
        double t0 = cpuNow();
        uint32_t c = 0;
        for (size_t done = 0; done < bytesPerRun; done += piece)
            c = fn(c, buf.data() + done % buf.size(), piece);
        best = std::min(best, cpuNow() - t0);
        crc = c;
    }
    return bytesPerRun / best / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    size_t mb = argc > 1 ? size_t(std::max(1, std::atoi(argv[1]))) : 64;
    int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<uint8_t> big(mb << 20);
    std::mt19937_64 rng(1);
    for (auto& b : big) b = uint8_t(rng());
    std::printf("folding path on this CPU: %s\n", kv::codec::crc32Method());

    struct Case {
        const char* name;
        size_t piece;  // bytes per call
        size_t span;   // bytes of the buffer the calls walk over
    };
    const Case cases[] = {{"256 KB in cache", 256u << 10, 256u << 10},
                          {"whole buffer", big.size(), big.size()},
                          {"4 KB pieces", 4096, big.size()}};
    bool agree = true;
    for (const Case& c : cases) {
        std::vector<uint8_t> buf(big.begin(), big.begin() + c.span);
        size_t perRun = std::max(c.span, size_t(256) << 20) / c.piece * c.piece;
        uint32_t a = 0, b = 0;
        double ours = bestRate(buf, c.piece, perRun, runs, a, kv::codec::crc32Update);
        double tables = bestRate(buf, c.piece, perRun, runs, b, kv::codec::crc32UpdateTables);
        agree &= a == b;
        std::printf("%-16s ours %8.0f MB/s  slice-by-8 %7.0f MB/s", c.name, ours, tables);
#ifdef KV_HAVE_ZLIB
        uint32_t z = 0;
        double zl = bestRate(buf, c.piece, perRun, runs, z, [](uint32_t crc, const uint8_t* p, size_t n) {
            return uint32_t(crc32(crc, p, uInt(n)));
        });
        agree &= a == z;
        std::printf("  zlib %8.0f MB/s  ours/slice-by-8 %.1fx  ours/zlib %.2fx\n", zl, ours / tables,
                    ours / zl);
#else
        std::printf("  ours/slice-by-8 %.1fx\n", ours / tables);
#endif
    }
    if (!agree) std::puts("CRC MISMATCH");
    return agree ? 0 : 1;
}
