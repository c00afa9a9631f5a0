// Broken ARJ, LHA and ARC streams: each kind of damage ends in its own status and
// message id, within the input and the declared size, whole and streamed alike.
#include <gtest/gtest.h>

#include "archive/codec/arc_decode.h"
#include "archive/codec/arj_decode.h"
#include "archive/codec/lha_decode.h"
#include "archive/codec/stored_copy.h"
#include "test_codec_util.h"
#include "test_legacy_archives.h"

#include <string>

using namespace kv::codec;
using namespace kv::codec::test;

namespace {

// Writes bits MSB first (ARJ, LHA) or LSB first (ARC's squeeze and LZW).
class Bits {
public:
    explicit Bits(bool msbFirst = true) : msb_(msbFirst) {}
    Bits& put(uint32_t value, unsigned n) {
        for (unsigned i = 0; i < n; ++i) {
            // Bits past the value's 32 are zeros.
            const unsigned at = msb_ ? n - 1 - i : i;
            unsigned bit = at < 32 ? (value >> at) & 1 : 0;
            if (used_ % 8 == 0) bytes_.push_back(0);
            if (bit) bytes_.back() |= uint8_t(msb_ ? 0x80 >> (used_ % 8) : 1 << (used_ % 8));
            ++used_;
        }
        return *this;
    }
    Bits& zeros(size_t n) { return put(0, unsigned(n)); }
    std::vector<uint8_t> bytes() const { return bytes_; }

private:
    bool msb_;
    size_t used_ = 0;
    std::vector<uint8_t> bytes_;
};

// A static-Huffman block whose every symbol is the given one, taking no bits: a code
// length code of one symbol, then a literal/length code and a position code that are a
// single symbol each.
std::vector<uint8_t> singleSymbolBlock(unsigned sym, unsigned pos, unsigned positionBits, size_t padBytes) {
    Bits b;
    b.put(1000, 16).put(0, 5).put(0, 5).put(0, 9).put(sym, 9).put(0, positionBits).put(pos, positionBits);
    auto v = b.bytes();
    v.resize(v.size() + padBytes, 0);
    return v;
}

struct Damage {
    const char* what;
    Decode decode;
    std::vector<uint8_t> in;
    size_t size;
    Status status;
    int id;
    size_t history = 65536;
};

Decode arj(int m) {
    return [m](InputSource& i, OutputWindow& o) { return arjDecode(i, o, m); };
}
Decode lha(LhaMethod m) {
    return [m](InputSource& i, OutputWindow& o) { return lhaDecode(i, o, m); };
}
Decode arc(int m) {
    return [m](InputSource& i, OutputWindow& o) { return arcDecode(i, o, m); };
}

// The first entry of a fixture, for truncations.
std::vector<uint8_t> firstLhaEntry(const std::string& rel, const std::string& method) {
    for (auto& e : rawLhaEntries(readFile(std::string(KV_TEST_DATA) + "/archives/" + rel)))
        if (e.method == method && e.data.size() > 100) return e.data;
    return {};
}

std::vector<uint8_t> cut(std::vector<uint8_t> v, size_t keep) {
    v.resize(std::min(keep, v.size()));
    return v;
}

std::vector<Damage> table() {
    auto lh5 = firstLhaEntry("lha/lh5-l2.lzh", "-lh5-");
    auto lh1 = firstLhaEntry("lha/lhasa/lharc113_lh1.lzh", "-lh1-");
    std::vector<Damage> t = {
        {"lh5 cut in half", lha(LhaMethod::Lh5), cut(lh5, lh5.size() / 2), 400000, Status::ShortInput,
         msg::BadBlock},
        {"lh1 cut in half", lha(LhaMethod::Lh1), cut(lh1, lh1.size() / 2), 18092, Status::ShortInput,
         msg::BadBlock},
        {"block header cut", arj(1), {0x00, 0x10, 0x18}, 100, Status::ShortInput, msg::BadBlock},
        // Three code-length codes of one bit each.
        {"over-subscribed lengths", arj(1),
         Bits().put(5, 16).put(3, 5).put(1, 3).put(1, 3).put(1, 3).put(0, 2).zeros(40).bytes(), 100,
         Status::BadData, msg::BadLengths},
        {"length code longer than 16 bits", arj(2),
         Bits().put(5, 16).put(1, 5).put(0xFFFF, 16).zeros(40).bytes(), 100, Status::BadData,
         msg::BadLengths},
        {"more literal lengths than symbols", arj(1),
         Bits().put(5, 16).put(0, 5).put(3, 5).put(511, 9).zeros(60).bytes(), 100, Status::BadData,
         msg::BadLengths},
        {"zero run past the literal set", arj(1),
         Bits().put(5, 16).put(0, 5).put(2, 5).put(509, 9).zeros(300).bytes(), 100, Status::BadData,
         msg::BadLengths},
        {"single literal symbol out of range", lha(LhaMethod::Lh5),
         Bits().put(5, 16).put(0, 5).put(0, 5).put(0, 9).put(511, 9).zeros(40).bytes(), 100, Status::BadData,
         msg::BadHuffmanCode},
        // Only literal 0 has a code ("0"); the stream then sends "1".
        {"code not in the set", arj(3),
         Bits().put(5, 16).put(0, 5).put(3, 5).put(1, 9).put(0, 5).put(0, 5).put(0x7F, 8).zeros(40).bytes(),
         100, Status::BadData, msg::BadHuffmanCode},
        {"ARJ match before the start", arj(1), singleSymbolBlock(256, 0, 5, 8), 100, Status::BadData,
         msg::CorruptInput},
        {"ARJ match past the dictionary", arj(1), singleSymbolBlock(256, 16, 5, 8), 100, Status::BadData,
         msg::CorruptInput},
        {"lh5 position symbol out of range", lha(LhaMethod::Lh5), singleSymbolBlock(256, 15, 4, 8), 100,
         Status::BadData, msg::BadHuffmanCode},
        // "1 0": a match of three bytes; "0" + nine bits: distance 1, at the start.
        {"ARJ fastest match before the start", arj(4), Bits().put(2, 2).put(0, 10).zeros(30).bytes(), 100,
         Status::BadData, msg::CorruptInput},
        // The same and a literal followed by distance 2, with room for the unchecked loop.
        {"ARJ fastest match before the start, large entry", arj(4),
         Bits().put(2, 2).put(0, 10).zeros(400).bytes(), 100000, Status::BadData, msg::CorruptInput},
        {"ARJ fastest match reaching past the first byte", arj(4),
         Bits().put(0, 1).put('A', 8).put(2, 2).put(1, 10).zeros(400).bytes(), 100000, Status::BadData,
         msg::CorruptInput},
        {"ARJ match before the start, large entry", arj(1), singleSymbolBlock(256, 0, 5, 64), 100000,
         Status::BadData, msg::CorruptInput},
        {"ARJ fastest cut", arj(4), Bits().put(0, 1).put('A', 8).bytes(), 100, Status::ShortInput,
         msg::BadBlock},
        {"ARJ unknown method", arj(5), {1, 2, 3}, 10, Status::BadData, kUnsupportedMethodId},
        {"stored cut", arj(0), {1, 2, 3}, 10, Status::ShortInput, msg::BadBlock},
        {"ARC unknown method", arc(10), {1, 2, 3}, 10, Status::BadData, kUnsupportedMethodId},
        {"packed cut", arc(3), {'a', 0x90}, 10, Status::ShortInput, msg::BadBlock},
        {"squeeze tree of 300 nodes", arc(4), Bits(false).put(300, 16).zeros(64).bytes(), 10, Status::BadData,
         msg::InvalidDecodeTree},
        {"squeeze child outside the tree", arc(4),
         Bits(false).put(1, 16).put(1, 16).put(0xFFFE, 16).zeros(8).bytes(), 10, Status::BadData,
         msg::InvalidDecodeTree},
        // One node: bit 0 is 'A', bit 1 the end code.
        {"squeeze end before the size", arc(4),
         Bits(false).put(1, 16).put(uint16_t(-('A' + 1)), 16).put(uint16_t(-257), 16).put(0b100, 3).bytes(),
         10, Status::BadData, msg::SizeDifferent},
        {"squeeze cut", arc(4),
         Bits(false).put(1, 16).put(uint16_t(-('A' + 1)), 16).put(uint16_t(-257), 16).put(0, 3).bytes(), 10,
         Status::ShortInput, msg::BadBlock},
        {"crunch made with 13 bits", arc(8), {13, 'A', 0}, 10, Status::BadData, msg::InvalidCode},
        // 'A', then code 300 while the next free code is 257.
        {"crunch code not yet defined", arc(8),
         [] {
             auto v = Bits(false).put('A', 9).put(300, 9).zeros(60).bytes();
             v.insert(v.begin(), 12);
             return v;
         }(),
         10, Status::BadData, msg::InvalidCode},
        {"squash first code not a byte", arc(9), Bits(false).put(260, 9).zeros(60).bytes(), 10,
         Status::BadData, msg::InvalidCode},
        // 256 codes of 9 bits widen the codes to 10; the input then ends one byte into
        // the next group, shorter than a code.
        {"squash cut inside a wider group", arc(9),
         [] {
             Bits b(false);
             for (int i = 0; i < 256; ++i) b.put('A', 9);
             return b.put('A', 8).bytes();
         }(),
         10000, Status::ShortInput, msg::BadBlock},
        {"squash cut", arc(9), Bits(false).put('A', 9).put('B', 9).bytes(), 10, Status::ShortInput,
         msg::BadBlock},
        // Slot 1 holds no byte under the old hash.
        {"old crunch first code not a byte",
         arc(5),
         {0x00, 0x10, 0x00},
         10,
         Status::BadData,
         msg::InvalidCode},
        {"old crunch cut", arc(6), {0x00, 0x00}, 10, Status::ShortInput, msg::BadBlock},  // slot 0: a byte
    };
    return t;
}

TEST(LegacyDamage, EachKindOfDamageHasItsOwnOutcome) {
    for (const Damage& d : table()) {
        SCOPED_TRACE(d.what);
        ASSERT_FALSE(d.in.empty());
        Decoded whole = decodeWhole(d.decode, d.in, d.size);
        EXPECT_EQ(whole.result.status, d.status);
        EXPECT_EQ(whole.result.messageId, d.id);
        EXPECT_LE(whole.result.inputUsed, d.in.size());
        EXPECT_LT(whole.result.output, d.size);
        for (size_t chunk : {size_t(1), size_t(5)}) {
            Decoded streamed = decodeStreamed(d.decode, d.in, d.size, d.history, chunk);
            EXPECT_EQ(streamed.result.status, d.status) << chunk;
            EXPECT_EQ(streamed.result.messageId, d.id) << chunk;
        }
    }
}

// LHA's dictionary starts as spaces: the same block that ARJ refuses reads them.
TEST(LegacyDamage, LhaMatchBeforeTheStartReadsSpaces) {
    Decoded d = decodeWhole(lha(LhaMethod::Lh5), singleSymbolBlock(256, 0, 4, 8), 7);
    ASSERT_TRUE(d.result.ok()) << d.result.messageId;
    EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), "       ");
}

// Streams that would write more stop at the declared size.
TEST(LegacyDamage, OutputStopsAtTheDeclaredSize) {
    struct Case {
        const char* what;
        Decode decode;
        std::vector<uint8_t> in;
    };
    std::vector<uint8_t> runs = {'x', 0x90, 200, 'y', 0x90, 0};
    std::vector<Case> cases = {
        // A literal, then a match of 256 bytes at distance 1.
        {"ARJ fastest long match", arj(4),
         Bits().put(0, 1).put('A', 8).put(0x7F, 7).put(0x7F, 7).put(0, 10).zeros(8).bytes()},
        {"lh5 block of long matches", lha(LhaMethod::Lh5), singleSymbolBlock(509, 0, 4, 64)},
        {"packed run", arc(3), runs},
        {"stored", arc(2), std::vector<uint8_t>(500, 'a')},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (size_t size : {size_t(0), size_t(1), size_t(150)}) {
            Decoded d = decodeWhole(c.decode, c.in, size);
            EXPECT_TRUE(d.result.ok()) << size << " " << d.result.messageId;
            EXPECT_EQ(d.result.output, size);
            EXPECT_EQ(d.bytes.size(), size);
        }
    }
}

}  // namespace
