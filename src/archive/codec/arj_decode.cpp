// ARJ methods. Method 4 reads MSB first: a length is a run of up to seven 1 bits ended
// by a 0 (no 0 after seven), then as many plain bits, giving (2^n - 1) + bits; 0 means
// a literal of 8 plain bits, n > 0 a match of n + 2 bytes. Its position is the same kind
// of number counted from 2^9: up to four 1 bits, then 9 + n plain bits, giving
// 512 * (2^n - 1) + bits, the distance minus one.
#include "archive/codec/arj_decode.h"

#include "archive/codec/lzh_static.h"
#include "archive/codec/msb_bit_reader.h"
#include "archive/codec/stored_copy.h"

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

Result fastest(InputSource& in, OutputWindow& out) {
    MsbBitReader br(in);
    auto finish = [&](Status s, int id) {
        if (br.aborted()) s = Status::Aborted, id = msg::UserAborted;
        return Result{s, id, br.inputUsed(), out.total()};
    };
    while (!out.atLimit()) {
        br.refill();
        uint32_t n = prefixedNumber(br, 0, 7);
        if (n == 0) {
            uint8_t b = uint8_t(br.get(8));
            if (br.pastEnd()) return finish(Status::ShortInput, msg::BadBlock);
            if (Status s = out.makeRoom(); s != Status::Ok) return finish(s, defaultMessageId(s));
            *out.pos++ = b;
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
