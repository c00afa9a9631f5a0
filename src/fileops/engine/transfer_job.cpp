#include "fileops/engine/transfer_job.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "fileops/engine/leftovers.h"
#include "fileops/engine/paths.h"
#include "platform/atomic_file.h"

namespace kv::fileops {

namespace {

using Step = Asker::Step;

// Past this much, the sources of a move across file systems are removed before more is copied:
// a crash leaves at most this much twice on disk.
constexpr std::size_t kPendingEntries = 50000;
// Files of a fresh folder under this size are copied without a question first; a big one
// goes the usual way, which shows its own progress.
constexpr off_t kTogetherBelow = 1 << 20;
constexpr std::uint64_t kPendingBytes = 4ull << 30;

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

struct FdCloser {
    int fd = -1;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

// The names in a folder, without "." and ".."; with `types`, the kind readdir tells (DT_*).
bool listNames(const std::string& dir, std::vector<std::string>& names, int& err,
               std::vector<unsigned char>* types = nullptr) {
    DirHandle d(::opendir(dir.c_str()));
    if (!d) {
        err = errno;
        return false;
    }
    names.clear();
    if (types) types->clear();
    errno = 0;
    while (dirent* e = ::readdir(d.get())) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        names.emplace_back(n);
        if (types) types->push_back(e->d_type);
    }
    if (errno != 0) {
        err = errno;
        return false;
    }
    return true;
}

bool readFolder(const std::string& dir, std::vector<std::string>& names, OpError& e,
                std::vector<unsigned char>* types = nullptr) {
    int err = 0;
    if (listNames(dir, names, err, types)) return true;
    e = {dir, "read folder", err, {}};
    return false;
}

// The process's umask, read once (umask(2) cannot be read without changing it, which would
// race with other threads); where it cannot be read, every bit counts as masked.
mode_t processUmask() {
    static const mode_t mask = [] {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("Umask:", 0) == 0)
                return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
        return static_cast<mode_t>(0777);
    }();
    return mask;
}

void keepTimes(const std::string& path, const struct stat& st) {
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

void keepFolderAttributes(const std::string& dst, const struct stat& st) {
    ::chmod(dst.c_str(), st.st_mode & 07777);
    keepTimes(dst, st);
}

// "Copy of x", "Copy (2) of x", ... that does not exist yet.
std::string freeCopyName(const std::string& dst) {
    const std::string dir = parentPath(dst), base = baseName(dst);
    struct stat st {};
    for (int n = 1;; ++n) {
        const std::string name = n == 1 ? "Copy of " + base : "Copy (" + std::to_string(n) + ") of " + base;
        const std::string p = joinPath(dir, name);
        if (::lstat(p.c_str(), &st) != 0) return p;
    }
}

}  // namespace

TransferJob::Status TransferJob::statusOf(Asker::Step s) {
    return s == Step::Cancel ? Status::Cancelled : s == Step::Skip ? Status::Skipped : Status::Done;
}

JobResult TransferJob::run(Decider& decider, Progress& progress) {
    JobResult result;
    Asker ask(decider, progress, result);
    ask_ = &ask;
    progress_ = &progress;

    std::vector<std::string> sources;
    for (const auto& s : request_.sources)
        if (!s.empty()) sources.push_back(absolutePath(s));
    const std::string target = absolutePath(request_.target);

    struct stat targetSt {};
    const bool targetExists = ::stat(target.c_str(), &targetSt) == 0;
    const bool intoFolder = (targetExists && S_ISDIR(targetSt.st_mode)) || sources.size() > 1;
    if (sources.size() > 1 && targetExists && !S_ISDIR(targetSt.st_mode)) {
        // Several sources never become one file.
        for (const auto& s : sources) ask.refuse(s, "The target " + target + " is a file, not a folder");
        ask.finish();
        return result;
    }
    if (intoFolder && !targetExists) {
        const Step s = ask.until([&](OpError& e) {
            return succeeded(::mkdir(target.c_str(), 0777) != 0 && errno != EEXIST ? -1 : 0, e, target,
                             "make folder");
        });
        if (s != Step::Go) {
            if (s == Step::Skip)
                for (const auto& src : sources) ask.refuse(src, "not copied: no target folder");
            ask.finish();
            return result;
        }
    }

    // What a killed job left in the target folder goes before this one adds its own.
    removeLeftoverTemporaries(intoFolder ? target : parentPath(target), request_.leftoverAge);

    // Totals first, so the bars mean something.
    std::vector<struct stat> stats(sources.size());
    std::vector<bool> present(sources.size(), false);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (::lstat(sources[i].c_str(), &stats[i]) != 0) {
            ask.refuse(sources[i], OpError{sources[i], "read", errno, {}}.reason());
            continue;
        }
        present[i] = true;
        count(sources[i], stats[i]);
    }

