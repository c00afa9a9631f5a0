// LSB-first bit reader for the older ZIP methods (explode, unshrink, unreduce) and ARC's
// squeeze: whole bytes are pulled from an InputSource as needed, as many as fit in one
// 64-bit load where 8 input bytes remain, one at a time near the end of a chunk.
#pragma once

#include "archive/codec/input_source.h"

#include <cstdint>
#include <cstring>

namespace kv::codec {

class BitReader {
public:
    explicit BitReader(InputSource& in) : in_(in) {}

    // Makes at least n (<= 32) bits available. False when the input ends first.
    __attribute__((always_inline)) bool need(unsigned n) {
        if (count_ >= n) return true;
        if (in_.end() - in_.pos() >= 8) {
            uint64_t v;
            std::memcpy(&v, in_.pos(), 8);  // little-endian hosts only
            unsigned bytes = (63 - count_) >> 3;
            buf_ |= (v & ((uint64_t(1) << (bytes * 8)) - 1)) << count_;
            in_.advance(in_.pos() + bytes);
            count_ += bytes * 8;
            return true;
        }
        return needSlow(n);
    }
    uint32_t peek(unsigned n) const { return uint32_t(buf_ & ((uint64_t(1) << n) - 1)); }
    void drop(unsigned n) {
        buf_ >>= n;
        count_ -= n;
    }
    // Reads n bits; false at the end of input.
    __attribute__((always_inline)) bool get(unsigned n, uint32_t& v) {
        if (!need(n)) return false;
        v = peek(n);
        drop(n);
        return true;
    }
    unsigned available() const { return count_; }
    bool aborted() const { return in_.aborted(); }
    uint64_t inputUsed() const { return in_.delivered() - count_ / 8; }

private:
    // A byte at a time near the end of a chunk, pulling the next one when needed.
    __attribute__((noinline)) bool needSlow(unsigned n) {
        while (count_ < n) {
            if (in_.pos() == in_.end() && !in_.refill()) return false;
            buf_ |= uint64_t(*in_.pos()) << count_;
            in_.advance(in_.pos() + 1);
            count_ += 8;
        }
        return true;
    }

    InputSource& in_;
    uint64_t buf_ = 0;
    unsigned count_ = 0;
};

}  // namespace kv::codec
