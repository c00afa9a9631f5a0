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

    // begin for a file kv keeps for itself (settings, user menu, lists). `path` may be a
    // symbolic link, or a chain of them: the final target is replaced and the links stay, as
    // a user who keeps kv.ini in a dotfiles folder expects. What is replaced must be a regular
    // file the user owns, in a folder the user owns, reached through no /proc or /sys entry;
    // a missing path is made, in a folder the user owns. Anything else (a device, a fifo, a
    // folder, another user's file or folder, a dangling link, a link through
    // /proc/self/fd/...) is refused: false, with refusal() saying what and why.
    bool beginOwnFile(const std::string& path, mode_t newMode = 0666);
    // Why beginOwnFile refused ("" after any other failure): names the file and the reason.
    const std::string& refusal() const { return refusal_; }

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
    // Without flushing: moves the temporary onto a target that is the file (dev, ino) by
    // exchanging the two names in one step, then removes the old file under the temporary's
    // name. A file renamed over another is flushed by some file systems on the way (ext4's
    // replace-by-rename guard); an exchange is not, which matters to a caller that replaces
    // its own files of a moment before. A target that is no longer that file, or a file
    // system that cannot exchange names, gets commit(false).
    bool commitOver(dev_t dev, ino_t ino);
    // Closes and removes the temporary; the target is untouched.
    void abandon();

    // The temporary's name relative to dirFd ("" before begin and after commit or abandon).
    const std::string& tempName() const { return temp_; }
    // errno of the failure that made begin, write or commit answer false.
    int error() const { return error_; }

private:
    bool fail(int err);
    // Drops the temporary and the held folder, then fails with err (taken before abandon
    // can change errno).
    bool abandonWith(int err);
    bool refuse(int err, std::string why);
    bool createTemp(int dirFd, const std::string& name, mode_t newMode, bool keepTargetMode);

    int dirFd_ = AT_FDCWD;
    int ownDirFd_ = -1;  // the target's folder, held open by beginOwnFile until the end
    int fd_ = -1;
    int error_ = 0;
    bool writeFailed_ = false;
    std::string name_, temp_, refusal_;
};

}  // namespace kv::platform
