#pragma once
// A vector that grows by whole chunks and never moves what it holds: adding an entry to a
// listing of a million never copies the other million (a plain vector's growth did, and
// held the window for a quarter of a second at that size).
#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace kv {

template <class T, std::size_t kChunkBits = 13>
class ChunkedVector {
public:
    static constexpr std::size_t kChunk = std::size_t(1) << kChunkBits;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](std::size_t i) { return chunks_[i >> kChunkBits][i & (kChunk - 1)]; }
    const T& operator[](std::size_t i) const { return chunks_[i >> kChunkBits][i & (kChunk - 1)]; }

    void push_back(T&& v) {
        if (chunks_.empty() || chunks_.back().size() == kChunk) {
            chunks_.emplace_back();
            chunks_.back().reserve(std::min(kChunk, std::max<std::size_t>(16, hint_)));
        }
        // A chunk short of full grows as a vector does, so a small listing holds little;
        // what such a growth moves is at most one chunk.
        std::vector<T>& last = chunks_.back();
        if (last.size() == last.capacity()) last.reserve(std::min(kChunk, 2 * last.capacity()));
        last.push_back(std::move(v));
        ++size_;
    }
    void clear() {
        chunks_.clear();
        size_ = 0;
    }
    // Room for n entries in all: the chunk table, and a first chunk of the right size.
    void reserve(std::size_t n) {
        chunks_.reserve((n + kChunk - 1) >> kChunkBits);
        hint_ = n;
    }
    std::size_t capacity() const {
        std::size_t c = 0;
        for (const auto& chunk : chunks_) c += chunk.capacity();
        return c;
    }

private:
    std::vector<std::vector<T>> chunks_;
    std::size_t size_ = 0;
    std::size_t hint_ = 0;
};

}  // namespace kv
