// ARC methods. Bytes of every method but the stored ones come out of the code layer
// into an optional run expander: 0x90 n repeats the last byte written n - 1 more times,
// 0x90 0 writes 0x90 itself. Squeezed entries send bits LSB first; the 12-bit codes of
// the old crunch MSB first, two codes in three bytes; the 9-13 bit codes of methods 8
// and 9 LSB first in groups of as many bytes as the code width, the rest of a group
// being skipped when the width changes or the table is reset (as Unix compress does).
#include "archive/codec/arc_decode.h"

#include "archive/codec/bit_reader.h"
#include "archive/codec/stored_copy.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace kv::codec {
namespace {

// Writes decoded bytes, expanding runs when `runs` is set. put() answers Ok while the
// output has room; the caller stops at out.atLimit(). A plain byte with room left takes
// the inline path; escapes, runs and a full window the out-of-line one.
class ByteOut {
public:
    ByteOut(OutputWindow& out, bool runs) : out_(out), runs_(runs) {}

    Status put(uint8_t b) {
        if (__builtin_expect(!escape_ && out_.pos < out_.end && (!runs_ || b != 0x90), 1)) {
            last_ = b;
            *out_.pos++ = b;
            return Status::Ok;
        }
        return putSlow(b);
    }
    // Puts stack[depth - 1] down to stack[0], stopping when the output is full.
    Status putReversed(const uint8_t* stack, size_t depth) {
        if (!runs_ && depth > 0 && size_t(out_.end - out_.pos) >= depth) {
            uint8_t* p = out_.pos;
            for (size_t i = depth; i > 0; --i) *p++ = stack[i - 1];
            out_.pos = p;
            last_ = stack[0];
            return Status::Ok;
        }
        while (depth > 0 && !full())
            if (Status s = put(stack[--depth]); s != Status::Ok) return s;
        return Status::Ok;
    }
    bool full() const { return out_.atLimit(); }

private:
    Status putSlow(uint8_t b) {
        if (!runs_) return emit(b);
        if (escape_) {
            escape_ = false;
            if (b == 0) return emit(0x90);
            return repeatLast(b > 1 ? b - 1u : 0);
        }
        if (b == 0x90) {
            escape_ = true;
            return Status::Ok;
        }
        return emit(b);
    }
    Status emit(uint8_t b) {
        last_ = b;
        if (out_.pos == out_.end) {
            if (out_.atLimit()) return Status::Ok;  // bytes past the size are dropped; the caller stops
            if (Status s = out_.makeRoom(); s != Status::Ok) return s;
        }
        *out_.pos++ = b;
        return Status::Ok;
    }
    // n more copies of the last byte, as far as the limit.
    Status repeatLast(unsigned n) {
        while (n > 0) {
            if (out_.pos == out_.end) {
                if (out_.atLimit()) return Status::Ok;
                if (Status s = out_.makeRoom(); s != Status::Ok) return s;
            }
            size_t k = std::min(size_t(n), size_t(out_.end - out_.pos));
            std::memset(out_.pos, last_, k);
            out_.pos += k;
            n -= unsigned(k);
        }
        return Status::Ok;
    }

