// Feeds arbitrary bytes to every ZIP decoder. The first byte picks the decoder and its
// options, the next two the declared size; inflate also runs through the sliding window
// with small input chunks and must give the same result as the whole-buffer decode, and
// each instruction choice of its fast loop that the CPU runs must give the same result.
#include "archive/codec/explode.h"
#include "archive/codec/inflate.h"
#include "archive/codec/unreduce.h"
#include "archive/codec/unshrink.h"

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace kv::codec;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t sel = data[0];
    const size_t declared = size_t(data[1] | data[2] << 8) * 4;
    std::span<const uint8_t> in(data + 3, size - 3);
    std::vector<uint8_t> out(declared);
    switch (sel % 8) {
        case 0: {
            Result whole = inflate(in, out);
            size_t at = 0;
            const size_t chunk = 1 + (sel >> 3);
            InputSource src(
                [&](uint8_t* dst, size_t cap) -> long {
                    size_t n = std::min({cap, chunk, in.size() - at});
                    std::memcpy(dst, in.data() + at, n);
                    at += n;
                    return long(n);
                },
                chunk);
            std::vector<uint8_t> got;
            OutputWindow win(
                [&](const uint8_t* p, size_t n) {
                    got.insert(got.end(), p, p + n);
                    return true;
                },
                declared, 32768, 70000);
            Result streamed = inflate(src, win);
            if (whole.status != streamed.status || whole.messageId != streamed.messageId) abort();
            if (whole.ok() &&
                (whole.inputUsed != streamed.inputUsed || !std::equal(got.begin(), got.end(), out.begin()) ||
                 got.size() != whole.output))
                abort();
            for (FastLoop loop : {FastLoop::Plain, FastLoop::Bmi2, FastLoop::Bextr}) {
                if (!fastLoopRunsHere(loop)) continue;
                useFastLoop(loop);
                std::vector<uint8_t> again(declared);
                Result r = inflate(in, again);
                useFastLoop(FastLoop::Auto);
                if (r.status != whole.status || r.messageId != whole.messageId || r.output != whole.output ||
                    r.inputUsed != whole.inputUsed ||
                    !std::equal(again.begin(), again.begin() + r.output, out.begin()))
                    abort();
            }
            break;
        }
        case 1: {
            InputSource src(in);
            OutputWindow win(out);
            unshrink(src, win);
            break;
        }
        case 2:
        case 3:
        case 4:
        case 5: {
            InputSource src(in);
            OutputWindow win(out);
            unreduce(src, win, sel % 8 - 1);
            break;
        }
        default: {
            InputSource src(in);
            OutputWindow win(out);
            explode(src, win, ExplodeOptions{(sel & 8) != 0, (sel & 16) != 0});
            break;
        }
    }
    return 0;
}
