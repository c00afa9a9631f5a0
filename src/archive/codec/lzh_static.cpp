// Static-Huffman LZ77 of ARJ and LHA.
//
// Each code is a canonical code: a primary table of kCBits (literal/length) or kPBits
// (position, code length) index bits gives the symbol and its length; longer codes
// are resolved by comparing with the first code of each length. The fast loop runs
// while 16 input bytes and kOutMargin output bytes remain: one 64-bit refill covers a
// whole match (a 16-bit code, a 16-bit position code and 16 extra bits), and matches are
// copied in words that may run past their end into the margin. Near the ends one symbol
// at a time goes through the checked path.
#include "archive/codec/lzh_static.h"

#include "archive/codec/msb_bit_reader.h"
#include "archive/codec/window_write.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace kv::codec {
namespace {

constexpr unsigned kNC = 510;    // literals, then lengths 3..256
constexpr unsigned kNT = 19;     // the code-length code
constexpr unsigned kMaxNP = 17;  // position codes of the largest (64 KB) window
constexpr unsigned kCBits = 12;
constexpr unsigned kPBits = 8;
constexpr unsigned kMaxLen = 16;
constexpr ptrdiff_t kInMargin = 16;
constexpr ptrdiff_t kOutMargin = 256 + 32;

// Table entries: symbol << 8 | code length; kLong sends to the long-code search.
constexpr uint32_t kLong = 1u << 30;
constexpr uint32_t kBad = 1u << 31;

struct Code {
    unsigned bits = 0;  // primary index bits
    unsigned maxLen = 0;
    uint32_t first[kMaxLen + 2] = {};
    uint16_t count[kMaxLen + 1] = {};
    uint16_t offset[kMaxLen + 1] = {};
    uint16_t sorted[kNC] = {};
    uint32_t* table = nullptr;

    void single(unsigned sym) {
        std::fill(table, table + (size_t(1) << bits), uint32_t(sym << 8));
        maxLen = 0;
    }

    // Answers 0 or the message id of the fault. Unused codes are allowed (they decode
    // as bad codes); codes that do not fit in their lengths are not.
    int build(const uint8_t* lens, unsigned n) {
        std::fill(std::begin(count), std::end(count), 0);
        for (unsigned i = 0; i < n; ++i) ++count[lens[i]];
        count[0] = 0;
        uint32_t space = 0;
        maxLen = 0;
        for (unsigned len = 1; len <= kMaxLen; ++len) {
            space += uint32_t(count[len]) << (kMaxLen - len);
            if (count[len]) maxLen = len;
        }
        if (space > (1u << kMaxLen)) return msg::BadLengths;
        uint32_t code = 0;
        unsigned off = 0;
        for (unsigned len = 1; len <= kMaxLen; ++len) {
            first[len] = code;
            offset[len] = uint16_t(off);
            code = (code + count[len]) << 1;
            off += count[len];
        }
        uint16_t next[kMaxLen + 1];
        std::copy(std::begin(offset), std::end(offset), next);
        for (unsigned i = 0; i < n; ++i)
            if (lens[i]) sorted[next[lens[i]]++] = uint16_t(i);

        std::fill(table, table + (size_t(1) << bits), kBad);
        for (unsigned len = 1; len <= maxLen; ++len) {
            for (unsigned k = 0; k < count[len]; ++k) {
                uint32_t c = first[len] + k;
                if (len <= bits) {
                    uint32_t e = (uint32_t(sorted[offset[len] + k]) << 8) | len;
                    size_t at = size_t(c) << (bits - len);
                    std::fill(table + at, table + at + (size_t(1) << (bits - len)), e);
                } else {
                    table[c >> (len - bits)] = kLong;
                }
            }
        }
        return 0;
    }

    // A code longer than the primary bits, from the left-aligned bit buffer.
    uint32_t decodeLong(uint64_t bb) const {
        for (unsigned len = bits + 1; len <= maxLen; ++len) {
            uint32_t idx = uint32_t(bb >> (64 - len)) - first[len];
            if (idx < count[len]) return (uint32_t(sorted[offset[len] + idx]) << 8) | len;
        }
        return kBad;
    }

    uint32_t lookup(uint64_t bb) const {
        uint32_t e = table[bb >> (64 - bits)];
        return e & kLong ? decodeLong(bb) : e;
    }
};

enum class Exit { Room, BlockEnd, BadCode, BadDistance };

class Decoder {
public:
    Decoder(InputSource& in, OutputWindow& out, const LzhStaticParams& p) : br_(in), out_(out), p_(p) {
        c_.bits = kCBits;
        c_.table = cTable_;
        pos_.bits = kPBits;
        pos_.table = pTable_;
        pt_.bits = kPBits;
        pt_.table = ptTable_;
    }

