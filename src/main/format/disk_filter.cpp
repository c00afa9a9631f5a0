#include "main/format/disk_filter.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace kv::format {

namespace {

// The whole disk a block lies on: itself, its partition table's disk, or (for an unlocked
// volume) the disk of what it was opened from. Chains are followed a few steps at most.
std::string wholeDiskOf(const BlockRecord& b, const std::map<std::string, const BlockRecord*>& byPath) {
    const BlockRecord* cur = &b;
    for (int step = 0; step < 8; ++step) {
        const std::string& next = !cur->cryptoBacking.empty() ? cur->cryptoBacking : cur->partitionTable;
        if (next.empty()) return cur->objectPath;
        auto it = byPath.find(next);
        if (it == byPath.end()) return next;
        cur = it->second;
    }
    return cur->objectPath;
}

}  // namespace

std::vector<FormatCandidate> formatCandidates(const std::vector<BlockRecord>& blocks,
                                              const std::vector<DriveRecord>& drives,
                                              const std::vector<std::string>& protectedMounts) {
    std::map<std::string, const BlockRecord*> byPath;
    for (const BlockRecord& b : blocks) byPath[b.objectPath] = &b;
    std::map<std::string, const DriveRecord*> driveByPath;
    for (const DriveRecord& d : drives) driveByPath[d.objectPath] = &d;

    // Disks that carry a protected file system somewhere on them, or that the system owns.
    std::vector<std::string> untouchable;
    for (const BlockRecord& b : blocks) {
        const bool holdsProtected =
            std::any_of(b.mountPoints.begin(), b.mountPoints.end(), [&](const std::string& m) {
                return std::find(protectedMounts.begin(), protectedMounts.end(), m) != protectedMounts.end();
            });
        if (holdsProtected || b.hintSystem) untouchable.push_back(wholeDiskOf(b, byPath));
    }

    std::vector<FormatCandidate> out;
    for (const BlockRecord& b : blocks) {
        if (!b.partitionTable.empty() || !b.cryptoBacking.empty() || b.drive.empty() || b.size == 0) continue;
        auto d = driveByPath.find(b.drive);
        if (d == driveByPath.end() || d->second->optical ||
            !(d->second->removable || d->second->mediaRemovable))
            continue;
        if (std::find(untouchable.begin(), untouchable.end(), b.objectPath) != untouchable.end()) continue;
        std::string model = d->second->vendor;
        if (!d->second->model.empty()) model += (model.empty() ? "" : " ") + d->second->model;
        out.push_back({b.objectPath, b.device, model.empty() ? std::string("Unknown disk") : model, b.size});
    }
    return out;
}

std::string diskSizeText(std::uint64_t bytes) {
    static const char* units[] = {"bytes", "KB", "MB", "GB", "TB"};
    double v = static_cast<double>(bytes);
    int u = 0;
    while (v >= 1000.0 && u < 4) {
        v /= 1000.0;
        ++u;
    }
    char buf[32];
    if (u == 0)
        std::snprintf(buf, sizeof buf, "%llu bytes", static_cast<unsigned long long>(bytes));
    else
        std::snprintf(buf, sizeof buf, v < 100.0 ? "%.1f %s" : "%.0f %s", v, units[u]);
    return buf;
}

std::string candidateText(const FormatCandidate& c) {
    return c.device + "  " + c.model + "  " + diskSizeText(c.size);
}

}  // namespace kv::format
