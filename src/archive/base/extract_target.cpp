#include "archive/base/extract_target.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <vector>

#include "archive/base/util.h"

namespace kv {

namespace {

// Splits a "/"-separated path into its parts, dropping empty and "." parts.
std::vector<std::string_view> pathParts(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        std::string_view part = path.substr(start, end - start);
        if (!part.empty() && part != ".") parts.push_back(part);
        start = end + 1;
    }
    return parts;
}

std::string joinParts(const std::vector<std::string_view>& parts, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i) out += '/';
        out += parts[i];
    }
    return out;
}

long sysOpenat2(int dirFd, const char* path, const open_how& how) {
    return ::syscall(SYS_openat2, dirFd, path, &how, sizeof how);
}

bool kernelHasOpenat2() {
    static const bool has = [] {
        open_how how{};
        how.flags = O_PATH | O_CLOEXEC;
        long fd = sysOpenat2(AT_FDCWD, "/", how);
        if (fd >= 0) ::close(int(fd));
        return fd >= 0 || errno != ENOSYS;
    }();
    return has;
}

std::string tempLinkName() {
    uint8_t bytes[6];
    if (::getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes)) {
        static unsigned counter = 0;
        unsigned v = unsigned(::getpid()) * 2654435761u + ++counter;
        for (auto& b : bytes) b = uint8_t(v >>= 5);
    }
    char name[32];
    std::snprintf(name, sizeof name, ".kvl%02x%02x%02x%02x%02x%02x", bytes[0], bytes[1], bytes[2], bytes[3],
                  bytes[4], bytes[5]);
    return name;
}

}  // namespace

bool refusedEntryName(std::string_view name) {
    if (name.empty() || name[0] == '/' || name[0] == '\\') return true;
    if (name.find('\0') != std::string_view::npos) return true;
    if (name.size() >= 2 && name[1] == ':') return true;
    size_t start = 0;
    bool any = false;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        std::string_view part = name.substr(start, end - start);
        if (part == "..") return true;
        if (!part.empty() && part != ".") any = true;
        start = end + 1;
    }
    return !any;
}

ExtractTarget::ExtractTarget() : resolve_(kernelHasOpenat2() ? Resolve::Beneath : Resolve::NoLinks) {}

ExtractTarget::~ExtractTarget() { close(); }

bool ExtractTarget::open(const std::string& root) {
    close();
    if (!createDirs(root)) return false;
    rootFd_ = ::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return rootFd_ >= 0;
}

void ExtractTarget::close() {
    if (cachedFd_ >= 0) ::close(cachedFd_);
    cachedFd_ = -1;
    cachedRel_.clear();
    if (rootFd_ >= 0) ::close(rootFd_);
    rootFd_ = -1;
}