    OutputWindow& out_;
    bool runs_;
    bool escape_ = false;
    uint8_t last_ = 0;
};

Result result(InputSource& in, OutputWindow& out, uint64_t used, Status s, int id) {
    if (in.aborted()) s = Status::Aborted, id = msg::UserAborted;
    if (s == Status::Ok) {
        s = out.finish();
        id = defaultMessageId(s);
    }
    return Result{s, id, used, out.total()};
}

// Reads the input a byte at a time, counting what was used.
struct ByteIn {
    InputSource& in;
    uint64_t used = 0;
    // -1 at the end of input.
    int next() {
        if (in.pos() == in.end() && !in.refill()) return -1;
        uint8_t b = *in.pos();
        in.advance(in.pos() + 1);
        ++used;
        return b;
    }
};

Result unpack(InputSource& in, OutputWindow& out) {
    ByteIn src{in};
    ByteOut dst(out, true);
    while (!dst.full()) {
        int b = src.next();
        if (b < 0) return result(in, out, src.used, Status::ShortInput, msg::BadBlock);
        if (Status s = dst.put(uint8_t(b)); s != Status::Ok)
            return result(in, out, src.used, s, defaultMessageId(s));
    }
    return result(in, out, src.used, Status::Ok, 0);
}

// Squeezed: a 16-bit node count (at most 256), then per node two 16-bit children: a
// node index, or -(symbol + 1) for a leaf; symbol 256 ends the data.
Result unsqueeze(InputSource& in, OutputWindow& out) {
    constexpr int kEnd = 256;
    BitReader br(in);
    auto fail = [&](Status s, int id) { return result(in, out, br.inputUsed(), s, id); };
    uint32_t count;
    if (!br.get(16, count)) return fail(Status::ShortInput, msg::BadBlock);
    if (count > 256) return fail(Status::BadData, msg::InvalidDecodeTree);
    int16_t nodes[256][2];
    for (uint32_t i = 0; i < count; ++i) {
        for (int side = 0; side < 2; ++side) {
            uint32_t v;
            if (!br.get(16, v)) return fail(Status::ShortInput, msg::BadBlock);
            int16_t child = int16_t(v);
            if (child >= int32_t(count) || child < -(kEnd + 1))
                return fail(Status::BadData, msg::InvalidDecodeTree);
            nodes[i][side] = child;
        }
    }
    ByteOut dst(out, true);
    while (!dst.full()) {
        int sym;
        if (count == 0) {
            sym = kEnd;
        } else {
            int node = 0;
            do {
                uint32_t bit;
                if (!br.get(1, bit)) return fail(Status::ShortInput, msg::BadBlock);
                node = nodes[node][bit];
            } while (node >= 0);
            sym = -(node + 1);
        }
        if (sym == kEnd) return fail(Status::BadData, msg::SizeDifferent);
        if (Status s = dst.put(uint8_t(sym)); s != Status::Ok) return fail(s, defaultMessageId(s));
    }
    return fail(Status::Ok, 0);
}

// The string table of the old crunch: a code is the slot its (prefix, byte) pair hashes
// to; a taken slot sends the pair down that slot's chain, to the first free slot from
// 101 past the chain's end.
class HashedTable {
public:
    static constexpr unsigned kSize = 4096;
    static constexpr uint16_t kNone = 0xFFFF;

    explicit HashedTable(bool newHash) : newHash_(newHash) {
        for (unsigned c = 0; c < 256; ++c) insert(kNone, uint8_t(c));
    }

    bool full() const { return used_ >= kSize; }
    bool used(unsigned code) const { return slots_[code].used; }
    uint16_t prefix(unsigned code) const { return slots_[code].prefix; }
    uint8_t byte(unsigned code) const { return slots_[code].byte; }

    // The slot (prefix, b) goes to; `chainEnd` the slot to link it from, or -1. Needs a
    // free slot.
    unsigned place(unsigned prefix, uint8_t b, int& chainEnd) const {
        unsigned h = hash(prefix, b);
        chainEnd = -1;
        if (!slots_[h].used) return h;
        for (unsigned steps = 0; slots_[h].next != 0 && steps < kSize; ++steps) h = slots_[h].next;
        chainEnd = int(h);
        unsigned s = (h + 101) & (kSize - 1);
        while (slots_[s].used) s = (s + 1) & (kSize - 1);
        return s;
    }

    void insert(unsigned prefix, uint8_t b) {
        int from;
        unsigned s = place(prefix, b, from);
        if (from >= 0) slots_[from].next = uint16_t(s);
        slots_[s] = Slot{true, 0, uint16_t(prefix), b};
        ++used_;
    }

private:
    unsigned hash(unsigned prefix, uint8_t b) const {
        uint32_t key = (prefix + b) & 0xFFFF;
        if (newHash_) return (key * 15073u) & 0xFFF;
        key = (key | 0x0800) & 0xFFFF;  // the middle bits of the square
        return ((key * key) >> 6) & 0xFFF;
    }

