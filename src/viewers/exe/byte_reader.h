#pragma once
// Bounded little-endian reads from an executable's bytes. Every read names its position and
// answers false (or nothing) when the bytes are not all there, so no caller can step past the
// end of the file by trusting a size or offset it found inside it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/base/util.h"

namespace kv::exe {

using Bytes = std::span<const std::uint8_t>;

inline std::optional<std::uint8_t> readU8(Bytes b, std::uint64_t at) {
    if (!rangeInside(at, 1, b.size())) return std::nullopt;
    return b[at];
}
inline std::optional<std::uint16_t> readU16(Bytes b, std::uint64_t at) {
    if (!rangeInside(at, 2, b.size())) return std::nullopt;
    return std::uint16_t(b[at] | (b[at + 1] << 8));
}
inline std::optional<std::uint32_t> readU32(Bytes b, std::uint64_t at) {
    if (!rangeInside(at, 4, b.size())) return std::nullopt;
    return std::uint32_t(b[at]) | (std::uint32_t(b[at + 1]) << 8) | (std::uint32_t(b[at + 2]) << 16) |
           (std::uint32_t(b[at + 3]) << 24);
}
inline std::optional<std::uint64_t> readU64(Bytes b, std::uint64_t at) {
    auto lo = readU32(b, at), hi = readU32(b, at + 4);
    if (!lo || !hi) return std::nullopt;
    return *lo | (std::uint64_t(*hi) << 32);
}
// The len bytes at `at`, or an empty span when they are not all inside.
inline Bytes sliceOf(Bytes b, std::uint64_t at, std::uint64_t len) {
    if (!rangeInside(at, len, b.size())) return {};
    return b.subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(len));
}

// A reading position that moves forward through a block; a read past the end sets the
// failed flag and answers 0, so a parser checks once after a group of reads.
class Cursor {
public:
    explicit Cursor(Bytes b, std::uint64_t at = 0) : b_(b), at_(at) {}
    std::uint8_t u8() { return take(readU8(b_, at_), 1); }
    std::uint16_t u16() { return take(readU16(b_, at_), 2); }
    std::uint32_t u32() { return take(readU32(b_, at_), 4); }
    std::uint64_t u64() { return take(readU64(b_, at_), 8); }
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    Bytes bytes(std::uint64_t n) {
        Bytes s = sliceOf(b_, at_, n);
        if (s.size() != n) return fail(), Bytes{};
        at_ += n;
        return s;
    }
    // A UTF-16 text up to its zero terminator (taken too), as UTF-8.
    std::string zeroTerminatedUtf16();
    // Moves on to the next multiple of 4 from the start of the block (or to its end: the
    // last element of a block needs no padding after it).
    void alignTo4() {
        const std::uint64_t next = (at_ + 3) & ~std::uint64_t(3);
        at_ = next < b_.size() ? next : b_.size();
    }
    void skip(std::uint64_t n) {
        if (!rangeInside(at_, n, b_.size())) return fail();
        at_ += n;
    }
    std::uint64_t pos() const { return at_; }
    std::uint64_t left() const { return at_ <= b_.size() ? b_.size() - at_ : 0; }
    bool atEnd() const { return at_ >= b_.size(); }
    bool failed() const { return failed_; }
    void fail() {
        failed_ = true;
        at_ = b_.size();
    }

private:
    template <class T>
    T take(std::optional<T> v, unsigned n) {
        if (!v) return fail(), T{};
        at_ += n;
        return *v;
    }
    Bytes b_;
    std::uint64_t at_;
    bool failed_ = false;
};

// UTF-16LE code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(const std::vector<std::uint16_t>& units);
// count UTF-16LE characters at `at` in b, as UTF-8; nothing when they are not all inside.
std::optional<std::string> utf16At(Bytes b, std::uint64_t at, std::uint64_t count);

}  // namespace kv::exe
