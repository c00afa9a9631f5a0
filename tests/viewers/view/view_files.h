#pragma once
// Files for the viewer's tests: written in pieces, sparse where they are huge, so no test
// holds a big file in memory.
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "support/temp_dir.h"
#include "viewers/view/view_document.h"

namespace kv::view::test {

// Appends bytes to a file (made when missing).
inline void appendTo(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

// A file of `size` bytes that is one hole but for `tail` written at its very end.
inline void makeSparseWithTail(const std::string& path, std::uint64_t size, std::string_view tail) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (::ftruncate(fd, static_cast<off_t>(size)) == 0)
        (void)!::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(size - tail.size()));
    ::close(fd);
}

// The painted texts of the page.
inline std::vector<std::string> pageTexts(ViewDocument& d) {
    std::vector<std::string> out;
    for (const ViewRow& r : d.page()) out.push_back(r.text);
    return out;
}

}  // namespace kv::view::test
