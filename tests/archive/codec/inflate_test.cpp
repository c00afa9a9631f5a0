// Our inflate against zlib as the control, then damaged streams, limits and streaming.
#include "archive/codec/inflate.h"
#include "test_codec_util.h"

#include <gtest/gtest.h>

#include <cstring>

#ifdef KV_HAVE_ZLIB
#include <zlib.h>
#endif

namespace kv::codec {
namespace {

// Every test runs once for each instruction choice of the fast loop that this CPU runs:
// the variants share their source but not their code, and only one is ever picked here.
class Inflate : public testing::TestWithParam<FastLoop> {
protected:
    void SetUp() override {
        if (!fastLoopRunsHere(GetParam())) GTEST_SKIP() << "this CPU lacks the instructions";
        useFastLoop(GetParam());
    }
    void TearDown() override { useFastLoop(FastLoop::Auto); }
};

INSTANTIATE_TEST_SUITE_P(FastLoops, Inflate,
                         testing::Values(FastLoop::Plain, FastLoop::Bmi2, FastLoop::Bextr),
                         [](const testing::TestParamInfo<FastLoop>& info) {
                             switch (info.param) {
                                 case FastLoop::Plain: return "Plain";
                                 case FastLoop::Bmi2: return "Bmi2";
                                 case FastLoop::Bextr: return "Bextr";
                                 default: return "Auto";
                             }
                         });

using test::randomData;
using test::textData;

#ifdef KV_HAVE_ZLIB
// Raw deflate (no zlib header) at `level` with `strategy`.
std::vector<uint8_t> zlibDeflate(const std::vector<uint8_t>& in, int level,
                                 int strategy = Z_DEFAULT_STRATEGY) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy), Z_OK);
    std::vector<uint8_t> out(deflateBound(&z, uLong(in.size())) + 16);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

struct Sample {
    const char* name;
    std::vector<uint8_t> data;
};

std::vector<Sample> samples() {
    std::vector<uint8_t> mixed = textData(150000, 3);
    auto r = randomData(70000, 4);
    mixed.insert(mixed.begin() + 60000, r.begin(), r.end());
    std::vector<uint8_t> runs(200000);
    for (size_t i = 0; i < runs.size(); ++i)
        runs[i] = uint8_t((i / 1000) % 3 == 0 ? 'a' : i % 7);  // distance-1 and short-distance matches
    return {{"empty", {}},
            {"one byte", {0x42}},
            {"text", textData(300000, 1)},
            {"random", randomData(100000, 2)},
            {"mixed", mixed},
            {"runs", runs}};
}

TEST_P(Inflate, MatchesZlibAtEveryLevelAndStrategy) {
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE, Z_FILTERED};
    for (const auto& s : samples()) {
        for (int level = 0; level <= 9; ++level) {
            for (int strategy : strategies) {
                if (level == 0 && strategy != Z_DEFAULT_STRATEGY) continue;
                auto packed = zlibDeflate(s.data, level, strategy);
                std::vector<uint8_t> out(s.data.size());
                Result r = kv::codec::inflate(packed, out);
                ASSERT_TRUE(r.ok()) << s.name << " level " << level << " strategy " << strategy << " id "
                                    << r.messageId;
                EXPECT_EQ(r.output, s.data.size());
                EXPECT_EQ(r.inputUsed, packed.size()) << s.name << " level " << level;
                ASSERT_TRUE(out == s.data) << s.name << " level " << level << " strategy " << strategy;
            }
        }
    }
}

