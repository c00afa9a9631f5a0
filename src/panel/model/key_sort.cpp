#include "panel/model/key_sort.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

namespace kv {

namespace {

// The first 16 key bytes travel with the entry number, so most comparisons touch only
// the record being sorted, not a key somewhere in a buffer of many megabytes.
struct Record {
    std::uint64_t head0, head1;
    std::uint32_t entry;
};

struct RecordLess {
    const char* keys;
    std::size_t stride;
    std::size_t restFrom;  // the key bytes from here on decide ties of the heads
    bool operator()(const Record& a, const Record& b) const {
        if (a.head0 != b.head0) return a.head0 < b.head0;
        if (a.head1 != b.head1) return a.head1 < b.head1;
        if (restFrom < stride) {
            const int c = std::memcmp(keys + std::size_t(a.entry) * stride + restFrom,
                                      keys + std::size_t(b.entry) * stride + restFrom, stride - restFrom);
            if (c != 0) return c < 0;
        }
        return a.entry > b.entry;  // equal keys: the later entry first
    }
};

// The key columns that differ somewhere: a column with one byte in every key decides
// nothing (in a folder of empty files, the size digits; in most, the long blank tails).
std::vector<std::size_t> varyingColumns(const char* keys, std::size_t stride, std::size_t n) {
    std::vector<char> differs(stride, 0);
    for (std::size_t i = 1; i < n; ++i) {
        const char* k = keys + i * stride;
        for (std::size_t j = 0; j < stride; ++j) differs[j] |= static_cast<char>(k[j] != keys[j]);
    }
    std::vector<std::size_t> cols;
    for (std::size_t j = 0; j < stride; ++j)
        if (differs[j]) cols.push_back(j);
    return cols;
}

}  // namespace

void sortByKeys(const char* keys, std::size_t stride, std::size_t n, std::vector<std::uint32_t>& order,
                std::size_t parallelMin) {
    // The heads hold the first 16 columns that vary, big-endian, so comparing them as
    // numbers compares those bytes in order; the rest of the key from the column after
    // them on decides what the heads leave equal.
    const std::vector<std::size_t> cols = varyingColumns(keys, stride, n);
    const std::size_t inHead = std::min<std::size_t>(cols.size(), 16);
    const std::size_t restFrom = inHead < cols.size() ? cols[inHead - 1] + 1 : stride;
    std::vector<Record> records(n);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char* k = reinterpret_cast<const unsigned char*>(keys + i * stride);
        std::uint64_t h[2] = {0, 0};
        for (std::size_t c = 0; c < 16; ++c) h[c / 8] = (h[c / 8] << 8) | (c < inHead ? k[cols[c]] : 0);
        records[i] = {h[0], h[1], static_cast<std::uint32_t>(i)};
    }
    const RecordLess less{keys, stride, restFrom};
    // Every pair of records compares unequal (the entry number decides last), so an
    // unstable sort and a merge of two sorted halves give the one possible order.
    const auto mid = records.begin() + static_cast<std::ptrdiff_t>(n / 2);
    bool split = false;
    if (n >= parallelMin && n >= 2 && std::thread::hardware_concurrency() > 1) {
        try {
            std::thread second([&] { std::sort(mid, records.end(), less); });
            std::sort(records.begin(), mid, less);
            second.join();
            split = true;
        } catch (const std::system_error&) {
            // No thread to be had: one sort below.
        }
    }
    order.resize(n);
    if (!split) {
        std::sort(records.begin(), records.end(), less);
        for (std::size_t i = 0; i < n; ++i) order[i] = records[i].entry;
        return;
    }
    auto a = records.begin(), b = mid;
    std::size_t out = 0;
    while (a != mid && b != records.end()) order[out++] = less(*b, *a) ? (b++)->entry : (a++)->entry;
    while (a != mid) order[out++] = (a++)->entry;
    while (b != records.end()) order[out++] = (b++)->entry;
}

}  // namespace kv
