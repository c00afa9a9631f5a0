#include "platform/recent_docs.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/xdg_dirs.h"

namespace kv::platform {

std::string recentDocsFile() { return dataHome() + "/recently-used.xbel"; }

ClearResult clearRecentDocs(const std::string& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        if (errno == ENOENT) return {};
        return {false, file + ": " + std::strerror(errno)};
    }
    static constexpr std::string_view kEmpty =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<xbel version=\"1.0\"\n"
        "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
        "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n"
        ">\n"
        "</xbel>\n";
    AtomicFile out;
    if (!out.beginOwnFile(file, 0600) || !out.write(kEmpty.data(), kEmpty.size()) || !out.commit())
        return {false, out.refusal().empty() ? file + ": " + std::strerror(out.error()) : out.refusal()};
    return {};
}

}  // namespace kv::platform