// The same streams through the window and small input chunks, which exercise every
// slow path: refills across chunk edges, window slides and the flush to the sink.
TEST_P(Inflate, StreamsThroughWindowAndSmallChunks) {
    for (const auto& s : samples()) {
        for (int level : {0, 1, 6, 9}) {
            auto packed = zlibDeflate(s.data, level);
            for (size_t chunk :
                 {size_t(1), size_t(7), size_t(8), size_t(15), size_t(16), size_t(17), size_t(4096)}) {
                size_t at = 0;
                InputSource in(
                    [&](uint8_t* dst, size_t cap) -> long {
                        size_t n = std::min({cap, chunk, packed.size() - at});
                        std::memcpy(dst, packed.data() + at, n);
                        at += n;
                        return long(n);
                    },
                    chunk);
                std::vector<uint8_t> got;
                OutputWindow out(
                    [&](const uint8_t* p, size_t n) {
                        got.insert(got.end(), p, p + n);
                        return true;
                    },
                    s.data.size(), 32768, 70000);
                Result r = kv::codec::inflate(in, out);
                ASSERT_TRUE(r.ok()) << s.name << " level " << level << " chunk " << chunk;
                EXPECT_EQ(r.inputUsed, packed.size());
                ASSERT_TRUE(got == s.data) << s.name << " level " << level << " chunk " << chunk;
            }
        }
    }
}

// Short repeats of every distance from 1 to 16 between runs of literals from a small
// alphabet (whose short codes pair up in one table entry).
std::vector<uint8_t> shortRepeats(size_t size) {
    std::vector<uint8_t> out;
    uint32_t x = 12345;
    auto next = [&x] {
        x = x * 1103515245u + 12345u;
        return x >> 16;
    };
    for (unsigned d = 1; out.size() < size; d = d % 16 + 1) {
        for (unsigned i = 0; i < d; ++i) out.push_back(uint8_t('a' + next() % 8));
        for (unsigned i = 0, n = 3 + next() % 30; i < n; ++i) out.push_back(out[out.size() - d]);
        for (unsigned i = 0, n = next() % 6; i < n; ++i) out.push_back(uint8_t('a' + next() % 8));
    }
    out.resize(size);
    return out;
}

// The fast loop stops a fixed margin before the end of the output and the slow path
// finishes; each length below puts that hand-over at another place in the stream, with
// literal pairs and short-distance matches crossing it. One byte less than the stream
// holds must be the output limit, never a silent cut.
TEST_P(Inflate, EveryOutputEndAroundTheFastLoopMargin) {
    const auto data = shortRepeats(2400);
    for (size_t n = 1500; n <= data.size(); ++n) {
        const std::vector<uint8_t> part(data.begin(), data.begin() + long(n));
        for (int level : {1, 9}) {
            auto packed = zlibDeflate(part, level);
            std::vector<uint8_t> out(n);
            Result r = kv::codec::inflate(packed, out);
            ASSERT_TRUE(r.ok()) << "size " << n << " level " << level << " id " << r.messageId;
            ASSERT_EQ(r.inputUsed, packed.size()) << "size " << n;
            ASSERT_TRUE(out == part) << "size " << n << " level " << level;
            std::vector<uint8_t> less(n - 1);
            ASSERT_EQ(kv::codec::inflate(packed, less).status, Status::OutputLimit) << "size " << n;
        }
    }
}

// With two literals only, their one- and two-bit codes make nearly every table entry a
// pair: a pair whose second byte is one past the limit must stop at the limit, in the
// slow path (short outputs) and after the fast loop (long ones).
TEST_P(Inflate, LiteralPairsStopAtTheLimit) {
    for (size_t n : {1, 2, 3, 4, 5, 6, 7, 333, 334, 335, 1001, 1002}) {
        std::vector<uint8_t> data(n);
        uint32_t x = uint32_t(n);
        for (auto& b : data) {
            x = x * 1103515245u + 12345u;
            b = (x >> 20) % 3 ? 'x' : 'y';
        }
        auto packed = zlibDeflate(data, 6, Z_HUFFMAN_ONLY);
        std::vector<uint8_t> out(n);
        Result r = kv::codec::inflate(packed, out);
        ASSERT_TRUE(r.ok()) << "size " << n;
        ASSERT_TRUE(out == data) << "size " << n;
        std::vector<uint8_t> less(n - 1);
        Result cut = kv::codec::inflate(packed, less);
        EXPECT_EQ(cut.status, Status::OutputLimit) << "size " << n;
        EXPECT_EQ(cut.output, n - 1) << "size " << n;
    }
}

