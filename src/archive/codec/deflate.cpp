// Deflate encoder.
//
// Match finding: a 32 KB window over a 1 MB input buffer. Candidates come from hash chains
// keyed on four bytes, so a walk visits few positions that cannot match; a one-entry table
// keyed on three bytes adds the nearest three-byte match, which is only worth its length
// and distance codes when near (4096 bytes at most). Matches are compared eight bytes at a
// time. The levels follow the classic table: greedy up to 3, lazy from 4 (take the match
// at p+1 when it is longer than the one at p), never farther than 32506 bytes, so 262 bytes
// of lookahead always remain inside the window.
//
// The tables hold 16-bit positions relative to a base that follows the input. For the
// lazy levels each chain is two lists that take its positions in turn (a position joins
// the list whose head is older): a walk is bound by the latency of its link loads, and
// following both lists at once overlaps them. Alternating keeps the lists equally long,
// whatever the data; a split by position parity did not, as aligned binary data repeats
// its strings at even positions.
//
// Blocks: items (literals, length/distance pairs) are gathered with their histograms. Every
// segment of items is weighed against the block so far by the entropy of their symbols;
// when coding it with a table of its own would save more than a block header costs, the
// block so far is written and the segment starts the next one. Each block is written as
// stored, fixed or dynamic, whichever is smallest, with code lengths limited to 15 bits
// (7 for the code-length code).
#include "archive/codec/deflate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace kv::codec {
namespace {

constexpr int kWindow = 32768;
constexpr int kWindowMask = kWindow - 1;
constexpr int kMinLookahead = 258 + 3 + 1;
constexpr int kMaxDistance = kWindow - kMinLookahead;  // 32506
constexpr int kFarLength3 = 4096;                      // a 3-byte match farther is not worth it
// At the lazy levels a match longer than this (and than the level's maxLazy) puts its first
// kLongHead and last kLongTail positions into the chains and only every fourth one between:
// the middle repeats strings the window already holds at the match's source. Leaving the
// middle out entirely cost a few percent on records that repeat long bodies with short
// tails in between, whose boundaries then could not be found again.
constexpr int kLongMatch = 32, kLongHead = 16, kLongTail = 8;
static_assert(kLongHead + kLongTail < kLongMatch);
constexpr int kChunk = 1 << 20;
constexpr int kBufferSize = kWindow + kChunk;
constexpr int kPad = 16;  // the quick reject reads a little past the data
constexpr int kHash4Bits = 16, kHash3Bits = 14;
// Table entries are positions relative to a base that follows pos (16 bits halve the
// tables' cache footprint); kNil lies a whole window below the base, out of every reach.
// The base and every slide of the buffer move by whole windows, so a position and its
// relative value share their slot in the window: a walk follows the links without the base.
constexpr int16_t kNil = INT16_MIN;
// Streams up to this size have their hash heads emptied one position at a time on reuse;
// beyond it filling the tables is cheaper.
constexpr int32_t kShortStream = 64 * 1024;
// When pos - base reaches this the base moves up a window: pos + 257 (the farthest a match
// inserts) still fits in 16 bits before, and pos - kMaxDistance stays above kNil after.
constexpr int kRebaseAt = 32767 - 258;
static_assert(kRebaseAt - kWindow - kMaxDistance > INT16_MIN);

constexpr int kSegmentItems = 4096;
constexpr size_t kMaxBlockItems = 1 << 17;
constexpr int kLitSymbols = 286, kDistSymbols = 30, kClSymbols = 19;

const uint8_t kClOrder[kClSymbols] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct CodeTables {
    uint16_t lengthSymbol[259];  // match length -> symbol 257..285
    uint8_t lengthExtra[29];
    uint16_t lengthBase[29];
    uint8_t distSymbolLow[256];   // distance-1 below 256
    uint8_t distSymbolHigh[256];  // (distance-1) >> 7 for the rest
    uint8_t distExtra[30];
    uint16_t distBase[30];

    constexpr CodeTables()
        : lengthSymbol{},
          lengthExtra{},
          lengthBase{},
          distSymbolLow{},
          distSymbolHigh{},
          distExtra{},
          distBase{} {
        int len = 3;
        for (int s = 0; s < 28; ++s) {
            lengthExtra[s] = uint8_t(s < 8 ? 0 : (s - 4) / 4);
            lengthBase[s] = uint16_t(len);
            for (int k = 0; k < (1 << lengthExtra[s]); ++k) lengthSymbol[len++] = uint16_t(257 + s);
        }
        lengthExtra[28] = 0;
        lengthBase[28] = 258;
        lengthSymbol[258] = 285;  // 258 has its own code, not the top of symbol 284
        lengthSymbol[0] = lengthSymbol[1] = lengthSymbol[2] = 0;
        int dist = 1;
        for (int s = 0; s < 30; ++s) {
            distExtra[s] = uint8_t(s < 4 ? 0 : (s - 2) / 2);
            distBase[s] = uint16_t(dist);
            for (int k = 0; k < (1 << distExtra[s]); ++k, ++dist) {
                if (dist <= 256)
                    distSymbolLow[dist - 1] = uint8_t(s);
                else
                    distSymbolHigh[(dist - 1) >> 7] = uint8_t(s);
            }
        }
    }
    constexpr int distSymbol(uint32_t dist) const {
        return dist <= 256 ? distSymbolLow[dist - 1] : distSymbolHigh[(dist - 1) >> 7];
    }
};

constexpr CodeTables kCodes;

constexpr const CodeTables& tables() { return kCodes; }

inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline uint32_t hash4(const uint8_t* p) { return (load32(p) * 0x9E3779B1u) >> (32 - kHash4Bits); }
inline uint32_t hash3(const uint8_t* p) {
    return ((load32(p) & 0xFFFFFFu) * 0x9E3779B1u) >> (32 - kHash3Bits);
}

// Bytes equal at a and b, up to max.
inline int matchLength(const uint8_t* a, const uint8_t* b, int max) {
    int n = 0;
    while (n + 8 <= max) {
        const uint64_t x = load64(a + n) ^ load64(b + n);
        if (x) return n + (__builtin_ctzll(x) >> 3);
        n += 8;
    }
    while (n < max && a[n] == b[n]) ++n;
    return n;
}

// ---- Huffman code lengths

// Lengths for the symbols of freq (n of them) with no code longer than maxBits. Symbols
// of frequency 0 get no code; at least two symbols get one, so every inflater accepts the
// table (a lone code gets a partner of length 1).
void buildLengths(const uint32_t* freq, int n, int maxBits, uint8_t* lens) {
    std::memset(lens, 0, size_t(n));
    std::array<uint32_t, 320> order;  // used symbols, rarest first
    int used = 0;
    for (int i = 0; i < n; ++i)
        if (freq[i]) order[size_t(used++)] = uint32_t(i);
    if (used < 2) {
        const uint32_t only = used ? order[0] : 0;
        lens[only] = 1;
        lens[only == 0 ? 1 : 0] = 1;
        return;
    }
    std::sort(order.begin(), order.begin() + used,
              [&](uint32_t a, uint32_t b) { return freq[a] != freq[b] ? freq[a] < freq[b] : a < b; });
    // Two queues: the sorted leaves and the internal nodes, which are made in ascending
    // weight, so the two lightest are always at the fronts.
    std::array<uint64_t, 640> weight;
    std::array<int, 640> parent;
    for (int i = 0; i < used; ++i) weight[size_t(i)] = freq[order[size_t(i)]];
    int leaf = 0, node = used, made = used;
    auto takeLightest = [&]() {
        if (leaf < used && (node >= made || weight[size_t(leaf)] <= weight[size_t(node)])) return leaf++;
        return node++;
    };
    while (made < 2 * used - 1) {
        const int a = takeLightest(), b = takeLightest();
        weight[size_t(made)] = weight[size_t(a)] + weight[size_t(b)];
        parent[size_t(a)] = parent[size_t(b)] = made;
        ++made;
    }
    // Depths from the root down (parents always come after their children).
    std::array<int, 640> depth;
    depth[size_t(made - 1)] = 0;
    for (int i = made - 2; i >= 0; --i) depth[size_t(i)] = depth[size_t(parent[size_t(i)])] + 1;
    std::array<int, 64> count{};
    for (int i = 0; i < used; ++i) ++count[size_t(std::min(depth[size_t(i)], 63))];
    // Fold codes deeper than maxBits into maxBits, then pay for the overfull code space by
    // pushing the deepest shorter codes one level down until the Kraft sum is exact.
    for (int d = maxBits + 1; d < 64; ++d) {
        count[size_t(maxBits)] += count[size_t(d)];
        count[size_t(d)] = 0;
    }
    uint64_t kraft = 0;
    for (int d = 1; d <= maxBits; ++d) kraft += uint64_t(count[size_t(d)]) << (maxBits - d);
    while (kraft > (uint64_t(1) << maxBits)) {
        --count[size_t(maxBits)];
        for (int d = maxBits - 1; d > 0; --d) {
            if (count[size_t(d)]) {
                --count[size_t(d)];
                count[size_t(d + 1)] += 2;
                break;
            }
        }
        --kraft;
    }
    // The rarest symbols take the longest codes.
    int at = 0;
    for (int d = maxBits; d >= 1; --d)
        for (int k = 0; k < count[size_t(d)]; ++k) lens[order[size_t(at++)]] = uint8_t(d);
}

// Canonical codes, bit-reversed for the LSB-first stream.
void buildCodes(const uint8_t* lens, int n, uint16_t* codes) {
    uint16_t count[16] = {}, next[16] = {};
    for (int i = 0; i < n; ++i) ++count[lens[i]];
    count[0] = 0;
    uint16_t code = 0;
    for (int b = 1; b < 16; ++b) {
        code = uint16_t((code + count[b - 1]) << 1);
        next[b] = code;
    }
    for (int i = 0; i < n; ++i) {
        const int len = lens[i];
        if (!len) {
            codes[i] = 0;
            continue;
        }
        uint32_t c = next[len]++, r = 0;
        for (int k = 0; k < len; ++k, c >>= 1) r = (r << 1) | (c & 1);
        codes[i] = uint16_t(r);
    }
}

// ---- Bits out

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
    // Room for at least n more bytes (and the eight a flush may store past them).
    void reserve(size_t n) {
        if (out_.size() - used_ < n + 16) out_.resize(used_ + n + 16 + out_.size() / 2);
        data_ = out_.data();
    }
    // Gathers up to 56 bits less the pending ones (at most 7 after a flush).
    void add(uint64_t bits, unsigned n) {
        buf_ |= bits << count_;
        count_ += n;
    }
    // Stores the whole bytes gathered: always eight bytes, advancing by the complete ones.
    void flush() {
        std::memcpy(data_ + used_, &buf_, 8);
        used_ += count_ >> 3;
        buf_ >>= count_ & ~7u;
        count_ &= 7;
    }
    void put(uint64_t bits, unsigned n)  // n <= 32
    {
        add(bits, n);
        flush();
    }
    void alignToByte() {
        if (count_ > 0) data_[used_++] = uint8_t(buf_);
        buf_ = 0;
        count_ = 0;
    }
    void bytes(const uint8_t* p, size_t n) {
        std::memcpy(data_ + used_, p, n);
        used_ += n;
    }
    // Drops the unused tail of the vector.
    void finish() { out_.resize(used_); }
    size_t used() const { return used_; }
    void begin() {
        used_ = out_.size();
        data_ = out_.data();
    }

private:
    std::vector<uint8_t>& out_;
    uint8_t* data_ = nullptr;
    size_t used_ = 0;
    uint64_t buf_ = 0;
    unsigned count_ = 0;

public:
    // The partial byte is kept between calls of compress.
    uint64_t& pendingBits() { return buf_; }
    unsigned& pendingCount() { return count_; }
};

