#pragma once
// ARJ headers: the main header and the file headers, read the same way by the lister and
// the extractor, so what lists also extracts. Every header is checked against its CRC-32
// and against the file before any field is used.
#include <cstdint>
#include <string>

#include "archive/kelmo/block_reader.h"

namespace kv {

inline constexpr uint16_t kArjId = 0xEA60;
inline constexpr size_t kArjMaxBasicHeader = 2600;  // the format's own limit for a basic header

// ARJ file types and flags.
enum : uint8_t { kArjBinary = 0, kArjText = 1, kArjMainHeader = 2, kArjFolder = 3, kArjLabel = 4 };
enum : uint8_t { kArjGarbled = 0x01, kArjVolume = 0x04, kArjExtFile = 0x08 };
enum : uint8_t { kArjHostUnix = 2 };

struct ArjHeader {
    uint64_t pos = 0;      // where the 60 EA id is
    uint64_t dataPos = 0;  // right after the header and its extended headers
    uint16_t basicSize = 0;
    uint8_t firstSize = 0, version = 0, minVersion = 0, hostOs = 0, flags = 0, method = 0, fileType = 0;
    uint32_t stamp = 0;  // DOS date and time, or Unix seconds (see unixTime())
    uint32_t packed = 0, size = 0, crc = 0;
    uint16_t fileSpecPos = 0, accessMode = 0;
    std::string name, comment;  // as stored (OEM bytes)

    bool garbled() const { return flags & kArjGarbled; }
    bool continues() const { return flags & kArjVolume; }
    // Made on UNIX by a version that writes Unix times, the stamp is in Unix seconds.
    bool unixTime() const { return hostOs == kArjHostUnix && version >= 11; }
};

// Reads the header at pos. False at the end marker (a size of 0: bad is 0), or when the
// header is damaged or does not fit the file: bad is then the message id (BadFileHeader for
// a wrong id or size, HeaderCrcError for a wrong CRC, ReadError when the file ends first).
bool readArjHeader(BlockReader& r, uint64_t pos, ArjHeader& h, int& bad);

// Finds the main header from start: the id 60 EA, a size of at most 2600 and a right CRC-32.
// The search ends at the file size minus 2 when that is at most 25000 bytes, else 25000
// bytes on (25000 from the file start for a plain archive). Only a header of the main type
// counts, so damage to the main header never makes the first file header stand in for it.
bool findArjMainHeader(BlockReader& r, uint64_t start, bool selfExtractor, ArjHeader& main);

// Where the data of the header's part ends (dataPos + packed), false when it would wrap.
inline bool arjDataEnd(const ArjHeader& h, uint64_t& end) {
    end = h.dataPos + uint64_t(h.packed);  // dataPos is inside the file, packed is 32-bit
    return end >= h.dataPos;
}

}  // namespace kv
