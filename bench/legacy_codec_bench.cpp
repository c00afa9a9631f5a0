// Decode speed of the older decoders alone: ARJ methods 1-4, LHA -lh5- to -lh7-, ARC
// crunching and squashing, and ZIP's shrink, reduce and implode. The ARJ, LHA and ARC
// streams are packed at bench time by arj, jlha and arc from one file of /usr text and
// binaries; the ZIP streams are the entries of the test fixtures, decoded over and over
// (no tool here writes those methods). Each stream is pulled in 256 KB chunks through the
// sliding window its extractor uses, into a sink that drops the bytes; one untimed run
// checks the output's CRC first. Thread CPU time, best of N runs; prints MB/s of output.
// Run by hand: ./legacy_codec_bench [MB of corpus, default 30] [runs, default 5] [work folder]
// A work folder given is kept, and the archives already in it are used as they are.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "archive/base/crc.h"
#include "archive/codec/arc_decode.h"
#include "archive/codec/arj_decode.h"
#include "archive/codec/crc32.h"
#include "archive/codec/explode.h"
#include "archive/codec/lha_decode.h"
#include "archive/codec/unreduce.h"
#include "archive/codec/unshrink.h"
#include "test_legacy_archives.h"

namespace fs = std::filesystem;
using namespace kv::codec;

namespace {

int runs = 5;

int run(const std::string& cmd) {
    int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

bool have(const char* tool) { return run(std::string("command -v ") + tool + " >/dev/null 2>&1") == 0; }

std::vector<uint8_t> readAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

double threadSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

using Decode = std::function<Result(InputSource&, OutputWindow&)>;

struct Stream {
    std::vector<uint8_t> packed;
    uint64_t size = 0;
    size_t history = 32768;
};

// One pass over the stream; `check` (when set) sees every output byte.
bool decodeOnce(const Decode& decode, const Stream& s, std::vector<uint8_t>& scratch,
                const std::function<void(const uint8_t*, size_t)>& check) {
    size_t at = 0;
    InputSource in(
        [&](uint8_t* dst, size_t cap) -> long {
            size_t n = std::min(cap, s.packed.size() - at);
            std::memcpy(dst, s.packed.data() + at, n);
            at += n;
            return long(n);
        },
        InputSource::chunkFor(s.packed.size()));
    OutputWindow out(
        [&](const uint8_t* p, size_t n) {
            if (check) check(p, n);
            return true;
        },
        s.size, scratch, s.history);
    Result r = decode(in, out);
    return r.ok() && r.output == s.size;
}

// Best MB/s over the runs; each run decodes the streams `repeat` times.
void row(const char* name, const Decode& decode, const std::vector<Stream>& streams, int repeat,
         const std::function<bool()>& verify) {
    // KV_BENCH_ONLY=text runs only the rows whose name holds the text (for profiling).
    if (const char* only = std::getenv("KV_BENCH_ONLY"); only && !std::strstr(name, only)) return;
    std::vector<uint8_t> scratch;
    if (!verify()) {
        std::printf("%-22s FAILED (output differs or decode error)\n", name);
        return;
    }
    uint64_t bytes = 0, packed = 0;
    for (const Stream& s : streams) bytes += s.size, packed += s.packed.size();
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        double t0 = threadSeconds();
        for (int k = 0; k < repeat; ++k)
            for (const Stream& s : streams) decodeOnce(decode, s, scratch, nullptr);
        best = std::min(best, threadSeconds() - t0);
    }
    double mb = double(bytes) * repeat / 1048576.0;
    std::printf("%-22s %7.1f MB out (%5.1f%% packed)  %8.3f s  %7.1f MB/s\n", name, mb,
                100.0 * double(packed) / double(bytes), best, mb / best);
}

void streamRows(const char* name, const Decode& decode, std::vector<Stream> streams,
                const std::vector<uint32_t>& crcs, bool crc16) {
    row(name, decode, streams, 1, [&] {
        std::vector<uint8_t> scratch;
        for (size_t i = 0; i < streams.size(); ++i) {
            uint32_t c = 0;
            std::vector<uint8_t> all;
            bool ok = decodeOnce(decode, streams[i], scratch, [&](const uint8_t* p, size_t n) {
                if (crc16)
                    all.insert(all.end(), p, p + n);
                else
                    c = crc32Update(c, p, n);
            });
            if (crc16) c = kv::crc16(all);
            if (!ok || c != crcs[i]) return false;
        }
        return true;
    });
}

// ZIP entries of one method group found in the fixtures, through the central directory.
struct ZipEntry {
    Stream stream;
    int method = 0;
    uint16_t flags = 0;
    uint32_t crc = 0;
};

uint32_t le32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16) | uint32_t(p[3]) << 24; }
uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

