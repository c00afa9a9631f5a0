#include "platform/file_contents.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace kv::platform {

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

}  // namespace

int openRegularFile(const std::string& path, std::string& error) {
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

OwnFileRead readOwnFile(const std::string& path, std::size_t limit) {
    OwnFileRead r;
    const int raw = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (raw < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return r;  // no file there (a file in place of its folder)
        r.status = OwnFileRead::Status::Refused;
        r.error = path + ": " + std::strerror(errno);
        return r;
    }
    Fd fd(raw);
    r.status = OwnFileRead::Status::Refused;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        r.error = path + ": " + std::strerror(errno);
        return r;
    }
    if (!S_ISREG(st.st_mode)) {
        r.error = path + ": not a regular file";
        return r;
    }
    auto tooLarge = [&] {
        r.error = path + ": larger than " + std::to_string(limit / 1024) + " KiB, not read";
        r.bytes.clear();
        return r;
    };
    if (static_cast<std::uint64_t>(st.st_size) > limit) return tooLarge();
    // The size is only a hint (the file may grow while it is read): one byte past the limit
    // is asked for, and getting it refuses the file.
    r.bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t have = 0;
    for (;;) {
        if (have == r.bytes.size()) {
            if (have > limit) return tooLarge();
            r.bytes.resize(std::min(limit + 1, have * 2 + 4096));
        }
        const ssize_t n = ::read(fd.get(), r.bytes.data() + have, r.bytes.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            r.error = path + ": " + std::strerror(errno);
            r.bytes.clear();
            return r;
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    if (have > limit) return tooLarge();
    r.bytes.resize(have);
    r.status = OwnFileRead::Status::Read;
    return r;
}

bool sameFileContents(const std::string& a, const std::string& b, std::string& error,
                      const std::function<bool(std::int64_t bytes)>& block, bool* stopped) {
    Fd fa(openRegularFile(a, error));
    if (fa.get() < 0) return false;
    Fd fb(openRegularFile(b, error));
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

}  // namespace kv::platform
