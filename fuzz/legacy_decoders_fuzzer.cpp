// Feeds arbitrary bytes to the ARJ, LHA and ARC decoders. The first byte picks the
// decoder, the next two the declared size; every decoder runs over the whole buffer and
// again streamed (input in small chunks, output through a sliding window of the
// method's history), and both runs must agree on the outcome and the bytes.
// Seed it (fuzz/corpus-legacy, kept out of git like the other corpora) with the ARJ, LHA
// and ARC fixtures' entries, each behind its selector byte and size.
#include "archive/codec/arc_decode.h"
#include "archive/codec/arj_decode.h"
#include "archive/codec/lha_decode.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

using namespace kv::codec;

namespace {

constexpr LhaMethod kLha[] = {LhaMethod::Stored, LhaMethod::Lh1, LhaMethod::Lh4, LhaMethod::Lh5,
                              LhaMethod::Lh6,    LhaMethod::Lh7, LhaMethod::Lzs};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t sel = data[0];
    const size_t declared = size_t(data[1] | data[2] << 8) * 4;
    std::span<const uint8_t> in(data + 3, size - 3);

    std::function<Result(InputSource&, OutputWindow&)> decode;
    size_t history = 0;
    const unsigned pick = sel % 21;
    if (pick < 5) {
        decode = [pick](InputSource& i, OutputWindow& o) { return arjDecode(i, o, int(pick)); };
        history = kArjHistory;
    } else if (pick < 12) {
        LhaMethod m = kLha[pick - 5];
        decode = [m](InputSource& i, OutputWindow& o) { return lhaDecode(i, o, m); };
        history = lhaHistory(m);
    } else {
        int method = int(pick) - 11;  // 1..9
        decode = [method](InputSource& i, OutputWindow& o) { return arcDecode(i, o, method); };
        history = 0;
    }

    std::vector<uint8_t> out(declared);
    InputSource whole(in);
    OutputWindow wholeWin(out);
    Result a = decode(whole, wholeWin);
    if (a.output > declared || a.inputUsed > in.size()) abort();

    size_t at = 0;
    const size_t chunk = 1 + (sel >> 5);
    InputSource pulled(
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
        declared, history, history * 2 + 4096);
    Result b = decode(pulled, win);
    if (a.status != b.status || a.messageId != b.messageId || a.output != b.output) abort();
    if (a.ok() && (got.size() != a.output || !std::equal(got.begin(), got.end(), out.begin()))) abort();
    return 0;
}
