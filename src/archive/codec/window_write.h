// Writing into an OutputWindow without a call per byte: one byte with the room check
// inline, and whole matches copied a stretch at a time between slides of the window.
#pragma once

#include "archive/codec/output_window.h"

#include <algorithm>
#include <cstring>

namespace kv::codec {

// Appends b; slides the window only when it is full. OutputLimit at the limit.
inline Status putByte(OutputWindow& out, uint8_t b) {
    if (out.pos == out.end) {
        if (Status s = out.makeRoom(); s != Status::Ok) return s;
    }
    *out.pos++ = b;
    return Status::Ok;
}

// Copies len bytes starting dist back (dist >= 1), a byte at a time in effect, so a
// match may overlap what it writes. Bytes that would come from before the window's start
// are `fill`. Stops at the limit without a fault; a refusing sink gives SinkFailed.
inline Status copyMatch(OutputWindow& out, size_t dist, size_t len, uint8_t fill) {
    while (len > 0) {
        if (out.pos == out.end) {
            if (out.atLimit()) return Status::Ok;
            if (Status s = out.makeRoom(); s != Status::Ok) return s;
        }
        size_t n = std::min(len, size_t(out.end - out.pos));
        len -= n;
        uint8_t* p = out.pos;
        uint8_t* const e = p + n;
        size_t have = size_t(p - out.start());
        if (dist > have) {
            size_t f = std::min(n, dist - have);
            std::memset(p, fill, f);
            p += f;
        }
        if (p < e) {
            const uint8_t* src = p - dist;
            if (dist == 1) {
                std::memset(p, *src, size_t(e - p));
            } else {
                // [src, p) repeats with period dist, so each copy may take all of it.
                while (p < e) {
                    size_t k = std::min(size_t(e - p), size_t(p - src));
                    std::memcpy(p, src, k);
                    p += k;
                }
            }
        }
        out.pos = e;
    }
    return Status::Ok;
}

// The copy of the decoders' unchecked loops: len bytes from dist back, the source inside
// the window, with at least 16 writable bytes past dst + len (words may run into them).
// Answers dst + len.
inline uint8_t* copyWithSlack(uint8_t* dst, size_t dist, size_t len) {
    uint8_t* const end = dst + len;
    const uint8_t* src = dst - dist;
    if (dist >= 16) {
        do {
            std::memcpy(dst, src, 16);
            dst += 16;
            src += 16;
        } while (dst < end);
    } else if (dist >= 8) {
        do {
            std::memcpy(dst, src, 8);
            dst += 8;
            src += 8;
        } while (dst < end);
    } else {
        // The first bytes one at a time, then words from a multiple of dist at least 8 back.
        size_t period = dist;
        while (period < 8) period += dist;
        uint8_t* const head = dst + std::min(len, period);
        do {
            *dst++ = *src++;
        } while (dst < head);
        for (src = dst - period; dst < end; dst += 8, src += 8) std::memcpy(dst, src, 8);
    }
    return end;
}

}  // namespace kv::codec