// Byte frequencies in a Fibonacci series give the rarest bytes 15-bit codes, longer
// than the tables index in one lookup: they are read through sub-tables, in the fast
// loop and, near the end and in small chunks, in the slow path.
TEST_P(Inflate, CodesLongerThanTheTableIndex) {
    std::vector<uint8_t> data;
    uint32_t a = 1, b = 1;
    for (uint8_t sym = 0; sym < 24; ++sym) {
        data.insert(data.end(), a, uint8_t(sym * 7));
        uint32_t c = a + b;
        a = b;
        b = c;
    }
    uint32_t x = 99;
    for (size_t i = data.size(); i > 1; --i) {
        x = x * 1103515245u + 12345u;
        std::swap(data[i - 1], data[(x >> 8) % i]);
    }
    for (int strategy : {Z_HUFFMAN_ONLY, Z_DEFAULT_STRATEGY}) {
        auto packed = zlibDeflate(data, 9, strategy);
        std::vector<uint8_t> out(data.size());
        Result r = kv::codec::inflate(packed, out);
        ASSERT_TRUE(r.ok()) << strategy;
        EXPECT_TRUE(out == data) << strategy;

        size_t at = 0;
        InputSource in(
            [&](uint8_t* dst, size_t cap) -> long {
                size_t n = std::min({cap, size_t(3), packed.size() - at});
                std::memcpy(dst, packed.data() + at, n);
                at += n;
                return long(n);
            },
            3);
        std::vector<uint8_t> got;
        OutputWindow win(
            [&](const uint8_t* p, size_t n) {
                got.insert(got.end(), p, p + n);
                return true;
            },
            data.size());
        ASSERT_TRUE(kv::codec::inflate(in, win).ok()) << strategy;
        EXPECT_TRUE(got == data) << strategy;
    }
}

TEST_P(Inflate, StopsAtTheDeclaredSize) {
    // A bomb: 64 MiB of zeros packs to about 64 KiB; the entry claims 1000 bytes.
    std::vector<uint8_t> zeros(64u << 20);
    auto packed = zlibDeflate(zeros, 9);
    uint64_t written = 0;
    OutputWindow out(
        [&](const uint8_t*, size_t n) {
            written += n;
            return true;
        },
        1000);
    InputSource in(packed);
    Result r = kv::codec::inflate(in, out);
    EXPECT_EQ(r.status, Status::OutputLimit);
    EXPECT_EQ(r.messageId, msg::SizeDifferent);
    EXPECT_LE(written, 1000u);

    std::vector<uint8_t> small(999);
    EXPECT_EQ(kv::codec::inflate(packed, small).status, Status::OutputLimit);
    // A declared size of 0 (no buffer at all) once made the fast loop's bound wrap.
    EXPECT_EQ(kv::codec::inflate(packed, std::span<uint8_t>()).status, Status::OutputLimit);
}

TEST_P(Inflate, RefusedWriteIsReported) {
    auto data = textData(200000);
    auto packed = zlibDeflate(data, 6);
    OutputWindow out([](const uint8_t*, size_t) { return false; }, data.size());
    InputSource in(packed);
    Result r = kv::codec::inflate(in, out);
    EXPECT_EQ(r.status, Status::SinkFailed);
    EXPECT_EQ(r.messageId, msg::WriteError);
}

TEST_P(Inflate, EveryTruncationIsShortInput) {
    auto data = textData(5000, 9);
    for (int level : {0, 1, 9}) {
        auto packed = zlibDeflate(data, level);
        for (size_t cut = 0; cut < packed.size(); ++cut) {
            std::vector<uint8_t> part(packed.begin(), packed.begin() + long(cut));
            std::vector<uint8_t> out(data.size());
            Result r = kv::codec::inflate(part, out);
            ASSERT_EQ(r.status, Status::ShortInput) << "level " << level << " cut " << cut;
            ASSERT_EQ(r.messageId, msg::BadBlock);
        }
    }
}

