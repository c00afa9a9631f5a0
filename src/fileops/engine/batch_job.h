#pragma once
// A whole command as one job: its body sends its requests (one ShellCopy per selected
// entry, say) to a host that runs each on the calling thread with the batch's own Decider
// and Progress. So the command can run on a worker, be queued and be sent to the background
// as one piece; a cancel stops the request running and every one after it.
#include <functional>

#include "fileops/engine/shell_ops.h"

namespace kv::fileops {

class BatchJob : public Job {
public:
    explicit BatchJob(std::function<void(FileOpHost&)> body) : body_(std::move(body)) {}
    JobResult run(Decider& decider, Progress& progress) override;

private:
    std::function<void(FileOpHost&)> body_;
};

// Runs a request's job at once on the calling thread and gathers what every job reported.
class InlineHost : public FileOpHost {
public:
    InlineHost(Decider& d, Progress& p) : decider_(d), progress_(p) {}
    JobResult runJob(Job& job) override;
    // Cancelled when any job was (or the user cancelled), else Failed when any failed.
    JobResult total() const;

private:
    Decider& decider_;
    Progress& progress_;
    JobResult total_;
    bool cancelled_ = false, failed_ = false;
};

}  // namespace kv::fileops
