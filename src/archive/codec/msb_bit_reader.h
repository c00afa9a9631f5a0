// MSB-first bit reader for the ARJ, LHA and ARC decoders, whose streams fill each byte
// from its top bit. The 64-bit buffer is left-aligned: the next bit is bit 63. A refill
// tops it up to at least 56 bits with one big-endian load where 8 input bytes remain,
// byte by byte (pulling new chunks) near the end. Past the end of the input it adds zero
// bytes and counts them, so a decoder may peek freely and learns from pastEnd() whether
// it consumed bits the stream does not have.
#pragma once

#include "archive/codec/input_source.h"

#include <cstdint>
#include <cstring>

namespace kv::codec {

class MsbBitReader {
public:
    explicit MsbBitReader(InputSource& in) : in_(in), ip_(in.pos()), end_(in.end()) {}

    void refill() {
        if (end_ - ip_ >= 8) {
            uint64_t v;
            std::memcpy(&v, ip_, 8);
            bits_ |= __builtin_bswap64(v) >> count_;  // little-endian hosts only
            ip_ += (63 - count_) >> 3;
            count_ |= 56;
        } else {
            refillSlow();
        }
    }
    // The next n (0..32) bits without consuming them; needs count() >= n.
    uint32_t peek(unsigned n) const { return uint32_t((bits_ >> 1) >> (63 - n)); }
    void drop(unsigned n) {
        bits_ <<= n;
        count_ -= n;
    }
    // Reads n (0..32) bits, refilling as needed.
    uint32_t get(unsigned n) {
        if (count_ < n) refill();
        uint32_t v = peek(n);
        drop(n);
        return v;
    }
    unsigned count() const { return count_; }
    uint64_t buffer() const { return bits_; }

    // True once a bit past the end of the input was consumed.
    bool pastEnd() const { return overrun_ * 8 > count_; }
    bool aborted() const { return in_.aborted(); }
    // Hands the read position back to the source; call before leaving the decoder.
    void sync() { in_.advance(ip_); }
    // Whole bytes of input consumed so far.
    uint64_t inputUsed() {
        sync();
        uint64_t unused = count_ / 8 > overrun_ ? count_ / 8 - overrun_ : 0;
        uint64_t delivered = in_.delivered();
        return delivered > unused ? delivered - unused : 0;
    }

    // Direct access for hot loops that keep the state in locals.
    const uint8_t*& ip() { return ip_; }
    const uint8_t* end() const { return end_; }
    uint64_t& bits() { return bits_; }
    unsigned& bitCount() { return count_; }

private:
    void refillSlow() {
        while (count_ <= 56) {
            if (ip_ == end_) {
                in_.advance(ip_);
                if (!in_.aborted() && in_.refill()) {
                    ip_ = in_.pos();
                    end_ = in_.end();
                    continue;
                }
                ++overrun_;
                count_ += 8;
                continue;
            }
            bits_ |= uint64_t(*ip_++) << (56 - count_);
            count_ += 8;
        }
    }

    InputSource& in_;
    const uint8_t* ip_;
    const uint8_t* end_;
    uint64_t bits_ = 0;
    unsigned count_ = 0;
    unsigned overrun_ = 0;
};

}  // namespace kv::codec
