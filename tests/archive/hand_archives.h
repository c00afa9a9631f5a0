// Hand-made ARJ, LHA, ARC and RAR archives of stored entries, for the tests that need names,
// links and damage no archiver would write: every header is built field by field, with its
// own check (CRC-32, byte sum, CRC-16) right unless the entry asks for a bad data CRC.
#pragma once

#include <cstdint>
#include <vector>

#include "unzip/test_unzip_util.h"

namespace kv::unzip_test {

// Stored entries; a name ending in "/" is a folder. Links (unixMode 0120777) only in RAR,
// the one of these formats that stores them. ARC names go through folder records, each
// part at most 12 bytes.
std::vector<uint8_t> makeArj(const std::vector<HandEntry>& entries);
std::vector<uint8_t> makeLha(const std::vector<HandEntry>& entries);
std::vector<uint8_t> makeArc(const std::vector<HandEntry>& entries);
std::vector<uint8_t> makeRar(const std::vector<HandEntry>& entries);

}  // namespace kv::unzip_test
