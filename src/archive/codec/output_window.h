// Where the decoders write: straight into a caller's buffer, or into a sliding window
// that hands full stretches to a sink and keeps the last `history` bytes for matches.
// Either way the output never grows past `limit` bytes.
#pragma once

#include "archive/codec/codec_result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace kv::codec {

class OutputWindow {
public:
    using Sink = std::function<bool(const uint8_t* data, size_t size)>;

    // Decodes into `out`; its size is the limit.
    explicit OutputWindow(std::span<uint8_t> out);
    // Streams into `sink` through a window of `capacity` bytes keeping `history` of them.
    OutputWindow(Sink sink, uint64_t limit, size_t history = 32768, size_t capacity = 1u << 20);
    // The same, with the window kept in `scratch` (grown when too small), so a job that
    // decodes many entries allocates and faults in its window pages once.
    OutputWindow(Sink sink, uint64_t limit, std::vector<uint8_t>& scratch, size_t history = 32768,
                 size_t capacity = 1u << 20);

    uint8_t* start() const { return buf_; }
    uint8_t* pos = nullptr;  // next byte to write
    uint8_t* end = nullptr;  // writing stops here: buffer end or limit, whichever is first
    uint8_t* bufEnd() const { return bufEnd_; }

    // Bytes of output before start(): matches may reach back (pos - start()) bytes.
    uint64_t base() const { return base_; }
    uint64_t total() const { return base_ + static_cast<uint64_t>(pos - buf_); }
    uint64_t limit() const { return limit_; }
    bool atLimit() const { return total() >= limit_; }

    // Makes room for at least one more byte: flushes and slides the window.
    // OutputLimit when the limit is reached, SinkFailed when the sink refuses.
    Status makeRoom();
    // Hands the bytes not yet flushed to the sink.
    Status finish();

private:
    void setEnd();
    void init(std::vector<uint8_t>& storage, size_t capacity);

    std::vector<uint8_t> own_;
    Sink sink_;
    uint8_t* buf_ = nullptr;
    uint8_t* bufEnd_ = nullptr;
    uint8_t* flushed_ = nullptr;
    uint64_t base_ = 0;
    uint64_t limit_ = 0;
    size_t history_ = 0;
};

}  // namespace kv::codec
