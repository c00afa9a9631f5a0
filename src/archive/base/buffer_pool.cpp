#include "archive/base/buffer_pool.h"

#include <bit>

namespace kv {

size_t BufferPool::classOf(size_t n) {
    const size_t rounded = std::bit_ceil(n < 4096 ? size_t(4096) : n);
    return size_t(std::countr_zero(rounded)) - 12;
}

BufferPool::Buffer BufferPool::take(size_t n) {
    const size_t c = classOf(n);
    const size_t capacity = size_t(4096) << c;
    if (c < kClasses) {
        std::lock_guard lock(mutex_);
        if (!idle_[c].empty()) {
            Buffer b{std::move(idle_[c].back()), capacity};
            idle_[c].pop_back();
            idleBytes_ -= capacity;
            return b;
        }
    }
    return {std::unique_ptr<uint8_t[]>(new uint8_t[capacity]), capacity};
}

void BufferPool::give(Buffer&& b) {
    if (!b.data || b.capacity < 4096 || !std::has_single_bit(b.capacity)) return;  // not one of ours
    const size_t c = classOf(b.capacity);
    std::unique_ptr<uint8_t[]> freed;
    {
        std::lock_guard lock(mutex_);
        if (c < kClasses && idleBytes_ + b.capacity <= kMaxIdle) {
            idle_[c].push_back(std::move(b.data));
            idleBytes_ += b.capacity;
        } else {
            freed = std::move(b.data);  // freed outside the lock
        }
    }
    b.capacity = 0;
}

void BufferPool::clear() {
    std::vector<std::unique_ptr<uint8_t[]>> freed[kClasses];
    {
        std::lock_guard lock(mutex_);
        for (size_t c = 0; c < kClasses; ++c) freed[c].swap(idle_[c]);
        idleBytes_ = 0;
    }
}

size_t BufferPool::idleBytes() const {
    std::lock_guard lock(mutex_);
    return idleBytes_;
}

}  // namespace kv
