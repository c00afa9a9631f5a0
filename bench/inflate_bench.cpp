// Our inflate against zlib's, libdeflate's and ISA-L's (those two where installed), in
// memory, on ~64 MB of real text and binaries packed the way a ZIP packs them (one raw
// deflate stream per file, zlib level 6). Prints MB/s and the ratios for the whole
// corpus and for its text and binary halves. Run by hand: ./inflate_bench [MB] [RUNS]
// [plain|bmi2|bextr] (defaults 64, 5 and the fast loop picked for this CPU; the third
// compares our loop's instruction choices on one machine). Under callgrind,
// `inflate_bench 16 1` decodes the corpus once with each decoder, so the inclusive
// instruction counts of kv::codec::inflate and zlib's inflate compare the two without
// any dependence on the machine's load.
#include "archive/codec/inflate.h"

#include <algorithm>
#include <array>
#include <functional>
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
#ifdef KV_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif
#ifdef KV_HAVE_ISAL
#include <isa-l/igzip_lib.h>
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
    if (argc > 3) {
        const std::string name = argv[3];
        const auto loop = name == "plain"   ? kv::codec::FastLoop::Plain
                          : name == "bmi2"  ? kv::codec::FastLoop::Bmi2
                          : name == "bextr" ? kv::codec::FastLoop::Bextr
                                            : kv::codec::FastLoop::Auto;
        if (loop == kv::codec::FastLoop::Auto || !kv::codec::fastLoopRunsHere(loop)) {
            std::printf("%s: not a fast loop this CPU runs (plain, bmi2, bextr)\n", argv[3]);
            return 2;
        }
        kv::codec::useFastLoop(loop);
        std::printf("our fast loop: %s\n", argv[3]);
    }
    std::vector<std::vector<uint8_t>> files;
    gather(
        "/usr/share", mb << 19,
        [](const fs::path& p) {
            auto e = p.extension().string();
            return e == ".txt" || e == ".html" || e == ".xml" || e == ".py" || e == ".pl" || e == ".h" ||
                   e == ".js" || e == ".css" || e == ".ps" || e == ".svg" || e == "";
        },
        files);
    const size_t textStreams = files.size();
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

    // Thread CPU time, best of `runs`, the decoders taking turns within each run: on a
    // shared machine wall time mostly measures the neighbours, and a neighbour's burst
    // then slows one run of each rather than all runs of one decoder.
    auto cpuNow = [] {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + ts.tv_nsec / 1e9;
    };
    std::vector<uint8_t> scratch;
#ifdef KV_HAVE_LIBDEFLATE
    libdeflate_decompressor* ld = libdeflate_alloc_decompressor();
#endif
    struct Decoder {
        const char* name;
        std::function<bool(const Stream&)> run;
    };
    std::vector<Decoder> decoders;
    decoders.push_back({"ours (buffer)", [&](const Stream& s) {
                            return kv::codec::inflate(s.packed, std::span<uint8_t>(out.data(), s.size)).ok();
                        }});
    decoders.push_back({"ours (window)", [&](const Stream& s) {
                            kv::codec::InputSource in(s.packed);
                            kv::codec::OutputWindow win([](const uint8_t*, size_t) { return true; }, s.size,
                                                        scratch);
                            return kv::codec::inflate(in, win).ok();
                        }});
    decoders.push_back({"zlib", [&](const Stream& s) {
                            z_stream z{};
                            inflateInit2(&z, -15);
                            z.next_in = const_cast<uint8_t*>(s.packed.data());
                            z.avail_in = uInt(s.packed.size());
                            z.next_out = out.data();
                            z.avail_out = uInt(s.size);
                            bool ok = inflate(&z, Z_FINISH) == Z_STREAM_END;
                            inflateEnd(&z);
                            return ok;
                        }});
#ifdef KV_HAVE_LIBDEFLATE
    decoders.push_back({"libdeflate", [&](const Stream& s) {
                            size_t got = 0;
                            return libdeflate_deflate_decompress(ld, s.packed.data(), s.packed.size(),
                                                                 out.data(), s.size,
                                                                 &got) == LIBDEFLATE_SUCCESS &&
                                   got == s.size;
                        }});
#endif
#ifdef KV_HAVE_ISAL
    decoders.push_back({"ISA-L", [&](const Stream& s) {
                            inflate_state st;
                            isal_inflate_init(&st);
                            st.next_in = const_cast<uint8_t*>(s.packed.data());
                            st.avail_in = uint32_t(s.packed.size());
                            st.next_out = out.data();
                            st.avail_out = uint32_t(s.size);
                            return isal_inflate_stateless(&st) == ISAL_DECOMP_OK && st.total_out == s.size;
                        }});
#endif
    // best[d][part]: part 0 the text half, 1 the binary half (the corpus is text first).
    std::vector<std::array<double, 2>> best(decoders.size(), {1e9, 1e9});
    size_t bytes[2] = {};
    for (size_t i = 0; i < streams.size(); ++i) bytes[i >= textStreams] += streams[i].size;
    for (int rep = 0; rep < runs; ++rep)
        for (size_t d = 0; d < decoders.size(); ++d)
            for (int part = 0; part < 2; ++part) {
                double t0 = cpuNow();
                size_t from = part ? textStreams : 0, to = part ? streams.size() : textStreams;
                for (size_t i = from; i < to; ++i) okAll &= decoders[d].run(streams[i]);
                best[d][part] = std::min(best[d][part], cpuNow() - t0);
            }
    if (!okAll) std::puts("DECODE FAILURE");
    std::printf("%-14s %10s %10s %10s   (MB/s)\n", "", "all", "text", "binary");
    auto rate = [&](size_t d, int part) {
        return part < 0 ? total / (best[d][0] + best[d][1]) / 1e6 : bytes[part] / best[d][part] / 1e6;
    };
    for (size_t d = 0; d < decoders.size(); ++d)
        std::printf("%-14s %10.1f %10.1f %10.1f\n", decoders[d].name, rate(d, -1), rate(d, 0), rate(d, 1));
    for (size_t d = 2; d < decoders.size(); ++d)
        std::printf("ours/%-9s %9.2fx %9.2fx %9.2fx\n", decoders[d].name, rate(0, -1) / rate(d, -1),
                    rate(0, 0) / rate(d, 0), rate(0, 1) / rate(d, 1));
#ifdef KV_HAVE_LIBDEFLATE
    libdeflate_free_decompressor(ld);
#endif
    return okAll ? 0 : 1;
#endif
}
