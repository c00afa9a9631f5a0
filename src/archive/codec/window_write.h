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

}  // namespace kv::codec
