#include "panel/model/files_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "panel/model/mask.h"
#include "platform/dir_reader.h"
#include "platform/drives.h"

namespace kv {
namespace {

// File systems whose files are the kernel's views, with sizes that mean nothing on disk.
bool isPseudoFs(long type) {
    switch (static_cast<unsigned long>(type)) {
        case PROC_SUPER_MAGIC:
        case SYSFS_MAGIC:
        case DEBUGFS_MAGIC:
        case TRACEFS_MAGIC:
        case SECURITYFS_MAGIC:
        case CGROUP_SUPER_MAGIC:
        case CGROUP2_SUPER_MAGIC:
        case PSTOREFS_MAGIC:
        case BPF_FS_MAGIC:
        case DEVPTS_SUPER_MAGIC:
        case SELINUX_MAGIC:
        case SMACK_MAGIC:
        case EFIVARFS_MAGIC:
        case BINFMTFS_MAGIC:
        case 0x62656570:  // configfs
        case 0x65735543:  // fusectl
        case 0x19800202:  // mqueue
        case AUTOFS_SUPER_MAGIC: return true;
        default: return false;
    }
}

std::uint32_t attrOf(mode_t mode, const char* name) {
    std::uint32_t a = 0;
    if (S_ISDIR(mode))
        a |= platform::faDirectory;
    else if (S_ISREG(mode))
        a |= platform::faArchive;
    else
        a |= platform::faSysFile;
    if (!(mode & S_IWUSR)) a |= platform::faReadOnly;
    if (name[0] == '.') a |= platform::faHidden;
    return a;
}

struct Entry {
    std::string name;
    unsigned char type;  // d_type
};

// Every entry of an open folder but "." and "..", read in big batches.
bool readEntries(int fd, std::vector<Entry>& out, const std::atomic<bool>& stop) {
    alignas(8) static thread_local char buf[64 * 1024];
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd, buf, sizeof buf);
        if (n < 0) return false;
        if (n == 0) return true;
        for (long off = 0; off < n;) {
            const auto* d = reinterpret_cast<const struct dirent64*>(buf + off);
            off += d->d_reclen;
            const char* nm = d->d_name;
            if (nm[0] == '.' && (nm[1] == 0 || (nm[1] == '.' && nm[2] == 0))) continue;
            out.push_back({nm, d->d_type});
        }
        if (stop.load(std::memory_order_relaxed)) return true;
    }
}

struct DevIno {
    dev_t dev;
    ino_t ino;
    bool operator==(const DevIno&) const = default;
};
struct DevInoHash {
    std::size_t operator()(const DevIno& k) const {
        return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(k.ino) * 1000003u ^
                                          static_cast<std::uint64_t>(k.dev));
    }
};

// Closes a folder descriptor when its frame goes.
struct Fd {
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) {}
    Fd(Fd&& o) noexcept : fd(std::exchange(o.fd, -1)) {}
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            reset();
            fd = std::exchange(o.fd, -1);
        }
        return *this;
    }
    ~Fd() { reset(); }
    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

// One folder being walked: its subfolders are entered one after the other.
struct Frame {
    Fd fd;
    DevIno id;
    bool pseudo = false;  // on a pseudo file system: its files count 0
    std::string path;     // ending in "/"
    std::vector<std::string> subfolders;
    std::size_t next = 0;
};

// Deeper folders than this give up their ancestors' descriptors (reopened through ".."
// on the way back), so any depth works within the process's descriptor limit.
constexpr std::size_t kOpenLevels = 64;

}  // namespace

void TFilesScan::Execute() {
    count_ = 0;
    size_ = 0;
    unreadable_ = 0;
    stop_ = false;
    // Built before anything is scanned: an invalid mask throws here.
    const TMaskList masks(FileMask);
    (void)masks;

    std::vector<std::string> roots;
    switch (ScanOptions) {
        case TScanOptions::soSpecifiedDir: roots.push_back(ScanDir); break;
        case TScanOptions::soSpecifiedDisk: {
            const auto drives = platform::listDrives();
            const platform::DriveInfo* d = platform::driveOf(drives, ScanDir);
            roots.push_back(d ? d->mountPoint : std::string("/"));
            break;
        }
        case TScanOptions::soGlobal:
            for (const auto& d : platform::listDrives())
                if (d.kind != platform::DriveKind::Removable) roots.push_back(d.mountPoint);
            break;
    }
    for (const auto& r : roots) {
        if (Stopped()) break;
        scanTree(r);
    }
    if (OnChanged) OnChanged(FilesCount(), FilesSize());
}

