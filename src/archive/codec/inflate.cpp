// Table-driven inflate. A 64-bit bit buffer is refilled with one unaligned load while
// at least 8 input bytes remain; the literal/length table resolves 11 bits and the
// distance table 8 bits in one lookup, with sub-tables for longer codes. Matches are
// copied 8 bytes at a time when they do not overlap closer than that.
//
// Error ids: a code-length set that is over-subscribed or a repeat that runs past the
// end or has nothing to repeat -> "Bad lengths"; a set with unused codes (other than the
// one-code distance set RFC 1951 allows) -> "Incomplete code set"; a code that is not
// part of the set, or symbols 286/287 and 30/31 -> "Bad Huffman code"; a distance behind
// the start of the output -> "Corrupt input"; block type 3, a bad stored length, and
// running out of input -> "Bad block".
#include "archive/codec/inflate.h"

#include <algorithm>
#include <cstring>

namespace kv::codec {
namespace {

constexpr unsigned kLitBits = 11;
constexpr unsigned kDistBits = 8;
constexpr unsigned kClBits = 7;

// Table entry: bits 0-7 bits to consume, 8-11 extra bits (or sub-table index bits),
// 12-15 flags, 16-31 value (literal, length or distance base, sub-table offset).
constexpr uint32_t kLit = 1u << 12;
constexpr uint32_t kEob = 1u << 13;
constexpr uint32_t kSub = 1u << 14;
constexpr uint32_t kBad = 1u << 15;

constexpr uint16_t kLenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                    33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kClOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

enum class Kind { LitLen, Dist, CodeLen };

uint32_t symbolEntry(Kind kind, unsigned sym)
{
    switch (kind) {
    case Kind::LitLen:
        if (sym < 256)
            return kLit | (sym << 16);
        if (sym == 256)
            return kEob;
        if (sym < 286)
            return (uint32_t(kLenBase[sym - 257]) << 16) | (uint32_t(kLenExtra[sym - 257]) << 8);
        return kBad;
    case Kind::Dist:
        if (sym < 30)
            return (uint32_t(kDistBase[sym]) << 16) | (uint32_t(kDistExtra[sym]) << 8);
        return kBad;
    case Kind::CodeLen:
        return sym << 16;
    }
    return kBad;
}

// Length and distance entries consume their code and extra bits in one shift: bits 0-7
// hold the sum, bits 8-11 the code length, so the extra value is read from the bits
// saved before the shift while the shift itself goes ahead.
uint32_t withLength(uint32_t e, unsigned len)
{
    if (e & (kLit | kEob | kBad))
        return e | len;
    unsigned extra = (e >> 8) & 15;
    return (e & ~0xfffu) | (len << 8) | (len + extra);
}

inline size_t extraValue(uint64_t saved, uint32_t e)
{
    return size_t((saved & ((uint64_t(1) << (e & 0xff)) - 1)) >> ((e >> 8) & 15));
}

unsigned reverseBits(unsigned code, unsigned len)
{
    unsigned r = 0;
    for (unsigned i = 0; i < len; ++i, code >>= 1)
        r = (r << 1) | (code & 1);
    return r;
}

// Builds a lookup table for `n` code lengths. Answers 0 or the message id of the fault.
int buildTable(const uint8_t* lens, unsigned n, Kind kind, unsigned primary, uint32_t* table,
               size_t tableSize)
{
    unsigned count[16] = {};
    for (unsigned i = 0; i < n; ++i)
        ++count[lens[i]];
    count[0] = 0;
    int left = 1;
    unsigned used = 0;
    for (unsigned len = 1; len <= 15; ++len) {
        left = (left << 1) - int(count[len]);
        if (left < 0)
            return msg::BadLengths;
        used += count[len];
    }
    bool incomplete = left > 0;
    if (incomplete) {
        // RFC 1951 allows a distance set of one code (or none, for literal-only data);
        // zlib accepts the same for the literal/length set when only one code is used.
        bool single = used == 1 && count[1] == 1;
        bool none = used == 0 && kind == Kind::Dist;
        if (kind == Kind::CodeLen || !(single || none))
            return msg::IncompleteCodeSet;
    }

    unsigned offs[17];
    offs[1] = 0;
    for (unsigned len = 1; len < 16; ++len)
        offs[len + 1] = offs[len] + count[len];
    uint16_t sorted[288];
    for (unsigned i = 0; i < n; ++i)
        if (lens[i])
            sorted[offs[lens[i]]++] = uint16_t(i);

    const size_t primarySize = size_t(1) << primary;
    std::fill(table, table + primarySize, kBad);
    size_t next = primarySize;
    unsigned code = 0;
    unsigned prevLen = 0;
    long curPrefix = -1;
    unsigned subBits = 0;
    size_t subStart = 0;
    for (unsigned k = 0; k < used; ++k) {
        unsigned sym = sorted[k];
        unsigned len = lens[sym];
        if (k > 0)
            code = (code + 1) << (len - prevLen);
        else
            code = 0;
        prevLen = len;
        uint32_t e = symbolEntry(kind, sym);
        if (len <= primary) {
            unsigned rev = reverseBits(code, len);
            uint32_t full = withLength(e, len);
            for (size_t i = rev; i < primarySize; i += size_t(1) << len)
                table[i] = full;
            continue;
        }
        unsigned prefix = code >> (len - primary);
        if (long(prefix) != curPrefix) {
            curPrefix = prefix;
            // The longest code under this prefix is the last one of it in canonical order.
            unsigned maxLen = len;
            unsigned c = code, pl = len;
            for (unsigned j = k + 1; j < used; ++j) {
                unsigned l2 = lens[sorted[j]];
                c = (c + 1) << (l2 - pl);
                pl = l2;
                if ((c >> (l2 - primary)) != prefix)
                    break;
                maxLen = l2;
            }
            subBits = maxLen - primary;
            subStart = next;
            next += size_t(1) << subBits;
            if (next > tableSize)
                return msg::BadLengths; // cannot happen for valid sizes; guards the table
            std::fill(table + subStart, table + next, kBad);
            table[reverseBits(prefix, primary)] = kSub | (uint32_t(subStart) << 16) | (subBits << 8) | primary;
        }
        unsigned rem = len - primary;
        unsigned rev = reverseBits(code & ((1u << rem) - 1), rem);
        uint32_t full = withLength(e, rem);
        for (size_t i = rev; i < (size_t(1) << subBits); i += size_t(1) << rem)
            table[subStart + i] = full;
    }
    return 0;
}

struct Tables {
    uint32_t lit[2048 + 288 * 16];
    uint32_t dist[256 + 32 * 128];
};

void buildFixed(Tables& t)
{
    uint8_t lens[320];
    std::fill(lens, lens + 144, 8);
    std::fill(lens + 144, lens + 256, 9);
    std::fill(lens + 256, lens + 280, 7);
    std::fill(lens + 280, lens + 288, 8);
    std::fill(lens + 288, lens + 320, 5);
    buildTable(lens, 288, Kind::LitLen, kLitBits, t.lit, std::size(t.lit));
    buildTable(lens + 288, 32, Kind::Dist, kDistBits, t.dist, std::size(t.dist));
}

inline uint64_t load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v; // little-endian hosts only (x86-64, arm64)
}

class Inflater {
public:
    Inflater(InputSource& in, OutputWindow& out) : in_(in), out_(out) {}
    Result run();

private:
    // Slow refill: byte by byte, pulling new chunks; past the end adds zero bytes and
    // counts them so a decode that used them is recognised as short input.
    void refillSlow()
    {
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
    void refill()
    {
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
    void drop(unsigned n)
    {
        bitbuf_ >>= n;
        bitcnt_ -= n;
    }
    Result fail(Status s, int id)
    {
        if (in_.aborted())
            return finish(Status::Aborted, msg::UserAborted);
        // A fault seen only because the zero bytes past the end were read is a truncation.
        unsigned realBits = bitcnt_ > overrun_ * 8 ? bitcnt_ - overrun_ * 8 : 0;
        if (s == Status::BadData && overrun_ && (pastEnd() || (id == msg::BadHuffmanCode && realBits < 15)))
            return finish(Status::ShortInput, msg::BadBlock);
        return finish(s, id);
    }
    Result finish(Status s, int id)
    {
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
    uint32_t decodeSlow(const uint32_t* table, unsigned primary);

    InputSource& in_;
    OutputWindow& out_;
    const uint8_t* ip_ = nullptr;
    const uint8_t* iend_ = nullptr;
    uint64_t bitbuf_ = 0;
    unsigned bitcnt_ = 0;
    unsigned overrun_ = 0;
    Tables* tables_ = nullptr;
};

uint32_t Inflater::decodeSlow(const uint32_t* table, unsigned primary)
{
    uint32_t e = table[bits(primary)];
    if (e & kSub) {
        drop(primary);
        e = table[(e >> 16) + bits((e >> 8) & 15)];
    }
    return e;
}

int Inflater::readDynamic()
{
    refill();
    unsigned hlit = bits(5) + 257;
    drop(5);
    unsigned hdist = bits(5) + 1;
    drop(5);
    unsigned hclen = bits(4) + 4;
    drop(4);
    if (hlit > 286 || hdist > 30)
        return msg::BadLengths;
    uint8_t clLens[19] = {};
    for (unsigned i = 0; i < hclen; ++i) {
        refill();
        clLens[kClOrder[i]] = uint8_t(bits(3));
        drop(3);
    }
    uint32_t clTable[128];
    if (int err = buildTable(clLens, 19, Kind::CodeLen, kClBits, clTable, std::size(clTable)))
        return err;
    uint8_t lens[286 + 30];
    unsigned total = hlit + hdist;
    for (unsigned i = 0; i < total;) {
        refill();
        uint32_t e = clTable[bits(kClBits)];
        if (e & kBad)
            return msg::BadHuffmanCode;
        drop(e & 0xff);
        unsigned sym = e >> 16;
        if (sym < 16) {
            lens[i++] = uint8_t(sym);
            continue;
        }
        unsigned rep;
        uint8_t val = 0;
        if (sym == 16) {
            if (i == 0)
                return msg::BadLengths;
            val = lens[i - 1];
            rep = 3 + bits(2);
            drop(2);
        } else if (sym == 17) {
            rep = 3 + bits(3);
            drop(3);
        } else {
            rep = 11 + bits(7);
            drop(7);
        }
        if (i + rep > total)
            return msg::BadLengths;
        std::fill(lens + i, lens + i + rep, val);
        i += rep;
    }
    if (pastEnd())
        return -1;
    if (lens[256] == 0)
        return msg::IncompleteCodeSet; // no end-of-block code: the block could never end
    if (int err = buildTable(lens, hlit, Kind::LitLen, kLitBits, tables_->lit, std::size(tables_->lit)))
        return err;
    return buildTable(lens + hlit, hdist, Kind::Dist, kDistBits, tables_->dist, std::size(tables_->dist));
}

Result Inflater::storedBlock()
{
    drop(bitcnt_ & 7);
    refill();
    uint32_t len = bits(16);
    drop(16);
    uint32_t nlen = bits(16);
    drop(16);
    if (pastEnd())
        return fail(Status::ShortInput, msg::BadBlock);
    if (len != (~nlen & 0xffff))
        return fail(Status::BadData, msg::BadBlock);
    // Whole bytes still in the bit buffer come first (never the zero bytes past the end).
    while (len > 0 && bitcnt_ >= 8 && bitcnt_ / 8 > overrun_) {
        Status s = out_.makeRoom();
        if (s != Status::Ok)
            return fail(s, defaultMessageId(s));
        *out_.pos++ = uint8_t(bits(8));
        drop(8);
        --len;
    }
    if (len == 0)
        return finish(Status::Ok, 0);
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
        if (s != Status::Ok)
            return fail(s, defaultMessageId(s));
        size_t n = std::min<size_t>({len, size_t(iend_ - ip_), size_t(out_.end - out_.pos)});
        std::memcpy(out_.pos, ip_, n);
        out_.pos += n;
        ip_ += n;
        len -= uint32_t(n);
    }
    return finish(Status::Ok, 0);
}

Result Inflater::huffmanBlock()
{
    const uint32_t* lit = tables_->lit;
    const uint32_t* dist = tables_->dist;
    constexpr uint32_t litMask = (1u << kLitBits) - 1;
    constexpr uint32_t distMask = (1u << kDistBits) - 1;
    uint8_t* op = out_.pos;

    for (;;) {
        uint8_t* const start = out_.start(); // moves when the window slides
        // Fast loop: at least 8 input bytes and room for the longest match plus the
        // 8-byte copy overrun, so nothing below needs a bounds check.
        // Locals: stores through `op` may alias any member, so the hot state lives in
        // registers and goes back to the members whenever the loop is left.
        uint64_t bb = bitbuf_;
        unsigned bc = bitcnt_;
        const uint8_t* ip = ip_;
        const uint8_t* const iend = iend_;
        uint8_t* const outEnd = out_.end;
        auto sync = [&] {
            bitbuf_ = bb;
            bitcnt_ = bc;
            ip_ = ip;
            out_.pos = op;
        };
        while (iend - ip >= 8 && outEnd - op >= 258 + 32) {
            bb |= load64(ip) << bc;
            ip += (63 - bc) >> 3;
            bc |= 56;
            uint32_t e = lit[bb & litMask];

            if (e & kSub) {
                bb >>= kLitBits;
                bc -= kLitBits;
                e = lit[(e >> 16) + (bb & ((1u << ((e >> 8) & 15)) - 1))];
            }
            uint64_t saved = bb;
            bb >>= e & 0xff;
            bc -= e & 0xff;
            if (e & kLit) {
                // Up to two more literals fit in the bits left (56 - 3 * 15 >= 0).
                *op++ = uint8_t(e >> 16);
                e = lit[bb & litMask];
                if ((e & (kLit | kSub)) != kLit)
                    goto notLiteral;
                bb >>= e & 0xff;
                bc -= e & 0xff;
                *op++ = uint8_t(e >> 16);
                e = lit[bb & litMask];
                if ((e & (kLit | kSub)) == kLit) {
                    bb >>= e & 0xff;
                    bc -= e & 0xff;
                    *op++ = uint8_t(e >> 16);
                }
                continue;
            notLiteral:
                // Not a plain literal: finish it only when enough bits remain for a match.
                if (bc < 48)
                    continue;
                if (e & kSub) {
                    bb >>= kLitBits;
                    bc -= kLitBits;
                    e = lit[(e >> 16) + (bb & ((1u << ((e >> 8) & 15)) - 1))];
                }
                saved = bb;
                bb >>= e & 0xff;
                bc -= e & 0xff;
                if (e & kLit) {
                    *op++ = uint8_t(e >> 16);
                    continue;
                }
            }
            if (e & (kEob | kBad)) {
                sync();
                if (e & kBad)
                    return fail(Status::BadData, msg::BadHuffmanCode);
                return finish(Status::Ok, 0);
            }
            size_t len = (e >> 16) + extraValue(saved, e);

            uint32_t d = dist[bb & distMask];
            if (d & kSub) {
                bb >>= kDistBits;
                bc -= kDistBits;
                d = dist[(d >> 16) + (bb & ((1u << ((d >> 8) & 15)) - 1))];
            }
            if (d & kBad) {
                sync();
                return fail(Status::BadData, msg::BadHuffmanCode);
            }
            saved = bb;
            bb >>= d & 0xff;
            bc -= d & 0xff;
            size_t distance = (d >> 16) + extraValue(saved, d);
            if (distance > size_t(op - start)) {
                sync();
                return fail(Status::BadData, msg::CorruptInput);
            }
            const uint8_t* src = op - distance;
            uint8_t* dst = op;
            op += len;
            if (distance >= 16) {
                do {
                    std::memcpy(dst, src, 16);
                    dst += 16;
                    src += 16;
                } while (dst < op);
            } else if (distance >= 8) {
                do {
                    std::memcpy(dst, src, 8);
                    dst += 8;
                    src += 8;
                } while (dst < op);
            } else if (distance == 1) {
                std::memset(dst, *src, len);
            } else {
                do {
                    *dst++ = *src++;
                } while (dst < op);
            }
        }
        sync();

        // Slow path: near the end of the input or of the output room.
        out_.pos = op;
        refill();
        uint32_t e = decodeSlow(lit, kLitBits);
        if (e & kBad)
            return fail(Status::BadData, msg::BadHuffmanCode);
        if (e & (kLit | kEob)) {
            drop(e & 0xff);
            if (pastEnd())
                return fail(Status::ShortInput, msg::BadBlock);
        }
        if (e & kEob)
            return finish(Status::Ok, 0);
        if (e & kLit) {
            Status s = out_.makeRoom();
            if (s != Status::Ok)
                return fail(s, defaultMessageId(s));
            *out_.pos++ = uint8_t(e >> 16);
            op = out_.pos;
            continue;
        }
        size_t len = (e >> 16) + extraValue(bitbuf_, e);
        drop(e & 0xff);
        refill();
        uint32_t d = decodeSlow(dist, kDistBits);
        if (d & kBad)
            return fail(Status::BadData, msg::BadHuffmanCode);
        size_t distance = (d >> 16) + extraValue(bitbuf_, d);
        drop(d & 0xff);
        if (pastEnd())
            return fail(Status::ShortInput, msg::BadBlock);
        for (; len > 0; --len) {
            Status s = out_.makeRoom();
            if (s != Status::Ok)
                return fail(s, defaultMessageId(s));
            if (distance > size_t(out_.pos - out_.start()))
                return fail(Status::BadData, msg::CorruptInput);
            *out_.pos = *(out_.pos - distance);
            ++out_.pos;
        }
        op = out_.pos;
    }
}

Result Inflater::run()
{
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
        if (pastEnd())
            return fail(Status::ShortInput, msg::BadBlock);
        Result r;
        if (type == 0) {
            r = storedBlock();
        } else if (type == 1) {
            if (!fixedBuilt)
                buildFixed(tables);
            fixedBuilt = true;
            r = huffmanBlock();
        } else if (type == 2) {
            fixedBuilt = false;
            int err = readDynamic();
            if (err < 0)
                return fail(Status::ShortInput, msg::BadBlock);
            if (err)
                return fail(Status::BadData, err);
            r = huffmanBlock();
        } else {
            return fail(Status::BadData, msg::BadBlock);
        }
        if (!r.ok())
            return r;
        if (final) {
            Status s = out_.finish();
            if (s != Status::Ok)
                return fail(s, defaultMessageId(s));
            return finish(Status::Ok, 0);
        }
    }
}

} // namespace

Result inflate(InputSource& in, OutputWindow& out)
{
    return Inflater(in, out).run();
}

Result inflate(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    InputSource src(in);
    OutputWindow win(out);
    return inflate(src, win);
}

} // namespace kv::codec