std::vector<ZipEntry> zipEntries(const std::vector<uint8_t>& z) {
    std::vector<ZipEntry> out;
    if (z.size() < 22) return out;
    size_t eocd = z.size() - 22;
    while (eocd > 0 && le32(&z[eocd]) != 0x06054b50) --eocd;
    if (le32(&z[eocd]) != 0x06054b50) return out;
    size_t cd = le32(&z[eocd + 16]);
    unsigned count = le16(&z[eocd + 10]);
    for (unsigned i = 0; i < count && cd + 46 <= z.size() && le32(&z[cd]) == 0x02014b50; ++i) {
        ZipEntry e;
        e.flags = le16(&z[cd + 8]);
        e.method = le16(&z[cd + 10]);
        e.crc = le32(&z[cd + 16]);
        uint32_t csize = le32(&z[cd + 20]);
        e.stream.size = le32(&z[cd + 24]);
        size_t lh = le32(&z[cd + 42]);
        size_t next = cd + 46 + le16(&z[cd + 28]) + le16(&z[cd + 30]) + le16(&z[cd + 32]);
        cd = next;
        if (lh + 30 > z.size()) continue;
        size_t data = lh + 30 + le16(&z[lh + 26]) + le16(&z[lh + 28]);
        if (data + csize > z.size() || (e.flags & 1) || e.stream.size == 0) continue;
        e.stream.packed.assign(z.begin() + ptrdiff_t(data), z.begin() + ptrdiff_t(data + csize));
        out.push_back(std::move(e));
    }
    return out;
}

void zipRows(const fs::path& dir) {
    std::vector<ZipEntry> all;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->path().extension() != ".zip" && it->path().extension() != ".ZIP") continue;
        for (ZipEntry& e : zipEntries(readAll(it->path())))
            if (e.method >= 1 && e.method <= 6) all.push_back(std::move(e));
    }
    struct Group {
        const char* name;
        int lo, hi;
    };
    for (Group g : {Group{"ZIP shrunk", 1, 1}, Group{"ZIP reduced", 2, 5}, Group{"ZIP imploded", 6, 6}}) {
        std::vector<ZipEntry> es;
        for (const ZipEntry& e : all)
            if (e.method >= g.lo && e.method <= g.hi) es.push_back(e);
        if (es.empty()) continue;
        size_t cur = 0;
        auto decode = [&](InputSource& in, OutputWindow& out) {
            const ZipEntry& e = es[cur];
            cur = (cur + 1) % es.size();
            if (e.method == 1) return unshrink(in, out);
            if (e.method <= 5) return unreduce(in, out, e.method - 1);
            return explode(in, out, {(e.flags & 2) != 0, (e.flags & 4) != 0});
        };
        std::vector<Stream> streams;
        uint64_t bytes = 0;
        for (const ZipEntry& e : es) streams.push_back(e.stream), bytes += e.stream.size;
        int repeat = int(std::max<uint64_t>(1, (20u << 20) / bytes));
        row(g.name, decode, streams, repeat, [&] {
            std::vector<uint8_t> scratch;
            cur = 0;
            for (const ZipEntry& e : es) {
                uint32_t c = 0;
                bool ok = decodeOnce(decode, e.stream, scratch,
                                     [&](const uint8_t* p, size_t n) { c = crc32Update(c, p, n); });
                if (!ok || c != e.crc) return false;
            }
            cur = 0;
            return true;
        });
    }
}

