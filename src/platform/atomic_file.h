#pragma once
// Replaces a file in one step: the new contents go to a temporary file beside the target,
// which one rename moves in. Readers see the old file or the new one, never a part; a
// failure leaves the old file as it was and no temporary behind.
#include <fcntl.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace kv::platform {

// Is `name` a temporary of AtomicFile (".<name>.<12 hex digits>.tmp")? The panels never list
// them, and a job cleans those that a killed process left.
bool isTemporaryFileName(const std::string& name);

// While it is being written the temporary is held with an exclusive flock(2): a temporary that
// is unlocked and not recently changed has no live writer.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();  // abandons a file not committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary in the target's folder: `name` is taken relative to dirFd, which
    // may be AT_FDCWD with a path. The temporary is made with O_CREAT|O_EXCL under a random
    // name (tried again on EEXIST), so an existing file is never opened or replaced. Its mode
    // is newMode less the umask, or the mode of the target when a regular file is there and
    // keepTargetMode is set (a caller that sets the mode itself needs no look at the target).
    bool begin(int dirFd, const std::string& name, mode_t newMode = 0666, bool keepTargetMode = true);

    int fd() const { return fd_; }
    // Writes all n bytes (short writes and EINTR are continued). After a failed write the
    // file can no longer be committed.
    bool write(const void* p, std::size_t n);
    // Flushes to disk (when sync), closes and renames the temporary onto the target; on
    // failure the temporary is removed and the target is untouched. With sync the folder is
    // flushed too, so the rename itself survives a crash.
    // With noReplace, a target that exists by then (made by someone else since the caller
    // looked) is left alone and the commit fails with EEXIST; where the file system cannot
    // promise that, the target is looked at just before the move.
    bool commit(bool sync = true, bool noReplace = false);
    // Closes and removes the temporary; the target is untouched.
    void abandon();

    // The temporary's name relative to dirFd ("" before begin and after commit or abandon).
    const std::string& tempName() const { return temp_; }
    // errno of the failure that made begin, write or commit answer false.
    int error() const { return error_; }

private:
    bool fail(int err);

    int dirFd_ = AT_FDCWD;
    int fd_ = -1;
    int error_ = 0;
    bool writeFailed_ = false;
    std::string name_, temp_;
};

}  // namespace kv::platform
