// Our deflate against our inflate and zlib's: every stream must give the input back through
// both, at every level, whole or fed in pieces; sizes are checked against zlib as control.
#include "archive/codec/deflate.h"
#include "archive/codec/inflate.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#ifdef KV_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

Bytes textLike(size_t n, uint32_t seed) {
    static const char* words[] = {"the ",   "archive ", "panel ",  "folder ", "of ",   "and ", "file\n",
                                  "entry ", "deflate ", "window ", "match ",  "0123 ", "{ }",  "x"};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < n) {
        const char* w = words[rng() % 14];
        out.insert(out.end(), w, w + std::char_traits<char>::length(w));
    }
    out.resize(n);
    return out;
}

Bytes randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out) b = uint8_t(rng());
    return out;
}

// Runs of one byte, long repeats at the farthest distances, and short binary records: the
// shapes that reach the length and distance code edges (258, 32506, lengths 3 far away).
Bytes edgeShapes() {
    Bytes out(70000, 'a');
    Bytes r = randomBytes(40000, 7);
    out.insert(out.end(), r.begin(), r.end());
    out.insert(out.end(), r.begin(), r.begin() + 300);  // a repeat 40000 back: too far, literals
    Bytes near = randomBytes(33000, 8);
    out.insert(out.end(), near.begin(), near.end());
    out.insert(out.end(), near.begin() + 500, near.begin() + 1500);  // 32500 back: just in reach
    for (int i = 0; i < 5000; ++i) {
        out.push_back(uint8_t(i));
        out.push_back(uint8_t(i >> 8));
        out.push_back(0);
        out.push_back(0);
    }
    return out;
}

// Records that repeat long bodies, each followed by a short tail that comes back later with
// the body's last bytes: long matches at the lazy levels put only part of their positions
// into the chains, and the record boundaries must still be found.
Bytes longRepeats(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<Bytes> bodies;
    for (int i = 0; i < 16; ++i) bodies.push_back(randomBytes(40 + rng() % 400, seed + 1 + uint32_t(i)));
    std::vector<Bytes> tails;
    for (int i = 0; i < 64; ++i) tails.push_back(randomBytes(6 + rng() % 10, seed + 100 + uint32_t(i)));
    Bytes out;
    while (out.size() < n) {
        const Bytes& b = bodies[rng() % bodies.size()];
        const Bytes& t = tails[rng() % tails.size()];
        out.insert(out.end(), b.begin(), b.end());
        out.insert(out.end(), t.begin(), t.end());
    }
    out.resize(n);
    return out;
}

Bytes oursInflate(const Bytes& packed, size_t size, bool& ok) {
    Bytes out(size);
    const kv::codec::Result r = kv::codec::inflate(packed, out);
    ok = r.ok() && r.output == size && r.inputUsed == packed.size();
    return out;
}

#ifdef KV_HAVE_ZLIB
Bytes zlibInflate(const Bytes& packed, size_t size, bool& ok) {
    Bytes out(size + 1);
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<uint8_t*>(packed.data());
    z.avail_in = uInt(packed.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    const int rc = ::inflate(&z, Z_FINISH);
    ok = rc == Z_STREAM_END && z.total_out == size && z.avail_in == 0;
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

size_t zlibSize(const Bytes& in, int level) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, uLong(in.size())));
    z.next_in = const_cast<uint8_t*>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    ::deflate(&z, Z_FINISH);
    const size_t n = z.total_out;
    deflateEnd(&z);
    return n;
}
#endif

void expectRoundTrip(const Bytes& in, const Bytes& packed, const std::string& what) {
    bool ok = false;
    EXPECT_TRUE(oursInflate(packed, in.size(), ok) == in && ok) << what << ": our inflate";
#ifdef KV_HAVE_ZLIB
    EXPECT_TRUE(zlibInflate(packed, in.size(), ok) == in && ok) << what << ": zlib inflate";
#endif
}

struct Sample {
    const char* name;
    Bytes data;
};

std::vector<Sample> samples() {
    // The edge shapes again, far into the stream: chain positions are kept relative to a
    // base that follows the input and moves with each slide of the buffer.
    Bytes late = textLike(3100000, 6);
    const Bytes edges = edgeShapes();
    late.insert(late.end(), edges.begin(), edges.end());
    Bytes mixed = textLike(400000, 1);
    Bytes r = randomBytes(200000, 2);
    mixed.insert(mixed.begin() + 150000, r.begin(), r.end());
    return {
        {"empty", {}},
        {"one byte", {'z'}},
        {"three bytes", {1, 2, 3}},
        {"run of one byte", Bytes(1 << 20, 0)},
        {"text", textLike(300000, 3)},
        {"random", randomBytes(150000, 4)},
        {"text, random, text", mixed},
        {"edge shapes", edgeShapes()},
        {"long repeats", longRepeats(300000, 15)},
        // More than the 1 MB input buffer, so the window slides with a match waiting.
        {"past one buffer", textLike(2500000, 5)},
        {"edge shapes after three buffers", late},
    };
}

TEST(Deflate, EveryLevelInflatesBackWithOursAndZlib) {
    for (const Sample& s : samples())
        for (int level = 0; level <= 9; ++level)
            expectRoundTrip(s.data, kv::codec::deflate(s.data, level),
                            std::string(s.name) + " at level " + std::to_string(level));
}

