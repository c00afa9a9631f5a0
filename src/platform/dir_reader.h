#pragma once
// Folder reading for the file panels: one readdir pass with one statx per entry.
// The attribute word keeps the old DOS bit layout so the panel, the dialogs and the
// archive code share one meaning of "read-only", "hidden", "folder" and so on.
#include <cstdint>
#include <string>
#include <vector>

namespace kv::platform {

enum : std::uint16_t {
    faReadOnly = 0x01,   // the owner has no write bit
    faHidden = 0x02,     // the name starts with "."
    faSysFile = 0x04,    // neither a regular file nor a folder (device, socket, fifo)
    faVolumeID = 0x08,   // never set on Linux
    faDirectory = 0x10,  // a folder, or a link to one
    faArchive = 0x20,    // a regular file
};

// A broken-down local time, field by field as the listing stores it.
struct LocalTime {
    std::uint16_t Year = 0, Month = 0, DayOfWeek = 0, Day = 0;
    std::uint16_t Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

LocalTime toLocalTime(std::int64_t seconds, std::uint32_t nanoseconds);

struct DirItem {
    std::string name;
    std::int64_t size = 0;  // 0 for folders
    std::uint16_t attr = 0;
    bool isLink = false;      // a symbolic link (its target decides the other fields)
    bool executable = false;  // a regular file with any execute bit
    LocalTime created;   // birth time where the file system keeps one, else last write
    LocalTime accessed;
    LocalTime written;
};

// Reads every entry of `path` except "." and "..", in the order the file system
// returns them. Returns false (and leaves `out` empty) when the folder cannot be opened.
// An entry that vanishes between readdir and stat is skipped.
bool readDirectory(const std::string& path, std::vector<DirItem>& out);

// Label and UUID of the file system holding `path` (from /dev/disk/by-label and
// by-uuid); empty when it has none or they cannot be found.
struct VolumeId {
    std::string label;
    std::string uuid;
};
VolumeId volumeId(const std::string& path);

// Attribute word of one path (following links), or -1 when it cannot be read.
int fileAttributes(const std::string& path);

}  // namespace kv::platform
