#include "archive/kelmo/block_reader.h"

namespace kv {

const uint8_t* BlockReader::get(uint64_t pos, size_t n) {
    if (pos > f_.size() || n > f_.size() - pos) return nullptr;
    if (pos >= bufPos_ && pos + n <= bufPos_ + bufLen_) return buf_.data() + (pos - bufPos_);
    size_t want = n > block_ ? n : block_;
    if (want > f_.size() - pos) want = static_cast<size_t>(f_.size() - pos);
    if (buf_.size() < want) buf_.resize(want);
    bufPos_ = pos;
    bufLen_ = f_.readAt(pos, std::span<uint8_t>(buf_.data(), want));
    if (bufLen_ < n) return nullptr;
    return buf_.data();
}

}  // namespace kv
