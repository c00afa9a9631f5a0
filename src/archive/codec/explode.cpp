// Exploding. Each tree is sent as runs of (count, bit length) pairs; the codes are the
// Shannon-Fano codes built from the lengths sorted ascending (stable in symbol order),
// counted upward from the longest code. They are read MSB first, so the next kFastBits
// bits of the LSB-first reader index a table of every code that short by its reversed
// code; a longer code (or one not in the set) is walked a bit at a time through a lookup
// per length. A code set whose codes collide is ambiguous.
#include "archive/codec/explode.h"

#include "archive/codec/bit_reader.h"
#include "archive/codec/window_write.h"

#include <algorithm>
#include <array>
#include <vector>

namespace kv::codec {
namespace {

constexpr unsigned kFastBits = 9;
// Fast table entries: symbol << 5 | code length; 0 sends to the bit-by-bit walk.
constexpr uint16_t kSlow = 0;

class SfTree {
public:
    // Answers 0 or the message id of the fault.
    int read(BitReader& br, unsigned symbols, bool& shortInput) {
        uint32_t bytes;
        if (!br.get(8, bytes)) {
            shortInput = true;
            return msg::BadBlock;
        }
        std::vector<uint8_t> lens;
        lens.reserve(symbols);
        for (uint32_t i = 0; i <= bytes; ++i) {
            uint32_t b;
            if (!br.get(8, b)) {
                shortInput = true;
                return msg::BadBlock;
            }
            unsigned count = (b >> 4) + 1;
            unsigned len = (b & 15) + 1;
            if (lens.size() + count > symbols) return msg::InvalidDecodeTree;
            lens.insert(lens.end(), count, uint8_t(len));
        }
        if (lens.size() != symbols) return msg::InvalidDecodeTree;
        return build(lens);
    }

    // Decodes one symbol; -1 at the end of input, -2 for a code that is not in the set.
    __attribute__((always_inline)) int decode(BitReader& br) const {
        if (br.need(kFastBits)) {
            uint16_t e = fast_[br.peek(kFastBits)];
            if (e != kSlow) {
                br.drop(e & 31);
                return e >> 5;
            }
        }
        return decodeSlow(br);
    }

private:
    __attribute__((noinline)) int decodeSlow(BitReader& br) const {
        unsigned code = 0;
        for (unsigned len = 1; len <= maxLen_; ++len) {
            uint32_t bit;
            if (!br.get(1, bit)) return -1;
            code |= bit << (len - 1);
            int16_t s = table_[len][code];
            if (s >= 0) return s;
        }
        return -2;
    }

    int build(const std::vector<uint8_t>& lens) {
        const unsigned n = unsigned(lens.size());
        std::vector<uint16_t> order(n);
        for (unsigned i = 0; i < n; ++i) order[i] = uint16_t(i);
        std::stable_sort(order.begin(), order.end(),
                         [&](uint16_t a, uint16_t b) { return lens[a] < lens[b]; });
        maxLen_ = lens[order[n - 1]];
        for (unsigned len = 1; len <= 16; ++len)
            table_[len].assign(len <= maxLen_ ? size_t(1) << len : 0, -1);
        fast_.fill(kSlow);
        // Codes are 16-bit left-aligned and counted up from the longest one, so each code
        // covers [code, code + 2^(16-len)). The ranges follow one another without a gap;
        // a code that is not aligned to its own width overlaps the one before it, and a
        // range past 0xFFFF has no code left: both make the tree ambiguous.
        uint32_t code = 0, inc = 0;
        unsigned lastLen = 0;
        for (unsigned i = n; i-- > 0;) {
            unsigned sym = order[i];
            unsigned len = lens[sym];
            code += inc;
            if (len != lastLen) {
                lastLen = len;
                inc = 1u << (16 - len);
            }
            if ((code & (inc - 1)) != 0 || code + inc > 0x10000) return msg::AmbiguousTree;
            unsigned c = code >> (16 - len);
            unsigned rev = 0;
            for (unsigned k = 0; k < len; ++k) rev |= ((c >> k) & 1) << (len - 1 - k);
            table_[len][rev] = int16_t(sym);
            if (len <= kFastBits)
                for (unsigned i = rev; i < (1u << kFastBits); i += 1u << len)
                    fast_[i] = uint16_t(sym << 5 | len);
        }
        return 0;
    }

    unsigned maxLen_ = 0;
    std::array<std::vector<int16_t>, 17> table_;
    std::array<uint16_t, 1u << kFastBits> fast_{};
};

}  // namespace

Result explode(InputSource& in, OutputWindow& out, ExplodeOptions options) {
    BitReader br(in);
    auto finish = [&](Status s, int id) {
        if (br.aborted()) s = Status::Aborted, id = msg::UserAborted;
        Result r{s, id, br.inputUsed(), out.total()};
        return r;
    };
    bool shortInput = false;
    SfTree lit, len, dist;
    int err = 0;
    if (options.literalTree) err = lit.read(br, 256, shortInput);
    if (!err) err = len.read(br, 64, shortInput);
    if (!err) err = dist.read(br, 64, shortInput);
    if (err) return finish(shortInput ? Status::ShortInput : Status::BadData, err);

    const unsigned distLowBits = options.bigDictionary ? 7 : 6;
    const unsigned minMatch = options.literalTree ? 3 : 2;
    while (!out.atLimit()) {
        uint32_t flag;
        if (!br.get(1, flag)) return finish(Status::ShortInput, msg::BadBlock);
        if (flag) {
            int b;
            if (options.literalTree) {
                b = lit.decode(br);
            } else {
                uint32_t v;
                b = br.get(8, v) ? int(v) : -1;
            }
            if (b == -1) return finish(Status::ShortInput, msg::BadBlock);
            if (b < 0) return finish(Status::BadData, msg::AmbiguousTree);
            if (Status s = putByte(out, uint8_t(b)); s != Status::Ok) return finish(s, defaultMessageId(s));
            continue;
        }
        uint32_t low;
        if (!br.get(distLowBits, low)) return finish(Status::ShortInput, msg::BadBlock);
        int high = dist.decode(br);
        if (high == -1) return finish(Status::ShortInput, msg::BadBlock);
        if (high < 0) return finish(Status::BadData, msg::AmbiguousTree);
        uint64_t distance = ((uint64_t(high) << distLowBits) | low) + 1;
        int l = len.decode(br);
        if (l == -1) return finish(Status::ShortInput, msg::BadBlock);
        if (l < 0) return finish(Status::BadData, msg::AmbiguousTree);
        uint32_t length = uint32_t(l);
        if (length == 63) {
            uint32_t more;
            if (!br.get(8, more)) return finish(Status::ShortInput, msg::BadBlock);
            length += more;
        }
        length += minMatch;
        // Bytes before the start of the entry read as zeros.
        if (Status s = copyMatch(out, size_t(distance), length, 0); s != Status::Ok)
            return finish(s, defaultMessageId(s));
    }
    Status s = out.finish();
    return finish(s, defaultMessageId(s));
}

}  // namespace kv::codec
