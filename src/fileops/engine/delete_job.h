#pragma once
// Delete for good (folders with their contents, links as links) or into the Trash.
// Between files the cancel flag is checked; every refusal goes to the Decider.
#include <string>
#include <vector>

#include "fileops/engine/job.h"
#include "fileops/engine/trash.h"

struct stat;

namespace kv::fileops {

struct DeleteRequest {
    std::vector<std::string> sources;
    bool toTrash = false;
};

class DeleteJob : public Job {
public:
    explicit DeleteJob(DeleteRequest r, Trash trash = Trash())
        : request_(std::move(r)), trash_(std::move(trash)) {}
    JobResult run(Decider& decider, Progress& progress) override;

    enum class Status { Done, Skipped, Cancelled };

private:
    Status remove(const std::string& path, const struct stat& st);
    Status putInTrash(const std::string& path);

    DeleteRequest request_;
    Trash trash_;
    Asker* ask_ = nullptr;
    Progress* progress_ = nullptr;
};

}  // namespace kv::fileops