    for (std::size_t i = 0; i < sources.size() && !ask.cancelled(); ++i) {
        if (!present[i]) continue;
        const std::string& src = sources[i];
        if (src == "/") {
            ask.refuse(src, "The root folder cannot be copied or moved");
            continue;
        }
        const std::string dst = intoFolder ? joinPath(target, baseName(src)) : target;
        if (transfer(src, dst, stats[i], true) == Status::Cancelled) ask.setCancelled();
    }
    // What was moved completely goes from its source also after a cancel.
    flushAndRemoveSources();
    ask.finish();
    ask_ = nullptr;
    return result;
}

void TransferJob::count(const std::string& path, const struct stat& st) {
    if (request_.move) {
        // A rename moves a whole tree at once; the copy across file systems adds to the
        // totals when it starts.
        progress_->addTotals(1, 0);
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        progress_->addTotals(1, S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0);
        return;
    }
    std::vector<std::string> names;
    int err = 0;
    if (!listNames(path, names, err)) return;
    struct stat child {};
    for (const auto& n : names) {
        const std::string p = joinPath(path, n);
        if (::lstat(p.c_str(), &child) == 0) count(p, child);
    }
}

TransferJob::Status TransferJob::transfer(const std::string& src, std::string dst, const struct stat& st,
                                          bool top) {
    struct stat dstSt {};
    if (top && request_.renameOnCollision && ::lstat(dst.c_str(), &dstSt) == 0) dst = freeCopyName(dst);
    if (landsInside(st, dst)) {
        ask_->refuse(src, S_ISDIR(st.st_mode) ? "A folder cannot be copied or moved into itself: " + dst
                                              : "A file cannot be copied or moved onto itself: " + dst);
        return Status::Skipped;
    }
    return request_.move ? moveItem(src, dst, st) : copyItem(src, dst, st, false);
}

TransferJob::Status TransferJob::resolveConflict(const std::string& src, const std::string& dst,
                                                 const struct stat& st, bool& exists, struct stat& dstSt) {
    exists = ::lstat(dst.c_str(), &dstSt) == 0;
    if (!exists) return Status::Done;
    switch (ask_->conflict({factsOf(src, st), factsOf(dst, dstSt)}, request_.noConfirm)) {
        case Step::Go:
        case Step::Retry: break;
        case Step::Skip: return Status::Skipped;
        case Step::Cancel: return Status::Cancelled;
    }
    if (S_ISDIR(dstSt.st_mode) && !S_ISDIR(st.st_mode)) {
        // Replacing a folder by a file would delete a whole tree the user did not name.
        ask_->refuse(src, "A folder of that name is in the way: " + dst);
        return Status::Skipped;
    }
    return Status::Done;
}

TransferJob::Status TransferJob::copyItem(const std::string& src, const std::string& dst,
                                          const struct stat& st, bool removeSource) {
    if (ask_->cancelled()) return Status::Cancelled;
    if (S_ISDIR(st.st_mode)) return copyFolder(src, dst, st, removeSource);
    if (S_ISREG(st.st_mode)) return copyFile(src, dst, st, removeSource);
    return copySpecial(src, dst, st, removeSource);
}

