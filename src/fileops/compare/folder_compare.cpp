#include "fileops/compare/folder_compare.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>

namespace kv::fileops {

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Opens a regular file for reading; anything else (fifo, device, socket) is refused
// without blocking on it.
int openRegular(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
        ::close(fd);
        return -1;
    }
    return fd;
}

// Fills `buf` as far as the file goes; the count read, or -1 on an error.
ssize_t readFull(int fd, char* buf, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buf + got, size - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

std::string joinPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

}  // namespace

bool sameContents(const std::string& a, const std::string& b, std::string& error,
                  const std::function<bool(std::int64_t bytes)>& block, bool* stopped) {
    Fd fa(openRegular(a, error));
    if (fa.get() < 0) return false;
    Fd fb(openRegular(b, error));
    if (fb.get() < 0) return false;
    constexpr std::size_t kBlock = 256 * 1024;
    std::vector<char> ba(kBlock), bb(kBlock);
    for (;;) {
        const ssize_t na = readFull(fa.get(), ba.data(), kBlock);
        const ssize_t nb = readFull(fb.get(), bb.data(), kBlock);
        if (na < 0 || nb < 0) {
            error = (na < 0 ? a : b) + ": " + std::strerror(errno);
            return false;
        }
        if (na != nb || std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(na)) != 0) return false;
        if (na == 0) return true;
        if (block && !block(na + nb)) {
            if (stopped) *stopped = true;
            return false;
        }
    }
}

CompareResult compareFolders(const std::vector<CompareItem>& left, const std::vector<CompareItem>& right,
                             const CompareOptions& options) {
    CompareResult r;
    std::unordered_map<std::string, const CompareItem*> rightByName;
    rightByName.reserve(right.size());
    for (const CompareItem& it : right)
        if (it.name != "..") rightByName.emplace(it.name, &it);
    // What reading the contents will take, for the progress.
    std::int64_t total = 0, done = 0;
    if (options.contents && options.progress)
        for (const CompareItem& l : left)
            if (const auto it = rightByName.find(l.name);
                it != rightByName.end() && !l.isDir && !it->second->isDir && l.size == it->second->size)
                total += 2 * l.size;
    const auto block = [&](std::int64_t bytes) {
        done += bytes;
        return options.progress(done, total);
    };
    std::unordered_map<std::string, bool> seenOnLeft;
    for (const CompareItem& l : left) {
        if (r.cancelled) break;
        if (l.name == "..") continue;
        seenOnLeft.emplace(l.name, true);
        const auto found = rightByName.find(l.name);
        if (found == rightByName.end()) {
            r.left.push_back(l.name);
            ++r.leftOnly;
            continue;
        }
        const CompareItem& rt = *found->second;
        if (l.isDir || rt.isDir) {
            if (l.isDir && rt.isDir)
                ++r.same;
            else
                ++r.clashes;
            continue;
        }
        const std::int64_t dt = l.mtime - rt.mtime;
        const int newer = dt > options.dateSlack ? -1 : dt < -options.dateSlack ? 1 : 0;  // -1 left, 1 right
        bool differs = l.size != rt.size;
        if (!differs && options.contents) {
            if (!l.regular || !rt.regular) {
                r.errors.push_back(l.name + ": not a regular file");
                continue;
            }
            std::string error;
            const bool same = sameContents(
                joinPath(options.leftDir, l.name), joinPath(options.rightDir, rt.name), error,
                options.progress ? std::function<bool(std::int64_t)>(block) : nullptr, &r.cancelled);
            if (r.cancelled) break;
            if (!error.empty()) {
                r.errors.push_back(error);
                continue;
            }
            differs = !same;
            if (!differs) {
                ++r.same;
                continue;
            }
        }
        if (newer < 0) {
            r.left.push_back(l.name);
            ++r.leftNewer;
        } else if (newer > 0) {
            r.right.push_back(rt.name);
            ++r.rightNewer;
        } else if (differs) {
            r.left.push_back(l.name);
            r.right.push_back(rt.name);
            ++r.differ;
        } else {
            ++r.same;
        }
    }
    for (const CompareItem& rt : right) {
        if (r.cancelled) break;
        if (rt.name == ".." || seenOnLeft.count(rt.name)) continue;
        r.right.push_back(rt.name);
        ++r.rightOnly;
    }
    return r;
}

std::string CompareResult::summary() const {
    std::string s = "Left: " + std::to_string(left.size()) +
                    " to copy, right: " + std::to_string(right.size()) + " to copy; " + std::to_string(same) +
                    " the same";
    if (differ) s += ", " + std::to_string(differ) + " differ at the same time";
    if (clashes) s += ", " + std::to_string(clashes) + " file/folder clash(es)";
    if (!errors.empty()) s += ", " + std::to_string(errors.size()) + " could not be read";
    return s;
}

}  // namespace kv::fileops
