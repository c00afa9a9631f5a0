#pragma once
// One 512-byte TAR header: its name, sizes, type and where the next header starts. Every
// number is checked against the archive before anything relies on it.
#include <cstdint>
#include <string>

namespace kv {

struct TarHeader {
    std::string name;         // the first 100 bytes up to their NUL, trailing blanks dropped
    std::uint64_t size = 0;   // data bytes that follow (0 for links, folders, devices)
    std::uint64_t mtime = 0;  // Unix seconds; 0 when the field is unreadable
    std::uint32_t mode = 0;
    char type = 0;
    std::uint64_t dataPos = 0, next = 0;  // the data and the next header
};

enum class TarStep { Entry, End, BadChecksum, Truncated };

// Reads the header at `pos` of an archive of `archiveSize` bytes from the 512 bytes `h`.
TarStep parseTarHeader(const std::uint8_t* h, std::uint64_t pos, std::uint64_t archiveSize, TarHeader& out);

}  // namespace kv