TransferJob::Status TransferJob::copyFolder(const std::string& src, const std::string& dst,
                                            const struct stat& st, bool removeSource) {
    struct stat dstSt {};
    const bool exists = ::lstat(dst.c_str(), &dstSt) == 0;
    if (exists && !S_ISDIR(dstSt.st_mode)) {
        bool e = false;
        const Status s = resolveConflict(src, dst, st, e, dstSt);
        if (s != Status::Done) return s;
        const Step step = ask_->until([&](OpError& e) {
            return succeeded(::unlink(dst.c_str()) != 0 && errno != ENOENT ? -1 : 0, e, dst, "replace");
        });
        if (step != Step::Go) return statusOf(step);
    }
    if (exists && S_ISDIR(dstSt.st_mode))
        removeLeftoverTemporaries(dst, request_.leftoverAge);  // a stopped copy's, say
    if (!exists || !S_ISDIR(dstSt.st_mode)) {
        // Owner-only until its contents are in; the source's mode comes last.
        const Step step = ask_->until(
            [&](OpError& e) { return succeeded(::mkdir(dst.c_str(), 0700), e, dst, "make folder"); });
        if (step != Step::Go) return statusOf(step);
    }
    progress_->beginFile(src);
    std::vector<std::string> names;
    std::vector<unsigned char> types;
    const Step listed = ask_->until([&](OpError& e) { return readFolder(src, names, e, &types); });
    if (listed != Step::Go) return statusOf(listed);
    bool complete = true;
    // In a folder just made nothing can be in the way: its files need no look at the target.
    const bool fresh = !exists || !S_ISDIR(dstSt.st_mode);
    std::vector<FileTask> together;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& n = names[i];
        if (ask_->cancelled()) return Status::Cancelled;
        std::string from = joinPath(src, n), to = joinPath(dst, n);
        struct stat child {};
        if (fresh && !removeSource && types[i] == DT_REG) {
            // The copy looks at the file when it opens it: no look before.
            child.st_mode = S_IFREG;
            together.push_back({std::move(from), std::move(to), child, {}, {}});
            continue;
        }
        if (::lstat(from.c_str(), &child) != 0) {
            if (errno == ENOENT) continue;  // gone since the folder was read
            ask_->refuse(from, OpError{from, "read", errno, {}}.reason());
            complete = false;
            continue;
        }
        if (request_.move && removeSource)
            progress_->addTotals(S_ISDIR(child.st_mode) ? 0 : 1, S_ISREG(child.st_mode) ? child.st_size : 0);
        if (fresh && S_ISREG(child.st_mode) && child.st_size < kTogetherBelow) {
            together.push_back({std::move(from), std::move(to), child, {}, {}});
            continue;
        }
        const Status s = copyItem(from, to, child, removeSource);
        if (s == Status::Cancelled) return s;
        if (s == Status::Skipped) complete = false;
    }
    const Status s = copyFreshFiles(together, removeSource);
    if (s == Status::Cancelled) return s;
    if (s == Status::Skipped) complete = false;
    keepFolderAttributes(dst, st);
    if (removeSource && complete) removeLater(src, st, dst);
    return complete ? Status::Done : Status::Skipped;
}

