#include "platform/atomic_file.h"

#include <linux/magic.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>  // renameat2
#include <cstdint>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

namespace kv::platform {
namespace {

std::uint64_t kernelRandom() {
    std::uint64_t r = 0;
    if (::getrandom(&r, sizeof r, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof r)) {
        static std::uint64_t counter = 0;
        r = static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ULL ^
            static_cast<std::uint64_t>(::time(nullptr)) ^ (++counter << 20);
    }
    return r;
}

// Twelve hex digits. Each thread seeds a mixer from the kernel's random source once, so an
// extraction of ten thousand files does not ask the kernel ten thousand times; a name found
// taken (fresh) is replaced by one straight from the kernel, so names someone learnt to
// predict and made in advance cannot hold a write off. A clock-and-counter fallback where
// the kernel's source is not available still gives a name O_EXCL tests.
std::string randomSuffix(bool fresh) {
    thread_local std::uint64_t state = kernelRandom();
    if (fresh) state ^= kernelRandom();
    state += 0x9E3779B97F4A7C15ULL;
    std::uint64_t r = state;
    r = (r ^ (r >> 30)) * 0xBF58476D1CE4E5B9ULL;
    r = (r ^ (r >> 27)) * 0x94D049BB133111EBULL;
    r ^= r >> 31;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string s(12, '0');
    for (char& c : s) {
        c = kHex[r & 0xF];
        r >>= 4;
    }
    return s;
}

// "dir/file" -> {"dir/", "file"}; "file" -> {"", "file"}.
std::pair<std::string, std::string> splitFolder(const std::string& name) {
    const auto slash = name.rfind('/');
    if (slash == std::string::npos) return {std::string(), name};
    return {name.substr(0, slash + 1), name.substr(slash + 1)};
}

void syncFolder(int dirFd, const std::string& folder) {
    const int fd = ::openat(dirFd, folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // the data is on disk already; only the rename's durability is at stake
    ::fsync(fd);
    ::close(fd);
}

// /proc and /sys hold links that are no paths (/proc/self/fd/0 is whatever standard input
// is) and files that are no files: nothing kv keeps is ever replaced through them.
bool onPseudoFileSystem(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return true;
    return fs.f_type == PROC_SUPER_MAGIC || fs.f_type == SYSFS_MAGIC;
}

bool readLinkAt(int dirFd, const std::string& name, std::string& to) {
    std::vector<char> buf(256);
    for (;;) {
        const ssize_t n = ::readlinkat(dirFd, name.c_str(), buf.data(), buf.size());
        if (n < 0) return false;
        if (static_cast<std::size_t>(n) < buf.size()) {
            to.assign(buf.data(), static_cast<std::size_t>(n));
            return true;
        }
        if (buf.size() >= 65536) {
            errno = ENAMETOOLONG;
            return false;
        }
        buf.resize(buf.size() * 2);
    }
}

class HeldFd {
public:
    explicit HeldFd(int fd) : fd_(fd) {}
    ~HeldFd() { reset(-1); }
    HeldFd(const HeldFd&) = delete;
    HeldFd& operator=(const HeldFd&) = delete;
    int get() const { return fd_; }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

int openFolder(int at, const std::string& folder) {
    return ::openat(at, folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

bool isTemporaryFileName(const std::string& name) {
    if (name.size() < 19 || name[0] != '.' || name.compare(name.size() - 4, 4, ".tmp") != 0) return false;
    const std::size_t hexAt = name.size() - 16;
    if (name[hexAt - 1] != '.') return false;
    for (std::size_t i = hexAt; i < hexAt + 12; ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

AtomicFile::~AtomicFile() { abandon(); }

bool AtomicFile::refuse(int err, std::string why) {
    refusal_ = std::move(why);
    return fail(err);
}

bool AtomicFile::beginOwnFile(const std::string& path, mode_t newMode) {
    abandon();
    error_ = 0;
    refusal_.clear();
    auto [folder, base] = splitFolder(path);
    std::string shown = path;  // the file being looked at, for the messages
    HeldFd dir(openFolder(AT_FDCWD, folder));
    if (dir.get() < 0) return refuse(errno, folder + ": " + std::strerror(errno));
    const uid_t me = ::geteuid();
    constexpr int kMostLinks = 40;  // the kernel's own limit on a chain
    for (int hops = 0;; ++hops) {
        if (base.empty() || base == "." || base == "..")
            return refuse(EISDIR, shown + ": a folder, not a file");
        struct stat st {};
        if (::fstatat(dir.get(), base.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            const int err = errno;
            if (err == ENOENT && hops == 0) break;  // a new file
            if (err == ENOENT)
                return refuse(err, path + ": a symbolic link to " + shown + ", which does not exist");
            return refuse(err, shown + ": " + std::strerror(err));
        }
        if (S_ISLNK(st.st_mode)) {
            if (hops == kMostLinks) return refuse(ELOOP, path + ": " + std::strerror(ELOOP));
            if (onPseudoFileSystem(dir.get()))
                return refuse(EPERM,
                              path + ": a symbolic link through " + shown + ", which is no file of yours");
            std::string to;
            if (!readLinkAt(dir.get(), base, to)) return refuse(errno, shown + ": " + std::strerror(errno));
            if (to.empty()) return refuse(ENOENT, shown + ": an empty symbolic link");
            shown = (to.front() == '/' ? std::string() : splitFolder(shown).first) + to;
            auto [toFolder, toBase] = splitFolder(to);
            const int next = openFolder(dir.get(), toFolder);
            if (next < 0) {
                const int err = errno;
                if (err == ENOENT)
                    return refuse(err, path + ": a symbolic link to " + shown + ", which does not exist");
                return refuse(err, shown + ": " + std::strerror(err));
            }
            dir.reset(next);
            base = std::move(toBase);
            continue;
        }
        if (!S_ISREG(st.st_mode))
            return refuse(EPERM,
                          hops ? path + ": a symbolic link to " + shown + ", which is not a regular file"
                               : shown + ": not a regular file");
        if (st.st_uid != me) return refuse(EPERM, shown + ": the file belongs to another user");
        break;
    }
    // The rename writes into the target's folder: it must be the user's, and a real one.
    struct stat folderSt {};
    if (::fstat(dir.get(), &folderSt) != 0) return refuse(errno, shown + ": " + std::strerror(errno));
    std::string where = splitFolder(shown).first;
    if (where.size() > 1) where.pop_back();  // "dir/" -> "dir"; "/" stays
    if (where.empty()) where = ".";
    if (onPseudoFileSystem(dir.get())) return refuse(EPERM, where + ": no folder kv writes into");
    if (folderSt.st_uid != me) return refuse(EPERM, where + ": the folder belongs to another user");
    if (!createTemp(dir.get(), base, newMode, true)) {
        dirFd_ = AT_FDCWD;  // the folder closes here
        return false;
    }
    ownDirFd_ = dir.release();
    return true;
}

bool AtomicFile::begin(int dirFd, const std::string& name, mode_t newMode, bool keepTargetMode) {
    abandon();
    error_ = 0;
    refusal_.clear();
    return createTemp(dirFd, name, newMode, keepTargetMode);
}

bool AtomicFile::abandonWith(int err) {
    abandon();
    return fail(err);
}

bool AtomicFile::fail(int err) {
    error_ = err;
    return false;
}

bool AtomicFile::createTemp(int dirFd, const std::string& name, mode_t newMode, bool keepTargetMode) {
    writeFailed_ = false;
    const auto [folder, base] = splitFolder(name);
    if (base.empty()) return fail(EISDIR);
    dirFd_ = dirFd;
    name_ = name;
    struct stat old {};
    const bool keepMode = keepTargetMode && ::fstatat(dirFd, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
                          S_ISREG(old.st_mode);
    // Hidden, and short enough that a long target name still leaves room within NAME_MAX.
    const std::string stem = folder + "." + base.substr(0, 200) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = stem + randomSuffix(attempt > 0) + ".tmp";
        const int fd = ::openat(dirFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newMode);
        if (fd < 0) {
            if (errno == EEXIST || errno == EINTR) continue;
            return fail(errno);
        }
        fd_ = fd;
        temp_ = std::move(temp);
        ::flock(fd_, LOCK_EX | LOCK_NB);  // fresh and ours: only marks it as being written
        if (keepMode && ::fchmod(fd_, old.st_mode & 07777) != 0) {
            return abandonWith(errno);
        }
        return true;
    }
    return fail(EEXIST);
}

bool AtomicFile::write(const void* p, std::size_t n) {
    if (fd_ < 0) return fail(EBADF);
    const char* at = static_cast<const char*>(p);
    while (n > 0) {
        const ssize_t w = ::write(fd_, at, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            writeFailed_ = true;
            return fail(errno);
        }
        at += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool AtomicFile::commit(bool sync, bool noReplace) {
    if (fd_ < 0) return fail(EBADF);
    if (writeFailed_) {
        return abandonWith(error_ ? error_ : EIO);
    }
    if (sync && ::fsync(fd_) != 0) {
        return abandonWith(errno);
    }
    // A close error can be a delayed write error (NFS): the file may be incomplete.
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) {
        return abandonWith(errno);
    }
    int moved = -1;
    if (noReplace) {
        moved = ::renameat2(dirFd_, temp_.c_str(), dirFd_, name_.c_str(), RENAME_NOREPLACE);
        if (moved != 0 && (errno == EINVAL || errno == ENOSYS)) {
            struct stat st;
            if (::fstatat(dirFd_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
                errno = EEXIST;
            else
                moved = ::renameat(dirFd_, temp_.c_str(), dirFd_, name_.c_str());
        }
    } else {
        moved = ::renameat(dirFd_, temp_.c_str(), dirFd_, name_.c_str());
    }
    if (moved != 0) {
        return abandonWith(errno);
    }
    temp_.clear();
    if (sync) syncFolder(dirFd_, splitFolder(name_).first);
    abandon();  // lets the held folder go
    return true;
}

bool AtomicFile::commitOver(dev_t dev, ino_t ino) {
    struct stat st {};
    if (fd_ < 0 || writeFailed_ || ::fstatat(dirFd_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode) || st.st_dev != dev || st.st_ino != ino)
        return commit(false);
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) {
        return abandonWith(errno);
    }
    if (::renameat2(dirFd_, temp_.c_str(), dirFd_, name_.c_str(), RENAME_EXCHANGE) != 0) {
        if (errno != EINVAL && errno != ENOSYS && errno != EXDEV) {
            return abandonWith(errno);
        }
        const int moved = ::renameat(dirFd_, temp_.c_str(), dirFd_, name_.c_str());
        if (moved != 0) {
            return abandonWith(errno);
        }
    } else {
        ::unlinkat(dirFd_, temp_.c_str(), 0);  // the old file, now under the temporary's name
    }
    temp_.clear();
    abandon();  // lets the held folder go, as commit does
    return true;
}

void AtomicFile::abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlinkat(dirFd_, temp_.c_str(), 0);
        temp_.clear();
    }
    if (ownDirFd_ >= 0) {
        ::close(ownDirFd_);
        ownDirFd_ = -1;
        dirFd_ = AT_FDCWD;
    }
}

}  // namespace kv::platform
