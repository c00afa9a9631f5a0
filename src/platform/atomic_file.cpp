#include "platform/atomic_file.h"

#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>  // renameat2
#include <cstdint>
#include <ctime>
#include <utility>

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

bool AtomicFile::fail(int err) {
    error_ = err;
    return false;
}

bool AtomicFile::begin(int dirFd, const std::string& name, mode_t newMode, bool keepTargetMode) {
    abandon();
    error_ = 0;
    writeFailed_ = false;
    const auto [folder, base] = splitFolder(name);
    if (base.empty()) return fail(EISDIR);
    dirFd_ = dirFd;
    name_ = name;
    struct stat old {};
    const bool keepMode =
        keepTargetMode && ::fstatat(dirFd, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode);
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
            const int err = errno;
            abandon();
            return fail(err);
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
        const int err = error_;
        abandon();
        return fail(err ? err : EIO);
    }
    if (sync && ::fsync(fd_) != 0) {
        const int err = errno;
        abandon();
        return fail(err);
    }
    // A close error can be a delayed write error (NFS): the file may be incomplete.
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) {
        const int err = errno;
        abandon();
        return fail(err);
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
        const int err = errno;
        abandon();
        return fail(err);
    }
    temp_.clear();
    if (sync) syncFolder(dirFd_, splitFolder(name_).first);
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
}

}  // namespace kv::platform
