// Our inflate against zlib's, in memory, on ~64 MB of real text and binaries packed the
// way a ZIP packs them (one raw deflate stream per file, zlib level 6). Prints MB/s and
// the ratio; the goal is twice zlib's speed. Run by hand: ./inflate_bench [MB] [RUNS]
// (defaults 64 and 5). Under callgrind, `inflate_bench 16 1` decodes the corpus once
// with each decoder, so the inclusive instruction counts of kv::codec::inflate and zlib's
// inflate compare the two without any dependence on the machine's load.
#include "archive/codec/inflate.h"

#include <algorithm>
#include <span>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef KV_HAVE_ZLIB
#include <zlib.h>
#endif

namespace fs = std::filesystem;

namespace {

struct Stream {
    std::vector<uint8_t> packed;
    size_t size;
};

// Gathers up to `budget` bytes from regular files under `root` matching `pick`.
template <class Pick>
void gather(const char* root, size_t budget, Pick pick, std::vector<std::vector<uint8_t>>& files) {
    size_t got = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator() && got < budget; it.increment(ec)) {
        if (ec || !it->is_regular_file(ec) || it->is_symlink(ec)) continue;
        auto sz = it->file_size(ec);
        if (ec || sz < 4096 || sz > (8u << 20) || !pick(it->path())) continue;
        std::ifstream f(it->path(), std::ios::binary);
        std::vector<uint8_t> data{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
        got += data.size();
        files.push_back(std::move(data));
    }
}

}  // namespace

int main(int argc, char** argv) {
#ifndef KV_HAVE_ZLIB
    std::puts("zlib not found: nothing to compare with");
    return 0;
#else
    size_t mb = argc > 1 ? size_t(std::atoi(argv[1])) : 64;
    int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<std::vector<uint8_t>> files;
    gather(
        "/usr/share", mb << 19,
        [](const fs::path& p) {
            auto e = p.extension().string();
            return e == ".txt" || e == ".html" || e == ".xml" || e == ".py" || e == ".pl" || e == ".h" ||
                   e == ".js" || e == ".css" || e == ".ps" || e == ".svg" || e == "";
        },
        files);
    gather(
        "/usr/lib", mb << 19, [](const fs::path& p) { return p.string().find(".so") != std::string::npos; },
        files);

    std::vector<Stream> streams;
    size_t total = 0, packedTotal = 0;
    for (auto& f : files) {
        z_stream z{};
        deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        Stream s{std::vector<uint8_t>(deflateBound(&z, uLong(f.size()))), f.size()};
        z.next_in = f.data();
        z.avail_in = uInt(f.size());
        z.next_out = s.packed.data();
        z.avail_out = uInt(s.packed.size());
        deflate(&z, Z_FINISH);
        s.packed.resize(z.total_out);
        deflateEnd(&z);
        total += s.size;
        packedTotal += s.packed.size();
        streams.push_back(std::move(s));
    }
    std::printf("%zu files, %.1f MB -> %.1f MB deflated\n", files.size(), total / 1e6, packedTotal / 1e6);

    std::vector<uint8_t> out(8u << 20);
    bool okAll = true;
    // Correctness first, outside the timing: every stream must give back its file.
    for (size_t i = 0; i < streams.size(); ++i) {
        auto r = kv::codec::inflate(streams[i].packed, std::span<uint8_t>(out.data(), streams[i].size));
        if (!r.ok() || !std::equal(files[i].begin(), files[i].end(), out.begin())) {
            std::printf("stream %zu decodes wrongly (status %d, id %d)\n", i, int(r.status), r.messageId);
            okAll = false;
        }
    }

    // Thread CPU time, best of `runs`, the three decoders taking turns within each run:
    // on a shared machine wall time mostly measures the neighbours, and a neighbour's
    // burst then slows one run of each rather than all runs of one decoder.
    auto cpuNow = [] {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + ts.tv_nsec / 1e9;
    };
    auto timeOnce = [&](double& best, auto&& fn) {
        double t0 = cpuNow();
        fn();
        best = std::min(best, cpuNow() - t0);
    };
    std::vector<uint8_t> scratch;
    double ours = 1e9, ourWindow = 1e9, theirs = 1e9;
    for (int rep = 0; rep < runs; ++rep) {
        timeOnce(ours, [&] {
            for (auto& s : streams) {
                auto r = kv::codec::inflate(s.packed, std::span<uint8_t>(out.data(), s.size));
                okAll &= r.ok();
            }
        });
        timeOnce(ourWindow, [&] {
            for (auto& s : streams) {
                kv::codec::InputSource in(s.packed);
                kv::codec::OutputWindow win([](const uint8_t*, size_t) { return true; }, s.size, scratch);
                okAll &= kv::codec::inflate(in, win).ok();
            }
        });
        timeOnce(theirs, [&] {
            for (auto& s : streams) {
                z_stream z{};
                inflateInit2(&z, -15);
                z.next_in = s.packed.data();
                z.avail_in = uInt(s.packed.size());
                z.next_out = out.data();
                z.avail_out = uInt(s.size);
                okAll &= inflate(&z, Z_FINISH) == Z_STREAM_END;
                inflateEnd(&z);
            }
        });
    }
    if (!okAll) std::puts("DECODE FAILURE");
    std::printf("ours (buffer)  %8.1f MB/s\n", total / ours / 1e6);
    std::printf("ours (window)  %8.1f MB/s\n", total / ourWindow / 1e6);
    std::printf("zlib           %8.1f MB/s\n", total / theirs / 1e6);
    std::printf("ratio ours/zlib: buffer %.2fx, window %.2fx\n", theirs / ours, theirs / ourWindow);
    return okAll ? 0 : 1;
#endif
}
