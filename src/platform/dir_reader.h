#pragma once
// Folder reading for the file panels: one readdir pass for the names, then one statx per
// entry spread over a few threads (stat calls, not the names, are what a big folder costs).
// The attribute word keeps the old DOS bit layout so the panel, the dialogs and the
// archive code share one meaning of "read-only", "hidden", "folder" and so on.
#include <atomic>
#include <cstddef>
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

// A broken-down local time, field by field as the listing stores it. Packed into eight
// bytes: a listing keeps three of them per entry, a million entries at a time.
struct LocalTime {
    std::uint64_t Year : 16 = 0;
    std::uint64_t Month : 4 = 0;
    std::uint64_t DayOfWeek : 3 = 0;
    std::uint64_t Day : 5 = 0;
    std::uint64_t Hour : 5 = 0;
    std::uint64_t Minute : 6 = 0;
    std::uint64_t Second : 6 = 0;
    std::uint64_t Millisecond : 10 = 0;
};
static_assert(sizeof(LocalTime) == 8);

LocalTime toLocalTime(std::int64_t seconds, std::uint32_t nanoseconds);

// What an entry is (for a link: what its target is).
enum class FileKind : std::uint8_t { Regular, Folder, Fifo, Socket, CharDevice, BlockDevice, Other };

struct DirItem {
    std::string name;
    std::int64_t size = 0;  // 0 for folders
    std::uint16_t attr = 0;
    bool isLink = false;      // a symbolic link (its target decides the other fields)
    bool executable = false;  // a regular file with any execute bit
    LocalTime created;        // birth time where the file system keeps one, else last write
    LocalTime accessed;
    LocalTime written;
    std::uint8_t typeHint = 0;  // d_type from readdir (DT_UNKNOWN when not given)
    FileKind kind = FileKind::Regular;
    bool danglingLink = false;  // a link whose target does not exist (the other fields are the link's)
};

// Stops and counts a long read from another thread.
struct ReadControl {
    const std::atomic<bool>* cancel = nullptr;     // set: the read stops soon and fails
    std::atomic<std::size_t>* progress = nullptr;  // names read so far
    unsigned threads = 0;                          // stat threads; 0 = one per core (at most 8)
};

// A folder open for reading its names in slices.
class DirNames {
public:
    DirNames() = default;
    ~DirNames();
    DirNames(const DirNames&) = delete;
    DirNames& operator=(const DirNames&) = delete;

    bool open(const std::string& path);
    bool isOpen() const { return dir_ != nullptr; }
    int fd() const;
    // Appends up to `max` more names ("." and ".." left out) to `out`, name and type hint
    // only. False once the folder has no more names (or reading failed).
    bool next(std::vector<DirItem>& out, std::size_t max);

private:
    void* dir_ = nullptr;  // DIR*
};

// Fills every item of `items` (names from DirNames of the folder `dirFd`) from its statx;
// items that vanished since readdir are dropped. The calls run on control.threads threads
// when there are enough of them to be worth it. False when cancelled.
bool statItems(int dirFd, std::vector<DirItem>& items, const ReadControl& control = {});

// One entry of a folder, stated as readDirectory does; false when it does not exist.
bool statEntry(int dirFd, const std::string& name, DirItem& out);

// Reads every entry of `path` except "." and "..", in the order the file system
// returns them. Returns false (and leaves `out` empty) when the folder cannot be opened.
// An entry that vanishes between readdir and stat is skipped.
bool readDirectory(const std::string& path, std::vector<DirItem>& out, const ReadControl& control = {});

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