void TFilesScan::scanTree(const std::string& root) {
    const TMaskList masks(FileMask);
    const bool all = masks.matchesAll();
    std::unordered_map<dev_t, bool> pseudoByDev;
    std::unordered_set<DevIno, DevInoHash> hardLinked;
    std::vector<Frame> stack;
    std::vector<Entry> entries;

    auto pseudo = [&](int fd, dev_t dev) {
        auto it = pseudoByDev.find(dev);
        if (it != pseudoByDev.end()) return it->second;
        struct statfs fs {};
        const bool p = ::fstatfs(fd, &fs) == 0 && isPseudoFs(static_cast<long>(fs.f_type));
        pseudoByDev.emplace(dev, p);
        return p;
    };

    // Reads one opened folder into a new frame: counts its files, lists its subfolders.
    auto enter = [&](Fd fd, const struct stat& st, std::string path, bool onPseudo) {
        if (OnProcess) OnProcess(path, FilesCount(), FilesSize());
        entries.clear();
        if (!readEntries(fd.fd, entries, stop_)) ++unreadable_;
        Frame f;
        f.id = {st.st_dev, st.st_ino};
        f.pseudo = onPseudo;
        f.path = std::move(path);
        std::int64_t count = 0, size = 0;
        for (const Entry& e : entries) {
            if (Stopped()) break;
            const bool matches = all || masks.Matches(e.name);
            bool isDir = e.type == DT_DIR;
            struct stat est {};
            const bool needStat = e.type == DT_UNKNOWN || (!isDir && matches) || (matches && UpdateList);
            if (needStat) {
                if (::fstatat(fd.fd, e.name.c_str(), &est, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone
                isDir = S_ISDIR(est.st_mode);
            }
            if (isDir && Recursive) f.subfolders.push_back(e.name);
            if (!matches) continue;
            std::int64_t bytes = 0;
            if (!isDir && !onPseudo) {
                bytes = est.st_size;
                if (est.st_nlink > 1 && !hardLinked.insert({est.st_dev, est.st_ino}).second) bytes = 0;
            }
            ++count;
            size += bytes;
            if (UpdateList)
                addFound({e.name, f.path, bytes, attrOf(est.st_mode, e.name.c_str()),
                          static_cast<std::int64_t>(est.st_mtim.tv_sec)});
        }
        count_.fetch_add(count, std::memory_order_relaxed);
        size_.fetch_add(size, std::memory_order_relaxed);
        f.fd = std::move(fd);
        stack.push_back(std::move(f));
        if (stack.size() > kOpenLevels) stack[stack.size() - 1 - kOpenLevels].fd.reset();
    };

    {
        Fd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat st {};
        if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0) {
            ++unreadable_;
            return;
        }
        std::string path = root;
        if (path.empty() || path.back() != '/') path += '/';
        const bool p = pseudo(fd.fd, st.st_dev);
        enter(std::move(fd), st, std::move(path), p);
    }

    while (!stack.empty() && !Stopped()) {
        Frame& top = stack.back();
        if (top.next >= top.subfolders.size()) {
            Frame done = std::move(stack.back());
            stack.pop_back();
            if (!stack.empty() && stack.back().fd.fd < 0 && done.fd.fd >= 0) {
                // Back up through "..": only into the very folder we came from.
                Fd up(::openat(done.fd.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                struct stat st {};
                if (up.fd >= 0 && ::fstat(up.fd, &st) == 0 && DevIno{st.st_dev, st.st_ino} == stack.back().id)
                    stack.back().fd = std::move(up);
                else
                    stack.back().next = stack.back().subfolders.size();  // moved away meanwhile
            } else if (!stack.empty() && stack.back().fd.fd < 0) {
                stack.back().next = stack.back().subfolders.size();
            }
            continue;
        }
        const std::string& name = top.subfolders[top.next++];
        Fd fd(::openat(top.fd.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0) {
            ++unreadable_;
            continue;
        }
        const DevIno id{st.st_dev, st.st_ino};
        // A bind mount of an ancestor inside itself would loop.
        if (std::any_of(stack.begin(), stack.end(), [&](const Frame& f) { return f.id == id; })) continue;
        bool onPseudo = top.pseudo;
        if (st.st_dev != top.id.dev) {
            if (pseudo(fd.fd, st.st_dev)) continue;  // /proc, /sys and their kin are not entered
            onPseudo = false;
        }
        enter(std::move(fd), st, top.path + name + "/", onPseudo);
    }
}

void TFilesScanner::Execute() {
    list_.clear();
    TFilesScan::Execute();
}

std::int64_t TScanSizer::Size(const std::string& folder) {
    wasStopped_.store(false);
    scanner_.ScanOptions = TScanOptions::soSpecifiedDir;
    scanner_.ScanDir = folder;
    scanner_.FileMask.assign(1, '*');  // (a string literal here trips a false -Wrestrict in GCC 12)
    scanner_.Recursive = true;
    scanner_.UpdateList = false;  // only the total is wanted
    scanner_.OnProcess = [this](const std::string&, std::int64_t, std::int64_t) {
        if (stop_.load()) scanner_.Stop();
    };
    scanner_.Execute();
    wasStopped_.store(stop_.exchange(false));
    return scanner_.FilesSize();
}

}  // namespace kv
