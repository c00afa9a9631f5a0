#pragma once
// Copy and move of files and folders.
//
// Copy: folders recursively (merged into a folder of the same name), each regular file
// written unnamed (O_TMPFILE, in a folder the job made) or to a temporary beside its target,
// and named only when complete, mode and times kept; links copied as links; fifos and devices recreated, never opened;
// sockets (and devices without the right to make them) left out with a note.
// Move: rename(2) on the same file system; across file systems the copy above, the source's
// size and time compared after each file (a source that changed is kept and reported), the
// copies flushed (one syncfs per target file system, for a batch of files), and only then
// the sources removed, files before their folders. A folder gets its source's mode and times
// whenever its contents are complete, also when a move stopped earlier is run again.
// Refused with a failure: a folder into itself or its own subtree, a file onto itself.
#include <map>
#include <string>
#include <vector>

#include "fileops/engine/file_data.h"
#include "fileops/engine/fs_calls.h"
#include "fileops/engine/job.h"
#include "fileops/engine/leftovers.h"

#include <sys/stat.h>

namespace kv::fileops {

struct TransferRequest {
    std::vector<std::string> sources;
    // An existing folder receives the sources under their names. Otherwise one source takes
    // this name; several sources get it made as their folder.
    std::string target;
    bool move = false;
    bool noConfirm = false;          // overwrite without asking
    bool renameOnCollision = false;  // "Copy of x" instead of asking
    // A temporary beside a target that nobody writes and that has not changed for this long
    // was left by a killed job, and goes.
    std::chrono::seconds leftoverAge = kLeftoverAge;
};

class TransferJob : public Job {
public:
    explicit TransferJob(TransferRequest r, FsCalls& calls = FsCalls::system())
        : request_(std::move(r)), calls_(calls), data_(calls) {}
    JobResult run(Decider& decider, Progress& progress) override;

private:
    enum class Status { Done, Skipped, Cancelled };
    static Status statusOf(Asker::Step s);  // after a retry loop: Skip or Cancel
    Status transfer(const std::string& src, std::string dst, const struct stat& st, bool top);
    Status copyItem(const std::string& src, const std::string& dst, const struct stat& st, bool removeSource);
    Status copyFolder(const std::string& src, const std::string& dst, const struct stat& st,
                      bool removeSource);
    Status copyFile(const std::string& src, const std::string& dst, const struct stat& st, bool removeSource);
    // A regular file to copy, and what its copy found.
    struct FileTask {
        std::string from, to;
        struct stat st;   // as listed
        struct stat now;  // as opened
        OpError failure;
    };
    enum class Attempt { Done, Failed, NotRegular, Cancelled };
    // One try, asking nothing. With the folders open (fromDir, toDir), the file is reached by
    // its name in them: the kernel does not walk the whole path again for every call.
    Attempt copyFileOnce(FileTask& t, bool removeSource, DataCopier& data, int fromDir = -1, int toDir = -1);
    // The files of a folder the job has just made: each tried once without a look at the
    // target (nothing can be there); what failed goes the usual way, with its questions.
    Status copyFreshFiles(std::vector<FileTask>& tasks, bool removeSource);
    Status copySpecial(const std::string& src, const std::string& dst, const struct stat& st,
                       bool removeSource);
    Status moveItem(const std::string& src, const std::string& dst, const struct stat& st);
    // Asks about an existing target; Done means go on (replace it).
    Status resolveConflict(const std::string& src, const std::string& dst, const struct stat& st,
                           bool& exists, struct stat& dstSt);
    // A source whose copy is complete, to be removed once the copies are on disk.
    void removeLater(const std::string& src, const struct stat& st, const std::string& dst);
    Status flushAndRemoveSources();
    void count(const std::string& path, const struct stat& st);

    TransferRequest request_;
    FsCalls& calls_;
    Asker* ask_ = nullptr;
    Progress* progress_ = nullptr;
    DataCopier data_;
    struct Pending {
        std::string path;
        bool folder = false;
    };
    std::vector<Pending> pending_;  // in removal order: contents before folders
    std::uint64_t pendingBytes_ = 0;
    std::map<dev_t, std::string> targetFolders_;  // a folder on each file system copied to
    bool unnamedWorks_ = true;  // cleared once naming an unnamed file failed for want of /proc
};

}  // namespace kv::fileops
