// Compressed input for the decoders: either one span held in memory, or chunks pulled
// from a callback (a file read, a decryption pass) so big entries need no big buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace kv::codec {

class InputSource {
public:
    // Fills dst with up to cap bytes; answers the count, 0 at the end, -1 to abort.
    using Pull = std::function<long(uint8_t* dst, size_t cap)>;

    explicit InputSource(std::span<const uint8_t> whole)
        : pos_(whole.data()), end_(whole.data() + whole.size()) {}
    explicit InputSource(Pull pull, size_t chunk = 256 * 1024)
        : pull_(std::move(pull)), own_(chunk), buf_(own_.data()), bufSize_(chunk) {}
    // The same, in the caller's scratch buffer (grown to chunk, never cleared again), for a
    // job that reads many entries one after another.
    InputSource(Pull pull, std::vector<uint8_t>& scratch, size_t chunk) : pull_(std::move(pull)) {
        if (scratch.size() < chunk) scratch.resize(chunk);
        buf_ = scratch.data();
        bufSize_ = chunk;
    }

    InputSource(const InputSource&) = delete;  // the chunk pointer must stay with its owner
    InputSource& operator=(const InputSource&) = delete;

    // The chunk for `total` bytes of input: no larger than the input, so a small entry
    // does not allocate and clear a buffer many times its size.
    static size_t chunkFor(uint64_t total, size_t cap = 256 * 1024) {
        return total < cap ? static_cast<size_t>(total == 0 ? 1 : total) : cap;
    }

    const uint8_t* pos() const { return pos_; }
    const uint8_t* end() const { return end_; }
    void advance(const uint8_t* p) { pos_ = p; }
    bool aborted() const { return aborted_; }
    // Bytes handed out so far (consumed or buffered by the decoder).
    uint64_t delivered() const { return delivered_ + static_cast<uint64_t>(pos_ - chunkStart_); }

    // Called when pos() == end(): fetches the next chunk. False at the end or on abort.
    bool refill() {
        delivered_ += static_cast<uint64_t>(end_ - chunkStart_);
        chunkStart_ = pos_ = end_;
        if (!pull_ || aborted_) return false;
        long n = pull_(buf_, bufSize_);
        if (n < 0) aborted_ = true;
        if (n <= 0) return false;
        chunkStart_ = pos_ = buf_;
        end_ = buf_ + n;
        return true;
    }

private:
    Pull pull_;
    std::vector<uint8_t> own_;
    uint8_t* buf_ = nullptr;
    size_t bufSize_ = 0;
    const uint8_t* pos_ = nullptr;
    const uint8_t* end_ = nullptr;
    const uint8_t* chunkStart_ = pos_;
    uint64_t delivered_ = 0;
    bool aborted_ = false;
};

}  // namespace kv::codec
