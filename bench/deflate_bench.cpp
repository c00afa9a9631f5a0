// Our deflate against zlib and libdeflate on a mixed corpus (text and binaries gathered from
// /usr/share, /usr/include and /usr/lib, or the file given): MB/s and size per level, and
// our ratios to zlib. Every stream of ours is inflated by zlib as a check.
//   deflate_bench [CORPUS_FILE] [MEGABYTES]
#include "archive/codec/deflate.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef KV_HAVE_ZLIB
#include <zlib.h>
#endif
#ifdef KV_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

// Half text, half binaries, each file taken whole in path order until its half is full.
Bytes gatherCorpus(size_t total) {
    Bytes out;
    auto take = [&](const std::vector<std::string>& roots, size_t upto, bool wantText) {
        std::vector<fs::path> files;
        for (const std::string& r : roots) {
            std::error_code ec;
            for (auto it =
                     fs::recursive_directory_iterator(r, fs::directory_options::skip_permission_denied, ec);
                 !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
                if (it->is_regular_file(ec) && !it->is_symlink(ec)) files.push_back(it->path());
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& p : files) {
            if (out.size() >= upto) break;
            const std::string ext = p.extension().string();
            if (ext == ".gz" || ext == ".xz" || ext == ".bz2" || ext == ".zip" || ext == ".png" ||
                ext == ".jpg")
                continue;  // already compressed: says nothing about the match finder
            const bool isSo = p.filename().string().find(".so") != std::string::npos;
            if (!wantText && !isSo) continue;
            std::ifstream f(p, std::ios::binary);
            Bytes b((std::istreambuf_iterator<char>(f)), {});
            b.resize(std::min(b.size(), upto - out.size()));
            out.insert(out.end(), b.begin(), b.end());
        }
    };
    take({"/usr/include", "/usr/share/perl", "/usr/share/vim", "/usr/share/X11"}, total / 2, true);
    take({"/usr/lib/x86_64-linux-gnu", "/usr/lib"}, total, false);
    return out;
}

double cpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

struct Run {
    size_t size = 0;
    double seconds = 1e9;
};

template <class F>
Run best(F&& f, int reps) {
    Run r;
    for (int i = 0; i < reps; ++i) {
        const double t0 = cpuSeconds();
        r.size = f();
        r.seconds = std::min(r.seconds, cpuSeconds() - t0);
    }
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t mb = argc > 2 ? size_t(std::atoi(argv[2])) : 100;
    Bytes in;
    if (argc > 1 && std::string(argv[1]) != "-") {
        std::ifstream f(argv[1], std::ios::binary);
        in.assign(std::istreambuf_iterator<char>(f), {});
    } else {
        in = gatherCorpus(mb << 20);
    }
    std::printf("corpus: %.1f MB (CPU seconds, best of 2)\n", double(in.size()) / 1e6);
    std::printf("%-6s %-11s %12s %9s %10s %10s\n", "level", "coder", "size", "MB/s", "size/zlib",
                "speed/zlib");
    for (int level : {1, 6, 7, 9}) {
        Bytes packed;
        const Run ours = best(
            [&] {
                packed = kv::codec::deflate(in, level);
                return packed.size();
            },
            2);
#ifdef KV_HAVE_ZLIB
        // The check: zlib must inflate our stream back to the input.
        {
            Bytes back(in.size() + 1);
            z_stream z{};
            inflateInit2(&z, -15);
            z.next_in = packed.data();
            z.avail_in = uInt(packed.size());
            z.next_out = back.data();
            z.avail_out = uInt(back.size());
            const int rc = ::inflate(&z, Z_FINISH);
            const bool ok = rc == Z_STREAM_END && z.total_out == in.size() &&
                            std::equal(in.begin(), in.end(), back.begin());
            inflateEnd(&z);
            if (!ok) {
                std::printf("level %d: zlib does not inflate our stream back!\n", level);
                return 1;
            }
        }
        Bytes zout(compressBound(uLong(in.size())) + 1024);
        const Run zl = best(
            [&] {
                z_stream z{};
                deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
                z.next_in = in.data();
                z.avail_in = uInt(in.size());
                z.next_out = zout.data();
                z.avail_out = uInt(zout.size());
                ::deflate(&z, Z_FINISH);
                const size_t n = z.total_out;
                deflateEnd(&z);
                return n;
            },
            2);
#else
        const Run zl = ours;
#endif
        auto line = [&](const char* coder, const Run& r) {
            std::printf("%-6d %-11s %12zu %9.1f %10.4f %10.2f\n", level, coder, r.size,
                        double(in.size()) / r.seconds / 1e6, double(r.size) / double(zl.size),
                        zl.seconds / r.seconds);
        };
        line("ours", ours);
#ifdef KV_HAVE_ZLIB
        line("zlib", zl);
#endif
#ifdef KV_HAVE_LIBDEFLATE
        Bytes lout(in.size() + in.size() / 10 + 4096);
        const Run ld = best(
            [&] {
                libdeflate_compressor* c = libdeflate_alloc_compressor(level);
                const size_t n =
                    libdeflate_deflate_compress(c, in.data(), in.size(), lout.data(), lout.size());
                libdeflate_free_compressor(c);
                return n;
            },
            2);
        line("libdeflate", ld);
#endif
    }
    return 0;
}
