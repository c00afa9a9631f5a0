#include "test_reducer.h"

#include <algorithm>
#include <array>

namespace kv::codec::test {
namespace {

class Bits {
public:
    void put(uint32_t v, unsigned n) {
        for (unsigned i = 0; i < n; ++i) {
            cur_ |= uint8_t(((v >> i) & 1) << count_);
            if (++count_ == 8) {
                out_.push_back(cur_);
                cur_ = 0;
                count_ = 0;
            }
        }
    }
    std::vector<uint8_t> done() {
        if (count_) out_.push_back(cur_);
        return out_;
    }

private:
    std::vector<uint8_t> out_;
    uint8_t cur_ = 0;
    unsigned count_ = 0;
};

unsigned indexBits(unsigned n) {
    unsigned b = 1;
    while ((1u << b) < n) ++b;
    return b;
}

// First layer: literals with 0x90 escaped, matches as 0x90 V [extra] Y.
std::vector<uint8_t> matchLayer(const std::vector<uint8_t>& in, int factor) {
    const unsigned lenMask = 0x7Fu >> (factor - 1);
    const unsigned distShift = 8 - unsigned(factor);
    const size_t maxDist = size_t(256) << factor;
    const size_t maxLen = lenMask + 255 + 3;
    std::vector<uint8_t> out;
    for (size_t i = 0; i < in.size();) {
        size_t bestLen = 0, bestDist = 0;
        for (size_t d = 1; d <= std::min(maxDist, i); ++d) {
            size_t l = 0;
            while (l < maxLen && i + l < in.size() && in[i + l] == in[i + l - d]) ++l;
            if (l > bestLen) bestLen = l, bestDist = d;
        }
        // Length field 0 with distance high bits 0 would read as an escaped 0x90: take 4+.
        if (bestLen >= 4) {
            unsigned field = unsigned(std::min(bestLen - 3, size_t(lenMask)));
            size_t len = field == lenMask ? std::min(bestLen - 3, size_t(lenMask + 255)) : field;
            size_t dist = bestDist - 1;
            out.push_back(0x90);
            out.push_back(uint8_t(((dist >> 8) << distShift) | field));
            if (field == lenMask) out.push_back(uint8_t(len - lenMask));
            out.push_back(uint8_t(dist & 0xff));
            i += len + 3;
            continue;
        }
        out.push_back(in[i]);
        if (in[i] == 0x90) out.push_back(0);
        ++i;
    }
    return out;
}

}  // namespace

std::vector<uint8_t> reduce(const std::vector<uint8_t>& data, int factor) {
    std::vector<uint8_t> mid = matchLayer(data, factor);
    // Follower sets: the up to 32 most frequent successors of each byte.
    std::vector<std::array<unsigned, 256>> freq(256);
    for (auto& f : freq) f.fill(0);
    uint8_t last = 0;
    for (uint8_t c : mid) {
        ++freq[last][c];
        last = c;
    }
    std::array<std::vector<uint8_t>, 256> sets;
    for (unsigned j = 0; j < 256; ++j) {
        std::vector<uint8_t> cand;
        for (unsigned c = 0; c < 256; ++c)
            if (freq[j][c] > 1) cand.push_back(uint8_t(c));
        std::stable_sort(cand.begin(), cand.end(),
                         [&](uint8_t a, uint8_t b) { return freq[j][a] > freq[j][b]; });
        if (cand.size() > 32) cand.resize(32);
        sets[j] = cand;
    }
    Bits out;
    for (int j = 255; j >= 0; --j) {
        out.put(uint32_t(sets[size_t(j)].size()), 6);
        for (uint8_t c : sets[size_t(j)]) out.put(c, 8);
    }
    last = 0;
    for (uint8_t c : mid) {
        const auto& set = sets[last];
        if (set.empty()) {
            out.put(c, 8);
        } else {
            auto it = std::find(set.begin(), set.end(), c);
            if (it == set.end()) {
                out.put(1, 1);
                out.put(c, 8);
            } else {
                out.put(0, 1);
                out.put(uint32_t(it - set.begin()), indexBits(unsigned(set.size())));
            }
        }
        last = c;
    }
    return out.done();
}

}  // namespace kv::codec::test
