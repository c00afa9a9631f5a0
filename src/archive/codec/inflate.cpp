// Table-driven inflate.
//
// The fast loop runs while at least kInMargin input bytes and kOutMargin output bytes
// remain, so it checks bounds once per iteration and never per symbol. Its 64-bit bit
// buffer is refilled with one unaligned load; the literal/length table resolves 11 bits
// in one lookup. Length and distance entries carry their base and code length, so one lookup
// and one shift decode a symbol with its extra bits. The low 16 bits of every entry are a
// bit-field control word: the bits the symbol takes and the width of the next lookup, so
// the next index comes from the buffer as it was before the symbol by one shift and one
// BZHI, or on AMD's cores by one BEXTR, and the lookups chain through few cycles. Matches
// are copied a word at a time, five words (in blocks with many long matches, four 16-byte
// pieces) before the length is even looked at, overrunning into the margin; a distance
// below 8 repeats its pattern through a word. A literal right after a match is taken
// without a branch. Every path of the loop ends by looking up the next symbol's entry, so
// that load overlaps the copy and the loop checks. Near the end of the input or of the
// output room a slow path decodes one symbol at a time with full checks.
//
// Error ids: a code-length set that is over-subscribed or a repeat that runs past the
// end or has nothing to repeat -> "Bad lengths"; a set with unused codes (other than the
// one-code distance set RFC 1951 allows) -> "Incomplete code set"; a code that is not
// part of the set, or symbols 286/287 and 30/31 -> "Bad Huffman code"; a distance behind
// the start of the output -> "Corrupt input"; block type 3, a bad stored length, and
// running out of input -> "Bad block".
#include "archive/codec/inflate.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <type_traits>

