#include "archive/base/arc_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace kv {

ArcFile::ArcFile(ArcFile&& o) noexcept
    : fd_(std::exchange(o.fd_, -1)), size_(o.size_), path_(std::move(o.path_)) {}

ArcFile& ArcFile::operator=(ArcFile&& o) noexcept {
  if (this != &o) {
    close();
    fd_ = std::exchange(o.fd_, -1);
    size_ = o.size_;
    path_ = std::move(o.path_);
  }
  return *this;
}

bool ArcFile::open(const std::string& path) {
  close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
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
