#include "platform/folder_watcher.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace kv::platform {

namespace {

constexpr std::uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr std::uint32_t kSelfEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

// Which of an event's bits the filter cares about; file and folder names are told
// apart by IN_ISDIR, since inotify cannot filter on that itself.
bool wanted(const inotify_event& ev, std::uint32_t filter) {
    const bool isDir = ev.mask & IN_ISDIR;
    if (ev.mask & kNameEvents) {
        if (isDir ? (filter & fwDirName) : (filter & fwFileName)) return true;
    }
    if ((ev.mask & IN_ATTRIB) && (filter & (fwAttributes | fwSecurity))) return true;
    if ((ev.mask & (IN_MODIFY | IN_CLOSE_WRITE)) && (filter & (fwSize | fwLastWrite))) return true;
    if ((ev.mask & IN_CLOSE_WRITE) && (filter & fwClosedWrite)) return true;
    return false;
}

NameChange::Kind kindOf(std::uint32_t mask) {
    if (mask & IN_CREATE) return NameChange::Created;
    if (mask & IN_DELETE) return NameChange::Deleted;
    if (mask & IN_MOVED_FROM) return NameChange::MovedFrom;
    if (mask & IN_MOVED_TO) return NameChange::MovedTo;
    return NameChange::Changed;
}

void addTree(int ino, const std::string& dir, std::uint32_t mask, std::unordered_map<int, std::string>& wds,
             int depth) {
    if (depth > 64) return;  // a pathological depth is not worth a stack overflow
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (const dirent* de = ::readdir(d)) {
        const char* n = de->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        std::string sub = dir + "/" + n;
        struct stat st;
        // Links are never followed, so a link loop cannot make the walk endless.
        if (::lstat(sub.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        const int wd = ::inotify_add_watch(ino, sub.c_str(), mask | IN_ONLYDIR | IN_DONT_FOLLOW);
        if (wd >= 0) {
            wds[wd] = sub;
            addTree(ino, sub, mask, wds, depth + 1);
        }
    }
    ::closedir(d);
}

struct Setup {
    int ino = -1;
    int root = -1;
    std::unordered_map<int, std::string> wds;
};

// Done on the caller's thread, so a change made right after start() is never missed.
Setup watch(const std::string& folder, std::uint32_t filter, bool nested) {
    Setup s;
    s.ino = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (s.ino < 0) return s;
    const std::uint32_t mask = FolderWatcher::inotifyMask(filter, nested);
    s.root = ::inotify_add_watch(s.ino, folder.c_str(), mask | kSelfEvents | IN_ONLYDIR);
    if (s.root < 0) {
        ::close(s.ino);
        s.ino = -1;
        return s;
    }
    s.wds[s.root] = folder;
    if (nested) addTree(s.ino, folder, mask, s.wds, 0);
    return s;
}

void run(Setup setup, std::uint32_t filter, bool nested, int stopFd, FolderWatcher::BatchCallback cb) {
    if (setup.ino < 0) {
        if (cb) cb(WatchEvent::Failed, {});
        return;  // the owner still counts the watcher as running until stop()
    }
    const int ino = setup.ino;
    const int root = setup.root;
    const std::uint32_t mask = FolderWatcher::inotifyMask(filter, nested);
    std::unordered_map<int, std::string> wds = std::move(setup.wds);

    bool gone = false;
    alignas(inotify_event) char buf[16 * 1024];
    for (;;) {
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {gone ? -1 : ino, POLLIN, 0}};
        const int r = ::poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) break;
        if (!(fds[1].revents & POLLIN)) continue;
        bool changed = false;
        bool overflow = false;
        std::vector<NameChange> names;
        for (;;) {
            const ssize_t n = ::read(ino, buf, sizeof buf);
            if (n <= 0) break;
            for (ssize_t off = 0; off < n;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
                off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
                if (ev->mask & IN_Q_OVERFLOW) {
                    overflow = true;
                    continue;
                }
                if (ev->wd == root && (ev->mask & (kSelfEvents | IN_IGNORED))) {
                    gone = true;
                    continue;
                }
                if (wanted(*ev, filter)) {
                    changed = true;
                    if (ev->wd == root && ev->len && !overflow) {
                        // A file written in many pieces reports each piece: one entry is enough.
                        const bool isDir = ev->mask & IN_ISDIR;
                        const NameChange::Kind kind = kindOf(ev->mask);
                        if (names.empty() || names.back().kind != kind || names.back().name != ev->name)
                            names.push_back({kind, isDir, ev->name});
                    }
                }
                if (nested && (ev->mask & (IN_CREATE | IN_MOVED_TO)) && (ev->mask & IN_ISDIR) && ev->len) {
                    const auto it = wds.find(ev->wd);
                    if (it != wds.end()) {
                        std::string sub = it->second + "/" + ev->name;
                        const int wd =
                            ::inotify_add_watch(ino, sub.c_str(), mask | IN_ONLYDIR | IN_DONT_FOLLOW);
                        if (wd >= 0) {
                            wds[wd] = sub;
                            addTree(ino, sub, mask, wds, 1);
                        }
                    }
                }
            }
        }
        if (overflow && !gone && cb)
            cb(WatchEvent::Overflow, {});
        else if (changed && !gone && cb)
            cb(WatchEvent::Changed, std::move(names));
        if (gone) {
            if (cb) cb(WatchEvent::Gone, {});
            // Nothing more can come from this folder; wait only for the stop signal.
        }
    }
    ::close(ino);
}

}  // namespace

std::uint32_t FolderWatcher::inotifyMask(std::uint32_t filter, bool nested) {
    std::uint32_t m = 0;
    if (filter & (fwFileName | fwDirName)) m |= kNameEvents;
    if (filter & (fwAttributes | fwSecurity)) m |= IN_ATTRIB;
    if (filter & (fwSize | fwLastWrite)) m |= IN_MODIFY | IN_CLOSE_WRITE;
    if (filter & fwClosedWrite) m |= IN_CLOSE_WRITE;
    if (nested) m |= IN_CREATE | IN_MOVED_TO;  // to follow folders that appear later
    return m;
}

FolderWatcher::~FolderWatcher() { stop(); }

void FolderWatcher::start(const std::string& folder, std::uint32_t filter, bool nested, Callback cb) {
    startWithNames(folder, filter, nested,
                   BatchCallback([cb = std::move(cb)](WatchEvent ev, std::vector<NameChange>&&) {
                       if (cb) cb(ev == WatchEvent::Overflow ? WatchEvent::Changed : ev);
                   }));
}

void FolderWatcher::startWithNames(const std::string& folder, std::uint32_t filter, bool nested,
                                   BatchCallback cb) {
    stop();
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (stopFd_ < 0) throw std::runtime_error("eventfd");
    try {
        Setup setup = watch(folder, filter, nested);
        const int ino = setup.ino;
        try {
            worker_ = std::thread(run, std::move(setup), filter, nested, stopFd_, std::move(cb));
        } catch (...) {
            if (ino >= 0) ::close(ino);
            throw;
        }
    } catch (const std::system_error&) {
        ::close(stopFd_);
        stopFd_ = -1;
        throw std::runtime_error("thread");
    }
}

void FolderWatcher::stop() {
    if (!worker_.joinable()) return;
    const std::uint64_t one = 1;
    ssize_t w;
    do {
        w = ::write(stopFd_, &one, sizeof one);
    } while (w < 0 && errno == EINTR);
    worker_.join();
    ::close(stopFd_);
    stopFd_ = -1;
}

}  // namespace kv::platform
