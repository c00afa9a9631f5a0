#include "platform/drives.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

namespace kv::platform {
namespace {

std::string unescapeMountField(std::string_view field) {
    auto oct = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && oct(field[i + 1]) && oct(field[i + 2]) &&
            oct(field[i + 3])) {
            out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                            (field[i + 3] - '0')));
            i += 3;
            continue;
        }
        out.push_back(field[i]);
    }
    return out;
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// Number of path components below the given prefix ("/media/a" under "/media/" is 1).
int depthBelow(std::string_view path, std::string_view prefix) {
    std::string_view rest = path.substr(prefix.size());
    if (rest.empty()) return 0;
    return static_cast<int>(std::count(rest.begin(), rest.end(), '/')) + 1;
}

bool isNetworkFs(std::string_view fs) {
    static const std::string_view kinds[] = {"nfs",   "nfs4",       "cifs", "smbfs",      "smb3",
                                             "ncpfs", "afs",        "9p",   "fuse.sshfs", "sshfs",
                                             "davfs", "fuse.davfs", "ceph", "glusterfs"};
    return std::find(std::begin(kinds), std::end(kinds), fs) != std::end(kinds);
}

bool isCdFs(std::string_view fs) { return fs == "iso9660" || fs == "udf"; }

bool wanted(std::string_view mp, std::string_view fs) {
    if (isNetworkFs(fs)) return true;
    if (mp == "/" || mp == "/home" || mp == "/boot") return true;
    if (startsWith(mp, "/media/") && depthBelow(mp, "/media/") >= 1) return true;
    if (startsWith(mp, "/mnt/") && depthBelow(mp, "/mnt/") >= 1) return true;
    if (startsWith(mp, "/run/media/") && depthBelow(mp, "/run/media/") >= 2) return true;
    return false;
}

// "/dev/sdb1" -> "sdb", "/dev/nvme0n1p2" -> "nvme0n1", "/dev/mmcblk0p1" -> "mmcblk0".
std::string diskOfPartition(const std::string& device) {
    if (!startsWith(device, "/dev/")) return {};
    std::string name = device.substr(5);
    // /sys/class/block/<part>/.. is the whole disk; fall back to trimming digits.
    std::ifstream partition("/sys/class/block/" + name + "/partition");
    if (partition) {
        std::string link = "/sys/class/block/" + name;
        char buf[4096];
        ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
        if (n > 0) {
            std::string target(buf, static_cast<size_t>(n));
            auto slash = target.rfind('/');
            if (slash != std::string::npos) {
                std::string parent = target.substr(0, slash);
                auto pslash = parent.rfind('/');
                return pslash == std::string::npos ? parent : parent.substr(pslash + 1);
            }
        }
    }
    return name;
}

bool sysRemovable(const std::string& device) {
    std::string disk = diskOfPartition(device);
    if (disk.empty()) return false;
    std::ifstream f("/sys/block/" + disk + "/removable");
    int v = 0;
    return f && (f >> v) && v == 1;
}

}  // namespace

std::vector<DriveInfo> parseMountTable(std::string_view text, const RemovableProbe& isRemovable) {
    std::vector<DriveInfo> out;
    std::istringstream in{std::string(text)};
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string dev, mp, fs;
        if (!(fields >> dev >> mp >> fs)) continue;
        DriveInfo d;
        d.device = unescapeMountField(dev);
        d.mountPoint = unescapeMountField(mp);
        d.fsType = fs;
        if (!wanted(d.mountPoint, d.fsType)) continue;
        if (isNetworkFs(fs))
            d.kind = DriveKind::Network;
        else if (isCdFs(fs))
            d.kind = DriveKind::CdRom;
        else if (isRemovable && isRemovable(d.device))
            d.kind = DriveKind::Removable;
        else
            d.kind = DriveKind::Fixed;
        auto same = std::find_if(out.begin(), out.end(),
                                 [&](const DriveInfo& o) { return o.mountPoint == d.mountPoint; });
        if (same != out.end())
            *same = std::move(d);  // a later mount hides the earlier one
        else
            out.push_back(std::move(d));
    }
    return out;
}

std::vector<DriveInfo> listDrives() {
    std::ifstream f("/proc/self/mounts");
    std::stringstream ss;
    ss << f.rdbuf();
    return parseMountTable(ss.str(), sysRemovable);
}

std::optional<DiskSpace> diskSpace(const std::string& path, std::chrono::milliseconds limit) {
    return diskSpace(path, limit, [](const std::string& p) -> std::optional<DiskSpace> {
        struct statvfs st {};
        if (::statvfs(p.c_str(), &st) != 0) return std::nullopt;
        std::uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
        return DiskSpace{std::uint64_t(st.f_blocks) * unit, std::uint64_t(st.f_bavail) * unit};
    });
}

std::optional<DiskSpace> diskSpace(const std::string& path, std::chrono::milliseconds limit,
                                   const SpaceProbe& probe) {
    struct Ask {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        std::optional<DiskSpace> result;
        std::chrono::steady_clock::time_point givenUp;  // when its first asker stopped waiting
    };
    // Asks that have not answered yet, by path; each lives until its worker ends. Never
    // destroyed, as a hung worker may still end after the program's statics are gone.
    static auto* pendingLock = new std::mutex;
    static auto* pending = new std::map<std::string, std::shared_ptr<Ask>>;
    const auto now = std::chrono::steady_clock::now();
    std::shared_ptr<Ask> ask;
    {
        std::lock_guard lock(*pendingLock);
        auto it = pending->find(path);
        if (it != pending->end()) {
            // Another ask of this path is under way: share its answer, unless it has
            // already outlasted its limit, which means the file system is stuck.
            if (now >= it->second->givenUp) return std::nullopt;
            ask = it->second;
        } else {
            ask = std::make_shared<Ask>();
            ask->givenUp = now + limit;
            pending->emplace(path, ask);
            // The worker is detached: a hung network mount keeps only its own thread waiting.
            std::thread([ask, path, probe] {
                std::optional<DiskSpace> r = probe(path);
                {
                    std::lock_guard lock(*pendingLock);
                    pending->erase(path);
                }
                std::lock_guard lock(ask->m);
                ask->result = r;
                ask->done = true;
                ask->cv.notify_all();
            }).detach();
        }
    }
    std::unique_lock lock(ask->m);
    if (!ask->cv.wait_for(lock, limit, [&] { return ask->done; })) return std::nullopt;
    return ask->result;
}

bool driveAnswers(const std::string& mountPoint) {
    std::error_code ec;
    return diskSpace(mountPoint).has_value() && std::filesystem::is_directory(mountPoint, ec) &&
           ::access(mountPoint.c_str(), R_OK | X_OK) == 0;
}

const DriveInfo* driveOf(const std::vector<DriveInfo>& drives, std::string_view path) {
    const DriveInfo* best = nullptr;
    for (const auto& d : drives) {
        const std::string& mp = d.mountPoint;
        bool match = mp == "/" ? startsWith(path, "/")
                               : startsWith(path, mp) && (path.size() == mp.size() || path[mp.size()] == '/');
        if (match && (!best || mp.size() > best->mountPoint.size())) best = &d;
    }
    return best;
}

std::string_view kindName(DriveKind kind) {
    switch (kind) {
        case DriveKind::Removable: return "Removable";
        case DriveKind::Fixed: return "Fixed";
        case DriveKind::Network: return "Network";
        case DriveKind::CdRom: return "CD-ROM";
    }
    return "Fixed";
}

}  // namespace kv::platform
