#pragma once
// A long file operation: run() works through its list on the calling thread (a worker,
// see job_thread.h), publishes progress and asks the Decider on every conflict or error.
// Cancelling is its own outcome, never a failure.
#include <string>
#include <vector>

#include "fileops/engine/decider.h"
#include "fileops/engine/progress.h"

namespace kv::fileops {

enum class Outcome { Done, Failed, Cancelled };

struct Failure {
    std::string path;
    std::string reason;
};

struct JobResult {
    Outcome outcome = Outcome::Done;
    std::vector<Failure> failures;   // what was not done, and why
    std::vector<std::string> notes;  // what was left out on purpose (sockets, devices)
};

class Job {
public:
    virtual ~Job() = default;
    virtual JobResult run(Decider& decider, Progress& progress) = 0;
};

// For Asker::until: true when a call answered rc 0, else the error is filled from errno.
bool succeeded(int rc, OpError& e, const std::string& path, const char* action);

// Keeps the "all" answers of one job and turns answers into what the job does next.
class Asker {
public:
    Asker(Decider& d, Progress& p, JobResult& r) : decider_(d), progress_(p), result_(r) {}

    enum class Step { Go, Skip, Retry, Cancel };
    // Go means overwrite.
    Step conflict(const Conflict& c, bool noConfirm);
    // Retry, Skip (recorded as a failure) or Cancel.
    Step error(const OpError& e);
    // The retry loop of every step: runs `attempt` (which fills the OpError when it fails)
    // until it succeeds (Go) or the user skips (recorded as a failure) or cancels.
    template <class Attempt>
    Step until(Attempt attempt) {
        for (;;) {
            OpError e;
            if (attempt(e)) return Step::Go;
            const Step s = error(e);
            if (s != Step::Retry) return s;
        }
    }
    // A refusal that no retry can change: recorded as a failure, not asked.
    void refuse(const std::string& path, const std::string& why);
    void note(const std::string& text) { result_.notes.push_back(text); }
    bool cancelled() {
        if (progress_.cancelled()) cancelled_ = true;
        return cancelled_;
    }
    void setCancelled() { cancelled_ = true; }
    void finish();  // sets the outcome

private:
    Decider& decider_;
    Progress& progress_;
    JobResult& result_;
    bool overwriteAll_ = false, skipAllConflicts_ = false, skipAllErrors_ = false, cancelled_ = false;
};

}  // namespace kv::fileops
