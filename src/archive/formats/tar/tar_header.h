#pragma once
// One 512-byte TAR header: its name, sizes, type and where the next header starts; and the
// extension records (pax 'x', GNU 'L') that give the next entry a longer name or a larger
// size. Every number is checked against the archive before anything relies on it.
#include <cstdint>
#include <optional>
#include <string>

#include "archive/base/arc_file.h"

namespace kv {

struct TarHeader {
    std::string name;                // the first 100 bytes up to their NUL, trailing blanks dropped;
                                     // a ustar prefix goes before it with a "/"
    std::uint64_t size = 0;          // data bytes that follow (0 for links, folders, devices)
    std::uint64_t mtime = 0;         // Unix seconds; 0 when the field is unreadable or out of range
    std::uint64_t declaredSize = 0;  // the size field as stored (0 when unreadable)
    std::uint32_t mode = 0;
    std::uint32_t checksum = 0;  // the header's own checksum field
    char type = 0;
    std::string linkName;                 // the 100-byte link field up to its NUL
    std::uint64_t dataPos = 0, next = 0;  // the data and the next header
};

// Damaged: a size that no entry can have (below zero, past 2^63, or a link's larger than
// the archive).
enum class TarStep { Entry, End, BadChecksum, Truncated, Damaged };

// No file is larger: a size beyond it is read as damage, not as a number to show.
inline constexpr std::uint64_t kMaxTarSize = std::uint64_t(INT64_MAX);

// Records that only describe the header after them, and carry no entry of their own: pax
// extended headers ('x' for the next entry, 'g' for all), GNU long names and link names.
inline bool isTarExtension(char type) { return type == 'x' || type == 'g' || type == 'L' || type == 'K'; }

// Reads the header at `pos` of an archive of `archiveSize` bytes from the 512 bytes `h`.
// sizeOverride (from a pax "size" record) replaces the size field of an entry that has data.
TarStep parseTarHeader(const std::uint8_t* h, std::uint64_t pos, std::uint64_t archiveSize, TarHeader& out,
                       std::optional<std::uint64_t> sizeOverride = {});

// A long name for the next entry: at most a capped number of its bytes are held, and
// fullSize says how long the stored name really is (longer than the cap: refused later).
struct TarLongName {
    std::string bytes;
    std::uint64_t fullSize = 0;
    bool hasNul = false;  // a pax path with a NUL inside (a GNU name simply ends at its NUL)
};

// The fields of a pax extended header this reader uses.
struct PaxFields {
    std::optional<TarLongName> path, linkPath;
    std::optional<std::uint64_t> size;
};

// Reads the `size` bytes of pax records at `pos`; false when a record lies about its length,
// lacks its "=" or newline, or a size is no plain decimal number. Holds at most one record's
// first few KiB at a time, whatever the records declare.
bool readPaxFields(const ArcFile& file, std::uint64_t pos, std::uint64_t size, PaxFields& out);

// Reads a GNU long name ('L' record) or long link name ('K' record) of `size` bytes at `pos`: up to its first
// NUL. False when the bytes cannot be read.
bool readGnuLongName(const ArcFile& file, std::uint64_t pos, std::uint64_t size, TarLongName& out);

}  // namespace kv
