#include "fileops/engine/transfer_job.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "fileops/engine/paths.h"
#include "platform/atomic_file.h"

namespace kv::fileops {

namespace {

using Step = Asker::Step;

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

// The names in a folder, without "." and "..".
bool listNames(const std::string& dir, std::vector<std::string>& names, int& err) {
    DirHandle d(::opendir(dir.c_str()));
    if (!d) {
        err = errno;
        return false;
    }
    names.clear();
    errno = 0;
    while (dirent* e = ::readdir(d.get())) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        names.emplace_back(n);
    }
    if (errno != 0) {
        err = errno;
        return false;
    }
    return true;
}

void keepTimes(const std::string& path, const struct stat& st) {
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
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
        while (::mkdir(target.c_str(), 0777) != 0 && errno != EEXIST) {
            const Step s = ask.error({target, "make folder", errno, {}});
            if (s != Step::Retry) {
                if (s == Step::Skip)
                    for (const auto& src : sources) ask.refuse(src, "not copied: no target folder");
                ask.finish();
                return result;
            }
        }
    }

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
        while (::unlink(dst.c_str()) != 0 && errno != ENOENT) {
            const Step step = ask_->error({dst, "replace", errno, {}});
            if (step == Step::Skip) return Status::Skipped;
            if (step == Step::Cancel) return Status::Cancelled;
        }
    }
    if (!exists || !S_ISDIR(dstSt.st_mode)) {
        // Owner-only until its contents are in; the source's mode comes last.
        while (::mkdir(dst.c_str(), 0700) != 0) {
            const Step step = ask_->error({dst, "make folder", errno, {}});
            if (step == Step::Skip) return Status::Skipped;
            if (step == Step::Cancel) return Status::Cancelled;
        }
    }
    progress_->beginFile(src);
    std::vector<std::string> names;
    int err = 0;
    while (!listNames(src, names, err)) {
        const Step step = ask_->error({src, "read folder", err, {}});
        if (step == Step::Skip) return Status::Skipped;
        if (step == Step::Cancel) return Status::Cancelled;
    }
    bool complete = true;
    for (const auto& n : names) {
        if (ask_->cancelled()) return Status::Cancelled;
        const std::string from = joinPath(src, n), to = joinPath(dst, n);
        struct stat child {};
        if (::lstat(from.c_str(), &child) != 0) {
            if (errno == ENOENT) continue;  // gone since the folder was read
            ask_->refuse(from, OpError{from, "read", errno, {}}.reason());
            complete = false;
            continue;
        }
        if (request_.move && removeSource)
            progress_->addTotals(S_ISDIR(child.st_mode) ? 0 : 1, S_ISREG(child.st_mode) ? child.st_size : 0);
        const Status s = copyItem(from, to, child, removeSource);
        if (s == Status::Cancelled) return s;
        if (s == Status::Skipped) complete = false;
    }
    ::chmod(dst.c_str(), st.st_mode & 07777);
    keepTimes(dst, st);
    if (removeSource && complete) {
        if (::rmdir(src.c_str()) != 0 && errno != ENOENT)
            ask_->refuse(src, OpError{src, "remove", errno, {}}.reason());
    }
    return complete ? Status::Done : Status::Skipped;
}

