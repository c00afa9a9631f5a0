// ARJ methods. Method 4 reads MSB first: a length is a run of up to seven 1 bits ended
// by a 0 (no 0 after seven), then as many plain bits, giving (2^n - 1) + bits; 0 means
// a literal of 8 plain bits, n > 0 a match of n + 2 bytes. Its position is the same kind
// of number counted from 2^9: up to four 1 bits, then 9 + n plain bits, giving
// 512 * (2^n - 1) + bits, the distance minus one.
#include "archive/codec/arj_decode.h"

#include "archive/codec/lzh_static.h"
#include "archive/codec/msb_bit_reader.h"
#include "archive/codec/stored_copy.h"
#include "archive/codec/window_write.h"

#include <algorithm>
#include <cstring>

namespace kv::codec {
namespace {

// A run of 1 bits (at most `maxOnes`, ended by a 0 unless it reaches the maximum), then
// `base` + run plain bits: (2^run - 1) << base plus those bits.
inline uint32_t prefixedNumber(MsbBitReader& br, unsigned base, unsigned maxOnes) {
    // Callers refill first: the longest number takes 4 + 13 or 7 + 7 bits.
    unsigned ones = unsigned(__builtin_clzll(~br.buffer() | 1));
    if (ones >= maxOnes) {
        ones = maxOnes;
        br.drop(ones);
    } else {
        br.drop(ones + 1);
    }
    uint32_t plus = ((1u << ones) - 1) << base;
    return plus + br.get(base + ones);
}

constexpr ptrdiff_t kInMargin = 16;
constexpr ptrdiff_t kOutMargin = 256 + 32;

enum class Exit { Room, BadDistance };

// Method 4 while 16 input bytes and kOutMargin output bytes remain: one refill covers
// a whole symbol (a match takes at most 15 + 17 bits), and matches are copied in words
// that may run past their end into the margin.
Exit fastestLoop(MsbBitReader& br, OutputWindow& out) {
    const uint8_t* ip = br.ip();
    const uint8_t* const ipLast = br.end() - kInMargin;
    uint64_t bb = br.bits();
    unsigned bc = br.bitCount();
    uint8_t* op = out.pos;
    uint8_t* const opLast = out.end - kOutMargin;
    const uint8_t* const start = out.start();
    Exit exit = Exit::Room;
    while (ip <= ipLast && op <= opLast) {
        uint64_t v;
        std::memcpy(&v, ip, 8);
        bb |= __builtin_bswap64(v) >> bc;
        ip += (63 - bc) >> 3;
        bc |= 56;

        unsigned ones = unsigned(__builtin_clzll(~bb | 1));
        if (ones == 0) {
            // A literal: the 0 bit, then eight plain bits.
            *op++ = uint8_t(bb >> 55);
            bb <<= 9;
            bc -= 9;
            continue;
        }
        unsigned used = ones >= 7 ? 7 : ones + 1;
        ones = std::min(ones, 7u);
        bb <<= used;
        uint32_t n = ((1u << ones) - 1) + uint32_t(bb >> (64 - ones));
        bb <<= ones;
        bc -= used + ones;

        unsigned pones = unsigned(__builtin_clzll(~bb | 1));
        unsigned pused = pones >= 4 ? 4 : pones + 1;
        pones = std::min(pones, 4u);
        bb <<= pused;
        unsigned pbits = 9 + pones;
        uint32_t dist = (((1u << pones) - 1) << 9) + uint32_t(bb >> (64 - pbits)) + 1;
        bb <<= pbits;
        bc -= pused + pbits;

        size_t len = n + 2;
        if (__builtin_expect(dist > size_t(op - start), 0)) {
            exit = Exit::BadDistance;  // the window keeps more than kArjHistory bytes
            break;
        }
        op = copyWithSlack(op, dist, len);
    }
    br.ip() = ip;
    br.bits() = bb;
    br.bitCount() = bc;
    out.pos = op;
    return exit;
}

Result fastest(InputSource& in, OutputWindow& out) {
    MsbBitReader br(in);
    auto finish = [&](Status s, int id) {
        if (br.aborted()) s = Status::Aborted, id = msg::UserAborted;
        return Result{s, id, br.inputUsed(), out.total()};
    };
    while (!out.atLimit()) {
        if (br.end() - br.ip() >= kInMargin && out.end - out.pos >= kOutMargin) {
            if (fastestLoop(br, out) == Exit::BadDistance) return finish(Status::BadData, msg::CorruptInput);
            continue;
        }
        br.refill();
        uint32_t n = prefixedNumber(br, 0, 7);
        if (n == 0) {
            uint8_t b = uint8_t(br.get(8));
            if (br.pastEnd()) return finish(Status::ShortInput, msg::BadBlock);
            if (Status s = putByte(out, b); s != Status::Ok) return finish(s, defaultMessageId(s));
            continue;
        }
        unsigned len = n + 2;
        br.refill();
        uint32_t dist = prefixedNumber(br, 9, 4) + 1;
        if (br.pastEnd()) return finish(Status::ShortInput, msg::BadBlock);
        if (dist > kArjHistory) return finish(Status::BadData, msg::CorruptInput);
        if (out.end - out.pos >= ptrdiff_t(len) && dist <= size_t(out.pos - out.start())) {
            // The common case: room for the whole match, source inside the window.
            const uint8_t* src = out.pos - dist;
            for (unsigned k = 0; k < len; ++k) out.pos[k] = src[k];
            out.pos += len;
            continue;
        }
        for (; len > 0 && !out.atLimit(); --len) {
            if (Status s = out.makeRoom(); s != Status::Ok) return finish(s, defaultMessageId(s));
            if (dist > size_t(out.pos - out.start())) return finish(Status::BadData, msg::CorruptInput);
            *out.pos = *(out.pos - dist);
            ++out.pos;
        }
    }
    Status s = out.finish();
    return finish(s, defaultMessageId(s));
}

}  // namespace

Result arjDecode(InputSource& in, OutputWindow& out, int method) {
    switch (method) {
        case 0: return storedCopy(in, out);
        case 1:
        case 2:
        case 3: return lzhStaticDecode(in, out, {uint32_t(kArjHistory), 17, 5, -1});
        case 4: return fastest(in, out);
        default: return Result{Status::BadData, kUnsupportedMethodId, 0, 0};
    }
}

}  // namespace kv::codec