struct Histogram {
    uint32_t lit[kLitSymbols] = {};
    uint32_t dist[kDistSymbols] = {};
    void clear() { *this = Histogram{}; }
    void add(const Histogram& o) {
        for (int i = 0; i < kLitSymbols; ++i) lit[i] += o.lit[i];
        for (int i = 0; i < kDistSymbols; ++i) dist[i] += o.dist[i];
    }
};

// Bits the symbols of h would take under ideal codes, plus a rough table cost.
double entropyBits(const Histogram& h) {
    auto part = [](const uint32_t* f, int n, double& bits, int& used) {
        uint64_t total = 0;
        for (int i = 0; i < n; ++i) total += f[i];
        if (!total) return;
        const double lt = std::log2(double(total));
        for (int i = 0; i < n; ++i)
            if (f[i]) {
                bits += double(f[i]) * (lt - std::log2(double(f[i])));
                ++used;
            }
    };
    double bits = 0;
    int used = 0;
    part(h.lit, kLitSymbols, bits, used);
    part(h.dist, kDistSymbols, bits, used);
    return bits + 4.0 * used + 100.0;
}

}  // namespace

DeflateLevel deflateLevel(int level) {
    static constexpr DeflateLevel kLevels[10] = {
        {0, 0, 0, 0, false},        {4, 4, 8, 4, false},     {4, 5, 16, 8, false},
        {4, 6, 32, 32, false},      {4, 4, 16, 16, true},    {8, 16, 32, 32, true},
        {8, 16, 128, 128, true},    {8, 32, 128, 256, true}, {32, 128, 258, 1024, true},
        {32, 258, 258, 4096, true},
    };
    return kLevels[std::clamp(level, 0, 9)];
}

