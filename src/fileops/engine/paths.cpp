#include "fileops/engine/paths.h"

#include <sys/random.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstdint>

#include "platform/atomic_file.h"

namespace kv::fileops {

std::string withoutTrailingSlash(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

std::string baseName(const std::string& p) {
    const std::string s = withoutTrailingSlash(p);
    const auto slash = s.rfind('/');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

std::string parentPath(const std::string& p) {
    const std::string s = withoutTrailingSlash(p);
    const auto slash = s.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return s.substr(0, slash);
}

std::string joinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool sameObject(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool landsInside(const struct stat& src, const std::string& dst) {
    std::string p = withoutTrailingSlash(dst);
    struct stat st {};
    // The target itself by lstat (a link of that name is not the folder it names).
    if (::lstat(p.c_str(), &st) == 0 && sameObject(st, src)) return true;
    if (!S_ISDIR(src.st_mode)) return false;
    // Its folders by their real path: a link may lead into src from anywhere.
    std::string up = parentPath(p);
    while (::stat(up.c_str(), &st) != 0) {
        const std::string next = parentPath(up);
        if (next == up) return false;
        up = next;
    }
    char* real = ::realpath(up.c_str(), nullptr);
    if (!real) return false;
    std::string q = real;
    ::free(real);
    for (;;) {
        if (::stat(q.c_str(), &st) == 0 && sameObject(st, src)) return true;
        const std::string next = parentPath(q);
        if (next == q) return false;
        q = next;
    }
}

std::string absolutePath(const std::string& p) {
    if (!p.empty() && p[0] == '/') return withoutTrailingSlash(p);
    char buf[4096];
    if (!::getcwd(buf, sizeof buf)) return p;
    return withoutTrailingSlash(joinPath(buf, p));
}

std::string temporaryBeside(const std::string& path) {
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t r = 0;
    if (::getrandom(&r, sizeof r, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof r))
        r = (static_cast<std::uint64_t>(::getpid()) << 32) ^ ++counter;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string suffix(12, '0');
    for (char& c : suffix) {
        c = kHex[r & 0xF];
        r >>= 4;
    }
    const std::string dir = parentPath(path);
    return joinPath(dir == "." && path.find('/') == std::string::npos ? std::string() : dir,
                    "." + baseName(path).substr(0, 200) + "." + suffix + ".tmp");
}

bool isTemporaryName(const std::string& name) { return platform::isTemporaryFileName(name); }

FileFacts factsOf(const std::string& path, const struct stat& st) {
    FileFacts f;
    f.path = path;
    f.isDir = S_ISDIR(st.st_mode);
    f.size = static_cast<std::int64_t>(st.st_size);
    f.modified = st.st_mtim.tv_sec;
    return f;
}

}  // namespace kv::fileops
