// LHA methods. -lh1- codes literals and lengths with an adaptive Huffman tree of 314
// leaves that is updated after every symbol (the tree of LHarc 1.x: leaves start with
// weight 1, the tree is kept sorted by weight, and when the root reaches 0x8000 all
// weights are halved and the tree rebuilt), and positions with a fixed code for the top
// six bits followed by six plain bits. -lzs- is LArc's LZSS with a 2 KB ring that starts
// filled with spaces. Every LHA dictionary starts as spaces, and the LZSS-era encoders
// do match against them at the start of an entry.
#include "archive/codec/lha_decode.h"

#include "archive/codec/lzh_static.h"
#include "archive/codec/msb_bit_reader.h"
#include "archive/codec/stored_copy.h"
#include "archive/codec/window_write.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace kv::codec {

std::optional<LhaMethod> lhaMethod(std::string_view id) {
    if (id == "-lh0-" || id == "-lz4-") return LhaMethod::Stored;
    if (id == "-lh1-") return LhaMethod::Lh1;
    if (id == "-lh4-") return LhaMethod::Lh4;
    if (id == "-lh5-") return LhaMethod::Lh5;
    if (id == "-lh6-") return LhaMethod::Lh6;
    if (id == "-lh7-") return LhaMethod::Lh7;
    if (id == "-lzs-") return LhaMethod::Lzs;
    return std::nullopt;
}

size_t lhaHistory(LhaMethod method) {
    switch (method) {
        case LhaMethod::Stored: return 0;
        case LhaMethod::Lh1: return 4096;
        case LhaMethod::Lh4: return 4096;
        case LhaMethod::Lh5: return 8192;
        case LhaMethod::Lh6: return 32768;
        case LhaMethod::Lh7: return 65536;
        case LhaMethod::Lzs: return 2048;
    }
    return 65536;
}

namespace {

Result finishWith(MsbBitReader& br, OutputWindow& out, Status s, int id) {
    if (br.aborted()) s = Status::Aborted, id = msg::UserAborted;
    return Result{s, id, br.inputUsed(), out.total()};
}

// The adaptive tree. Nodes 0..kNodes-1 are kept in order of weight; son[] of an inner
// node is its first child (the second is son + 1), son[] of a leaf is symbol + kNodes.
class DynamicTree {
public:
    static constexpr unsigned kSymbols = 314;
    static constexpr unsigned kNodes = 2 * kSymbols - 1;
    static constexpr unsigned kRoot = kNodes - 1;
    static constexpr unsigned kMaxFreq = 0x8000;

    DynamicTree() {
        for (unsigned i = 0; i < kSymbols; ++i) {
            freq_[i] = 1;
            son_[i] = uint16_t(i + kNodes);
            parent_[i + kNodes] = uint16_t(i);
        }
        for (unsigned i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
            freq_[j] = uint16_t(freq_[i] + freq_[i + 1]);
            son_[j] = uint16_t(i);
            parent_[i] = parent_[i + 1] = uint16_t(j);
        }
        freq_[kNodes] = 0xffff;  // sentinel that stops the search for a heavier node
        parent_[kRoot] = 0;
    }

    // Decodes one symbol; -1 when the input ran out.
    int decode(MsbBitReader& br) {
        unsigned c = son_[kRoot];
        while (c < kNodes) {
            if (br.count() == 0) {
                br.refill();
                if (br.pastEnd()) return -1;
            }
            c = son_[c + br.peek(1)];
            br.drop(1);
        }
        if (br.pastEnd()) return -1;
        c -= kNodes;
        update(c);
        return int(c);
    }

private:
    void update(unsigned sym) {
        if (freq_[kRoot] == kMaxFreq) rebuild();
        unsigned c = parent_[sym + kNodes];
        do {
            unsigned k = ++freq_[c];
            unsigned l = c + 1;
            if (k > freq_[l]) {
                while (k > freq_[++l]) {}
                --l;
                freq_[c] = freq_[l];
                freq_[l] = uint16_t(k);
                unsigned i = son_[c];
                parent_[i] = uint16_t(l);
                if (i < kNodes) parent_[i + 1] = uint16_t(l);
                unsigned j = son_[l];
                son_[l] = uint16_t(i);
                parent_[j] = uint16_t(c);
                if (j < kNodes) parent_[j + 1] = uint16_t(c);
                son_[c] = uint16_t(j);
                c = l;
            }
            c = parent_[c];
        } while (c != 0);
    }

    // Halves the leaf weights and builds the inner nodes again, keeping the order.
    void rebuild() {
        unsigned j = 0;
        for (unsigned i = 0; i < kNodes; ++i) {
            if (son_[i] >= kNodes) {
                freq_[j] = uint16_t((freq_[i] + 1) / 2);
                son_[j] = son_[i];
                ++j;
            }
        }
        for (unsigned i = 0, n = kSymbols; n < kNodes; i += 2, ++n) {
            unsigned f = freq_[i] + freq_[i + 1];
            unsigned k = n;
            while (k > 0 && f < freq_[k - 1]) --k;
            std::memmove(&freq_[k + 1], &freq_[k], (n - k) * sizeof(freq_[0]));
            std::memmove(&son_[k + 1], &son_[k], (n - k) * sizeof(son_[0]));
            freq_[k] = uint16_t(f);
            son_[k] = uint16_t(i);
        }
        for (unsigned i = 0; i < kNodes; ++i) {
            unsigned k = son_[i];
            parent_[k] = uint16_t(i);
            if (k < kNodes) parent_[k + 1] = uint16_t(i);
        }
    }