struct Deflater::State {
    DeflateLevel params;
    // Left uninitialised like the item store: compress writes the pad after every fill.
    std::unique_ptr<uint8_t[]> bufStore{new uint8_t[size_t(kBufferSize) + kPad]};
    uint8_t* const buf = bufStore.get();
    std::vector<int16_t> head4 = std::vector<int16_t>(size_t(2) << kHash4Bits, kNil);
    std::vector<int16_t> head3 = std::vector<int16_t>(size_t(1) << kHash3Bits, kNil);
    std::vector<int16_t> prev = std::vector<int16_t>(kWindow, kNil);
    int32_t pos = 0, end = 0;
    int32_t base = 0;  // table entries hold position - base
    // Lazy state: the match found at pos - 1 waits for the one at pos.
    bool pending = false;
    int prevLen = 0;
    uint32_t prevDist = 0;

    // The items of the block being gathered: [0, segmentStart) is the block so far and
    // the rest the current segment, each with its histogram and the input bytes it covers.
    // Left uninitialised (every item is written before it is read): zeroing half a megabyte
    // for each entry of an archive of many small files cost more than compressing them.
    std::unique_ptr<uint32_t[]> itemStore{new uint32_t[kMaxBlockItems + kSegmentItems + 8]};
    uint32_t* items = itemStore.get();
    size_t nItems = 0;
    size_t segmentStart = 0;
    Histogram blockHist, segHist;
    int32_t blockRawStart = 0;
    int64_t blockRaw = 0, segRaw = 0;

