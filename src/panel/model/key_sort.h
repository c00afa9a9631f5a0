#pragma once
// Sorting a listing by fixed-length byte keys, fast at a million entries.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kv {

// Orders entries 0..n-1 whose keys lie side by side in `keys`, `stride` bytes each, by
// memcmp of the keys; entries with equal keys come in descending entry order (the old
// listing's order for ties). Writes the entries in that order to `order`. From
// `parallelMin` entries on, the two halves are sorted on two threads and merged.
void sortByKeys(const char* keys, std::size_t stride, std::size_t n, std::vector<std::uint32_t>& order,
                std::size_t parallelMin);

}  // namespace kv
