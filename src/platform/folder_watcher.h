#pragma once
// Watches one folder (optionally its subtree) with inotify on a worker thread.
// The worker sleeps in poll() on the inotify descriptor and a stop eventfd, so stop()
// returns as soon as the thread sees the eventfd, whatever the folder is doing.
// The callback runs on the worker thread: once per wake-up that carried at least one
// change the filter asks for, once when the folder itself goes away, and once when the
// watch cannot be set up at all. The batch form also says which names of the watched
// folder changed and how, so a listing can be updated entry by entry; when the kernel's
// event queue overflowed, names were lost and only a full re-read is right.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kv::platform {

// Filter bits, the same words the old change-notification service used.
enum : std::uint32_t {
    fwFileName = 0x001,  // a file is created, deleted or renamed
    fwDirName = 0x002,   // a folder is created, deleted or renamed
    fwAttributes = 0x004,
    fwSize = 0x008,
    fwLastWrite = 0x010,
    fwSecurity = 0x100,
    fwClosedWrite = 0x1000,  // a file opened for writing was closed (its final size and time)
};

enum class WatchEvent {
    Changed,   // something the filter asks for happened
    Gone,      // the watched folder was deleted, moved away or unmounted
    Failed,    // the watch could not be set up (the folder is missing or unreadable)
    Overflow,  // the kernel dropped events: which names changed is no longer known
};

// One change of a name directly inside the watched folder.
struct NameChange {
    enum Kind : std::uint8_t { Created, Deleted, Changed, MovedFrom, MovedTo };
    Kind kind = Changed;
    bool isDir = false;
    std::string name;
};

class FolderWatcher {
public:
    using Callback = std::function<void(WatchEvent)>;
    // `names` is filled for Changed (the wanted changes of this wake-up, in order; changes
    // inside watched subfolders are not named) and empty otherwise.
    using BatchCallback = std::function<void(WatchEvent, std::vector<NameChange>&& names)>;

    FolderWatcher() = default;
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    // Throws std::runtime_error("eventfd") or ("thread") when the resources cannot be
    // made; a folder that cannot be watched is reported through the callback instead.
    // With the plain callback an overflow is reported as Changed.
    void start(const std::string& folder, std::uint32_t filter, bool nested, Callback cb);
    void startWithNames(const std::string& folder, std::uint32_t filter, bool nested, BatchCallback cb);
    // Wakes the worker and waits for it. Safe to call when not running.
    void stop();
    bool running() const { return worker_.joinable(); }

    // The inotify mask that a filter word asks for (without the self-watch bits).
    static std::uint32_t inotifyMask(std::uint32_t filter, bool nested);

private:
    std::thread worker_;
    int stopFd_ = -1;
};

}  // namespace kv::platform