    uint64_t bitBuf = 0;
    unsigned bitCount = 0;
    bool done = false;
    int32_t lastHead3 = 0;   // what the three-byte table held for pos before pos went in
    uint32_t lastHash4 = 0;  // where pos went in head4
    // 1 when the chains are split in two lists; the greedy levels walk at most 8 candidates,
    // too few to gain from two lists, and keep one (the odd heads stay empty).
    uint32_t laneBit = 1;
    bool slid = false;  // the buffer moved down at least once in this stream

    // Ready for a new stream at `level`, keeping every block allocated. Only the hash heads
    // can lead a walk into the old stream (each link is written when its position goes in),
    // so they are emptied: position by position for a short stream that never slid, whole
    // otherwise.
    void reset(int level) {
        params = deflateLevel(level);
        laneBit = params.lazy ? 1 : 0;
        if (!slid && end < kShortStream) {
            for (int32_t p = 0; p < end; ++p) {
                const uint32_t h = hash4(buf + p) << 1;
                head4[h] = head4[h | 1] = kNil;
                head3[hash3(buf + p)] = kNil;
            }
        } else {
            std::fill(head4.begin(), head4.end(), kNil);
            std::fill(head3.begin(), head3.end(), kNil);
        }
        pos = end = base = 0;
        pending = false;
        prevLen = 0;
        prevDist = 0;
        nItems = segmentStart = 0;
        blockHist.clear();
        segHist.clear();
        blockRawStart = 0;
        blockRaw = segRaw = 0;
        bitBuf = 0;
        bitCount = 0;
        done = false;
        lastHead3 = 0;
        lastHash4 = 0;
        slid = false;
    }

    // The list of bucket h2 (even) that takes the next position: the one whose head is
    // older, so the two lists alternate and together hold the chain in order.
    static uint32_t slotFor(const int16_t* h4, uint32_t h2, uint32_t lanes) {
        return h2 | (lanes & uint32_t(h4[h2] > h4[h2 | 1]));
    }

    void insert(int32_t p) {
        const uint8_t* q = buf + p;
        const uint32_t h = slotFor(head4.data(), hash4(q) << 1, laneBit);
        const int16_t rel = int16_t(p - base);
        prev[size_t(p & kWindowMask)] = head4[h];
        head4[h] = rel;
        lastHash4 = h;
        int16_t& h3 = head3[hash3(q)];
        lastHead3 = base + h3;
        h3 = rel;
    }

    // Inserts every step-th position of [from, to) for later walks (none of them walks
    // itself, so lastHead3 is not kept), with the tables and the base in locals.
    void insertRange(int32_t from, int32_t to, int32_t step = 1) {
        to = std::min(to, end - 3);
        const uint8_t* const data = buf;
        int16_t* const h4 = head4.data();
        int16_t* const h3 = head3.data();
        int16_t* const link = prev.data();
        const int32_t b = base;
        const uint32_t lanes = laneBit;
        for (int32_t p = from; p < to; p += step) {
            const uint8_t* q = data + p;
            const uint32_t h = slotFor(h4, hash4(q) << 1, lanes);
            const int16_t rel = int16_t(p - b);
            link[p & kWindowMask] = h4[h];
            h4[h] = rel;
            h3[hash3(q)] = rel;
        }
    }

    // Moves the base up a window; entries that fall out of 16 bits were out of reach anyway
    // (behind the base before the move) and stick at kNil.
    void rebase() {
        auto down = [](std::vector<int16_t>& v) {
            int16_t* x = v.data();
            const size_t n = v.size();  // a multiple of 8
#ifdef __SSE2__
            const __m128i by = _mm_set1_epi16(INT16_MIN);  // adding -kWindow, saturated
            for (size_t i = 0; i < n; i += 8) {
                __m128i* q = reinterpret_cast<__m128i*>(x + i);
                _mm_storeu_si128(q, _mm_adds_epi16(_mm_loadu_si128(q), by));
            }
#else
            for (size_t i = 0; i < n; ++i) x[i] = int16_t(std::max(int(x[i]) - kWindow, int(kNil)));
#endif
        };
        down(head4);
        down(head3);
        down(prev);
        base += kWindow;
    }

