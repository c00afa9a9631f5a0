#include "archive/codec/unshrink.h"

#include "archive/codec/bit_reader.h"
#include "archive/codec/window_write.h"

#include <vector>

namespace kv::codec {
namespace {

constexpr unsigned kCodes = 8192;
constexpr unsigned kFirstFree = 257;
constexpr int kFree = -1;
constexpr unsigned kMaxBits = 13;

}  // namespace

Result unshrink(InputSource& in, OutputWindow& out) {
    BitReader br(in);
    auto finish = [&](Status s, int id) {
        if (br.aborted()) s = Status::Aborted, id = msg::UserAborted;
        return Result{s, id, br.inputUsed(), out.total()};
    };

    std::vector<int16_t> prefix(kCodes, kFree);
    std::vector<uint8_t> suffix(kCodes, 0);
    std::vector<uint8_t> stack(kCodes);
    for (unsigned c = 0; c < 256; ++c) {
        prefix[c] = 0;  // literals: any non-free mark
        suffix[c] = uint8_t(c);
    }
    prefix[256] = 0;  // the control code is never free
    unsigned nextFree = kFirstFree;
    unsigned codeSize = 9;
    int prev = -1;

    auto isFree = [&](unsigned c) { return c >= kFirstFree && prefix[c] == kFree; };
    auto advanceFree = [&] {
        while (nextFree < kCodes && !isFree(nextFree)) ++nextFree;
    };

    while (!out.atLimit()) {
        uint32_t code;
        if (!br.get(codeSize, code))
            return finish(Status::ShortInput, msg::BadBlock);  // ended before the entry's size
        if (code == 256) {
            uint32_t sub;
            if (!br.get(codeSize, sub)) return finish(Status::ShortInput, msg::BadBlock);
            if (sub == 1) {
                if (codeSize < kMaxBits) ++codeSize;
            } else if (sub == 2) {
                // Partial clearing: every node no other node uses as its prefix is freed.
                std::vector<bool> isPrefix(kCodes, false);
                for (unsigned c = kFirstFree; c < kCodes; ++c)
                    if (prefix[c] != kFree) isPrefix[unsigned(prefix[c])] = true;
                for (unsigned c = kFirstFree; c < kCodes; ++c)
                    if (!isPrefix[c]) prefix[c] = kFree;
                nextFree = kFirstFree;
                advanceFree();
            } else {
                return finish(Status::BadData, msg::InvalidCode);
            }
            continue;
        }

        // Spell the string of `code` backwards onto the stack.
        size_t depth = 0;
        unsigned c = code;
        bool kwkwk = false;
        if (isFree(c)) {
            // The one undefined code allowed is the one about to be defined (KwKwK).
            if (prev < 0 || c != nextFree) return finish(Status::BadData, msg::InvalidCode);
            kwkwk = true;
            c = unsigned(prev);
        }
        while (c >= 256) {
            if (depth >= stack.size() - 1) return finish(Status::BadData, msg::StackOverflow);
            stack[depth++] = suffix[c];
            if (prefix[c] == kFree) return finish(Status::BadData, msg::InvalidCode);
            c = unsigned(prefix[c]);
        }
        stack[depth++] = uint8_t(c);
        uint8_t first = uint8_t(c);
        if (kwkwk) {
            // prev's string followed by its own first byte.
            for (size_t i = depth; i > 0; --i) stack[i] = stack[i - 1];
            stack[0] = first;
            ++depth;
        }
        if (size_t(out.end - out.pos) >= depth) {
            for (size_t i = depth; i > 0; --i) *out.pos++ = stack[i - 1];
        } else {
            for (size_t i = depth; i > 0 && !out.atLimit(); --i)
                if (Status s = putByte(out, stack[i - 1]); s != Status::Ok)
                    return finish(s, defaultMessageId(s));
        }

        if (prev >= 0 && nextFree < kCodes) {
            prefix[nextFree] = int16_t(prev);
            suffix[nextFree] = first;
            ++nextFree;
            advanceFree();
        }
        prev = int(code);
    }
    Status s = out.finish();
    return finish(s, defaultMessageId(s));
}

}  // namespace kv::codec