TEST_P(Inflate, TrailingBytesAreNotConsumed) {
    auto data = textData(3000);
    auto packed = zlibDeflate(data, 6);
    size_t streamSize = packed.size();
    packed.insert(packed.end(), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    std::vector<uint8_t> out(data.size());
    Result r = kv::codec::inflate(packed, out);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.inputUsed, streamSize);
}
#endif  // KV_HAVE_ZLIB

// Hand-made damaged streams, written bit by bit (LSB first, Huffman codes MSB first).
class BitWriter {
public:
    void bits(uint32_t v, unsigned n) {
        for (unsigned i = 0; i < n; ++i) put(i < 32 && ((v >> i) & 1));  // bits past the value's 32 are zeros
    }
    void code(uint32_t c, unsigned n) {
        for (unsigned i = n; i-- > 0;) put((c >> i) & 1);
    }
    std::vector<uint8_t> done() {
        if (count_) out_.push_back(cur_);
        return out_;
    }

private:
    void put(unsigned b) {
        cur_ |= uint8_t(b << count_);
        if (++count_ == 8) {
            out_.push_back(cur_);
            cur_ = 0;
            count_ = 0;
        }
    }
    std::vector<uint8_t> out_;
    uint8_t cur_ = 0;
    unsigned count_ = 0;
};

// The start of a final dynamic block with the given code-length code lengths.
void dynamicHeader(unsigned hlit, unsigned hdist, const std::vector<uint8_t>& clLens, BitWriter& w) {
    w.bits(1, 1);  // final
    w.bits(2, 2);  // dynamic
    w.bits(hlit - 257, 5);
    w.bits(hdist - 1, 5);
    w.bits(19 - 4, 4);
    static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (unsigned i = 0; i < 19; ++i) w.bits(clLens[order[i]], 3);
}

struct BrokenCase {
    const char* what;
    std::vector<uint8_t> stream;
    Status status;
    int id;
};

