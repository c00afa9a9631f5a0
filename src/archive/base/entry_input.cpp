#include "archive/base/entry_input.h"

#include <algorithm>
#include <memory>

#include "archive/base/messages.h"
#include "archive/base/util.h"

namespace kv {

codec::InputSource entryInput(TZipCommon& owner, const ArcFile& file, uint64_t pos, uint64_t packed,
                              int step) {
    struct State {
        uint64_t pos, remaining, consumed = 0;
        int lastPercent = -1;
    };
    auto st = std::make_shared<State>(State{pos, packed});
    if (step <= 0) step = 10;
    return codec::InputSource(
        [&owner, &file, st, packed, step](uint8_t* dst, size_t cap) -> long {
            if (owner.Cancel()) return -1;
            const size_t n = size_t(std::min<uint64_t>(cap, st->remaining));
            if (n == 0) return 0;
            const size_t got = file.readAt(st->pos, std::span<uint8_t>(dst, n));
            if (got == 0) return 0;
            st->pos += got;
            st->remaining -= got;
            st->consumed += got;
            const int percent = Percent(st->consumed, packed);
            if (percent / step != st->lastPercent / step) {
                st->lastPercent = percent;
                owner.reportProgress(st->consumed, packed);
            }
            return long(got);
        },
        codec::InputSource::chunkFor(packed, 64 * 1024));
}

int decodeResultId(const codec::Result& r, bool cancelled) {
    if (r.status == codec::Status::Aborted || (cancelled && !r.ok())) return msg::UserAborted;
    return r.ok() ? 0 : (r.messageId ? r.messageId : codec::defaultMessageId(r.status));
}

}  // namespace kv
