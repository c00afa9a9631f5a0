#pragma once
// Which disks the floppy formatter may offer: whole removable disks with a medium in them
// (no optical drives), never one that holds the root or home file system (through one of
// its partitions or an encrypted volume opened from it), never one the system marks as
// its own.
// No Qt: the disk service (udisks2) fills the records, tests write them by hand.
#include <cstdint>
#include <string>
#include <vector>

namespace kv::format {

// One block device as the disk service describes it.
struct BlockRecord {
    std::string objectPath;      // the service's name for it
    std::string device;          // "/dev/sdb"
    std::uint64_t size = 0;      // 0: no medium
    std::string drive;           // object path of its drive; empty for virtual devices
    std::string partitionTable;  // for a partition: the object path of its whole disk
    std::string cryptoBacking;   // for an unlocked volume: the block it was opened from
    bool hintSystem = false;     // the system counts it as its own
    std::vector<std::string> mountPoints;
};

// One drive (the hardware behind whole disks).
struct DriveRecord {
    std::string objectPath;
    std::string vendor, model;
    bool removable = false;       // the drive can be unplugged (a USB stick)
    bool mediaRemovable = false;  // its medium can be taken out (a floppy, a card)
    bool optical = false;         // a CD or DVD drive: not for this formatter
};

struct FormatCandidate {
    std::string objectPath;
    std::string device;
    std::string model;  // vendor and model, or "Unknown disk"
    std::uint64_t size = 0;
};

// The disks that may be formatted, in the order of `blocks`. A disk with a block mounted
// at one of `protectedMounts` ("/" and "/home") on it is left out.
std::vector<FormatCandidate> formatCandidates(const std::vector<BlockRecord>& blocks,
                                              const std::vector<DriveRecord>& drives,
                                              const std::vector<std::string>& protectedMounts = {"/",
                                                                                                 "/home"});

// "1.4 MB", "7.5 GB": decimal units, as disk makers count.
std::string diskSizeText(std::uint64_t bytes);
// A list row: "/dev/sdb  SanDisk Cruzer Blade  7.5 GB".
std::string candidateText(const FormatCandidate& c);

}  // namespace kv::format
