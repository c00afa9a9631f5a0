// A small compressor for ZIP methods 2-5, for tests only: no public archive tool still
// writes them, so round trips through it check the expander for every factor.
#pragma once

#include <cstdint>
#include <vector>

namespace kv::codec::test {

std::vector<uint8_t> reduce(const std::vector<uint8_t>& data, int factor);

}  // namespace kv::codec::test
