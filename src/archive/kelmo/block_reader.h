#pragma once
// Buffered positional access to an archive: headers are served from one large read, so a
// listing makes a few big reads instead of one small read per header.
#include <cstdint>
#include <vector>

#include "archive/base/arc_file.h"

namespace kv {

class BlockReader {
public:
    explicit BlockReader(const ArcFile& f, size_t block = 1 << 18) : f_(f), block_(block) {}

    // The n bytes at pos, or nullptr when the file ends before pos + n. Valid until the next call.
    const uint8_t* get(uint64_t pos, size_t n);
    uint64_t size() const { return f_.size(); }
    // Forget the buffered bytes (the file behind the reader was replaced).
    void invalidate() { bufLen_ = 0; }

private:
    const ArcFile& f_;
    size_t block_;
    std::vector<uint8_t> buf_;
    uint64_t bufPos_ = 0;
    size_t bufLen_ = 0;
};

}  // namespace kv