std::vector<BrokenCase> brokenStreams() {
    std::vector<BrokenCase> cases;
    {
        BitWriter w;
        w.bits(1, 1);
        w.bits(3, 2);  // reserved block type
        w.bits(0, 16);
        cases.push_back({"block type 3", w.done(), Status::BadData, msg::BadBlock});
    }
    {
        // Stored block: LEN 5, NLEN not its complement.
        cases.push_back({"stored lengths disagree",
                         {0x01, 0x05, 0x00, 0x00, 0x00, 'a', 'b', 'c', 'd', 'e'},
                         Status::BadData,
                         msg::BadBlock});
    }
    {
        // Code-length code: lengths 1,1,1 for three symbols: over-subscribed.
        std::vector<uint8_t> cl(19, 0);
        cl[0] = cl[8] = cl[18] = 1;
        BitWriter w;
        dynamicHeader(257, 1, cl, w);
        w.bits(0, 32);
        cases.push_back({"over-subscribed code-length code", w.done(), Status::BadData, msg::BadLengths});
    }
    {
        // Code-length code with one symbol of length 2: incomplete.
        std::vector<uint8_t> cl(19, 0);
        cl[8] = 2;
        BitWriter w;
        dynamicHeader(257, 1, cl, w);
        w.bits(0, 32);
        cases.push_back({"incomplete code-length code", w.done(), Status::BadData, msg::IncompleteCodeSet});
    }
    // Code-length code used below: symbols 0, 8, 16, 18 with 2 bits each (codes 00, 01, 10, 11
    // for 0, 8, 16, 18 in symbol order).
    std::vector<uint8_t> cl4(19, 0);
    cl4[0] = cl4[8] = cl4[16] = cl4[18] = 2;
    {
        // First length is "repeat previous": nothing to repeat.
        BitWriter w;
        dynamicHeader(257, 1, cl4, w);
        w.code(2, 2);  // 16
        w.bits(0, 2);
        w.bits(0, 32);
        cases.push_back({"repeat with nothing before", w.done(), Status::BadData, msg::BadLengths});
    }
    {
        // 138 zeros twice = 276, then 138 more would run past 258 lengths.
        BitWriter w;
        dynamicHeader(257, 1, cl4, w);
        w.code(3, 2);
        w.bits(127, 7);
        w.code(3, 2);
        w.bits(127, 7);
        w.bits(0, 32);
        cases.push_back({"repeat past the end", w.done(), Status::BadData, msg::BadLengths});
    }
    {
        // Literal/length lengths: 256 symbols of 8 bits and the end code of 8 bits:
        // 257 codes of 8 bits over-subscribe the 256 available.
        BitWriter w;
        dynamicHeader(257, 1, cl4, w);
        for (int i = 0; i < 257; ++i) w.code(1, 2);  // 8
        w.code(1, 2);                                // distance length 8
        w.bits(0, 32);
        cases.push_back({"over-subscribed literal set", w.done(), Status::BadData, msg::BadLengths});
    }
    // Code-length code with 1 as well: symbols 0, 1, 8, 18 with 2 bits each (00, 01, 10, 11),
    // so the distance set can be two complete one-bit codes and only the literal set is at fault.
    std::vector<uint8_t> cl1(19, 0);
    cl1[0] = cl1[1] = cl1[8] = cl1[18] = 2;
    {
        // 254 literals of 8 bits plus the end code: 255 of the 256 8-bit codes, one unused.
        BitWriter w;
        dynamicHeader(257, 2, cl1, w);
        w.code(0, 2);  // literals 0 and 1 unused
        w.code(0, 2);
        for (int i = 2; i < 257; ++i) w.code(2, 2);  // 8
        w.code(1, 2);                                // distances 0 and 1: one bit each, complete
        w.code(1, 2);
        w.bits(0, 32);
        cases.push_back({"incomplete literal set", w.done(), Status::BadData, msg::IncompleteCodeSet});
    }
    {
        // 256 literals of 8 bits, complete, but no end-of-block code: the block could never end.
        BitWriter w;
        dynamicHeader(257, 2, cl1, w);
        for (int i = 0; i < 256; ++i) w.code(2, 2);
        w.code(0, 2);  // end of block unused
        w.code(1, 2);
        w.code(1, 2);
        w.bits(0, 64);
        cases.push_back({"no end-of-block code", w.done(), Status::BadData, msg::IncompleteCodeSet});
    }
    {
        // HLIT of 287 symbols is more than the alphabet has.
        BitWriter w;
        dynamicHeader(287, 1, cl4, w);
        w.bits(0, 32);
        cases.push_back({"too many literal/length codes", w.done(), Status::BadData, msg::BadLengths});
    }
    {
        // Fixed block using literal/length symbol 286 (code 11000110).
        BitWriter w;
        w.bits(1, 1);
        w.bits(1, 2);
        w.code(0xC6, 8);
        w.bits(0, 16);
        cases.push_back({"fixed code 286", w.done(), Status::BadData, msg::BadHuffmanCode});
    }
    {
        // Fixed block using distance symbol 30 (5-bit code 11110) after a length of 3.
        BitWriter w;
        w.bits(1, 1);
        w.bits(1, 2);
        w.code(0x30 + 'a', 8);  // literal 'a'
        w.code(1, 7);           // symbol 257: length 3
        w.code(30, 5);
        w.bits(0, 16);
        cases.push_back({"fixed distance 30", w.done(), Status::BadData, msg::BadHuffmanCode});
    }
    {
        // A match two bytes back when one byte has been written.
        BitWriter w;
        w.bits(1, 1);
        w.bits(1, 2);
        w.code(0x30 + 'a', 8);
        w.code(1, 7);  // length 3
        w.code(1, 5);  // distance 2
        w.code(0, 7);  // end
        cases.push_back({"distance before the start", w.done(), Status::BadData, msg::CorruptInput});
    }
    return cases;
}

TEST_P(Inflate, DamagedStreamsGiveTheirIds) {
    for (const auto& c : brokenStreams()) {
        std::vector<uint8_t> out(1 << 16);
        Result r = kv::codec::inflate(c.stream, out);
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.messageId, c.id) << c.what;
    }
}

