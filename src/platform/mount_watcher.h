#pragma once
// Tells when the mount table changes (a stick plugged in, a share mounted), so the drive
// list can be rebuilt. A worker thread waits for the kernel's POLLPRI on the mount table
// and for a stop signal; the callback runs on that worker.
#include <functional>
#include <string>
#include <thread>

namespace kv::platform {

class MountWatcher {
public:
    explicit MountWatcher(std::string mountTable = "/proc/self/mounts");
    ~MountWatcher();
    MountWatcher(const MountWatcher&) = delete;
    MountWatcher& operator=(const MountWatcher&) = delete;

    // False (and nothing runs) when the table or the stop signal cannot be opened.
    bool start(std::function<void()> onChange);
    // Returns once the worker has ended; safe to call when not running.
    void stop();
    bool running() const { return worker_.joinable(); }

private:
    std::string path_;
    int tableFd_ = -1;
    int stopFd_ = -1;
    std::thread worker_;
};

}  // namespace kv::platform