int ExtractTarget::openBeneath(const std::string& rel, bool noLinks) const {
    const char* path = rel.empty() ? "." : rel.c_str();
    if (resolve_ == Resolve::Beneath) {
        open_how how{};
        how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS | (noLinks ? RESOLVE_NO_SYMLINKS : 0);
        long fd;
        do fd = sysOpenat2(rootFd_, path, how);
        while (fd < 0 && errno == EAGAIN);
        return int(fd);
    }
    // Part by part, refusing every link on the way (ELOOP), so nothing can lead outside.
    int cur = ::dup(rootFd_);
    for (std::string_view part : pathParts(rel)) {
        if (cur < 0) return -1;
        std::string name(part);
        int next = ::openat(cur, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOTDIR) {
            struct stat st;
            if (::fstatat(cur, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                errno = ELOOP;
            else
                errno = ENOTDIR;
        }
        int saved = errno;
        ::close(cur);
        errno = saved;
        cur = next;
    }
    return cur;
}

int ExtractTarget::folder(std::string_view relView, bool create, Failure& why) {
    why = Failure::None;
    if (rootFd_ < 0) {
        why = Failure::System;
        errno = EBADF;
        return -1;
    }
    std::vector<std::string_view> parts = pathParts(relView);
    const std::string rel = joinParts(parts, parts.size());
    if (cachedFd_ >= 0 && rel == cachedRel_) return cachedFd_;
    auto classify = [&](int err) {
        why = (err == EXDEV || err == ELOOP) ? Failure::Outside : Failure::System;
        errno = err;
        return -1;
    };
    int fd = openBeneath(rel, false);
    if (fd < 0 && errno == ENOENT && create) {
        // The deepest folder on the way that is there (entries come in tree order, so mostly
        // the parent), then the missing parts one by one, each made inside a folder that was
        // itself resolved beneath the root, and resolved beneath the root again once made.
        size_t have = parts.size();
        int parent = -1;
        while (have > 0) {
            parent = openBeneath(joinParts(parts, --have), false);
            if (parent >= 0) break;
            if (errno != ENOENT) return classify(errno);
        }
        if (parent < 0) return classify(errno);
        for (size_t n = have + 1; n <= parts.size(); ++n) {
            const std::string leaf(parts[n - 1]);
            if (::mkdirat(parent, leaf.c_str(), 0777) != 0 && errno != EEXIST) {
                const int saved = errno;
                ::close(parent);
                return classify(saved);
            }
            const int made = openBeneath(joinParts(parts, n), false);
            const int saved = errno;
            ::close(parent);
            if (made < 0) return classify(saved);
            parent = made;
        }
        fd = parent;
    }
    if (fd < 0) return classify(errno);
    if (cachedFd_ >= 0) ::close(cachedFd_);
    cachedFd_ = fd;
    cachedRel_ = rel;
    return fd;
}

bool ExtractTarget::linkStaysInside(std::string_view relView, std::string_view target) {
    if (rootFd_ < 0 || target.empty() || target[0] == '/' || target.find('\0') != std::string_view::npos ||
        target.find('\\') != std::string_view::npos)
        return false;
    std::vector<std::string_view> relParts = pathParts(relView);
    const std::string rel = joinParts(relParts, relParts.size());
    // The link's own folder must be reached without any link, so that its depth below the
    // root is the depth its path shows.
    int at = openBeneath(rel, true);
    if (at < 0) return false;
    ::close(at);
    size_t ups = 0;
    bool descended = false;
    std::vector<std::string_view> targetParts = pathParts(target);
    for (std::string_view part : targetParts) {
        if (part == "..") {
            if (descended) return false;  // "a/.." takes the real parent of a, which may be a link
            ++ups;
        } else {
            descended = true;
        }
    }
    if (ups > relParts.size()) return false;
    // What of the target exists already must resolve beneath the root as the kernel sees it.
    std::vector<std::string_view> whole(relParts.begin(), relParts.end() - std::ptrdiff_t(ups));
    if (resolve_ == Resolve::Beneath) {
        std::string path = joinParts(whole, whole.size());
        for (size_t i = ups; i < targetParts.size(); ++i) {
            if (!path.empty()) path += '/';
            path += targetParts[i];
        }
        open_how how{};
        how.flags = O_PATH | O_CLOEXEC;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
        long fd = sysOpenat2(rootFd_, path.empty() ? "." : path.c_str(), how);
        if (fd >= 0) {
            ::close(int(fd));
            return true;
        }
        return errno == ENOENT || errno == ENOTDIR;
    }
    // Without openat2: no existing part of the way down may be a link at all.
    int cur = openBeneath(joinParts(whole, whole.size()), true);
    if (cur < 0) return false;
    bool inside = true;
    for (size_t i = ups; i < targetParts.size() && cur >= 0; ++i) {
        const std::string name(targetParts[i]);
        struct stat st;
        if (::fstatat(cur, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) break;  // missing: fine
        if (S_ISLNK(st.st_mode)) {
            inside = false;
            break;
        }
        int next = S_ISDIR(st.st_mode)
                       ? ::openat(cur, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                       : -1;
        ::close(cur);
        cur = next;
    }
    if (cur >= 0) ::close(cur);
    return inside;
}

namespace {

// Makes something under a fresh temporary name in dirFd with make(tmp), then moves it over
// leaf in one step; false with errno set.
template <class Make>
bool placeUnderTempName(int dirFd, const std::string& leaf, Make make) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string tmp = tempLinkName();
        if (!make(tmp)) {
            if (errno == EEXIST) continue;  // never reuse a name that is there already
            return false;
        }
        if (::renameat(dirFd, tmp.c_str(), dirFd, leaf.c_str()) == 0) {
            // Onto a name of the same file a rename does nothing and leaves tmp behind.
            ::unlinkat(dirFd, tmp.c_str(), 0);
            return true;
        }
        const int saved = errno;
        ::unlinkat(dirFd, tmp.c_str(), 0);
        errno = saved;
        return false;
    }
    errno = EEXIST;
    return false;
}

}  // namespace

bool ExtractTarget::placeLink(int dirFd, const std::string& leaf, const std::string& target) {
    return placeUnderTempName(dirFd, leaf, [&](const std::string& tmp) {
        return ::symlinkat(target.c_str(), dirFd, tmp.c_str()) == 0;
    });
}

bool ExtractTarget::placeHardLink(int dirFd, const std::string& leaf, int fileFd) {
    // Through the descriptor's entry in /proc: it names the very file opened, needs no
    // privilege (an empty path with AT_EMPTY_PATH would), and resolves no path again.
    const std::string self = "/proc/self/fd/" + std::to_string(fileFd);
    return placeUnderTempName(dirFd, leaf, [&](const std::string& tmp) {
        return ::linkat(AT_FDCWD, self.c_str(), dirFd, tmp.c_str(), AT_SYMLINK_FOLLOW) == 0;
    });
}

}  // namespace kv