    // The longest match at pos longer than best (0 when none), its distance in dist; pos
    // must have just been inserted. Each hash chain is kept as two alternating lists: a walk
    // follows both at once, so the latency of one list's link loads hides the other's, and
    // visits chain candidates in all, in the chain's order.
    int findMatch(int best, int chain, uint32_t& distOut) const {
        const int maxLen = std::min(258, end - pos);
        if (maxLen < 4 || best >= maxLen) return 0;
        const uint8_t* const data = buf;
        const int16_t* const link = prev.data();
        const uint8_t* const cur = data + pos;
        const int32_t limit = pos - kMaxDistance;
        const int32_t base = this->base;  // locals: the walk stores nothing they could alias
        const int start = best;
        int32_t bestCand = 0;
        if (best < 3) {
            const int32_t c3 = lastHead3;
            if (c3 >= pos - kFarLength3 && (load32(data + c3) & 0xFFFFFF) == (load32(cur) & 0xFFFFFF)) {
                best = 3;
                bestCand = c3;
            }
        }
        const int nice = std::min<int>(params.niceLength, maxLen);
        // The walk runs on relative positions (the slot of one in prev is its own low bits)
        // and on the data seen from the base.
        const uint8_t* const from = data + base;
        const int32_t reach = limit - base;
        // A candidate must match the four bytes ending at best (where most fail) and the
        // first four (the chains are keyed on them, but hashes collide). probeAt is the data
        // moved by that offset, so the first test of a candidate is a single load.
        int probe = best < 4 ? 0 : best - 3;
        const uint8_t* probeAt = from + probe;
        uint32_t want = load32(cur + probe);
        // The two lists' next candidates, kept in registers: each step's link load waits
        // only for the previous one of its own list.
        // Nothing went in since pos, so the other list's head is as pos found it.
        int32_t c0 = link[pos & kWindowMask], c1 = head4[lastHash4 ^ 1];
        // A candidate that passed the probe: true when its match ends the walk.
        auto longer = [&](int32_t cand) {
            const uint8_t* p = from + cand;
            if (load32(p) != load32(cur)) return false;
            const int len = 4 + matchLength(p + 4, cur + 4, maxLen - 4);
            if (len <= best) return false;
            best = len;
            bestCand = base + cand;
            probe = best - 3;
            probeAt = from + probe;
            want = load32(cur + probe);
            return len >= nice;
        };
        auto visit = [&](int32_t cand) {
            if (load32(probeAt + cand) != want) [[likely]]
                return false;
            return longer(cand);
        };
        if (!laneBit) {
            while (c0 >= reach && chain-- > 0) {
                const int32_t c = c0;
                c0 = link[c & kWindowMask];
                if (visit(c)) break;
            }
        } else {
            bool done = false;
            while (c0 >= reach && c1 >= reach && chain >= 2) {
                const int32_t a0 = c0, a1 = c1;
                c0 = link[a0 & kWindowMask];
                c1 = link[a1 & kWindowMask];
                chain -= 2;
                // The lists take turns, so the other list's candidate is the nearer one.
                if (visit(a1) || visit(a0)) {
                    done = true;
                    break;
                }
            }
            // One list left (or one candidate of the budget): merged by position.
            while (chain > 0 && !done) {
                int32_t c;
                if (c0 >= reach && c0 > c1) {
                    c = c0;
                    c0 = link[c & kWindowMask];
                } else if (c1 >= reach) {
                    c = c1;
                    c1 = link[c & kWindowMask];
                } else {
                    break;
                }
                --chain;
                done = visit(c);
            }
        }
        if (best == start) return 0;
        distOut = uint32_t(pos - bestCand);
        return best;
    }

    void literal(uint8_t b) {
        items[nItems++] = b;
        ++segHist.lit[b];
        ++segRaw;
    }
    void match(int len, uint32_t dist) {
        const CodeTables& t = tables();
        items[nItems++] = uint32_t(len) << 16 | dist;
        ++segHist.lit[t.lengthSymbol[len]];
        ++segHist.dist[t.distSymbol(dist)];
        segRaw += len;
    }

    void matchLoop(int32_t limit, BitWriter& w);
    void endSegment(BitWriter& w);
    void flushBlock(BitWriter& w, bool last);
    void writeBlock(BitWriter& w, const uint32_t* it, size_t n, const Histogram& h, int32_t rawStart,
                    int64_t rawLen, bool last);
    void slide();
};