    uint16_t freq_[kNodes + 1];
    uint16_t son_[kNodes];
    uint16_t parent_[kNodes + kSymbols];
};

// The fixed code of the top six position bits: one code of 3 bits, 3 of 4, 8 of 5,
// 12 of 6, 24 of 7 and 16 of 8, assigned in symbol order. Entries: symbol << 4 | length.
struct PositionCode {
    uint16_t table[256];
    PositionCode() {
        static constexpr uint8_t kCounts[] = {0, 0, 0, 1, 3, 8, 12, 24, 16};
        unsigned code = 0, sym = 0;
        for (unsigned len = 3; len <= 8; ++len) {
            for (unsigned k = 0; k < kCounts[len]; ++k, ++sym, ++code) {
                unsigned at = code << (8 - len);
                for (unsigned i = 0; i < (1u << (8 - len)); ++i) table[at + i] = uint16_t(sym << 4 | len);
            }
            code <<= 1;
        }
    }
};

Result decodeLh1(InputSource& in, OutputWindow& out) {
    static const PositionCode positions;
    MsbBitReader br(in);
    auto tree = std::make_unique<DynamicTree>();
    constexpr uint32_t kWindow = 4096;
    while (!out.atLimit()) {
        int c = tree->decode(br);
        if (c < 0) return finishWith(br, out, Status::ShortInput, msg::BadBlock);
        if (c < 256) {
            if (Status s = putByte(out, uint8_t(c)); s != Status::Ok)
                return finishWith(br, out, s, defaultMessageId(s));
            continue;
        }
        unsigned len = unsigned(c) - 253;
        br.refill();
        uint16_t e = positions.table[br.peek(8)];
        br.drop(e & 15);
        uint32_t dist = ((uint32_t(e >> 4) << 6) | br.get(6)) + 1;
        if (br.pastEnd()) return finishWith(br, out, Status::ShortInput, msg::BadBlock);
        if (dist > kWindow) return finishWith(br, out, Status::BadData, msg::CorruptInput);
        if (Status s = copyMatch(out, dist, len, ' '); s != Status::Ok)
            return finishWith(br, out, s, defaultMessageId(s));
    }
    Status s = out.finish();
    return finishWith(br, out, s, defaultMessageId(s));
}

// LArc's LZSS: a flag bit, then 8 literal bits, or an 11-bit ring position and a 4-bit
// length (+2). The ring's writing position starts 17 bytes before its end; positions
// not yet written hold spaces.
Result decodeLzs(InputSource& in, OutputWindow& out) {
    constexpr uint32_t kRing = 2048;
    constexpr uint32_t kStart = kRing - 17;
    MsbBitReader br(in);
    while (!out.atLimit()) {
        br.refill();
        if (br.get(1)) {
            uint8_t b = uint8_t(br.get(8));
            if (br.pastEnd()) return finishWith(br, out, Status::ShortInput, msg::BadBlock);
            if (Status s = putByte(out, b); s != Status::Ok)
                return finishWith(br, out, s, defaultMessageId(s));
            continue;
        }
        uint32_t at = br.get(11);
        unsigned len = br.get(4) + 2;
        if (br.pastEnd()) return finishWith(br, out, Status::ShortInput, msg::BadBlock);
        uint32_t here = uint32_t((kStart + out.total()) % kRing);
        uint32_t dist = (here - at) % kRing;
        if (dist == 0) dist = kRing;
        if (dist <= size_t(out.pos - out.start())) {
            // Inside what the window holds, so not before the start either.
            if (Status s = copyMatch(out, dist, len, ' '); s != Status::Ok)
                return finishWith(br, out, s, defaultMessageId(s));
            continue;
        }
        for (; len > 0 && !out.atLimit(); --len) {
            if (Status s = out.makeRoom(); s != Status::Ok)
                return finishWith(br, out, s, defaultMessageId(s));
            uint64_t total = out.total();
            *out.pos = dist <= total ? *(out.pos - dist) : uint8_t(' ');
            ++out.pos;
        }
    }
    Status s = out.finish();
    return finishWith(br, out, s, defaultMessageId(s));
}

}  // namespace

Result lhaDecode(InputSource& in, OutputWindow& out, LhaMethod method) {
    switch (method) {
        case LhaMethod::Stored: return storedCopy(in, out);
        case LhaMethod::Lh1: return decodeLh1(in, out);
        case LhaMethod::Lh4: return lzhStaticDecode(in, out, {4096, 14, 4, ' '});
        case LhaMethod::Lh5: return lzhStaticDecode(in, out, {8192, 14, 4, ' '});
        case LhaMethod::Lh6: return lzhStaticDecode(in, out, {32768, 16, 5, ' '});
        case LhaMethod::Lh7: return lzhStaticDecode(in, out, {65536, 17, 5, ' '});
        case LhaMethod::Lzs: return decodeLzs(in, out);
    }
    return Result{Status::BadData, msg::CorruptInput, 0, 0};
}

}  // namespace kv::codec
