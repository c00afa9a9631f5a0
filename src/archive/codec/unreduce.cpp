#include "archive/codec/unreduce.h"

#include "archive/codec/bit_reader.h"
#include "archive/codec/window_write.h"

#include <array>

namespace kv::codec {
namespace {

// Bits needed to index a follower set of n entries.
unsigned indexBits(unsigned n) {
    unsigned b = 1;
    while ((1u << b) < n) ++b;
    return b;
}

}  // namespace

Result unreduce(InputSource& in, OutputWindow& out, int factor) {
    BitReader br(in);
    auto finish = [&](Status s, int id) {
        if (br.aborted()) s = Status::Aborted, id = msg::UserAborted;
        return Result{s, id, br.inputUsed(), out.total()};
    };
    if (factor < 1 || factor > 4) return finish(Status::BadData, msg::CorruptInput);

    std::array<std::array<uint8_t, 64>, 256> followers{};
    std::array<uint8_t, 256> counts{};
    std::array<uint8_t, 256> widths{};  // index bits of each follower set
    for (int j = 255; j >= 0; --j) {
        uint32_t n;
        if (!br.get(6, n)) return finish(Status::ShortInput, msg::BadBlock);
        counts[size_t(j)] = uint8_t(n);
        widths[size_t(j)] = uint8_t(indexBits(n));
        for (uint32_t k = 0; k < n; ++k) {
            uint32_t v;
            if (!br.get(8, v)) return finish(Status::ShortInput, msg::BadBlock);
            followers[size_t(j)][k] = uint8_t(v);
        }
    }

    const unsigned lenMask = 0x7Fu >> (factor - 1);
    const unsigned distShift = 8 - unsigned(factor);
    auto put = [&](uint8_t b) { return putByte(out, b); };

    uint8_t last = 0;
    int state = 0;
    unsigned len = 0;
    unsigned v = 0;
    while (!out.atLimit()) {
        // First layer: the next byte through the follower set of the previous one.
        uint32_t c;
        unsigned n = counts[last];
        if (n == 0) {
            if (!br.get(8, c)) return finish(Status::ShortInput, msg::BadBlock);
        } else if (br.need(9)) {
            // Room for the flag and either choice: no checks between them.
            if (br.peek(1)) {
                c = br.peek(9) >> 1;
                br.drop(9);
            } else {
                unsigned w = widths[last];
                uint32_t idx = br.peek(w + 1) >> 1;
                br.drop(w + 1);
                if (idx >= n) return finish(Status::BadData, msg::CorruptInput);
                c = followers[last][idx];
            }
        } else {
            uint32_t plain;
            if (!br.get(1, plain)) return finish(Status::ShortInput, msg::BadBlock);
            if (plain) {
                if (!br.get(8, c)) return finish(Status::ShortInput, msg::BadBlock);
            } else {
                uint32_t idx;
                if (!br.get(widths[last], idx)) return finish(Status::ShortInput, msg::BadBlock);
                if (idx >= n) return finish(Status::BadData, msg::CorruptInput);
                c = followers[last][idx];
            }
        }
        last = uint8_t(c);

        // Second layer: 0x90 escapes a literal 0x90 (0x90 0x00) or a match.
        Status s = Status::Ok;
        switch (state) {
            case 0:
                if (c == 0x90)
                    state = 1;
                else
                    s = put(uint8_t(c));
                break;
            case 1:
                if (c == 0) {
                    s = put(0x90);
                    state = 0;
                } else {
                    v = c;
                    len = c & lenMask;
                    state = len == lenMask ? 2 : 3;
                }
                break;
            case 2:
                len += c;
                state = 3;
                break;
            case 3: {
                uint64_t distance = ((uint64_t(v) >> distShift) << 8) + c + 1;
                // Bytes before the start of the entry read as zeros.
                s = copyMatch(out, size_t(distance), len + 3, 0);
                state = 0;
                break;
            }
        }
        if (s != Status::Ok) return finish(s, defaultMessageId(s));
    }
    Status s = out.finish();
    return finish(s, defaultMessageId(s));
}

}  // namespace kv::codec
