#include "fileops/engine/file_data.h"

#include <unistd.h>

#include <cerrno>

namespace kv::fileops {

namespace {
constexpr std::size_t kKernelBlock = 8u << 20;  // between two looks at the cancel flag
constexpr std::size_t kBufferSize = 1u << 20;
}  // namespace

DataStatus DataCopier::copy(int in, int out, std::uint64_t size, Progress& progress, std::uint64_t& copied,
                            int& error) {
    copied = 0;
    // An empty file may still have contents the kernel copy cannot see (pseudo files).
    if (size == 0 || !kernelCopyWorks_) return readWrite(in, out, size, progress, copied, error);
    while (copied < size) {
        if (progress.cancelled()) return DataStatus::Cancelled;
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - copied, kKernelBlock));
        const ssize_t n = calls_->copyRange(in, out, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (copied == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                                errno == EBADF || errno == ETXTBSY)) {
                kernelCopyWorks_ = errno != ENOSYS;
                return readWrite(in, out, size, progress, copied, error);
            }
            error = errno;
            return DataStatus::Failed;
        }
        if (n == 0) break;  // the file got shorter
        copied += static_cast<std::uint64_t>(n);
        progress.addBytes(static_cast<std::uint64_t>(n));
    }
    return DataStatus::Copied;
}

DataStatus DataCopier::readWrite(int in, int out, std::uint64_t size, Progress& progress,
                                 std::uint64_t& copied, int& error) {
    if (buffer_.empty()) buffer_.resize(kBufferSize);
    // Read to the end: a pseudo file says size 0 and still has contents.
    for (;;) {
        if (progress.cancelled()) return DataStatus::Cancelled;
        const ssize_t n = calls_->readSome(in, buffer_.data(), buffer_.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return DataStatus::Failed;
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer_.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                error = errno;
                return DataStatus::Failed;
            }
            done += w;
        }
        copied += static_cast<std::uint64_t>(n);
        progress.addBytes(static_cast<std::uint64_t>(n));
        if (size != 0 && copied >= size) break;
    }
    return DataStatus::Copied;
}

}  // namespace kv::fileops
