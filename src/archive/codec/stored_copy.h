// The "stored" method of the ARJ, LHA and ARC decoders: the input copied until the
// output reaches its limit (the entry's size).
#pragma once

#include "archive/codec/codec_result.h"
#include "archive/codec/input_source.h"
#include "archive/codec/output_window.h"

#include <algorithm>
#include <cstring>

namespace kv::codec {

// The archive message "Unsupported compression method", for a method number or id the
// ARJ and ARC dispatchers do not know.
inline constexpr int kUnsupportedMethodId = 25200;

inline Result storedCopy(InputSource& in, OutputWindow& out) {
    uint64_t used = 0;
    auto done = [&](Status s) {
        if (in.aborted()) s = Status::Aborted;
        int id = s == Status::ShortInput ? msg::BadBlock : defaultMessageId(s);
        return Result{s, id, used, out.total()};
    };
    while (!out.atLimit()) {
        if (in.pos() == in.end() && !in.refill()) return done(Status::ShortInput);
        if (Status s = out.makeRoom(); s != Status::Ok) return done(s);
        size_t n = std::min(size_t(in.end() - in.pos()), size_t(out.end - out.pos));
        std::memcpy(out.pos, in.pos(), n);
        out.pos += n;
        in.advance(in.pos() + n);
        used += n;
    }
    return done(out.finish());
}

}  // namespace kv::codec
