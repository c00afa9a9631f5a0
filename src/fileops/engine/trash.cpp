#include "fileops/engine/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "fileops/engine/paths.h"

namespace kv::fileops {

namespace {

bool makeDir(const std::string& p, mode_t mode) { return ::mkdir(p.c_str(), mode) == 0 || errno == EEXIST; }

bool makeDirs(const std::string& p, mode_t mode) {
    if (p.empty() || p == "/") return true;
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    return makeDirs(parentPath(p), 0700) && makeDir(p, mode);
}

// A trash folder with files/ and info/ that we own; made when missing.
bool prepareTrash(const std::string& dir) {
    return makeDirs(dir, 0700) && makeDir(joinPath(dir, "files"), 0700) &&
           makeDir(joinPath(dir, "info"), 0700);
}

// The mount point above `path`: the last folder on the way up with the same device.
std::string topdirOf(const std::string& path, dev_t dev) {
    std::string p = path;
    for (;;) {
        const std::string up = parentPath(p);
        struct stat st {};
        if (up == p || ::stat(up.c_str(), &st) != 0 || st.st_dev != dev) return p;
        if (up == "/") return up;
        p = up;
    }
}

std::string deletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

}  // namespace

std::string escapeTrashPath(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        const bool bare = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          std::string_view("-_.!~*'()/").find(static_cast<char>(c)) != std::string_view::npos;
        if (bare) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

std::string unescapeTrashPath(const std::string& text) {
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

Trash::Trash(std::string homeTrash) : home_(std::move(homeTrash)) {
    if (!home_.empty()) return;
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/') {
        home_ = joinPath(data, "Trash");
    } else {
        const char* home = std::getenv("HOME");
        home_ = std::string(home && *home ? home : "/") + "/.local/share/Trash";
    }
}

std::string Trash::trashFor(const std::string& path, std::string& topdir, int& error) const {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        error = errno;
        return {};
    }
    // The home trash when the file lives on its file system (the trash's nearest existing
    // folder tells which that is).
    std::string probe = home_;
    struct stat hs {};
    while (::stat(probe.c_str(), &hs) != 0 && probe != "/") probe = parentPath(probe);
    if (hs.st_dev == st.st_dev) {
        topdir.clear();
        if (!prepareTrash(home_)) {
            error = errno ? errno : EACCES;
            return {};
        }
        return home_;
    }
    topdir = topdirOf(path, st.st_dev);
    const std::string uid = std::to_string(::getuid());
    const std::string shared = joinPath(topdir, ".Trash");
    struct stat ts {};
    if (::lstat(shared.c_str(), &ts) == 0 && S_ISDIR(ts.st_mode) && (ts.st_mode & S_ISVTX)) {
        const std::string mine = joinPath(shared, uid);
        if (prepareTrash(mine)) return mine;
    }
    const std::string own = joinPath(topdir, ".Trash-" + uid);
    if (::lstat(own.c_str(), &ts) == 0 && (!S_ISDIR(ts.st_mode) || ts.st_uid != ::getuid())) {
        error = EACCES;  // someone else's, or a link: never used
        return {};
    }
    if (!prepareTrash(own)) {
        error = errno ? errno : EACCES;
        return {};
    }
    return own;
}

TrashResult Trash::put(const std::string& rawPath) const {
    TrashResult r;
    const std::string path = absolutePath(rawPath);
    std::string topdir;
    r.trashDir = trashFor(path, topdir, r.error);
    if (r.trashDir.empty()) return r;
    // Paths in a per-mount trash are relative to its top folder, so the medium may be
    // mounted elsewhere later.
    std::string recorded = path;
    if (!topdir.empty() && topdir != "/" && path.compare(0, topdir.size() + 1, topdir + "/") == 0)
        recorded = path.substr(topdir.size() + 1);
    const std::string base = baseName(path);
    const std::string info = joinPath(r.trashDir, "info"), files = joinPath(r.trashDir, "files");
    for (int n = 1; n < 100000; ++n) {
        const std::string name = n == 1 ? base : base + "." + std::to_string(n);
        const std::string infoPath = joinPath(info, name + ".trashinfo");
        // The info file is made first and exclusively: it reserves the name.
        const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            r.error = errno;
            return r;
        }
        const std::string text =
            "[Trash Info]\nPath=" + escapeTrashPath(recorded) + "\nDeletionDate=" + deletionDate() + "\n";
        const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        const bool closed = ::close(fd) == 0;
        if (!written || !closed) {
            r.error = errno ? errno : EIO;
            ::unlink(infoPath.c_str());
            return r;
        }
        const std::string dest = joinPath(files, name);
        struct stat st {};
        if (::lstat(dest.c_str(), &st) == 0) {
            // A stray file without its info: keep it, take the next name.
            ::unlink(infoPath.c_str());
            continue;
        }
        if (::rename(path.c_str(), dest.c_str()) != 0) {
            r.error = errno;
            ::unlink(infoPath.c_str());
            return r;
        }
        r.ok = true;
        r.trashedName = name;
        return r;
    }
    r.error = EEXIST;
    return r;
}

std::string Trash::originalPath(const std::string& trashDir, const std::string& trashedName) {
    std::ifstream in(joinPath(joinPath(trashDir, "info"), trashedName + ".trashinfo"));
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') inSection = line == "[Trash Info]";
        if (inSection && line.rfind("Path=", 0) == 0) {
            std::string p = unescapeTrashPath(line.substr(5));
            if (!p.empty() && p[0] != '/') {
                // Relative: below the top folder that holds this trash.
                std::string top = parentPath(trashDir);
                if (baseName(top) == ".Trash") top = parentPath(top);
                p = joinPath(top, p);
            }
            return p;
        }
    }
    return {};
}

bool Trash::restore(const std::string& trashDir, const std::string& trashedName, int& error) {
    const std::string original = originalPath(trashDir, trashedName);
    if (original.empty()) {
        error = ENOENT;
        return false;
    }
    struct stat st {};
    if (::lstat(original.c_str(), &st) == 0) {
        error = EEXIST;
        return false;
    }
    const std::string from = joinPath(joinPath(trashDir, "files"), trashedName);
    if (::rename(from.c_str(), original.c_str()) != 0) {
        error = errno;
        return false;
    }
    ::unlink(joinPath(joinPath(trashDir, "info"), trashedName + ".trashinfo").c_str());
    return true;
}

}  // namespace kv::fileops