void Deflater::State::matchLoop(int32_t limit, BitWriter& w) {
    const int chainFull = params.maxChain;
    const int longMatch = std::max<int>(params.maxLazy, kLongMatch);
    if (!params.lazy) {
        while (pos < limit) {
            if (pos - base >= kRebaseAt) rebase();
            if (pos + 4 <= end) insert(pos);
            uint32_t dist = 0;
            int len = chainFull ? findMatch(2, chainFull, dist) : 0;
            if (len == 3 && dist > uint32_t(kFarLength3)) len = 0;
            if (len >= 3) {
                match(len, dist);
                if (len <= params.maxLazy) {
                    insertRange(pos + 1, pos + len);
                }
                pos += len;
            } else {
                literal(buf[size_t(pos)]);
                ++pos;
            }
            if (nItems - segmentStart >= size_t(kSegmentItems)) endSegment(w);
        }
        return;
    }
    while (pos < limit) {
        if (pos - base >= kRebaseAt) rebase();
        if (pos + 4 <= end) insert(pos);
        // The next position's hash bucket, fetched while this one's chain is walked.
        __builtin_prefetch(&head4[hash4(buf + pos + 1) << 1]);
        uint32_t dist = 0;
        int len = 0;
        if (prevLen < params.maxLazy) {
            const int chain = prevLen >= params.goodLength ? chainFull >> 2 : chainFull;
            len = findMatch(std::max(prevLen, 2), chain, dist);
        }
        if (len == 3 && dist > uint32_t(kFarLength3)) len = 0;
        if (prevLen >= 3 && len <= prevLen) {
            // The match at pos - 1 stands; its remaining positions enter the chains.
            match(prevLen, prevDist);
            const int32_t stop = pos - 1 + prevLen;
            __builtin_prefetch(&head4[hash4(buf + stop) << 1]);
            if (prevLen > longMatch) {
                insertRange(pos + 1, pos + 1 + kLongHead);
                insertRange(pos + 1 + kLongHead, stop - kLongTail, 4);
                insertRange(stop - kLongTail, stop);
            } else {
                insertRange(pos + 1, stop);
            }
            pos = stop;
            pending = false;
            prevLen = 0;
        } else {
            if (pending) literal(buf[size_t(pos - 1)]);
            pending = true;
            prevLen = len;
            prevDist = dist;
            ++pos;
        }
        if (nItems - segmentStart >= size_t(kSegmentItems)) endSegment(w);
    }
}

void Deflater::State::endSegment(BitWriter& w) {
    if (segmentStart > 0) {
        Histogram both = blockHist;
        both.add(segHist);
        if (entropyBits(blockHist) + entropyBits(segHist) < entropyBits(both)) flushBlock(w, false);
    }
    blockHist.add(segHist);
    segHist.clear();
    blockRaw += segRaw;
    segRaw = 0;
    segmentStart = nItems;
    if (nItems >= kMaxBlockItems) flushBlock(w, false);
}

// Writes the block so far ([0, segmentStart)) and keeps the current segment.
void Deflater::State::flushBlock(BitWriter& w, bool last) {
    if (last) {
        blockHist.add(segHist);
        segHist.clear();
        blockRaw += segRaw;
        segRaw = 0;
        segmentStart = nItems;
    }
    writeBlock(w, items, segmentStart, blockHist, blockRawStart, blockRaw, last);
    std::memmove(items, items + segmentStart, (nItems - segmentStart) * sizeof *items);
    nItems -= segmentStart;
    blockRawStart += int32_t(blockRaw);
    blockHist.clear();
    blockRaw = 0;
    segmentStart = 0;
}

