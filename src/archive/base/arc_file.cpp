#include "archive/base/arc_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace kv {

ArcFile::ArcFile(ArcFile&& o) noexcept
    : fd_(std::exchange(o.fd_, -1)),
      size_(o.size_),
      device_(o.device_),
      inode_(o.inode_),
      path_(std::move(o.path_)) {}

ArcFile& ArcFile::operator=(ArcFile&& o) noexcept {
    if (this != &o) {
        close();
        fd_ = std::exchange(o.fd_, -1);
        size_ = o.size_;
        device_ = o.device_;
        inode_ = o.inode_;
        path_ = std::move(o.path_);
    }
    return *this;
}

bool ArcFile::open(const std::string& path) {
    close();
    // O_NONBLOCK: opening a FIFO (or a device) named as an archive or as its next volume
    // would otherwise wait for a writer forever. Only regular files are kept, and reads of
    // those never block, so the flag is cleared again.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st {};
    int flags = -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (flags = ::fcntl(fd, F_GETFL)) < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = static_cast<uint64_t>(st.st_size);
    device_ = static_cast<uint64_t>(st.st_dev);
    inode_ = static_cast<uint64_t>(st.st_ino);
    path_ = path;
    return true;
}

bool ArcFile::close() {
    if (fd_ < 0) return true;
    int rc = ::close(fd_);
    fd_ = -1;
    size_ = 0;
    return rc == 0;
}

size_t ArcFile::readAt(uint64_t pos, std::span<uint8_t> out) const {
    if (fd_ < 0 || pos >= size_ || out.empty()) return 0;
    size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(pos + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace kv