std::vector<Stream> streamsOf(const std::vector<test::RawEntry>& entries, size_t history,
                              std::vector<uint32_t>& crcs, std::vector<std::string>& methods) {
    std::vector<Stream> out;
    for (const test::RawEntry& e : entries) {
        out.push_back({e.data, e.size, history});
        crcs.push_back(e.crc);
        methods.push_back(e.method);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t mb = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 30;
    if (argc > 2) runs = std::max(1, std::atoi(argv[2]));
    const bool keep = argc > 3;
    fs::path work = keep ? fs::path(argv[3])
                         : fs::temp_directory_path() / ("kv_legacy_codec_bench_" + std::to_string(getpid()));
    fs::create_directories(work);

    // One file: half text, half binaries.
    fs::path corpus = work / "corpus.bin";
    if (!fs::exists(corpus)) {
        std::ofstream f(corpus, std::ios::binary);
        uint64_t written = 0;
        for (auto [root, budget] :
             {std::pair{"/usr/share/doc", mb << 19}, std::pair{"/usr/include", mb << 19},
              std::pair{"/usr/lib/x86_64-linux-gnu", mb << 20}}) {
            std::error_code ec;
            for (auto it = fs::recursive_directory_iterator(root, ec);
                 it != fs::recursive_directory_iterator() && written < budget; it.increment(ec)) {
                if (ec) break;
                if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
                std::vector<uint8_t> d = readAll(it->path());
                d.resize(std::min<size_t>(d.size(), 2u << 20));
                f.write(reinterpret_cast<const char*>(d.data()), std::streamsize(d.size()));
                written += d.size();
            }
        }
    }
    std::printf("corpus: %.1f MB of /usr text and binaries; thread CPU time, best of %d runs\n",
                double(fs::file_size(corpus)) / 1048576.0, runs);
    const std::string in = "cd '" + work.string() + "' && ";
    // Packs unless a kept folder already holds the archive.
    auto pack = [&](const std::string& name, const std::string& cmd) {
        if (!fs::exists(work / name)) run(in + cmd + " >/dev/null 2>&1");
    };

    if (have("arj")) {
        for (int m = 1; m <= 4; ++m) {
            std::string name = "c" + std::to_string(m) + ".arj";
            pack(name, "arj a -m" + std::to_string(m) + " -y " + name + " corpus.bin");
            std::vector<uint32_t> crcs;
            std::vector<std::string> methods;
            auto streams = streamsOf(test::rawArjEntries(readAll(work / name)), kArjHistory, crcs, methods);
            int method = m;
            std::string label = "ARJ -m" + std::to_string(m);
            streamRows(
                label.c_str(), [method](InputSource& i, OutputWindow& o) { return arjDecode(i, o, method); },
                streams, crcs, false);
        }
    }
    if (have("jlha")) {
        for (int m = 5; m <= 7; ++m) {
            std::string name = "c" + std::to_string(m) + ".lzh";
            pack(name, "jlha ao" + std::to_string(m) + " " + name + " corpus.bin");
            std::vector<uint32_t> crcs;
            std::vector<std::string> methods;
            auto entries = test::rawLhaEntries(readAll(work / name));
            if (entries.empty()) continue;
            auto method = lhaMethod(entries[0].method);
            if (!method) continue;
            auto streams = streamsOf(entries, lhaHistory(*method), crcs, methods);
            std::string label = "LHA " + entries[0].method;
            LhaMethod lm = *method;
            streamRows(
                label.c_str(), [lm](InputSource& i, OutputWindow& o) { return lhaDecode(i, o, lm); }, streams,
                crcs, true);
        }
    }
    if (have("arc")) {
        // arc is slow to pack: a 20 MB part of the corpus.
        pack("part.bin", "head -c 20000000 corpus.bin > part.bin");
        for (const char* cmd : {"a", "aq"}) {
            std::string name = std::string("c") + cmd + ".arc";
            pack(name, std::string("arc ") + cmd + " " + name + " part.bin");
            std::vector<uint32_t> crcs;
            std::vector<std::string> methods;
            auto streams = streamsOf(test::rawArcEntries(readAll(work / name)), 32768, crcs, methods);
            if (streams.empty()) continue;
            int method = std::atoi(methods[0].c_str());
            std::string label = "ARC method " + methods[0];
            streamRows(
                label.c_str(), [method](InputSource& i, OutputWindow& o) { return arcDecode(i, o, method); },
                streams, crcs, true);
        }
    }
    zipRows(KV_ZIP_FIXTURES);
    if (!keep) fs::remove_all(work);
    return 0;
}
