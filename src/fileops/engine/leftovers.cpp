#include "fileops/engine/leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <vector>

#include "platform/atomic_file.h"

namespace kv::fileops {

namespace {
// Not locked by anyone: a writer that still runs holds its lock until it commits.
bool unlocked(int dirFd, const char* name) {
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}
}  // namespace

int removeLeftoverTemporaries(const std::string& folder, std::chrono::seconds age) {
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return 0;
    DIR* d = ::fdopendir(dirFd);
    if (!d) {
        ::close(dirFd);
        return 0;
    }
    std::vector<std::string> stale;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const double before =
        static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9 - static_cast<double>(age.count());
    while (const dirent* e = ::readdir(d)) {
        if (!platform::isTemporaryFileName(e->d_name)) continue;
        struct stat st {};
        // The writer's last step before its rename sets the file's times back to the source's;
        // the status-change time still tells it was touched just now.
        if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            static_cast<double>(st.st_ctim.tv_sec) + st.st_ctim.tv_nsec / 1e9 > before)
            continue;
        // Links and fifos are renamed into place the moment they are made: an old one is left over.
        if (S_ISREG(st.st_mode) && !unlocked(dirFd, e->d_name)) continue;
        if (S_ISDIR(st.st_mode)) continue;
        stale.emplace_back(e->d_name);
    }
    int removed = 0;
    for (const auto& name : stale)
        if (::unlinkat(dirFd, name.c_str(), 0) == 0) ++removed;
    ::closedir(d);
    return removed;
}

}  // namespace kv::fileops