// The window holds the whole of the 32 KiB a match may reach back: the output fills the
// window exactly (two stored blocks), so the slide comes right before a match of the
// longest distance, which needs every byte the slide kept.
TEST_P(Inflate, AMatchOfTheLongestDistanceRightAfterTheWindowSlides) {
    const size_t capacity = 2 * 32768 + 4096;  // the smallest window OutputWindow makes
    const auto data = test::randomData(capacity, 11);
    std::vector<uint8_t> s;
    for (size_t at = 0; at < data.size();) {
        const size_t n = std::min<size_t>(65535, data.size() - at);
        s.push_back(0);  // not final, stored, padding
        s.insert(s.end(), {uint8_t(n), uint8_t(n >> 8), uint8_t(~n), uint8_t(~n >> 8)});
        s.insert(s.end(), data.begin() + long(at), data.begin() + long(at + n));
        at += n;
    }
    BitWriter f;
    f.bits(1, 1);
    f.bits(1, 2);
    f.code(0xC5, 8);   // symbol 285: length 258
    f.code(29, 5);     // distance 24577 + 13 extra bits
    f.bits(8191, 13);  // = 32768
    f.code(0, 7);      // end of block
    const auto tail = f.done();
    s.insert(s.end(), tail.begin(), tail.end());

    std::vector<uint8_t> want = data;
    for (size_t i = 0; i < 258; ++i) want.push_back(want[want.size() - 32768]);
    std::vector<uint8_t> got;
    OutputWindow out(
        [&](const uint8_t* p, size_t n) {
            got.insert(got.end(), p, p + n);
            return true;
        },
        want.size(), 32768, capacity);
    InputSource in(s);
    Result r = kv::codec::inflate(in, out);
    ASSERT_TRUE(r.ok()) << r.messageId;
    EXPECT_TRUE(got == want);

    // The whole-buffer decoder, the control.
    std::vector<uint8_t> flat(want.size());
    ASSERT_TRUE(kv::codec::inflate(s, flat).ok());
    EXPECT_TRUE(flat == want);
}

