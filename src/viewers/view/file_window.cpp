#include "viewers/view/file_window.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kv::view {

FileWindow::~FileWindow() { close(); }

bool FileWindow::open(const std::string& path, std::string* error) {
    close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (error) *error = "not a regular file";
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = path;
    size_ = static_cast<std::uint64_t>(st.st_size);
    return true;
}

void FileWindow::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
    for (Block& b : blocks_) b.index = UINT64_MAX;
}

bool FileWindow::refresh() {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return false;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size == size_) return false;
    size_ = size;
    for (Block& b : blocks_) b.index = UINT64_MAX;
    return true;
}

std::size_t FileWindow::readAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
    std::size_t have = 0;
    while (have < out.size()) {
        const ssize_t n = ::pread(fd_, out.data() + have, out.size() - have, static_cast<off_t>(offset + have));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        have += static_cast<std::size_t>(n);
    }
    return have;
}

const FileWindow::Block& FileWindow::block(std::uint64_t index) {
    Block* victim = &blocks_[0];
    for (Block& b : blocks_) {
        if (b.index == index) {
            b.used = ++clock_;
            return b;
        }
        if (b.used < victim->used) victim = &b;
    }
    victim->data.resize(kBlock);
    victim->length = readAt(index * kBlock, victim->data);
    victim->index = index;
    victim->used = ++clock_;
    return *victim;
}

std::span<const std::uint8_t> FileWindow::bytes(std::uint64_t offset, std::size_t length) {
    if (fd_ < 0 || offset >= size_) return {};
    length = static_cast<std::size_t>(std::min<std::uint64_t>({length, size_ - offset, kMaxSpan}));
    const std::uint64_t first = offset / kBlock, last = (offset + length - 1) / kBlock;
    if (first == last) {
        const Block& b = block(first);
        const std::size_t at = offset % kBlock;
        if (at >= b.length) return {};
        return std::span<const std::uint8_t>(b.data).subspan(at, std::min(length, b.length - at));
    }
    // A span across blocks is read in one go: it is the page on screen or a search window.
    joined_.resize(length);
    joined_.resize(readAt(offset, joined_));
    return joined_;
}

}  // namespace kv::view
