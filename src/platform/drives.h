#pragma once
// The "drives" of a Linux machine: the mounted file systems a user cares about, with
// their kind and free space. Free space is asked on a worker thread with a time limit,
// so a dead network mount reports "not ready" instead of freezing the window.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::platform {

// Mirrors the old drive types: floppy/stick, hard disk, network share, CD-ROM.
enum class DriveKind { Removable, Fixed, Network, CdRom };

struct DriveInfo {
    std::string mountPoint;  // "/", "/home", "/media/stick"
    std::string device;      // "/dev/sda1", "server:/export"
    std::string fsType;      // "ext4", "nfs4", "vfat"
    DriveKind kind = DriveKind::Fixed;
};

struct DiskSpace {
    std::uint64_t total = 0;
    std::uint64_t free = 0;  // available to an unprivileged user
};

// Answers whether a block device (e.g. "/dev/sdb1") sits on removable media.
using RemovableProbe = std::function<bool(const std::string& device)>;

// Parses the text of /proc/self/mounts. Keeps "/", /home, /boot, /media/*, /mnt/*,
// /run/media/*/* and every network mount; the octal escapes of the mount table
// ("\040" for a blank) are decoded. Duplicate mount points keep the last (topmost) one.
std::vector<DriveInfo> parseMountTable(std::string_view text, const RemovableProbe& isRemovable);

// The drive list of this machine, read from /proc/self/mounts; removable media are
// recognised through /sys/block/<disk>/removable.
std::vector<DriveInfo> listDrives();

// Total and free bytes of the file system holding path, by statvfs on a worker thread.
// Empty when statvfs fails or does not answer within the limit ("not ready"). Asks of
// one path at the same time share one statvfs. Once an ask has outlasted its limit
// without an answer (a hung network mount), later asks of that path are "not ready" at
// once until it answers: they would only wait again and leave more threads stuck.
std::optional<DiskSpace> diskSpace(const std::string& path,
                                   std::chrono::milliseconds limit = std::chrono::seconds(2));

// The same with the call that reads the figures given (statvfs in diskSpace); for tests.
using SpaceProbe = std::function<std::optional<DiskSpace>(const std::string& path)>;
std::optional<DiskSpace> diskSpace(const std::string& path, std::chrono::milliseconds limit,
                                   const SpaceProbe& probe);

// Whether the drive at mountPoint may be listed: it answers statvfs within the limit, and
// its mount point is a folder this user can read and enter. The folder checks may block
// on a hung mount: call it off the GUI thread.
bool driveAnswers(const std::string& mountPoint);

// The drive whose mount point is the longest prefix of path (by whole path components);
// nullptr when none matches.
const DriveInfo* driveOf(const std::vector<DriveInfo>& drives, std::string_view path);

// The word the drive chooser shows for a kind ("Removable", "Fixed", "Network", "CD-ROM").
std::string_view kindName(DriveKind kind);

}  // namespace kv::platform