    struct Slot {
        bool used = false;
        uint16_t next = 0;
        uint16_t prefix = 0;
        uint8_t byte = 0;
    };
    Slot slots_[kSize];
    unsigned used_ = 0;
    bool newHash_;
};

Result uncrunchOld(InputSource& in, OutputWindow& out, bool runs, bool newHash) {
    ByteIn src{in};
    ByteOut dst(out, runs);
    auto fail = [&](Status s, int id) { return result(in, out, src.used, s, id); };
    auto table = std::make_unique<HashedTable>(newHash);
    std::vector<uint8_t> stack(HashedTable::kSize + 1);
    bool odd = false;
    int held = 0;  // low nibble of the middle byte of a pair
    auto getCode = [&]() -> int {
        if (!odd) {
            int a = src.next();
            if (a < 0) return -1;
            int b = src.next();
            if (b < 0) return -1;
            held = b & 0x0F;
            odd = true;
            return a << 4 | b >> 4;
        }
        int c = src.next();
        if (c < 0) return -1;
        odd = false;
        return held << 8 | c;
    };

    if (dst.full()) return fail(Status::Ok, 0);
    int code = getCode();
    if (code < 0) return fail(Status::ShortInput, msg::BadBlock);
    if (!table->used(unsigned(code)) || table->prefix(unsigned(code)) != HashedTable::kNone)
        return fail(Status::BadData, msg::InvalidCode);
    unsigned oldCode = unsigned(code);
    uint8_t first = table->byte(oldCode);
    if (Status s = dst.put(first); s != Status::Ok) return fail(s, defaultMessageId(s));
    while (!dst.full()) {
        code = getCode();
        if (code < 0) return fail(Status::ShortInput, msg::BadBlock);
        size_t depth = 0;
        unsigned c = unsigned(code);
        if (!table->used(c)) {
            // The one undefined code allowed is the slot about to be filled (KwKwK).
            int chainEnd;
            if (table->full() || table->place(oldCode, first, chainEnd) != c)
                return fail(Status::BadData, msg::InvalidCode);
            stack[depth++] = first;
            c = oldCode;
        }
        while (table->prefix(c) != HashedTable::kNone) {
            if (depth >= HashedTable::kSize) return fail(Status::BadData, msg::StackOverflow);
            stack[depth++] = table->byte(c);
            c = table->prefix(c);
        }
        first = table->byte(c);
        stack[depth++] = first;
        if (Status s = dst.putReversed(stack.data(), depth); s != Status::Ok)
            return fail(s, defaultMessageId(s));
        if (!table->full()) table->insert(oldCode, first);
        oldCode = unsigned(code);
    }
    return fail(Status::Ok, 0);
}

// Codes of 9 up to maxBits bits; 256 resets the table, new strings from 257 on.
Result uncrunchDynamic(InputSource& in, OutputWindow& out, unsigned maxBits, bool runs) {
    constexpr unsigned kClear = 256;
    constexpr unsigned kFirst = 257;
    const unsigned tableSize = 1u << maxBits;
    ByteIn src{in};
    ByteOut dst(out, runs);
    auto fail = [&](Status s, int id) { return result(in, out, src.used, s, id); };
    if (dst.full()) return fail(Status::Ok, 0);

    std::vector<uint16_t> prefix(tableSize);
    std::vector<uint8_t> suffix(tableSize);
    std::vector<uint8_t> stack(tableSize + 1);
    for (unsigned c = 0; c < 256; ++c) suffix[c] = uint8_t(c);

    unsigned bits = 9, maxCode = 511, freeEnt = kFirst;
    bool clearPending = false;
    uint8_t group[16] = {};
    unsigned groupBits = 0, offset = 0;
    // The next group of codes; false at the end of input.
    auto nextGroup = [&]() -> bool {
        if (freeEnt > maxCode) {
            ++bits;
            maxCode = bits == maxBits ? tableSize : (1u << bits) - 1;
        }
        if (clearPending) {
            bits = 9;
            maxCode = 511;
            clearPending = false;
        }
        unsigned n = 0;
        if (size_t(in.end() - in.pos()) >= bits) {
            std::memcpy(group, in.pos(), bits);
            in.advance(in.pos() + bits);
            src.used += bits;
            n = bits;
        }
        for (; n < bits; ++n) {
            int b = src.next();
            if (b < 0) break;
            group[n] = uint8_t(b);
        }
        std::memset(group + n, 0, sizeof group - n);
        if (n == 0) return false;
        offset = 0;
        // A code must start before this. A group cut shorter than one code still gives
        // the code at its start (padded with zero bits), and no more.
        groupBits = n * 8 > bits - 1 ? n * 8 - (bits - 1) : 1;
        return true;
    };
    auto getCode = [&]() __attribute__((always_inline))->int {
        if (clearPending || offset >= groupBits || freeEnt > maxCode) {
            if (!nextGroup()) return -1;
        }
        uint32_t w = uint32_t(group[offset >> 3]) | uint32_t(group[(offset >> 3) + 1]) << 8 |
                     uint32_t(group[(offset >> 3) + 2]) << 16;
        unsigned code = (w >> (offset & 7)) & ((1u << bits) - 1);
        offset += bits;
        return int(code);
    };

    int code = getCode();
    if (code < 0) return fail(Status::ShortInput, msg::BadBlock);
    if (code >= 256) return fail(Status::BadData, msg::InvalidCode);
    unsigned oldCode = unsigned(code);
    uint8_t first = uint8_t(code);
    if (Status s = dst.put(first); s != Status::Ok) return fail(s, defaultMessageId(s));
    while (!dst.full()) {
        code = getCode();
        if (code < 0) return fail(Status::ShortInput, msg::BadBlock);
        if (unsigned(code) == kClear) {
            clearPending = true;
            freeEnt = kFirst - 1;
            code = getCode();
            if (code < 0) return fail(Status::ShortInput, msg::BadBlock);
            if (code >= 256) return fail(Status::BadData, msg::InvalidCode);  // the table is empty
        }
        const unsigned inCode = unsigned(code);
        unsigned c = inCode;
        size_t depth = 0;
        if (c >= freeEnt) {
            if (c > freeEnt) return fail(Status::BadData, msg::InvalidCode);
            stack[depth++] = first;  // KwKwK: the previous string and its first byte
            c = oldCode;
        }
        while (c >= 256) {
            if (depth >= tableSize) return fail(Status::BadData, msg::StackOverflow);
            stack[depth++] = suffix[c];
            c = prefix[c];
        }
        first = uint8_t(c);
        stack[depth++] = first;
        if (Status s = dst.putReversed(stack.data(), depth); s != Status::Ok)
            return fail(s, defaultMessageId(s));
        if (freeEnt < tableSize) {
            prefix[freeEnt] = uint16_t(oldCode);
            suffix[freeEnt] = first;
            ++freeEnt;
        }
        oldCode = inCode;
    }
    return fail(Status::Ok, 0);
}

}  // namespace

Result arcDecode(InputSource& in, OutputWindow& out, int method) {
    switch (method) {
        case 1:
        case 2: return storedCopy(in, out);
        case 3: return unpack(in, out);
        case 4: return unsqueeze(in, out);
        case 5: return uncrunchOld(in, out, false, false);
        case 6: return uncrunchOld(in, out, true, false);
        case 7: return uncrunchOld(in, out, true, true);
        case 8: {
            // The entry starts with the code width it was made with; ARC 5 writes only 12.
            ByteIn src{in};
            int bits = src.next();
            if (bits < 0)
                return result(in, out, src.used, out.atLimit() ? Status::Ok : Status::ShortInput,
                              out.atLimit() ? 0 : msg::BadBlock);
            if (bits != 12) return result(in, out, src.used, Status::BadData, msg::InvalidCode);
            Result r = uncrunchDynamic(in, out, 12, true);
            r.inputUsed += 1;
            return r;
        }
        case 9: return uncrunchDynamic(in, out, 13, false);
        default: return Result{Status::BadData, kUnsupportedMethodId, 0, 0};
    }
}

}  // namespace kv::codec
