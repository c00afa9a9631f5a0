#include "platform/mount_watcher.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace kv::platform {

MountWatcher::MountWatcher(std::string mountTable) : path_(std::move(mountTable)) {}

MountWatcher::~MountWatcher() { stop(); }

bool MountWatcher::start(std::function<void()> onChange) {
    stop();
    tableFd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (tableFd_ < 0 || stopFd_ < 0) {
        stop();
        return false;
    }
    worker_ = std::thread([table = tableFd_, stopper = stopFd_, onChange = std::move(onChange)] {
        pollfd fds[2] = {{table, POLLPRI, 0}, {stopper, POLLIN, 0}};
        for (;;) {
            const int n = ::poll(fds, 2, -1);
            if (n < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) return;
            if (fds[0].revents & (POLLPRI | POLLERR) && onChange) onChange();
            if (fds[0].revents & POLLNVAL) return;
        }
    });
    return true;
}

void MountWatcher::stop() {
    if (worker_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t w = ::write(stopFd_, &one, sizeof one);
        worker_.join();
    }
    if (tableFd_ >= 0) ::close(tableFd_);
    if (stopFd_ >= 0) ::close(stopFd_);
    tableFd_ = stopFd_ = -1;
}

}  // namespace kv::platform
