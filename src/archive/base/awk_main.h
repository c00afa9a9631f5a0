#pragma once
// Root of the archive component family: the cancel flag and the job stopwatch.
#include <atomic>
#include <chrono>
#include <functional>

namespace kv {

class TAwkMain {
public:
    virtual ~TAwkMain() = default;

    bool Cancel() const { return cancel_.load(std::memory_order_relaxed); }
    // Also lets pending user input run, so a cancel button works during a job.
    void setCancel(bool v) {
        cancel_.store(v, std::memory_order_relaxed);
        processMessages();
    }
    // Called at progress points; the GUI assigns its event pump here.
    std::function<void()> OnProcessMessages;
    void processMessages() {
        if (OnProcessMessages) OnProcessMessages();
    }

protected:
    void startStopwatch() { started_ = std::chrono::steady_clock::now(); }
    double elapsedSeconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    }

private:
    std::atomic<bool> cancel_{false};
    std::chrono::steady_clock::time_point started_{};
};

}  // namespace kv
