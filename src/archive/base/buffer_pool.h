#pragma once
// Buffers for an extraction's decoded bytes, handed back and taken again instead of being
// freed and allocated for every file. A buffer that one thread filled and another freed
// cost the system a new mapping (and its page faults, and on the next allocation a
// flush of the other core's address cache) each time; with ten thousand files that was
// as much as writing them. Buffers come in powers of two from 4 KiB; the pool keeps at most
// kMaxIdle bytes of them and frees the rest. Thread-safe.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace kv {

class BufferPool {
public:
    static constexpr size_t kMaxIdle = 32u << 20;

    struct Buffer {
        std::unique_ptr<uint8_t[]> data;
        size_t capacity = 0;
    };

    // A buffer of at least n bytes (not zeroed).
    Buffer take(size_t n);
    // Takes b back for later (or frees it when the pool holds enough).
    void give(Buffer&& b);

    size_t idleBytes() const;
    // Frees every idle buffer.
    void clear();

private:
    static constexpr size_t kClasses = 24;  // 4 KiB .. 32 GiB: more than any caller asks
    static size_t classOf(size_t n);
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<uint8_t[]>> idle_[kClasses];
    size_t idleBytes_ = 0;
};

}  // namespace kv
