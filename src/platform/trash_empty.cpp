#include "platform/trash_empty.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/xdg_dirs.h"

namespace kv::platform {

namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";

std::string describe(const std::string& path, int err) { return path + ": " + std::strerror(err); }

// The names in an open folder (read whole before anything is removed from it).
std::vector<std::string> namesIn(int dirFd) {
    std::vector<std::string> names;
    const int dupFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (dupFd < 0) return names;
    DIR* d = ::fdopendir(dupFd);
    if (!d) {
        ::close(dupFd);
        return names;
    }
    ::rewinddir(d);
    while (const dirent* e = ::readdir(d)) {
        const std::string_view n = e->d_name;
        if (n != "." && n != "..") names.emplace_back(n);
    }
    ::closedir(d);
    return names;
}

// Removes `name` below dirFd with all it holds; links are removed, never followed. A folder
// the owner made read-only (a trashed read-only tree) is opened up first so it can be
// emptied. False, with the path and reason of a failure in `failure`, when anything stays.
bool removeTree(int dirFd, const std::string& name, const std::string& shown, std::string& failure) {
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return true;
        failure = describe(shown, errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(dirFd, name.c_str(), 0) == 0 || errno == ENOENT) return true;
        failure = describe(shown, errno);
        return false;
    }
    if ((st.st_mode & S_IRWXU) != S_IRWXU) ::fchmodat(dirFd, name.c_str(), (st.st_mode & 07777) | S_IRWXU, 0);
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        failure = describe(shown, errno);
        return false;
    }
    bool ok = true;
    for (const std::string& child : namesIn(fd))
        if (!removeTree(fd, child, shown + "/" + child, failure)) ok = false;
    ::close(fd);
    if (!ok) return false;
    if (::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT) return true;
    failure = describe(shown, errno);
    return false;
}

int openFolder(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }

}  // namespace

std::string homeTrashFolder() { return dataHome() + "/Trash"; }

TrashEmptyResult emptyTrash(const std::string& trashDir) {
    TrashEmptyResult result;
    const int filesFd = openFolder(trashDir + "/files");
    const int infoFd = openFolder(trashDir + "/info");
    if (filesFd < 0 && errno != ENOENT) result.failures.push_back(describe(trashDir + "/files", errno));

    // Each entry first, then its record: a failure leaves both.
    if (filesFd >= 0) {
        for (const std::string& name : namesIn(filesFd)) {
            std::string failure;
            if (!removeTree(filesFd, name, trashDir + "/files/" + name, failure)) {
                result.failures.push_back(failure);
                continue;
            }
            ++result.removed;
            const std::string record = name + std::string(kInfoSuffix);
            if (infoFd >= 0 && ::unlinkat(infoFd, record.c_str(), 0) != 0 && errno != ENOENT)
                result.failures.push_back(describe(trashDir + "/info/" + record, errno));
        }
    }
    // Records whose entry is gone describe nothing.
    if (infoFd >= 0) {
        for (const std::string& record : namesIn(infoFd)) {
            const bool isRecord =
                record.size() > kInfoSuffix.size() &&
                record.compare(record.size() - kInfoSuffix.size(), kInfoSuffix.size(), kInfoSuffix) == 0;
            if (!isRecord) continue;
            const std::string entry = record.substr(0, record.size() - kInfoSuffix.size());
            struct stat st {};
            if (filesFd >= 0 && ::fstatat(filesFd, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) continue;
            if (::unlinkat(infoFd, record.c_str(), 0) != 0 && errno != ENOENT)
                result.failures.push_back(describe(trashDir + "/info/" + record, errno));
        }
    }
    if (filesFd >= 0) ::close(filesFd);
    if (infoFd >= 0) ::close(infoFd);

    // What some desktops leave mid-way through their own emptying, and their size cache.
    if (const int trashFd = openFolder(trashDir); trashFd >= 0) {
        if (const int expunged =
                ::openat(trashFd, "expunged", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            expunged >= 0) {
            for (const std::string& name : namesIn(expunged)) {
                std::string failure;
                if (!removeTree(expunged, name, trashDir + "/expunged/" + name, failure))
                    result.failures.push_back(failure);
            }
            ::close(expunged);
        }
        if (::unlinkat(trashFd, "directorysizes", 0) != 0 && errno != ENOENT)
            result.failures.push_back(describe(trashDir + "/directorysizes", errno));
        ::close(trashFd);
    }
    return result;
}

}  // namespace kv::platform
