#pragma once
// Runs one job on a worker thread. The owner polls progress() and finished(), may cancel,
// and collects the result with wait().
#include <atomic>
#include <functional>
#include <thread>

#include "fileops/engine/job.h"

namespace kv::fileops {

class JobThread {
public:
    JobThread(Job& job, Decider& decider) : job_(job), decider_(decider) {}
    ~JobThread() {
        if (thread_.joinable()) {
            progress_.cancel();
            thread_.join();
        }
    }
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // Called on the worker once the job has ended (the owner's wake-up call).
    std::function<void()> onFinished;

    void start() {
        thread_ = std::thread([this] {
            result_ = job_.run(decider_, progress_);
            finished_ = true;
            if (onFinished) onFinished();
        });
    }
    bool finished() const { return finished_; }
    JobResult wait() {
        if (thread_.joinable()) thread_.join();
        return result_;
    }
    Progress& progress() { return progress_; }
    void cancel() { progress_.cancel(); }

private:
    Job& job_;
    Decider& decider_;
    Progress progress_;
    JobResult result_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

}  // namespace kv::fileops
