#include "fileops/engine/batch_job.h"

namespace kv::fileops {

JobResult InlineHost::runJob(Job& job) {
    JobResult r = job.run(decider_, progress_);
    if (r.outcome == Outcome::Cancelled) cancelled_ = true;
    if (r.outcome == Outcome::Failed) failed_ = true;
    total_.failures.insert(total_.failures.end(), r.failures.begin(), r.failures.end());
    total_.notes.insert(total_.notes.end(), r.notes.begin(), r.notes.end());
    return r;
}

JobResult InlineHost::total() const {
    JobResult r = total_;
    if (cancelled_ || progress_.cancelled())
        r.outcome = Outcome::Cancelled;
    else if (failed_ || !r.failures.empty())
        r.outcome = Outcome::Failed;
    return r;
}

JobResult BatchJob::run(Decider& decider, Progress& progress) {
    InlineHost host(decider, progress);
    if (body_) body_(host);
    return host.total();
}

}  // namespace kv::fileops
