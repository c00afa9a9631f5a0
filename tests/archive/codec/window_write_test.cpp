// putByte and copyMatch against a byte-at-a-time model: overlapping matches of every
// short distance, matches that cross a slide of a small window, bytes from before the
// start, the limit falling inside a match, and a sink that refuses.
#include "archive/codec/window_write.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace kv::codec {
namespace {

struct Op {
    size_t dist = 0;  // 0: a literal
    size_t len = 0;
    uint8_t byte = 0;
};

// What the ops write, cut at `limit`; bytes before the start are `fill`.
std::vector<uint8_t> model(const std::vector<Op>& ops, size_t limit, uint8_t fill) {
    std::vector<uint8_t> v;
    for (const Op& op : ops) {
        if (op.dist == 0) {
            if (v.size() < limit) v.push_back(op.byte);
            continue;
        }
        for (size_t k = 0; k < op.len && v.size() < limit; ++k)
            v.push_back(v.size() >= op.dist ? v[v.size() - op.dist] : fill);
    }
    return v;
}

std::vector<Op> randomOps(unsigned seed, size_t maxDist, size_t count) {
    std::mt19937 rng(seed);
    std::vector<Op> ops;
    for (size_t i = 0; i < count; ++i) {
        Op op;
        if (rng() % 3 == 0) {
            op.byte = uint8_t(rng());
        } else {
            // Mostly short distances, where a match overlaps what it writes.
            op.dist = rng() % 4 ? 1 + rng() % 20 : 1 + rng() % maxDist;
            op.len = 1 + rng() % 300;
        }
        ops.push_back(op);
    }
    return ops;
}

Status apply(OutputWindow& out, const std::vector<Op>& ops, uint8_t fill) {
    for (const Op& op : ops) {
        Status s = op.dist == 0 ? putByte(out, op.byte) : copyMatch(out, op.dist, op.len, fill);
        if (op.dist == 0 && s == Status::OutputLimit) return Status::Ok;  // a literal past the end
        if (s != Status::Ok) return s;
        if (out.atLimit()) break;
    }
    return out.finish();
}

TEST(WindowWrite, MatchesByteAtATimeCopyThroughSlidesAndLimits) {
    struct Case {
        unsigned seed;
        size_t history;  // the sliding window keeps this much; 0: one flat buffer
        size_t limit;
        uint8_t fill;
    };
    const Case cases[] = {
        {1, 0, 200000, 0},       // flat buffer, cut inside the ops
        {2, 256, 400000, 0},     // small window: many slides, some inside a match
        {3, 4096, 400000, ' '},  // distances up to the history, spaces before the start
        {4, 256, 12345, 0},      // limit inside a match after a few slides
        {5, 300, 1000000, 7},    // the ops end before the limit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seed);
        std::vector<Op> ops = randomOps(c.seed, c.history ? c.history : 4096, 2000);
        std::vector<uint8_t> want = model(ops, c.limit, c.fill);
        std::vector<uint8_t> got;
        if (c.history == 0) {
            got.assign(c.limit, 0xEE);
            OutputWindow out{std::span<uint8_t>(got)};
            ASSERT_EQ(apply(out, ops, c.fill), Status::Ok);
            got.resize(size_t(out.total()));
        } else {
            OutputWindow out(
                [&](const uint8_t* p, size_t n) {
                    got.insert(got.end(), p, p + n);
                    return true;
                },
                c.limit, c.history, 0);
            ASSERT_EQ(apply(out, ops, c.fill), Status::Ok);
            EXPECT_EQ(out.total(), want.size());
        }
        ASSERT_EQ(got.size(), want.size());
        EXPECT_TRUE(got == want);
    }
}

// Every short distance (byte copies, then words from a multiple of the distance) and
// the word paths, each with lengths around the switch points; nothing is written before
// the match or past its slack.
TEST(WindowWrite, CopyWithSlackRepeatsLikeAByteCopy) {
    std::mt19937 rng(9);
    for (size_t dist = 1; dist <= 40; ++dist) {
        for (size_t len : {size_t(1), size_t(2), size_t(7), size_t(8), size_t(9), size_t(15), size_t(16),
                           size_t(17), size_t(31), size_t(100), size_t(256)}) {
            SCOPED_TRACE(dist * 1000 + len);
            std::vector<uint8_t> buf(64 + len + 16 + 8, 0xAA);
            for (size_t i = 0; i < 64; ++i) buf[i] = uint8_t(rng());
            std::vector<uint8_t> want = buf;
            for (size_t i = 64; i < 64 + len; ++i) want[i] = want[i - dist];
            uint8_t* end = copyWithSlack(buf.data() + 64, dist, len);
            EXPECT_EQ(end, buf.data() + 64 + len);
            EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + ptrdiff_t(64 + len), want.begin()));
            EXPECT_TRUE(std::all_of(buf.end() - 8, buf.end(), [](uint8_t b) { return b == 0xAA; }));
        }
    }
}

TEST(WindowWrite, RefusingSinkStopsTheMatch) {
    std::vector<Op> ops = {{0, 0, 'a'}, {1, 100000, 0}};
    OutputWindow out([](const uint8_t*, size_t) { return false; }, 1u << 20, 256, 0);
    EXPECT_EQ(apply(out, ops, 0), Status::SinkFailed);
    EXPECT_LT(out.total(), 100001u);
}

}  // namespace
}  // namespace kv::codec