void Deflater::State::writeBlock(BitWriter& w, const uint32_t* it, size_t n, const Histogram& hist,
                                 int32_t rawStart, int64_t rawLen, bool last) {
    const CodeTables& t = tables();
    uint32_t litFreq[kLitSymbols], distFreq[kDistSymbols];
    std::memcpy(litFreq, hist.lit, sizeof litFreq);
    std::memcpy(distFreq, hist.dist, sizeof distFreq);
    litFreq[256] = 1;

    uint8_t litLen[kLitSymbols], distLen[kDistSymbols];
    buildLengths(litFreq, kLitSymbols, 15, litLen);
    buildLengths(distFreq, kDistSymbols, 15, distLen);

    // The code-length sequence of both tables with runs folded into 16, 17 and 18.
    int nLit = kLitSymbols, nDist = kDistSymbols;
    while (nLit > 257 && !litLen[nLit - 1]) --nLit;
    while (nDist > 1 && !distLen[nDist - 1]) --nDist;
    uint8_t all[kLitSymbols + kDistSymbols];
    std::memcpy(all, litLen, size_t(nLit));
    std::memcpy(all + nLit, distLen, size_t(nDist));
    const int total = nLit + nDist;
    struct Run {
        uint8_t sym, extra;
    };
    Run runs[kLitSymbols + kDistSymbols];
    int nRuns = 0;
    uint32_t clFreq[kClSymbols] = {};
    for (int i = 0; i < total;) {
        const uint8_t v = all[i];
        int run = 1;
        while (i + run < total && all[i + run] == v) ++run;
        i += run;
        if (v == 0) {
            while (run >= 11) {
                const int k = std::min(run, 138);
                runs[nRuns++] = {18, uint8_t(k - 11)};
                run -= k;
            }
            if (run >= 3) {
                runs[nRuns++] = {17, uint8_t(run - 3)};
                run = 0;
            }
        } else {
            runs[nRuns++] = {v, 0};
            --run;
            while (run >= 3) {
                const int k = std::min(run, 6);
                runs[nRuns++] = {16, uint8_t(k - 3)};
                run -= k;
            }
        }
        while (run-- > 0) runs[nRuns++] = {v, 0};
    }
    for (int i = 0; i < nRuns; ++i) ++clFreq[runs[i].sym];
    uint8_t clLen[kClSymbols];
    buildLengths(clFreq, kClSymbols, 7, clLen);
    int nCl = kClSymbols;
    while (nCl > 4 && !clLen[kClOrder[nCl - 1]]) --nCl;

    // Sizes of the three ways to write the block.
    uint64_t extraBits = 0;
    for (int s = 257; s < kLitSymbols; ++s) extraBits += uint64_t(litFreq[s]) * t.lengthExtra[s - 257];
    for (int s = 0; s < kDistSymbols; ++s) extraBits += uint64_t(distFreq[s]) * t.distExtra[s];
    uint64_t dynBits = 3 + 5 + 5 + 4 + 3 * uint64_t(nCl);
    for (int i = 0; i < nRuns; ++i)
        dynBits += clLen[runs[i].sym] + (runs[i].sym == 16   ? 2
                                         : runs[i].sym == 17 ? 3
                                         : runs[i].sym == 18 ? 7
                                                             : 0);
    uint64_t fixBits = 3;
    for (int s = 0; s < kLitSymbols; ++s) {
        dynBits += uint64_t(litFreq[s]) * litLen[s];
        fixBits += uint64_t(litFreq[s]) * (s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8);
    }
    for (int s = 0; s < kDistSymbols; ++s) {
        dynBits += uint64_t(distFreq[s]) * distLen[s];
        fixBits += uint64_t(distFreq[s]) * 5;
    }
    dynBits += extraBits;
    fixBits += extraBits;
    const uint64_t storedBlocks = rawLen == 0 ? 1 : uint64_t(rawLen + 65534) / 65535;
    const uint64_t storedBits = (uint64_t(rawLen) + storedBlocks * 5) * 8 + 7;

    w.reserve(size_t(std::min(dynBits, fixBits) / 8) + size_t(rawLen) + storedBlocks * 5 + 64);
    if (storedBits <= dynBits && storedBits <= fixBits) {
        const uint8_t* p = buf + rawStart;
        int64_t left = rawLen;
        do {
            const uint32_t k = uint32_t(std::min<int64_t>(left, 65535));
            left -= k;
            w.put((last && left == 0) ? 1 : 0, 3);
            w.alignToByte();
            const uint8_t lenBytes[4] = {uint8_t(k), uint8_t(k >> 8), uint8_t(~k), uint8_t(~k >> 8)};
            w.bytes(lenBytes, 4);
            w.bytes(p, k);
            p += k;
        } while (left > 0);
        return;
    }

    uint16_t litCode[288], distCode[32];
    uint8_t fixedLit[288], fixedDist[32];
    const uint8_t* useLit = litLen;
    const uint8_t* useDist = distLen;
    if (fixBits < dynBits) {
        for (int s = 0; s < 288; ++s) fixedLit[s] = uint8_t(s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8);
        std::memset(fixedDist, 5, sizeof fixedDist);
        buildCodes(fixedLit, 288, litCode);
        buildCodes(fixedDist, 32, distCode);
        useLit = fixedLit;
        useDist = fixedDist;
        w.put(last ? 3 : 2, 3);
    } else {
        buildCodes(litLen, kLitSymbols, litCode);
        buildCodes(distLen, kDistSymbols, distCode);
        uint16_t clCode[kClSymbols];
        buildCodes(clLen, kClSymbols, clCode);
        w.put(last ? 5 : 4, 3);
        w.put(uint32_t(nLit - 257), 5);
        w.put(uint32_t(nDist - 1), 5);
        w.put(uint32_t(nCl - 4), 4);
        for (int i = 0; i < nCl; ++i) w.put(clLen[kClOrder[i]], 3);
        for (int i = 0; i < nRuns; ++i) {
            const Run r = runs[i];
            w.put(clCode[r.sym], clLen[r.sym]);
            if (r.sym == 16)
                w.put(r.extra, 2);
            else if (r.sym == 17)
                w.put(r.extra, 3);
            else if (r.sym == 18)
                w.put(r.extra, 7);
        }
    }
    // One table for the first code of an item, literal (0..255) or length (256 + length)
    // with its extra bits, so that literals and matches take the same path without a branch;
    // a literal's distance part has no bits.
    struct Code {
        uint32_t bits, n;
    };
    Code first[256 + 259];
    for (int c = 0; c < 256; ++c) first[c] = {litCode[c], useLit[c]};
    for (int len = 3; len <= 258; ++len) {
        const int ls = t.lengthSymbol[len] - 257;
        first[256 + len] = {litCode[257 + ls] | uint32_t(len - t.lengthBase[ls]) << useLit[257 + ls],
                            uint32_t(useLit[257 + ls] + t.lengthExtra[ls])};
    }
    for (size_t i = 0; i < n; ++i) {
        const uint32_t item = it[i];
        const uint32_t len = item >> 16;
        const uint32_t dist = item & 0xFFFF;
        const Code c = first[len ? 256 + len : item];
        w.add(c.bits, c.n);
        const uint32_t d1 = (dist - 1) & 0x7FFF;  // a literal's byte reads a harmless entry
        const int ds = d1 < 256 ? t.distSymbolLow[d1] : t.distSymbolHigh[d1 >> 7];
        const uint32_t dn = len ? uint32_t(useDist[ds] + t.distExtra[ds]) : 0;
        w.add((distCode[ds] | uint32_t(dist - t.distBase[ds]) << useDist[ds]) & ((1u << dn) - 1), dn);
        w.flush();
    }
    w.put(litCode[256], useLit[256]);
}