    Result run();

private:
    Result finish(Status s, int id) {
        if (br_.aborted())
            s = Status::Aborted, id = msg::UserAborted;
        else if (s == Status::BadData && br_.pastEnd())
            s = Status::ShortInput, id = msg::BadBlock;  // damage seen only in the padding
        Result r{s, id, br_.inputUsed(), out_.total()};
        return r;
    }
    int readBlockHeader();
    int readPtLens(unsigned nn, unsigned nbit, unsigned special, Code& code);
    int readCLens();
    Exit fastLoop();
    bool slowSymbol(Result& r);

    MsbBitReader br_;
    OutputWindow& out_;
    LzhStaticParams p_;
    uint32_t blockLeft_ = 0;
    Code c_, pos_, pt_;
    uint32_t cTable_[1u << kCBits];
    uint32_t pTable_[1u << kPBits];
    uint32_t ptTable_[1u << kPBits];
};

int Decoder::readPtLens(unsigned nn, unsigned nbit, unsigned special, Code& code) {
    br_.refill();
    unsigned n = br_.get(nbit);
    if (n == 0) {
        unsigned sym = br_.get(nbit);
        if (sym >= nn) return msg::BadHuffmanCode;
        code.single(sym);
        return 0;
    }
    if (n > nn) return msg::BadLengths;
    uint8_t lens[kNT] = {};
    unsigned i = 0;
    while (i < n) {
        br_.refill();
        unsigned len = br_.peek(3);
        if (len == 7) {
            // 7 and more: one more for every 1 bit after the three, up to a 0 bit.
            unsigned ones = unsigned(__builtin_clzll(~(br_.buffer() << 3)));
            if (7 + ones > kMaxLen) return msg::BadLengths;
            len += ones;
            br_.drop(3 + ones + 1);
        } else {
            br_.drop(3);
        }
        lens[i++] = uint8_t(len);
        if (i == special) {
            unsigned zeros = br_.get(2);
            if (i + zeros > nn) return msg::BadLengths;
            i += zeros;  // lens[] is already zero there
        }
    }
    if (br_.pastEnd()) return -1;
    return code.build(lens, nn);
}

int Decoder::readCLens() {
    br_.refill();
    unsigned n = br_.get(9);
    if (n == 0) {
        unsigned sym = br_.get(9);
        if (sym >= kNC) return msg::BadHuffmanCode;
        c_.single(sym);
        return 0;
    }
    if (n > kNC) return msg::BadLengths;
    uint8_t lens[kNC] = {};
    unsigned i = 0;
    while (i < n) {
        br_.refill();
        uint32_t e = pt_.lookup(br_.buffer());
        if (e & kBad) return msg::BadHuffmanCode;
        br_.drop(e & 0xff);
        unsigned sym = e >> 8;
        if (sym > 2) {
            lens[i++] = uint8_t(sym - 2);
            continue;
        }
        unsigned zeros = sym == 0 ? 1 : sym == 1 ? br_.get(4) + 3 : br_.get(9) + 20;
        if (i + zeros > kNC) return msg::BadLengths;
        i += zeros;
        if (br_.pastEnd()) return -1;
    }
    if (br_.pastEnd()) return -1;
    return c_.build(lens, kNC);
}

int Decoder::readBlockHeader() {
    br_.refill();
    blockLeft_ = br_.get(16);
    if (blockLeft_ == 0) blockLeft_ = 0x10000;  // the count is taken modulo 2^16
    if (int err = readPtLens(kNT, 5, 3, pt_)) return err;
    if (int err = readCLens()) return err;
    return readPtLens(p_.positionCodes, p_.positionBits, 0, pos_);
}

// The distance of position symbol `p` with its extra bits at the top of `bb`.
inline uint32_t distanceOf(unsigned p, uint64_t bb) {
    if (p < 2) return p + 1;
    return (1u << (p - 1)) + uint32_t(bb >> (65 - p)) + 1;
}

Exit Decoder::fastLoop() {
    const uint8_t* ip = br_.ip();
    const uint8_t* const ipLast = br_.end() - kInMargin;
    uint64_t bb = br_.bits();
    unsigned bc = br_.bitCount();
    uint8_t* op = out_.pos;
    uint8_t* const opLast = out_.end - kOutMargin;
    const uint8_t* const start = out_.start();
    const uint32_t window = p_.window;
    const int fill = p_.beforeStart;
    uint32_t left = blockLeft_;
    Exit exit = Exit::BlockEnd;

    while (left > 0) {
        if (ip > ipLast || op > opLast) {
            exit = Exit::Room;
            break;
        }
        uint64_t v;
        std::memcpy(&v, ip, 8);
        bb |= __builtin_bswap64(v) >> bc;
        ip += (63 - bc) >> 3;
        bc |= 56;

        uint32_t e = c_.table[bb >> (64 - kCBits)];
        if (__builtin_expect(e & (kLong | kBad), 0)) {
            e = c_.decodeLong(bb);
            if (e & kBad) {
                exit = Exit::BadCode;
                break;
            }
        }
        bb <<= e & 31;
        bc -= e & 31;
        unsigned sym = e >> 8;
        --left;
        if (sym < 256) {
            *op++ = uint8_t(sym);
            // A second literal fits in the bits left (at least 40).
            if (left > 0) {
                e = c_.table[bb >> (64 - kCBits)];
                if ((e & (kLong | kBad)) == 0 && (e >> 8) < 256) {
                    bb <<= e & 31;
                    bc -= e & 31;
                    *op++ = uint8_t(e >> 8);
                    --left;
                }
            }
            continue;
        }
        size_t len = sym - 253;
        uint32_t d = pos_.table[bb >> (64 - kPBits)];
        if (__builtin_expect(d & (kLong | kBad), 0)) {
            d = pos_.decodeLong(bb);
            if (d & kBad) {
                exit = Exit::BadCode;
                break;
            }
        }
        bb <<= d & 31;
        bc -= d & 31;
        unsigned p = d >> 8;
        uint32_t dist = distanceOf(p, bb);
        if (p >= 2) {
            bb <<= p - 1;
            bc -= p - 1;
        }
        if (__builtin_expect(dist > size_t(op - start), 0)) {
            // Only at the start of the entry: the window keeps more than `window` bytes.
            if (dist > window || fill < 0) {
                exit = Exit::BadDistance;
                break;
            }
            for (uint8_t* e = op + len; op < e; ++op)
                *op = size_t(op - start) >= dist ? *(op - dist) : uint8_t(fill);
            continue;
        }
        op = copyWithSlack(op, dist, len);
    }
    br_.ip() = ip;
    br_.bits() = bb;
    br_.bitCount() = bc;
    out_.pos = op;
    blockLeft_ = left;
    return exit;
}

// One symbol with every check. Answers false when decoding is over (`r` holds the outcome).
bool Decoder::slowSymbol(Result& r) {
    br_.refill();
    uint32_t e = c_.lookup(br_.buffer());
    if (e & kBad) {
        r = finish(Status::BadData, msg::BadHuffmanCode);
        return false;
    }
    br_.drop(e & 0xff);
    --blockLeft_;
    unsigned sym = e >> 8;
    if (sym < 256) {
        if (br_.pastEnd()) {
            r = finish(Status::ShortInput, msg::BadBlock);
            return false;
        }
        if (Status s = out_.makeRoom(); s != Status::Ok) {
            r = finish(s, defaultMessageId(s));
            return false;
        }
        *out_.pos++ = uint8_t(sym);
        return true;
    }
    unsigned len = sym - 253;
    uint32_t d = pos_.lookup(br_.buffer());
    if (d & kBad) {
        r = finish(Status::BadData, msg::BadHuffmanCode);
        return false;
    }
    br_.drop(d & 0xff);
    unsigned p = d >> 8;
    uint32_t dist = distanceOf(p, br_.buffer());
    if (p >= 2) br_.drop(p - 1);
    if (br_.pastEnd()) {
        r = finish(Status::ShortInput, msg::BadBlock);
        return false;
    }
    if (dist > p_.window) {
        r = finish(Status::BadData, msg::CorruptInput);
        return false;
    }
    for (; len > 0 && !out_.atLimit(); --len) {
        if (Status s = out_.makeRoom(); s != Status::Ok) {
            r = finish(s, defaultMessageId(s));
            return false;
        }
        if (dist > size_t(out_.pos - out_.start())) {
            if (p_.beforeStart < 0) {
                r = finish(Status::BadData, msg::CorruptInput);
                return false;
            }
            *out_.pos++ = uint8_t(p_.beforeStart);
            continue;
        }
        *out_.pos = *(out_.pos - dist);
        ++out_.pos;
    }
    return true;
}

Result Decoder::run() {
    while (!out_.atLimit()) {
        if (blockLeft_ == 0) {
            int err = readBlockHeader();
            if (err < 0 || br_.pastEnd()) return finish(Status::ShortInput, msg::BadBlock);
            if (err) return finish(Status::BadData, err);
        }
        if (br_.end() - br_.ip() >= kInMargin && out_.end - out_.pos >= kOutMargin) {
            switch (fastLoop()) {
                case Exit::Room:
                case Exit::BlockEnd:
                    if (br_.pastEnd()) return finish(Status::ShortInput, msg::BadBlock);
                    continue;
                case Exit::BadCode: return finish(Status::BadData, msg::BadHuffmanCode);
                case Exit::BadDistance: return finish(Status::BadData, msg::CorruptInput);
            }
        }
        Result r;
        if (!slowSymbol(r)) return r;
    }
    Status s = out_.finish();
    return finish(s, defaultMessageId(s));
}

}  // namespace

Result lzhStaticDecode(InputSource& in, OutputWindow& out, const LzhStaticParams& params) {
    LzhStaticParams p = params;
    p.positionCodes = std::min(p.positionCodes, kMaxNP);
    if (out.atLimit()) {
        Status s = out.finish();
        return Result{s, defaultMessageId(s), 0, out.total()};
    }
    auto dec = std::make_unique<Decoder>(in, out, p);
    return dec->run();
}

}  // namespace kv::codec
