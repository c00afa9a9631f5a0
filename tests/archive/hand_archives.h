// Hand-made ARJ, LHA, ARC, RAR and TAR archives of stored entries, for the tests that need names,
// links and damage no archiver would write: every header is built field by field, with its
// own check (CRC-32, byte sum, CRC-16) right unless the entry asks for a bad data CRC.
#pragma once

#include <cstdint>
#include <string>
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

// TAR: one 512-byte ustar header (mode 0644, a fixed time) with `raw` bytes laid over its
// fields after they are filled; the checksum is right unless badSum.
struct TarField {
    size_t offset;
    std::vector<uint8_t> bytes;
};
std::vector<uint8_t> tarHeader(const std::string& name, char type, uint64_t size,
                               const std::vector<TarField>& raw = {}, bool badSum = false);
// A header and its data, padded to whole blocks.
void appendTarRecord(std::vector<uint8_t>& out, const std::vector<uint8_t>& header,
                     const std::vector<uint8_t>& data);
// Entries as ustar records ('0' files, '5' folders, '2' links to the entry's data, with a
// pax "linkpath" record where the link field cannot hold it), then the end blocks; badCrc
// spoils the header checksum, declaredSize the size field.
std::vector<uint8_t> makeTar(const std::vector<HandEntry>& entries);

}  // namespace kv::unzip_test
