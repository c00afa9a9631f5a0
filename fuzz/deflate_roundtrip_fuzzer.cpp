// Our deflate, then our inflate, must give the input back at every level. The first byte
// picks the level and the piece size the input is fed in. One compressor is also reset and
// reused across the inputs, as the ZIP writer does across entries: its stream must be the
// fresh compressor's, byte for byte.
#include "archive/codec/deflate.h"
#include "archive/codec/inflate.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int level = data[0] % 10;
    const size_t piece = 1 + size_t(data[0] / 10) * 97;
    std::span<const uint8_t> in(data + 1, size - 1);
    kv::codec::Deflater d(level);
    std::vector<uint8_t> packed;
    for (size_t at = 0; at < in.size(); at += piece)
        d.compress(in.subspan(at, std::min(piece, in.size() - at)), false, packed);
    d.compress({}, true, packed);
    static kv::codec::Deflater reused(6);
    reused.reset(level);
    std::vector<uint8_t> again;
    reused.compress(in, true, again);
    std::vector<uint8_t> whole;
    kv::codec::Deflater fresh(level);
    fresh.compress(in, true, whole);
    if (again != whole) std::abort();
    std::vector<uint8_t> back(in.size());
    const kv::codec::Result r = kv::codec::inflate(packed, back);
    if (!r.ok() || r.output != in.size() || r.inputUsed != packed.size() ||
        !std::equal(back.begin(), back.end(), in.begin()))
        std::abort();
    return 0;
}