void Deflater::State::slide() {
    // Whole windows, so that positions keep their slots in prev.
    const int32_t shift = (pos - kWindow) & ~kWindowMask;
    if (shift <= 0) return;
    slid = true;
    std::memmove(buf, buf + shift, size_t(end - shift));
    pos -= shift;
    end -= shift;
    blockRawStart -= shift;
    base -= shift;  // the entries are relative, so they move with the buffer
}

Deflater::Deflater(int level) : s_(std::make_unique<State>()) {
    s_->params = deflateLevel(level);
    s_->laneBit = s_->params.lazy ? 1 : 0;
}

void Deflater::reset(int level) { s_->reset(level); }

Deflater::~Deflater() = default;

bool Deflater::finished() const { return s_->done; }

void Deflater::compress(std::span<const uint8_t> in, bool last, std::vector<uint8_t>& out) {
    State& s = *s_;
    if (s.done) return;
    BitWriter w(out);
    w.begin();
    w.pendingBits() = s.bitBuf;
    w.pendingCount() = s.bitCount;
    while (true) {
        const size_t room = size_t(kBufferSize - s.end);
        const size_t take = std::min(room, in.size());
        if (take) std::memcpy(s.buf + s.end, in.data(), take);  // an empty span may hold no pointer
        std::memset(s.buf + s.end + take, 0, kPad);
        s.end += int32_t(take);
        in = in.subspan(take);
        const bool full = s.end == kBufferSize;
        if (!full && !(last && in.empty())) break;  // gather more input before searching
        const bool ending = last && in.empty();
        s.matchLoop(ending ? s.end : s.end - kMinLookahead, w);
        if (ending) {
            if (s.pending) {
                s.literal(s.buf[size_t(s.pos - 1)]);
                s.pending = false;
            }
            s.flushBlock(w, true);
            w.alignToByte();
            s.done = true;
            break;
        }
        // The block's bytes must stay in the buffer while it may still be stored.
        s.blockHist.add(s.segHist);
        s.segHist.clear();
        s.blockRaw += s.segRaw;
        s.segRaw = 0;
        s.segmentStart = s.nItems;
        // A literal or match still waiting at pos - 1 opens the next block; its byte stays
        // in the window across the slide.
        if (s.segmentStart > 0) s.flushBlock(w, false);
        s.slide();
    }
    s.bitBuf = w.pendingBits();
    s.bitCount = w.pendingCount();
    w.finish();
}

std::vector<uint8_t> deflate(std::span<const uint8_t> in, int level) {
    Deflater d(level);
    std::vector<uint8_t> out;
    out.reserve(in.size() / 2 + 64);
    d.compress(in, true, out);
    return out;
}

}  // namespace kv::codec