TransferJob::Attempt TransferJob::copyFileOnce(FileTask& t, bool removeSource, DataCopier& data, int fromDir,
                                               int toDir) {
    std::uint64_t copied = 0;
    const bool inFolders = fromDir >= 0 && toDir >= 0;
    // O_NONBLOCK: a fifo put in the file's place since it was listed must not hang us; for a
    // regular file the flag changes nothing.
    FdCloser in{::openat(inFolders ? fromDir : AT_FDCWD,
                         inFolders ? baseName(t.from).c_str() : t.from.c_str(),
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    struct stat& now = t.now;
    if (in.fd < 0) {
        t.failure = {t.from, "open", errno, {}};
        return Attempt::Failed;
    }
    if (::fstat(in.fd, &now) != 0 || !S_ISREG(now.st_mode)) return Attempt::NotRegular;
    // Made with its final permissions where the umask lets them through, so no fchmod is
    // needed; the job sets the mode itself, so no look at the target either.
    const mode_t mode = now.st_mode & 07777;
    const bool modeAtCreation = (mode & 07000) == 0 && (mode & processUmask()) == 0;
    const mode_t createMode = modeAtCreation ? mode : 0600;
    // In a folder held open the copy is made unnamed (O_TMPFILE) where the file system can,
    // and named only once complete: one step in the folder in place of a create and a rename,
    // and nothing left behind if the job is killed. Elsewhere a temporary beside the target.
    FdCloser unnamed{
        inFolders && unnamedWorks_ ? ::openat(toDir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode) : -1};
    platform::AtomicFile out;
    if (unnamed.fd < 0 &&
        !out.begin(inFolders ? toDir : AT_FDCWD, inFolders ? baseName(t.to) : t.to, createMode, false)) {
        t.failure = {t.to, "create", out.error(), {}};
        return Attempt::Failed;
    }
    const int outFd = unnamed.fd >= 0 ? unnamed.fd : out.fd();
    int err = 0;
    const auto size = static_cast<std::uint64_t>(now.st_size);
    const DataStatus ds = data.copy(in.fd, outFd, size, *progress_, copied, err);
    struct stat after {};
    if (ds == DataStatus::Cancelled) {
        out.abandon();
        progress_->addBytes(0 - copied);
        return Attempt::Cancelled;
    }
    if (ds == DataStatus::Failed) {
        t.failure = {t.to, "write", err, {}};
    } else if (removeSource &&
               (copied != size || ::fstat(in.fd, &after) != 0 || after.st_size != now.st_size ||
                after.st_mtim.tv_sec != now.st_mtim.tv_sec || after.st_mtim.tv_nsec != now.st_mtim.tv_nsec)) {
        // A move removes the source only when all of it arrived as it is now.
        t.failure = {t.from, "move", 0, "The file changed while it was moved; it is kept where it was"};
    } else {
        if (!modeAtCreation) ::fchmod(outFd, mode);
        const timespec times[2] = {now.st_atim, now.st_mtim};
        ::futimens(outFd, times);
        bool placed = false;
        if (unnamed.fd >= 0) {
            // Never replaces: a name that appeared meanwhile fails with EEXIST and is asked about.
            char self[48];
            std::snprintf(self, sizeof self, "/proc/self/fd/%d", unnamed.fd);
            placed = ::linkat(AT_FDCWD, self, toDir, baseName(t.to).c_str(), AT_SYMLINK_FOLLOW) == 0;
            err = errno;
            if (!placed && err == ENOENT) unnamedWorks_ = false;  // no /proc: temporaries from now on
        } else {
            placed = out.commit(false);
            err = out.error();
        }
        if (placed) {
            progress_->fileDone();
            return Attempt::Done;
        }
        t.failure = {t.to, "write", err, {}};
    }
    // `out` goes with the return, and with it the temporary.
    progress_->addBytes(0 - copied);
    return Attempt::Failed;
}

TransferJob::Status TransferJob::copyFile(const std::string& src, const std::string& dst,
                                          const struct stat& st, bool removeSource) {
    bool exists = false;
    struct stat dstSt {};
    Status s = resolveConflict(src, dst, st, exists, dstSt);
    if (s != Status::Done) return s;
    progress_->beginFile(src, static_cast<std::uint64_t>(st.st_size));
    FileTask t{src, dst, st, {}, {}};
    for (;;) {
        switch (copyFileOnce(t, removeSource, data_)) {
            case Attempt::Done:
                if (removeSource) removeLater(src, t.now, dst);
                return Status::Done;
            case Attempt::NotRegular:
                ask_->refuse(src, "It is no longer a regular file");
                return Status::Skipped;
            case Attempt::Cancelled: return Status::Cancelled;
            case Attempt::Failed: break;
        }
        const Step step = ask_->error(t.failure);
        if (step != Step::Retry) return statusOf(step);
    }
}

TransferJob::Status TransferJob::copyFreshFiles(std::vector<FileTask>& tasks, bool removeSource) {
    // One thread: files made side by side in one folder wait for each other on the folder's
    // lock, and measured slower than one after the other.
    std::vector<Attempt> results(tasks.size(), Attempt::Cancelled);
    if (!tasks.empty()) {
        // Both folders held open (not followed if a link took their place) for this loop only,
        // so a deep tree never holds two of them per level.
        const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        FdCloser from{::open(parentPath(tasks.front().from).c_str(), flags)};
        FdCloser to{::open(parentPath(tasks.front().to).c_str(), flags)};
        for (std::size_t i = 0; i < tasks.size() && !progress_->cancelled(); ++i) {
            progress_->beginFile(tasks[i].from);
            results[i] = copyFileOnce(tasks[i], removeSource, data_, from.fd, to.fd);
        }
    }
    bool complete = true;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        FileTask& t = tasks[i];
        if (ask_->cancelled()) return Status::Cancelled;
        if (results[i] == Attempt::Done) {
            if (removeSource) removeLater(t.from, t.now, t.to);
            continue;
        }
        if (t.st.st_ino == 0 && ::lstat(t.from.c_str(), &t.st) != 0) {  // listed by name only
            if (errno == ENOENT) continue;                              // gone since the folder was read
            ask_->refuse(t.from, OpError{t.from, "read", errno, {}}.reason());
            complete = false;
            continue;
        }
        const Status s = t.st.st_mode && !S_ISREG(t.st.st_mode) ? copyItem(t.from, t.to, t.st, removeSource)
                                                                : copyFile(t.from, t.to, t.st, removeSource);
        if (s == Status::Cancelled) return s;
        if (s == Status::Skipped) complete = false;
    }
    return complete ? Status::Done : Status::Skipped;
}

TransferJob::Status TransferJob::copySpecial(const std::string& src, const std::string& dst,
                                             const struct stat& st, bool removeSource) {
    if (S_ISSOCK(st.st_mode)) {
        ask_->note("Socket left out: " + src);
        return Status::Skipped;
    }
    bool exists = false;
    struct stat dstSt {};
    Status s = resolveConflict(src, dst, st, exists, dstSt);
    if (s != Status::Done) return s;
    progress_->beginFile(src);
    for (;;) {
        const std::string temp = temporaryBeside(dst);
        int rc = 0;
        if (S_ISLNK(st.st_mode)) {
            std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
            const ssize_t n = ::readlink(src.c_str(), target.data(), target.size());
            if (n < 0) {
                const Step step = ask_->error({src, "read link", errno, {}});
                if (step != Step::Retry) return statusOf(step);
                continue;
            }
            target.resize(static_cast<std::size_t>(n));
            rc = ::symlink(target.c_str(), temp.c_str());
        } else if (S_ISFIFO(st.st_mode)) {
            rc = ::mkfifo(temp.c_str(), st.st_mode & 07777);
        } else {
            rc = ::mknod(temp.c_str(), st.st_mode, st.st_rdev);
            if (rc != 0 && errno == EPERM) {
                ask_->note("Device left out (no right to make one): " + src);
                return Status::Skipped;
            }
        }
        if (rc == 0) {
            if (!S_ISLNK(st.st_mode)) ::chmod(temp.c_str(), st.st_mode & 07777);
            keepTimes(temp, st);
            if (::rename(temp.c_str(), dst.c_str()) == 0) {
                progress_->fileDone();
                if (removeSource) removeLater(src, st, dst);
                return Status::Done;
            }
            rc = errno;
            ::unlink(temp.c_str());
            errno = rc;
        }
        const Step step = ask_->error({dst, "create", errno, {}});
        if (step != Step::Retry) return statusOf(step);
    }
}

void TransferJob::removeLater(const std::string& src, const struct stat& st, const std::string& dst) {
    pending_.push_back({src, S_ISDIR(st.st_mode)});
    if (S_ISREG(st.st_mode)) pendingBytes_ += static_cast<std::uint64_t>(st.st_size);
    struct stat target {};
    const std::string folder = S_ISDIR(st.st_mode) ? dst : parentPath(dst);
    if (::stat(folder.c_str(), &target) == 0) targetFolders_.try_emplace(target.st_dev, folder);
    // Folders wait for their contents; a batch of files is made durable and removed as it grows.
    if (!S_ISDIR(st.st_mode) && (pending_.size() >= kPendingEntries || pendingBytes_ >= kPendingBytes))
        flushAndRemoveSources();
}

TransferJob::Status TransferJob::flushAndRemoveSources() {
    if (pending_.empty()) return Status::Done;
    std::vector<Pending> pending;
    pending.swap(pending_);
    pendingBytes_ = 0;
    // The copies reach the disk, on every file system they went to, before any source goes: a
    // power loss in between leaves both, never neither.
    for (const auto& [dev, folder] : targetFolders_) {
        FdCloser dir{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        if (dir.fd < 0 || calls_.syncFileSystem(dir.fd) != 0) {
            const std::string why = std::string("kept: its copy could not be written to disk: ") +
                                    OpError{folder, "flush", errno, {}}.reason();
            for (const Pending& p : pending) ask_->refuse(p.path, why);
            return Status::Skipped;
        }
    }
    targetFolders_.clear();
    bool complete = true;
    for (const Pending& p : pending) {
        // Never asked after a cancel: what was moved completely still leaves its source.
        for (;;) {
            const int rc = p.folder ? calls_.removeFolder(p.path) : calls_.unlinkFile(p.path);
            if (rc == 0 || errno == ENOENT) break;
            const OpError e{p.path, "remove", errno, {}};
            if (p.folder && e.error == ENOTEMPTY && !complete) break;  // what stayed in it was reported
            if (ask_->cancelled()) {
                ask_->refuse(p.path, e.reason());
                complete = false;
                break;
            }
            const Step step = ask_->error(e);
            if (step == Step::Retry) continue;
            complete = false;
            break;
        }
    }
    return complete ? Status::Done : Status::Skipped;
}

TransferJob::Status TransferJob::moveItem(const std::string& src, const std::string& dst,
                                          const struct stat& st) {
    if (ask_->cancelled()) return Status::Cancelled;
    progress_->beginFile(src);
    struct stat dstSt {};
    const bool exists = ::lstat(dst.c_str(), &dstSt) == 0;
    if (exists && S_ISDIR(st.st_mode) && S_ISDIR(dstSt.st_mode)) {
        // Folder onto folder: the contents are merged, each clash asked about.
        removeLeftoverTemporaries(dst, request_.leftoverAge);
        std::vector<std::string> names;
        const Step listed = ask_->until([&](OpError& e) { return readFolder(src, names, e); });
        if (listed != Step::Go) return statusOf(listed);
        bool complete = true;
        for (const auto& n : names) {
            const std::string from = joinPath(src, n);
            struct stat child {};
            if (::lstat(from.c_str(), &child) != 0) continue;
            const Status s = moveItem(from, joinPath(dst, n), child);
            if (s == Status::Cancelled) return s;
            if (s == Status::Skipped) complete = false;
        }
        if (complete) {
            // A folder a stopped move made (private, as every folder is while it fills) gets its
            // source's mode now that its contents are all in.
            keepFolderAttributes(dst, st);
            // After the contents, which a copy across file systems may still hold in it.
            pending_.push_back({src, true});
        }
        progress_->fileDone();
        return complete ? Status::Done : Status::Skipped;
    }
    if (exists) {
        bool e = false;
        const Status s = resolveConflict(src, dst, st, e, dstSt);
        if (s != Status::Done) return s;
        // rename(2) replaces a file in one step, but not a file by a folder.
        if (S_ISDIR(st.st_mode) && !S_ISDIR(dstSt.st_mode) && ::unlink(dst.c_str()) != 0) {
            ask_->refuse(src, OpError{dst, "replace", errno, {}}.reason());
            return Status::Skipped;
        }
    }
    for (;;) {
        if (::rename(src.c_str(), dst.c_str()) == 0) {
            progress_->fileDone();
            return Status::Done;
        }
        if (errno == EXDEV) {
            if (!S_ISDIR(st.st_mode)) progress_->addTotals(0, S_ISREG(st.st_mode) ? st.st_size : 0);
            // The conflict was settled above; the copy replaces the target.
            const bool keep = request_.noConfirm;
            request_.noConfirm = true;
            const Status s = copyItem(src, dst, st, true);
            request_.noConfirm = keep;
            return s;
        }
        const Step step = ask_->error({src, "move", errno, {}});
        if (step != Step::Retry) return statusOf(step);
    }
}

}  // namespace kv::fileops