// Canonical codes for `lens`, as a deflate encoder assigns them.
std::vector<uint32_t> canonicalCodes(const std::vector<uint8_t>& lens) {
    unsigned count[16] = {};
    for (uint8_t l : lens) ++count[l];
    count[0] = 0;
    uint32_t next[16] = {};
    for (unsigned bits = 1, code = 0; bits < 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<uint32_t> codes(lens.size());
    for (size_t i = 0; i < lens.size(); ++i)
        if (lens[i]) codes[i] = next[lens[i]]++;
    return codes;
}

// The longest literal/length codes belong to the lengths with the most extra bits (20
// bits with them, through a sub-table), and the distances with 13 extra bits get either
// the longest codes (28 bits, through a sub-table) or the longest that still fit the
// primary table (21 bits). Literals of every code length before each match, one 11-bit
// literal among them, move the matches across every alignment of the bit buffer: in the
// fast loop each match must still find all its bits in the buffer.
TEST_P(Inflate, LongestLengthAndDistanceCodesBackToBack) {
    struct Layout {
        const char* name;
        std::vector<std::pair<unsigned, uint8_t>> distLens;  // symbol, code length
    };
    const Layout layouts[] = {
        {"sub-table distances",
         {{0, 1},
          {1, 2},
          {2, 3},
          {3, 4},
          {4, 5},
          {5, 6},
          {6, 7},
          {7, 8},
          {8, 9},
          {9, 10},
          {10, 11},
          {11, 12},
          {12, 13},
          {13, 14},
          {28, 15},
          {29, 15}}},
        {"primary distances", {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {28, 8}, {29, 8}}},
    };
    for (const Layout& layout : layouts) {
        std::vector<uint8_t> litLens(286, 0), distLens(30, 0);
        for (unsigned i = 0; i < 12; ++i) litLens['a' + i] = uint8_t(i + 1);  // 1..12 bits
        litLens[257] = 13;                                                    // length 3
        litLens[256] = 14;
        litLens[283] = 15;  // lengths 195-226
        litLens[284] = 15;  // lengths 227-257
        std::vector<unsigned> distSyms;
        for (auto [sym, len] : layout.distLens) {
            distLens[sym] = len;
            distSyms.push_back(sym);
        }
        const auto litCodes = canonicalCodes(litLens), distCodes = canonicalCodes(distLens);

        BitWriter w;
        std::vector<uint8_t> clLens(19, 0);
        std::fill(clLens.begin(), clLens.begin() + 16, 4);  // code-length symbol v is code v
        dynamicHeader(286, 30, clLens, w);
        for (uint8_t l : litLens) w.code(l, 4);
        for (uint8_t l : distLens) w.code(l, 4);

        uint32_t x = 7;
        auto next = [&x](uint32_t n) {
            x = x * 1103515245u + 12345u;
            return (x >> 8) % n;
        };
        std::vector<uint8_t> want;
        auto literal = [&](unsigned sym) {
            w.code(litCodes[sym], litLens[sym]);
            want.push_back(uint8_t(sym));
        };
        while (want.size() < 33000) literal('a' + next(12));
        for (int i = 0; i < 4000; ++i) {
            if (next(2)) {
                literal('k');  // 11 bits, the longest literal of the primary table
            } else {
                for (uint32_t k = next(4); k > 0; --k) literal('a' + next(12));
            }
            const unsigned lsym = next(3) == 0 ? 257 : 283 + next(2);
            const uint32_t lextra = lsym == 257 ? 0 : next(30);
            const size_t len = lsym == 257 ? 3 : (lsym == 283 ? 195 : 227) + lextra;
            w.code(litCodes[lsym], litLens[lsym]);
            if (lsym != 257) w.bits(lextra, 5);
            const unsigned dsym = next(2) ? 28 + next(2) : distSyms[next(unsigned(distSyms.size()))];
            static const uint16_t base[14] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97};
            const unsigned dextraBits = dsym >= 28 ? 13 : dsym < 4 ? 0 : (dsym - 2) / 2;
            const uint32_t dextra = next(1u << dextraBits);
            const size_t distance = (dsym == 28 ? 16385 : dsym == 29 ? 24577 : base[dsym]) + dextra;
            w.code(distCodes[dsym], distLens[dsym]);
            w.bits(dextra, dextraBits);
            for (size_t j = 0; j < len; ++j) want.push_back(want[want.size() - distance]);
        }
        w.code(litCodes[256], litLens[256]);
        const auto stream = w.done();

        std::vector<uint8_t> out(want.size());
        Result r = kv::codec::inflate(stream, out);
        ASSERT_TRUE(r.ok()) << layout.name << " id " << r.messageId;
        EXPECT_EQ(r.inputUsed, stream.size()) << layout.name;
        EXPECT_TRUE(out == want) << layout.name;
    }
}

TEST_P(Inflate, HandMadeBlocksDecode) {
    // Stored block "hello" then a fixed block with "a" and a match of length 4, distance 1.
    BitWriter w;
    w.bits(0, 1);
    w.bits(0, 2);
    std::vector<uint8_t> s = w.done();
    s.insert(s.end(), {0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l', 'o'});
    BitWriter f;
    f.bits(1, 1);
    f.bits(1, 2);
    f.code(0x30 + 'a', 8);
    f.code(2, 7);  // symbol 258: length 4
    f.code(0, 5);  // distance 1
    f.code(0, 7);  // end of block
    auto tail = f.done();
    s.insert(s.end(), tail.begin(), tail.end());
    std::vector<uint8_t> out(10);
    Result r = kv::codec::inflate(s, out);
    ASSERT_TRUE(r.ok()) << r.messageId;
    EXPECT_EQ(std::string(out.begin(), out.end()), "helloaaaaa");
    EXPECT_EQ(r.inputUsed, s.size());
}

}  // namespace
}  // namespace kv::codec