namespace kv::codec {
namespace {

constexpr unsigned kLitBits = 11;
constexpr unsigned kDistBits = 8;
constexpr unsigned kClBits = 7;
static_assert(5 * kLitBits <= 56, "four literal entries and the next lookup fit in one refill");

// Literal/length entries (32 bits). Bits 0-7: bits the symbol takes (its whole code plus
// extra bits; for a sub-table pointer the primary bits); bits 8-15: index bits of the
// lookup that follows (literal table after a literal, distance table after a length, the
// sub-table for a pointer). Entries found in a sub-table count the primary bits too.
//   literal:  kLit | byte << 16 | 11 << 8 | consume
//   length:   base << 21 | code length << 16 | 8 << 8 | consume   (kLit and kExc clear)
//   end:      kExc | kEob | consume
//   bad code: kExc
//   sub-table pointer: kExc | kSub | offset << 16 | index bits << 8 | primary bits
// kEob and kSub mean something only with kExc: a length's base reaches bits 28 and 29.
constexpr uint32_t kLit = 1u << 31;
constexpr uint32_t kExc = 1u << 30;
constexpr uint32_t kEob = 1u << 29;
constexpr uint32_t kSub = 1u << 28;
// Distance entries (64 bits): base << 32 | code length << 16 | 11 << 8 | consume; bad
// codes are kDExc, sub-table pointers kDExc | kDSub | offset << 16 | index bits << 8 |
// primary bits. Code-length entries (32 bits): symbol << 16 | length << 8 | length, bad
// codes kDExc.
constexpr uint32_t kDExc = 1u << 31;
constexpr uint32_t kDSub = 1u << 30;

constexpr uint16_t kLenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kClOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

enum class Kind { LitLen, Dist, CodeLen };

// The entry for `sym` when `len` bits of its code remain to be read at this table level.
template <Kind kind>
using EntryOf = std::conditional_t<kind == Kind::Dist, uint64_t, uint32_t>;

// Literal/length entries less their code length: the low half is the entry of a code of
// length 0, the high half what each bit of code length adds (1 for the bits consumed,
// and for a length 1 << 16 as well for the field that locates its extra bits). One load
// and a multiply-add, so the builder takes no branch on the kind of symbol.
struct LitLenTemplates {
    uint64_t t[288];
    constexpr LitLenTemplates() : t{} {
        for (unsigned sym = 0; sym < 288; ++sym) {
            if (sym < 256)
                t[sym] = kLit | (sym << 16) | (kLitBits << 8) | (uint64_t(1) << 32);
            else if (sym == 256)
                t[sym] = kExc | kEob | (uint64_t(1) << 32);
            else if (sym < 286)
                t[sym] = (uint32_t(kLenBase[sym - 257]) << 21) | (kDistBits << 8) | kLenExtra[sym - 257] |
                         (uint64_t(0x10001) << 32);
            else
                t[sym] = kExc;
        }
    }
};
constexpr LitLenTemplates kLitLenTemplates;

// The entry for `sym`, whose whole code is `len` bits long.
template <Kind kind>
EntryOf<kind> leafEntry(unsigned sym, unsigned len) {
    if constexpr (kind == Kind::LitLen) {
        const uint64_t t = kLitLenTemplates.t[sym];
        return uint32_t(t) + len * uint32_t(t >> 32);
    } else if constexpr (kind == Kind::Dist) {
        if (sym < 30)
            return (uint64_t(kDistBase[sym]) << 32) | (len << 16) | (kLitBits << 8) | (len + kDistExtra[sym]);
        return kDExc;
    } else {
        return (sym << 16) | (len << 8) | len;
    }
}

inline unsigned subOffset(uint32_t e) { return (e >> 16) & 0xfff; }
inline unsigned subOffsetDist(uint64_t d) { return (d >> 16) & 0x3fff; }

// The bit field of `x` that control word `c` names: bits 0-7 its start, bits 8-15 its
// width (both below 64 for every control word the tables hold).
[[gnu::always_inline]] inline uint64_t bitField(uint64_t x, uint64_t c) {
    return (x >> (c & 63)) & ((uint64_t(1) << ((c >> 8) & 63)) - 1);
}

// Bytes with their bits in reverse order.
struct ByteReversal {
    uint8_t r[256];
    constexpr ByteReversal() : r{} {
        for (unsigned i = 0; i < 256; ++i)
            for (unsigned b = 0; b < 8; ++b)
                if (i & (1u << b)) r[i] |= uint8_t(0x80u >> b);
    }
};
constexpr ByteReversal kByteReversal;

// Canonical code `code` of `len` bits reversed: the stream sends codes first bit first,
// so the reversed code is the table index. The codes themselves count up one by one, so
// successive codes do not wait on each other's reversal.
inline unsigned reversed(unsigned code, unsigned len) {
    unsigned r16 = (unsigned(kByteReversal.r[code & 0xff]) << 8) | kByteReversal.r[(code >> 8) & 0xff];
    return r16 >> (16 - len);
}

// Builds a lookup table for `n` code lengths: a primary table of `primary` index bits,
// then sub-tables for longer codes. Answers 0 or the message id of the fault.
template <Kind kind>
int buildTable(const uint8_t* lens, unsigned n, unsigned primary, EntryOf<kind>* table, size_t tableSize) {
    using Entry = EntryOf<kind>;
    // The lengths in two halves, each with its own counters and (below) its own sorting
    // offsets, taken in turn: runs of equal lengths are common, and one set would make each
    // increment wait for the one before.
    const unsigned mid = n / 2;
    unsigned counts[2][16] = {};
    for (unsigned j = 0; j < mid; ++j) {
        ++counts[0][lens[j]];
        ++counts[1][lens[mid + j]];
    }
    if (n & 1) ++counts[1][lens[n - 1]];
    unsigned count[16];
    for (unsigned len = 0; len < 16; ++len) count[len] = counts[0][len] + counts[1][len];
    count[0] = 0;
    int left = 1;
    unsigned used = 0;
    for (unsigned len = 1; len <= 15; ++len) {
        left = (left << 1) - int(count[len]);
        if (left < 0) return msg::BadLengths;
        used += count[len];
    }
    if (left > 0) {
        // RFC 1951 allows a distance set of one code (or none, for literal-only data);
        // zlib accepts the same for the literal/length set when only one code is used.
        bool single = used == 1 && count[1] == 1;
        bool none = used == 0 && kind == Kind::Dist;
        if (kind == Kind::CodeLen || !(single || none)) return msg::IncompleteCodeSet;
    }

    // Symbols sorted by code length, in symbol order within a length: the second half's
    // symbols of each length follow the first half's. Unused ones (length 0) go to slots
    // past the end, so the loop takes no branch on them.
    unsigned offs[2][16];
    offs[0][1] = 0;
    for (unsigned len = 1; len < 15; ++len) offs[0][len + 1] = offs[0][len] + count[len];
    for (unsigned len = 1; len < 16; ++len) offs[1][len] = offs[0][len] + counts[0][len];
    offs[0][0] = 288;
    offs[1][0] = 289;
    uint16_t sorted[288 + 2];
    for (unsigned j = 0; j < mid; ++j) {
        const unsigned a = lens[j], b = lens[mid + j];
        sorted[offs[0][a]] = uint16_t(j);
        sorted[offs[1][b]] = uint16_t(mid + j);
        offs[0][a] += a != 0;
        offs[1][b] += b != 0;
    }
    if (n & 1) sorted[offs[1][lens[n - 1]]] = uint16_t(n - 1);

    // Codes of up to `primary` bits: the table grows by doubling, so each code is written
    // once at its reversed value and the copy repeats it for every longer index.
    const Entry bad = kind == Kind::LitLen ? kExc : kDExc;
    table[0] = bad;
    unsigned code = 0;  // the next canonical code, not reversed
    unsigned k = 0;
    for (unsigned len = 1; len <= primary; ++len, code <<= 1) {
        size_t half = size_t(1) << (len - 1);
        std::memcpy(table + half, table, half * sizeof(Entry));
        for (unsigned c = count[len]; c > 0; --c, ++k, ++code)
            table[reversed(code, len)] = leafEntry<kind>(sorted[k], len);
    }

    // Longer codes: every run of codes sharing their first `primary` bits gets a
    // sub-table as wide as the longest code of the run needs.
    const size_t primaryMask = (size_t(1) << primary) - 1;
    size_t next = size_t(1) << primary;
    size_t prefix = ~size_t(0);
    size_t subStart = 0;
    unsigned subBits = 0;
    unsigned remaining[16];
    std::copy(count, count + 16, remaining);
    for (unsigned len = primary + 1; len <= 15; ++len, code <<= 1) {
        for (; remaining[len] > 0; --remaining[len], ++k, ++code) {
            const unsigned rev = reversed(code, len);
            if ((rev & primaryMask) != prefix) {
                prefix = rev & primaryMask;
                // Grow the sub-table until the codes left from this length on fill it.
                subBits = len - primary;
                int room = 1 << subBits;
                for (unsigned l = len; l <= 15; ++l) {
                    room -= int(remaining[l]);
                    if (room <= 0) break;
                    ++subBits;
                    room <<= 1;
                }
                subBits = std::min(subBits, 15 - primary);
                subStart = next;
                next += size_t(1) << subBits;
                if (next > tableSize)
                    return msg::BadLengths;  // cannot happen for valid sizes; guards the table
                std::fill(table + subStart, table + next, bad);
                // Offsets stay below 4096 (literal/length) and 16384 (distance): the
                // tables are sized so, and the check above holds them to it.
                Entry pointer =
                    (kind == Kind::LitLen ? kExc | kSub : kDExc | kDSub) | (Entry(subStart) << 16);
                table[prefix] = pointer | (subBits << 8) | primary;
            }
            unsigned rest = len - primary;
            Entry e = leafEntry<kind>(sorted[k], len);
            for (size_t j = rev >> primary; j < (size_t(1) << subBits); j += size_t(1) << rest)
                table[subStart + j] = e;
        }
    }
    return 0;
}

// Complete codes need at most 294 literal/length and 146 distance sub-table entries with
// these primary widths; the room beyond that is a margin the builder still checks.
struct Tables {
    uint32_t lit[(1u << kLitBits) + 2048];
    uint64_t dist[(1u << kDistBits) + 1024];
};
static_assert(sizeof(Tables::lit) / 4 <= 4096 && sizeof(Tables::dist) / 8 <= 16384,
              "offsets fit their fields");

void buildFixed(Tables& t) {
    uint8_t lens[320];
    std::fill(lens, lens + 144, 8);
    std::fill(lens + 144, lens + 256, 9);
    std::fill(lens + 256, lens + 280, 7);
    std::fill(lens + 280, lens + 288, 8);
    std::fill(lens + 288, lens + 320, 5);
    buildTable<Kind::LitLen>(lens, 288, kLitBits, t.lit, std::size(t.lit));
    buildTable<Kind::Dist>(lens + 288, 32, kDistBits, t.dist, std::size(t.dist));
}

// For a distance d below 8: the multiplier that repeats d bytes through a word, and the
// most bytes of whole patterns a word holds.
struct Repeat {
    uint64_t mul[8];
    uint8_t step[8];
    constexpr Repeat() : mul{}, step{} {
        for (unsigned d = 1; d < 8; ++d) {
            for (unsigned k = 0; k * d < 8; ++k) mul[d] |= uint64_t(1) << (8 * d * k);
            step[d] = uint8_t(8 - 8 % d);
        }
    }
};
constexpr Repeat kRepeat;

inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;  // little-endian hosts only (x86-64, arm64)
}

// Bytes the fast loop needs: three 8-byte refills per iteration, each advancing at most 7
// bytes; up to two literal bytes, a match of up to 258 bytes whose copies run up to 61 bytes
// past it (the four 16-byte pieces of a 3-byte match), and one more literal byte.
constexpr ptrdiff_t kInMargin = 24;
constexpr ptrdiff_t kOutMargin = 320;

struct FastState {
    const uint8_t* ip;
    const uint8_t* ipLast;  // an iteration may start at most here
    uint64_t bb;
    unsigned bc;
    uint8_t* op;
    uint8_t* opLast;       // an iteration may start at most here
    const uint8_t* start;  // matches may not reach before this
    const uint32_t* lit;
    const uint64_t* dist;
};

enum class FastExit { Room, EndOfBlock, BadCode, BadDistance };

// The instructions the fast loop is compiled for. Bmi2: BMI2's shifts and BZHI, so the
// lookup after a symbol is one shift and one BZHI; these are one cycle each everywhere.
// Bextr: the same, but that lookup is one BEXTR driven by the entry's control word. BEXTR
// is a single one-cycle instruction on AMD's cores and two on Intel's, where the shift and
// BZHI are faster; Plain: the baseline x86-64 or another CPU.
enum class Isa { Plain, Bmi2, Bextr };

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KV_X86_ASM 1
#endif

// Inline assembly, as the intrinsics would need the whole loop template compiled for BMI.
template <Isa kIsa>
[[gnu::always_inline]] inline uint64_t lowBits(uint64_t x, uint64_t n) {
#ifdef KV_X86_ASM
    if constexpr (kIsa != Isa::Plain) {
        uint64_t r;
        asm("bzhiq %2, %1, %0" : "=r"(r) : "r"(x), "r"(n));
        return r;
    }
#endif
    return x & ((uint64_t(1) << (n & 63)) - 1);
}

// bitField, in one instruction where the CPU has BEXTR.
template <Isa kIsa>
[[gnu::always_inline]] inline uint64_t extract(uint64_t x, uint64_t c) {
#ifdef KV_X86_ASM
    if constexpr (kIsa != Isa::Plain) {
        uint64_t r;
        asm("bextrq %2, %1, %0" : "=r"(r) : "r"(x), "r"(c));
        return r;
    }
#endif
    return bitField(x, c);
}

// The index of the lookup that follows an entry with control word `c` in the primary
// table of `width` index bits (the width the control word names too).
template <Isa kIsa, unsigned width>
[[gnu::always_inline]] inline uint64_t nextIndex(uint64_t x, uint64_t c) {
    if constexpr (kIsa == Isa::Bextr) return extract<kIsa>(x, c);
    // Eight bits take a zero-extending byte move, which beats BZHI there.
    if constexpr (width == 8) return (x >> (c & 63)) & 0xff;
    return lowBits<kIsa>(x >> (c & 63), width);
}

// The extra bits of a length or distance entry from the bit buffer as it was before the
// entry's code and extra bits were dropped in one shift; BZHI makes the mask where the CPU
// has it. `fieldMask` covers the entry's code-length field: 31 for lengths (their base
// lies above it), 63 for distances, where nothing does below bit 32 and the shift needs no
// mask.
template <Isa kIsa, unsigned fieldMask>
[[gnu::always_inline]] inline size_t extraBits(uint64_t saved, uint64_t e) {
    return size_t(lowBits<kIsa>(saved, e & 0xff) >> ((e >> 16) & fieldMask));
}

// The fast loop, written once and compiled for each instruction choice.
template <Isa kIsa, bool kWide>
[[gnu::always_inline]] inline FastExit fastLoop(FastState& s) {
    constexpr uint64_t litMask = (uint64_t(1) << kLitBits) - 1;
    // Locals: stores through `op` may alias anything, so the state lives in registers.
    uint64_t bb = s.bb;
    unsigned bc = s.bc;
    const uint8_t* ip = s.ip;
    uint8_t* op = s.op;
    const uint8_t* const ipLast = s.ipLast;
    uint8_t* const opLast = s.opLast;
    const uint8_t* const start = s.start;
    const uint32_t* const lit = s.lit;
    const uint64_t* const dist = s.dist;
    FastExit exit = FastExit::Room;

    // Macros, not lambdas: a lambda holding references to the locals made GCC keep them
    // in memory, where every store through `op` forced a reload.
    // Only the low six bits of `bc` count: consuming subtracts the whole entry (its low
    // byte is the bit count, the bits above only borrow into bits above the sixth).
#define KV_REFILL()                    \
    do {                               \
        bb |= load64(ip) << (bc & 63); \
        ip += 7 - ((bc >> 3) & 7);     \
        bc |= 56;                      \
    } while (0)
#define KV_CONSUME(e)      \
    do {                   \
        bb >>= (e)&63;     \
        bc -= unsigned(e); \
    } while (0)
    // The next entry comes straight from the buffer before this literal is dropped.
#define KV_LITERAL()                                 \
    do {                                             \
        const uint32_t cur = e;                      \
        e = lit[nextIndex<kIsa, kLitBits>(bb, cur)]; \
        KV_CONSUME(cur);                             \
        *op++ = uint8_t(cur >> 16);                  \
    } while (0)

    // The same without a branch: takes the entry as a literal only if it is one. A
    // literal or a match after a literal is as likely as not, so the branch on it would
    // often be mispredicted; this costs the extra lookup instead. The index stays inside
    // the primary table whatever the entry: 11 bits where the index is masked, and with
    // BEXTR the entry's own width (a length's 8 bits, a sub-table pointer's at most 4, 0
    // for the end of the block and for bad codes). The byte stored at `op` when the entry
    // is no literal lies in the margin and is overwritten by what follows.
#define KV_MAYBE_LITERAL()                                            \
    do {                                                              \
        const uint32_t cur = e;                                       \
        const uint32_t nxt = lit[nextIndex<kIsa, kLitBits>(bb, cur)]; \
        const uint32_t isLit = cur >> 31;                             \
        const uint32_t take = cur & (0u - isLit);                     \
        bb >>= take & 63;                                             \
        bc -= take;                                                   \
        *op = uint8_t(cur >> 16);                                     \
        op += isLit;                                                  \
        e = cur ^ ((cur ^ nxt) & (0u - isLit));                       \
    } while (0)
    // Each path ends with a refill and the entry of the next symbol already looked up,
    // so that lookup overlaps the copy and the checks at the top of the loop.
    KV_REFILL();
    uint32_t e = lit[bb & litMask];
    while (ip <= ipLast && op <= opLast) {
        if (e & kLit) {
            // Up to four literals fit in the 56 bits after a refill, with at least 12
            // bits left to look up the next entry. The second is taken without a branch.
            KV_LITERAL();
            KV_MAYBE_LITERAL();
            if (e & kLit) {
                KV_LITERAL();
                if (e & kLit) KV_LITERAL();
                KV_REFILL();
                continue;
            }
            KV_REFILL();
        }
        if (__builtin_expect(e & kExc, 0)) {
            if (e & kSub) {
                // Sub-table entries count the primary bits too: nothing is dropped yet.
                e = lit[subOffset(e) + extract<kIsa>(bb, e)];
                if (e & kLit) {
                    KV_LITERAL();
                    KV_REFILL();
                    continue;
                }
            }
            if (e & kExc) {
                if (e & kEob) {
                    KV_CONSUME(e);
                    exit = FastExit::EndOfBlock;
                } else {
                    exit = FastExit::BadCode;
                }
                break;
            }
        }
        // A refill counts 56 to 63 bits, but all 64 bits of the buffer are then stream
        // data; every path here comes straight from a refill, so at least 56 bits are
        // counted. A length takes at most 16 bits from the primary table or 20 through a
        // sub-table, a distance at most 21, the literal after the match 11 and the lookup
        // after that 11: 63 bits of data, 52 counted. A sub-table distance (28 bits)
        // refills first, so the common match runs on one refill.
        uint64_t saved = bb;
        uint64_t d = dist[nextIndex<kIsa, kDistBits>(saved, e)];
        KV_CONSUME(e);
        size_t len = (e >> 21) + extraBits<kIsa, 31>(saved, e);
        if (__builtin_expect(d & kDExc, 0)) {
            if (!(d & kDSub)) {
                exit = FastExit::BadCode;
                break;
            }
            KV_REFILL();
            d = dist[subOffsetDist(d) + extract<kIsa>(bb, d)];
            if (d & kDExc) {
                exit = FastExit::BadCode;
                break;
            }
        }
        saved = bb;
        e = lit[nextIndex<kIsa, kLitBits>(saved, d)];
        KV_CONSUME(d);
        size_t distance = size_t(d >> 32) + extraBits<kIsa, 63>(saved, d);
        if (__builtin_expect(distance > size_t(op - start), 0)) {
            exit = FastExit::BadDistance;
            break;
        }

        // Copies in whole pieces may run up to 61 bytes past the match (into the margin).
        // Where long matches are common (kWide), distances of 16 and more copy 64 bytes
        // before the length is looked at; elsewhere the extra stores cost more than the
        // mispredicted branches they save.
        const uint8_t* src = op - distance;
        uint8_t* dst = op;
        op += len;
        if (kWide && distance >= 16) {
            std::memcpy(dst, src, 16);
            std::memcpy(dst + 16, src + 16, 16);
            std::memcpy(dst + 32, src + 32, 16);
            std::memcpy(dst + 48, src + 48, 16);
            if (__builtin_expect(len > 64, 0)) {
                dst += 64;
                src += 64;
                do {
                    std::memcpy(dst, src, 16);
                    dst += 16;
                    src += 16;
                } while (dst < op);
            }
        } else if (__builtin_expect(distance >= 8, 1)) {
            std::memcpy(dst, src, 8);
            std::memcpy(dst + 8, src + 8, 8);
            std::memcpy(dst + 16, src + 16, 8);
            std::memcpy(dst + 24, src + 24, 8);
            std::memcpy(dst + 32, src + 32, 8);
            if (__builtin_expect(len > 40, 0)) {
                dst += 40;
                src += 40;
                do {
                    std::memcpy(dst, src, 8);
                    dst += 8;
                    src += 8;
                } while (dst < op);
            }
        } else {
            // A distance below 8: the pattern of its `distance` bytes fills a word, which
            // then repeats every whole number of patterns.
            uint64_t v = (load64(src) & ((uint64_t(1) << (8 * distance)) - 1)) * kRepeat.mul[distance];
            const unsigned step = kRepeat.step[distance];
            do {
                std::memcpy(dst, &v, 8);
                dst += step;
            } while (dst < op);
        }
        // A literal follows a match more often than not in binary data, less often in text.
        // Taking it without a branch costs a lookup when it is not one, which is cheaper than
        // the mispredictions the branch would bring. Its byte lands after the copy's overrun.
        KV_MAYBE_LITERAL();
        KV_REFILL();
    }
#undef KV_LITERAL
#undef KV_MAYBE_LITERAL
#undef KV_CONSUME
#undef KV_REFILL
    s.bb = bb;
    s.bc = bc & 63;
    s.ip = ip;
    s.op = op;
    return exit;
}

using FastLoopFn = FastExit (*)(FastState&);
FastExit fastLoopPlain(FastState& s) { return fastLoop<Isa::Plain, false>(s); }
FastExit fastLoopPlainWide(FastState& s) { return fastLoop<Isa::Plain, true>(s); }

#ifdef KV_X86_ASM
[[gnu::target("bmi,bmi2")]] FastExit fastLoopBmi2(FastState& s) { return fastLoop<Isa::Bmi2, false>(s); }
[[gnu::target("bmi,bmi2")]] FastExit fastLoopBmi2Wide(FastState& s) { return fastLoop<Isa::Bmi2, true>(s); }
[[gnu::target("bmi,bmi2")]] FastExit fastLoopBextr(FastState& s) { return fastLoop<Isa::Bextr, false>(s); }
[[gnu::target("bmi,bmi2")]] FastExit fastLoopBextrWide(FastState& s) { return fastLoop<Isa::Bextr, true>(s); }
#endif

struct FastLoops {
    FastLoopFn narrow, wide;
};

FastLoops loopsFor(FastLoop choice) {
    switch (choice) {
#ifdef KV_X86_ASM
        case FastLoop::Bmi2: return {fastLoopBmi2, fastLoopBmi2Wide};
        case FastLoop::Bextr: return {fastLoopBextr, fastLoopBextrWide};
#endif
        default: return {fastLoopPlain, fastLoopPlainWide};
    }
}

FastLoop bestForThisCpu() {
#ifdef KV_X86_ASM
    __builtin_cpu_init();
    // Both variants use BMI's BEXTR (for sub-tables at least) as well as BMI2.
    if (__builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2"))
        return __builtin_cpu_is("amd") ? FastLoop::Bextr : FastLoop::Bmi2;
#endif
    return FastLoop::Plain;
}

// Picked for this CPU on first use (not at static initialisation, which another file's
// static objects might precede); tests may pick another variant the CPU runs.
std::atomic<FastLoopFn> gNarrowLoop{nullptr};
std::atomic<FastLoopFn> gWideLoop{nullptr};

void installFastLoops(FastLoop choice) {
    const FastLoops loops = loopsFor(choice == FastLoop::Auto ? bestForThisCpu() : choice);
    gWideLoop.store(loops.wide, std::memory_order_relaxed);
    gNarrowLoop.store(loops.narrow, std::memory_order_release);
}

FastExit runFastLoop(FastState& s, bool wide) {
    if (!gNarrowLoop.load(std::memory_order_acquire)) installFastLoops(FastLoop::Auto);
    return (wide ? gWideLoop : gNarrowLoop).load(std::memory_order_relaxed)(s);
}

class Inflater {
public:
    Inflater(InputSource& in, OutputWindow& out) : in_(in), out_(out) {}
    Result run();

private:
    // Slow refill: byte by byte, pulling new chunks; past the end adds zero bytes and
    // counts them so a decode that used them is recognised as short input.
    void refillSlow() {
        while (bitcnt_ <= 56) {
            if (ip_ == iend_) {
                in_.advance(ip_);
                if (!in_.aborted() && in_.refill()) {
                    ip_ = in_.pos();
                    iend_ = in_.end();
                    continue;
                }
                ++overrun_;
                bitcnt_ += 8;
                continue;
            }
            bitbuf_ |= uint64_t(*ip_++) << bitcnt_;
            bitcnt_ += 8;
        }
    }
    void refill() {
        if (iend_ - ip_ >= 8) {
            bitbuf_ |= load64(ip_) << bitcnt_;
            ip_ += (63 - bitcnt_) >> 3;
            bitcnt_ |= 56;
        } else {
            refillSlow();
        }
    }
    bool pastEnd() const { return overrun_ * 8 > bitcnt_; }
    uint32_t bits(unsigned n) const { return uint32_t(bitbuf_ & ((uint64_t(1) << n) - 1)); }
    void drop(unsigned n) {
        bitbuf_ >>= n;
        bitcnt_ -= n;
    }
    Result fail(Status s, int id) {
        if (in_.aborted()) return finish(Status::Aborted, msg::UserAborted);
        // A fault seen only because the zero bytes past the end were read is a truncation.
        unsigned realBits = bitcnt_ > overrun_ * 8 ? bitcnt_ - overrun_ * 8 : 0;
        if (s == Status::BadData && overrun_ && (pastEnd() || (id == msg::BadHuffmanCode && realBits < 15)))
            return finish(Status::ShortInput, msg::BadBlock);
        return finish(s, id);
    }
    Result finish(Status s, int id) {
        Result r;
        r.status = s;
        r.messageId = id;
        in_.advance(ip_);
        uint64_t unusedBytes = bitcnt_ / 8 > overrun_ ? bitcnt_ / 8 - overrun_ : 0;
        uint64_t delivered = in_.delivered();
        r.inputUsed = delivered > unusedBytes ? delivered - unusedBytes : 0;
        r.output = out_.total();
        return r;
    }

    int readDynamic();
    Result storedBlock();
    Result huffmanBlock();
    bool slowSymbol(Result& r);
    uint32_t decodeLitLen();
    uint64_t decodeDist();

    InputSource& in_;
    OutputWindow& out_;
    const uint8_t* ip_ = nullptr;
    const uint8_t* iend_ = nullptr;
    uint64_t bitbuf_ = 0;
    unsigned bitcnt_ = 0;
    unsigned overrun_ = 0;
    Tables* tables_ = nullptr;
    bool wide_ = false;  // matches longer than 40 bytes are common in this block
};

// Both answer the entry without dropping anything: its low byte counts every bit of the code.
uint32_t Inflater::decodeLitLen() {
    uint32_t e = tables_->lit[bits(kLitBits)];
    if ((e & (kLit | kExc | kSub)) == (kExc | kSub)) e = tables_->lit[subOffset(e) + bitField(bitbuf_, e)];
    return e;
}

uint64_t Inflater::decodeDist() {
    uint64_t d = tables_->dist[bits(kDistBits)];
    if ((d & (kDExc | kDSub)) == (kDExc | kDSub)) d = tables_->dist[subOffsetDist(d) + bitField(bitbuf_, d)];
    return d;
}

int Inflater::readDynamic() {
    refill();
    unsigned hlit = bits(5) + 257;
    drop(5);
    unsigned hdist = bits(5) + 1;
    drop(5);
    unsigned hclen = bits(4) + 4;
    drop(4);
    if (hlit > 286 || hdist > 30) return msg::BadLengths;
    uint8_t clLens[19] = {};
    for (unsigned i = 0; i < hclen; ++i) {
        refill();
        clLens[kClOrder[i]] = uint8_t(bits(3));
        drop(3);
    }
    uint32_t clTable[1u << kClBits];
    if (int err = buildTable<Kind::CodeLen>(clLens, 19, kClBits, clTable, std::size(clTable))) return err;
    uint8_t lens[286 + 30];
    const unsigned total = hlit + hdist;
    // The bit buffer lives in locals here: the stores into `lens` may alias the members,
    // which would otherwise go to memory and back for every code length. The members are
    // brought up to date only around the careful refill near the end of the input.
    uint64_t bb = bitbuf_;
    unsigned bc = bitcnt_;
    const uint8_t* ip = ip_;
    int err = 0;
    for (unsigned i = 0; i < total;) {
        if (iend_ - ip >= 8) {
            bb |= load64(ip) << bc;
            ip += (63 - bc) >> 3;
            bc |= 56;
        } else {
            bitbuf_ = bb;
            bitcnt_ = bc;
            ip_ = ip;
            refillSlow();
            bb = bitbuf_;
            bc = bitcnt_;
            ip = ip_;
        }
        // At least 57 bits: a code (up to 7 bits) and its repeat count (up to 7).
        const uint32_t e = clTable[bb & ((1u << kClBits) - 1)];
        if (e & kDExc) {
            err = msg::BadHuffmanCode;
            break;
        }
        bb >>= e & 0xff;
        bc -= e & 0xff;
        const unsigned sym = e >> 16;
        if (sym < 16) {
            lens[i++] = uint8_t(sym);
            continue;
        }
        // 16: 2 bits + 3 repeats of the previous length; 17: 3 bits + 3 zeros; 18: 7 bits + 11 zeros.
        const unsigned extra = sym == 16 ? 2 : sym == 17 ? 3 : 7;
        const unsigned rep = (sym == 18 ? 11 : 3) + unsigned(bb & ((1u << extra) - 1));
        bb >>= extra;
        bc -= extra;
        if (sym == 16 && i == 0) {
            err = msg::BadLengths;
            break;
        }
        if (i + rep > total) {
            err = msg::BadLengths;
            break;
        }
        std::memset(lens + i, sym == 16 ? lens[i - 1] : 0, rep);
        i += rep;
    }
    bitbuf_ = bb;
    bitcnt_ = bc;
    ip_ = ip;
    if (err) return err;
    if (pastEnd()) return -1;
    if (lens[256] == 0) return msg::IncompleteCodeSet;  // no end-of-block code: the block could never end
    // A symbol with an n-bit code stands for about 2^-n of the symbols: the lengths tell how
    // often a match is 43 bytes or longer (length codes 274 and up).
    uint32_t matches = 0, longMatches = 0;
    for (unsigned sym = 257; sym < hlit; ++sym) {
        const uint32_t w = (uint32_t(1) << 15) >> lens[sym];
        matches += lens[sym] ? w : 0;
        longMatches += lens[sym] && sym >= 274 ? w : 0;
    }
    wide_ = longMatches * 32 > matches;
    if (int err = buildTable<Kind::LitLen>(lens, hlit, kLitBits, tables_->lit, std::size(tables_->lit)))
        return err;
    return buildTable<Kind::Dist>(lens + hlit, hdist, kDistBits, tables_->dist, std::size(tables_->dist));
}

Result Inflater::storedBlock() {
    drop(bitcnt_ & 7);
    refill();
    uint32_t len = bits(16);
    drop(16);
    uint32_t nlen = bits(16);
    drop(16);
    if (pastEnd()) return fail(Status::ShortInput, msg::BadBlock);
    if (len != (~nlen & 0xffff)) return fail(Status::BadData, msg::BadBlock);
    // Whole bytes still in the bit buffer come first (never the zero bytes past the end).
    while (len > 0 && bitcnt_ >= 8 && bitcnt_ / 8 > overrun_) {
        Status s = out_.makeRoom();
        if (s != Status::Ok) return fail(s, defaultMessageId(s));
        *out_.pos++ = uint8_t(bits(8));
        drop(8);
        --len;
    }
    if (len == 0) return finish(Status::Ok, 0);
    // The bit buffer now holds only padding past the end, if anything: copy from input.
    bitbuf_ = 0;
    bitcnt_ = 0;
    overrun_ = 0;
    while (len > 0) {
        if (ip_ == iend_) {
            in_.advance(ip_);
            if (in_.aborted() || !in_.refill())
                return fail(in_.aborted() ? Status::Aborted : Status::ShortInput,
                            in_.aborted() ? msg::UserAborted : msg::BadBlock);
            ip_ = in_.pos();
            iend_ = in_.end();
        }
        Status s = out_.makeRoom();
        if (s != Status::Ok) return fail(s, defaultMessageId(s));
        size_t n = std::min<size_t>({len, size_t(iend_ - ip_), size_t(out_.end - out_.pos)});
        std::memcpy(out_.pos, ip_, n);
        out_.pos += n;
        ip_ += n;
        len -= uint32_t(n);
    }
    return finish(Status::Ok, 0);
}

// One symbol with every check, for the ends of the input and of the output room.
// Answers false when the block is over: `r` then holds the outcome.
bool Inflater::slowSymbol(Result& r) {
    refill();
    uint32_t e = decodeLitLen();
    if ((e & (kLit | kExc | kEob)) == kExc) {
        r = fail(Status::BadData, msg::BadHuffmanCode);
        return false;
    }
    if (e & (kLit | kExc)) {  // a literal or the end of the block
        drop(e & 0xff);
        if (pastEnd()) {
            r = fail(Status::ShortInput, msg::BadBlock);
            return false;
        }
        if (!(e & kLit)) {
            r = finish(Status::Ok, 0);
            return false;
        }
        Status s = out_.makeRoom();
        if (s != Status::Ok) {
            r = fail(s, defaultMessageId(s));
            return false;
        }
        *out_.pos++ = uint8_t(e >> 16);
        return true;
    }
    size_t len = (e >> 21) + extraBits<Isa::Plain, 31>(bitbuf_, e);
    drop(e & 0xff);
    refill();
    uint64_t d = decodeDist();
    if (d & kDExc) {
        r = fail(Status::BadData, msg::BadHuffmanCode);
        return false;
    }
    size_t distance = size_t(d >> 32) + extraBits<Isa::Plain, 63>(bitbuf_, d);
    drop(d & 0xff);
    if (pastEnd()) {
        r = fail(Status::ShortInput, msg::BadBlock);
        return false;
    }
    // In runs up to the end of the room; making room may slide the window, so the reach
    // of the distance is checked again after each slide.
    while (len > 0) {
        Status s = out_.makeRoom();
        if (s != Status::Ok) {
            r = fail(s, defaultMessageId(s));
            return false;
        }
        if (distance > size_t(out_.pos - out_.start())) {
            r = fail(Status::BadData, msg::CorruptInput);
            return false;
        }
        const size_t n = std::min(len, size_t(out_.end - out_.pos));
        // Through locals: the byte stores could alias `out_.pos` and make it reload each time.
        uint8_t* dst = out_.pos;
        const uint8_t* src = dst - distance;
        if (distance >= n)
            std::memcpy(dst, src, n);
        else
            for (size_t i = 0; i < n; ++i) dst[i] = src[i];  // forwards: an overlap repeats
        out_.pos = dst + n;
        len -= n;
    }
    return true;
}

Result Inflater::huffmanBlock() {
    for (;;) {
        if (iend_ - ip_ >= kInMargin && out_.end - out_.pos >= kOutMargin) {
            FastState s{ip_,          iend_ - kInMargin, bitbuf_,
                        bitcnt_,      out_.pos,          out_.end - kOutMargin,
                        out_.start(), tables_->lit,      tables_->dist};
            FastExit x = runFastLoop(s, wide_);
            ip_ = s.ip;
            bitbuf_ = s.bb;
            bitcnt_ = s.bc;
            out_.pos = s.op;
            switch (x) {
                case FastExit::Room: break;
                case FastExit::EndOfBlock: return finish(Status::Ok, 0);
                case FastExit::BadCode: return fail(Status::BadData, msg::BadHuffmanCode);
                case FastExit::BadDistance: return fail(Status::BadData, msg::CorruptInput);
            }
        }
        Result r;
        if (!slowSymbol(r)) return r;
    }
}

Result Inflater::run() {
    ip_ = in_.pos();
    iend_ = in_.end();
    Tables tables;
    tables_ = &tables;
    bool fixedBuilt = false;
    for (;;) {
        refill();
        unsigned final = bits(1);
        unsigned type = (bitbuf_ >> 1) & 3;
        drop(3);
        if (pastEnd()) return fail(Status::ShortInput, msg::BadBlock);
        Result r;
        if (type == 0) {
            r = storedBlock();
        } else if (type == 1) {
            if (!fixedBuilt) buildFixed(tables);
            wide_ = false;
            fixedBuilt = true;
            r = huffmanBlock();
        } else if (type == 2) {
            fixedBuilt = false;
            int err = readDynamic();
            if (err < 0) return fail(Status::ShortInput, msg::BadBlock);
            if (err) return fail(Status::BadData, err);
            r = huffmanBlock();
        } else {
            return fail(Status::BadData, msg::BadBlock);
        }
        if (!r.ok()) return r;
        if (final) {
            Status s = out_.finish();
            if (s != Status::Ok) return fail(s, defaultMessageId(s));
            return finish(Status::Ok, 0);
        }
    }
}

}  // namespace

Result inflate(InputSource& in, OutputWindow& out) { return Inflater(in, out).run(); }

Result inflate(std::span<const uint8_t> in, std::span<uint8_t> out) {
    InputSource src(in);
    OutputWindow win(out);
    return inflate(src, win);
}

bool fastLoopRunsHere(FastLoop choice) {
    if (choice == FastLoop::Auto || choice == FastLoop::Plain) return true;
    const FastLoop best = bestForThisCpu();
    return best == FastLoop::Bmi2 || best == FastLoop::Bextr;
}

void useFastLoop(FastLoop choice) { installFastLoops(choice); }

}  // namespace kv::codec
