#include "fileops/engine/attributes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kv::fileops {

namespace {
bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

void failed(std::vector<Failure>& out, const std::string& path, const char* what) {
    out.push_back({path, std::string(what) + ": " + std::strerror(errno)});
}
}  // namespace

SharedAttributes sharedAttributes(const std::vector<std::string>& paths, std::vector<Failure>& unreadable) {
    SharedAttributes s;
    for (const auto& p : paths) {
        struct stat own {
        }, target{};
        if (::lstat(p.c_str(), &own) != 0) {
            failed(unreadable, p, "Cannot read the attributes");
            continue;
        }
        // A dangling link has no mode to show: its own stands in.
        const struct stat& modeSt = ::stat(p.c_str(), &target) == 0 ? target : own;
        const unsigned mode = modeSt.st_mode & 07777;
        if (s.readable == 0) {
            s.owner = own.st_uid;
            s.group = own.st_gid;
            s.modified = own.st_mtim;
            s.firstModified = own.st_mtim;
        } else {
            if (s.owner && *s.owner != own.st_uid) s.owner.reset();
            if (s.group && *s.group != own.st_gid) s.group.reset();
            if (s.modified && !sameTime(*s.modified, own.st_mtim)) s.modified.reset();
        }
        s.allSet &= mode;
        s.anySet |= mode;
        ++s.readable;
    }
    if (s.readable == 0) s.allSet = 0;
    return s;
}

std::vector<Failure> applyAttributes(const std::vector<std::string>& paths, const AttributeChange& c) {
    std::vector<Failure> out;
    for (const auto& p : paths) {
        if ((c.owner || c.group) && ::lchown(p.c_str(), c.owner ? *c.owner : static_cast<uid_t>(-1),
                                             c.group ? *c.group : static_cast<gid_t>(-1)) != 0) {
            failed(out, p, "Cannot change the owner or group");
            continue;
        }
        if (c.setBits || c.clearBits) {
            struct stat st {};
            if (::stat(p.c_str(), &st) != 0) {
                failed(out, p, "Cannot change the permissions");
                continue;
            }
            const unsigned old = st.st_mode & 07777;
            const unsigned mode = (old & ~c.clearBits & 07777u) | (c.setBits & 07777u);
            if (mode != old && ::chmod(p.c_str(), mode) != 0) {
                failed(out, p, "Cannot change the permissions");
                continue;
            }
        }
        if (c.modified) {
            const timespec times[2] = {{0, UTIME_OMIT}, *c.modified};
            if (::utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
                failed(out, p, "Cannot change the modification time");
        }
    }
    return out;
}

std::optional<unsigned> parseOctalMode(const std::string& text) {
    if (text.empty() || text.size() > 4) return std::nullopt;
    unsigned v = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '7') return std::nullopt;
        v = v * 8 + static_cast<unsigned>(ch - '0');
    }
    return v;
}

}  // namespace kv::fileops