TEST(Deflate, FedInPiecesGivesAValidStream) {
    const Bytes in = textLike(1300000, 9);
    for (size_t piece : {size_t(1), size_t(4097), size_t(1 << 20)}) {
        kv::codec::Deflater d(6);
        Bytes out;
        size_t at = 0;
        // One-byte pieces over the whole input would be slow; they cover the first 64 KB.
        const size_t limit = piece == 1 ? 65536 : in.size();
        for (; at < limit; at += piece)
            d.compress(std::span<const uint8_t>(in).subspan(at, std::min(piece, limit - at)), false, out);
        d.compress({}, true, out);
        EXPECT_TRUE(d.finished());
        expectRoundTrip(Bytes(in.begin(), in.begin() + limit), out, "pieces of " + std::to_string(piece));
    }
}

// A reused compressor must forget the previous stream: a stale hash head would offer
// matches into bytes the new stream never had. The streams share their text, so any such
// match would be found; a fresh compressor is the oracle, byte for byte.
TEST(Deflate, ResetCompressorGivesTheSameBytesAsAFreshOne) {
    const Bytes longText = textLike(1300000, 21);  // slides the buffer
    const Bytes shortText(longText.begin() + 5000, longText.begin() + 9000);
    const Bytes midText(longText.begin() + 1000, longText.begin() + 200000);
    const Bytes empty;
    struct Stream {
        const Bytes* data;
        int level;
    };
    const Stream order[] = {{&shortText, 6}, {&shortText, 6}, {&longText, 7}, {&shortText, 1},
                            {&midText, 9},   {&shortText, 7}, {&empty, 6},    {&midText, 6}};
    kv::codec::Deflater reused(6);
    int n = 0;
    for (const Stream& st : order) {
        if (n++) reused.reset(st.level);
        Bytes out;
        reused.compress(*st.data, true, out);
        EXPECT_EQ(out, kv::codec::deflate(*st.data, st.level)) << "stream " << n << " at level " << st.level;
    }
}

// Records of 64 words from a vocabulary of eight: every four-byte string has a long chain,
// and only a walk down the links finds the record that repeats. The input buffer holds 1 MB
// past the window, so the first slide comes at about 1.08 MB; the 100 KB across it must cost
// no more than the 100 KB before it. Links that lost their slots in the slide cost a fifth more.
TEST(Deflate, ChainsStayWholeAcrossASlideOfTheBuffer) {
    std::mt19937 rng(31);
    uint8_t words[8][4];
    for (auto& w : words)
        for (auto& b : w) b = uint8_t(rng());
    std::vector<Bytes> records(32);
    for (Bytes& r : records)
        for (int i = 0; i < 64; ++i) {
            const uint8_t* w = words[rng() % 8];
            r.insert(r.end(), w, w + 4);
        }
    Bytes in;
    while (in.size() < 1180000) {
        const Bytes& r = records[rng() % 32];
        in.insert(in.end(), r.begin(), r.end());
    }
    auto packed = [&](size_t n) {
        return double(kv::codec::deflate(std::span<const uint8_t>(in).first(n), 6).size());
    };
    const double before = packed(1080000) - packed(980000), across = packed(1180000) - packed(1080000);
    EXPECT_LE(across, before * 1.08);
}

TEST(Deflate, IncompressibleDataGrowsOnlyByStoredBlockHeaders) {
    const Bytes in = randomBytes(300000, 11);
    const Bytes out = kv::codec::deflate(in, 7);
    // Stored blocks cost 5 bytes per 65535 and one per block boundary: far below 0.02 %.
    EXPECT_LE(out.size(), in.size() + in.size() / 8000 + 16);
}

#ifdef KV_HAVE_ZLIB
TEST(Deflate, SizesStayCloseToZlibAtTheSameLevel) {
    const Sample inputs[] = {{"text", textLike(1500000, 13)}, {"long repeats", longRepeats(1500000, 14)}};
    for (const Sample& s : inputs)
        for (int level : {1, 4, 6, 7, 9}) {
            const size_t ours = kv::codec::deflate(s.data, level).size(), theirs = zlibSize(s.data, level);
            EXPECT_LE(double(ours), double(theirs) * 1.005) << s.name << ", level " << level;
        }
}
#endif

TEST(Deflate, LevelTableIsTheClassicOne) {
    struct Row {
        int level, good, lazy, nice, chain;
        bool lazyLoop;
    };
    const Row rows[] = {{1, 4, 4, 8, 4, false},
                        {3, 4, 6, 32, 32, false},
                        {4, 4, 4, 16, 16, true},
                        {7, 8, 32, 128, 256, true},
                        {9, 32, 258, 258, 4096, true}};
    for (const Row& r : rows) {
        const kv::codec::DeflateLevel l = kv::codec::deflateLevel(r.level);
        EXPECT_EQ(l.goodLength, r.good);
        EXPECT_EQ(l.maxLazy, r.lazy);
        EXPECT_EQ(l.niceLength, r.nice);
        EXPECT_EQ(l.maxChain, r.chain);
        EXPECT_EQ(l.lazy, r.lazyLoop);
    }
}

}  // namespace