TransferJob::Status TransferJob::copyFile(const std::string& src, const std::string& dst,
                                          const struct stat& st, bool removeSource) {
    bool exists = false;
    struct stat dstSt {};
    Status s = resolveConflict(src, dst, st, exists, dstSt);
    if (s != Status::Done) return s;
    progress_->beginFile(src);
    for (;;) {
        OpError failure;
        std::uint64_t copied = 0;
        {
            // O_NONBLOCK: a fifo put in the file's place since it was listed must not hang us;
            // for a regular file the flag changes nothing.
            FdCloser in{::open(src.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
            struct stat now {};
            platform::AtomicFile out;
            if (in.fd < 0) {
                failure = {src, "open", errno, {}};
            } else if (::fstat(in.fd, &now) != 0 || !S_ISREG(now.st_mode)) {
                ask_->refuse(src, "It is no longer a regular file");
                return Status::Skipped;
            } else if (!out.begin(AT_FDCWD, dst, 0600)) {
                failure = {dst, "create", out.error(), {}};
            } else {
                int err = 0;
                const auto size = static_cast<std::uint64_t>(now.st_size);
                const DataStatus ds = data_.copy(in.fd, out.fd(), size, *progress_, copied, err);
                if (ds == DataStatus::Cancelled) {
                    out.abandon();
                    progress_->addBytes(0 - copied);
                    return Status::Cancelled;
                }
                if (ds == DataStatus::Failed) {
                    failure = {dst, "write", err, {}};
                } else if (removeSource && copied != size) {
                    // A move deletes the source only when all of it arrived.
                    failure = {src, "move", 0, "The file changed its size while it was copied"};
                } else {
                    ::fchmod(out.fd(), now.st_mode & 07777);
                    const timespec times[2] = {now.st_atim, now.st_mtim};
                    ::futimens(out.fd(), times);
                    if (out.commit(false)) {
                        progress_->fileDone();
                        return removeSource ? removeSourceFile(src) : Status::Done;
                    }
                    failure = {dst, "write", out.error(), {}};
                }
            }
            // `out` goes here, and with it the temporary.
        }
        progress_->addBytes(0 - copied);
        const Step step = ask_->error(failure);
        if (step == Step::Skip) return Status::Skipped;
        if (step == Step::Cancel) return Status::Cancelled;
    }
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
                if (step == Step::Skip) return Status::Skipped;
                if (step == Step::Cancel) return Status::Cancelled;
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
                return removeSource ? removeSourceFile(src) : Status::Done;
            }
            rc = errno;
            ::unlink(temp.c_str());
            errno = rc;
        }
        const Step step = ask_->error({dst, "create", errno, {}});
        if (step == Step::Skip) return Status::Skipped;
        if (step == Step::Cancel) return Status::Cancelled;
    }
}

TransferJob::Status TransferJob::removeSourceFile(const std::string& src) {
    while (::unlink(src.c_str()) != 0 && errno != ENOENT) {
        const Step step = ask_->error({src, "remove", errno, {}});
        if (step == Step::Skip) return Status::Skipped;
        if (step == Step::Cancel) return Status::Cancelled;
    }
    return Status::Done;
}

TransferJob::Status TransferJob::moveItem(const std::string& src, const std::string& dst,
                                          const struct stat& st) {
    if (ask_->cancelled()) return Status::Cancelled;
    progress_->beginFile(src);
    struct stat dstSt {};
    const bool exists = ::lstat(dst.c_str(), &dstSt) == 0;
    if (exists && S_ISDIR(st.st_mode) && S_ISDIR(dstSt.st_mode)) {
        // Folder onto folder: the contents are merged, each clash asked about.
        std::vector<std::string> names;
        int err = 0;
        while (!listNames(src, names, err)) {
            const Step step = ask_->error({src, "read folder", err, {}});
            if (step == Step::Skip) return Status::Skipped;
            if (step == Step::Cancel) return Status::Cancelled;
        }
        bool complete = true;
        for (const auto& n : names) {
            const std::string from = joinPath(src, n);
            struct stat child {};
            if (::lstat(from.c_str(), &child) != 0) continue;
            const Status s = moveItem(from, joinPath(dst, n), child);
            if (s == Status::Cancelled) return s;
            if (s == Status::Skipped) complete = false;
        }
        if (complete && ::rmdir(src.c_str()) != 0)
            ask_->refuse(src, OpError{src, "remove", errno, {}}.reason());
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
        if (step == Step::Skip) return Status::Skipped;
        if (step == Step::Cancel) return Status::Cancelled;
    }
}

}  // namespace kv::fileops
