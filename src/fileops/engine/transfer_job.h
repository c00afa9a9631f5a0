#pragma once
// Copy and move of files and folders.
//
// Copy: folders recursively (merged into a folder of the same name), each regular file
// written to a temporary beside its target and renamed into place only when complete, mode
// and times kept; links copied as links; fifos and devices recreated, never opened;
// sockets (and devices without the right to make them) left out with a note.
// Move: rename(2) on the same file system; across file systems the copy above, the sizes
// compared, and only then the source removed, file by file.
// Refused with a failure: a folder into itself or its own subtree, a file onto itself.
#include <string>
#include <vector>

#include "fileops/engine/file_data.h"
#include "fileops/engine/job.h"

struct stat;

namespace kv::fileops {

struct TransferRequest {
    std::vector<std::string> sources;
    // An existing folder receives the sources under their names. Otherwise one source takes
    // this name; several sources get it made as their folder.
    std::string target;
    bool move = false;
    bool noConfirm = false;          // overwrite without asking
    bool renameOnCollision = false;  // "Copy of x" instead of asking
};

class TransferJob : public Job {
public:
    explicit TransferJob(TransferRequest r) : request_(std::move(r)) {}
    JobResult run(Decider& decider, Progress& progress) override;

private:
    enum class Status { Done, Skipped, Cancelled };
    Status transfer(const std::string& src, std::string dst, const struct stat& st, bool top);
    Status copyItem(const std::string& src, const std::string& dst, const struct stat& st, bool removeSource);
    Status copyFolder(const std::string& src, const std::string& dst, const struct stat& st,
                      bool removeSource);
    Status copyFile(const std::string& src, const std::string& dst, const struct stat& st, bool removeSource);
    Status copySpecial(const std::string& src, const std::string& dst, const struct stat& st,
                       bool removeSource);
    Status moveItem(const std::string& src, const std::string& dst, const struct stat& st);
    // Asks about an existing target; Done means go on (replace it).
    Status resolveConflict(const std::string& src, const std::string& dst, const struct stat& st,
                           bool& exists, struct stat& dstSt);
    Status removeSourceFile(const std::string& src);
    void count(const std::string& path, const struct stat& st);

    TransferRequest request_;
    Asker* ask_ = nullptr;
    Progress* progress_ = nullptr;
    DataCopier data_;
};

}  // namespace kv::fileops
