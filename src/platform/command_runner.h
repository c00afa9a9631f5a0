#pragma once
// Runs a typed command line through /bin/sh (shellArgv) in a folder and collects what it prints.
// The command gets its own session (no terminal, no signals of kv's), /dev/null as input
// and nothing of kv's open descriptors; its standard output and error share one pipe, so
// messages keep their order. A worker thread reads the pipe and notices the exit; only
// the last kBufferLimit bytes not yet taken are kept, so a command that prints without
// end costs bounded memory however slowly the taker takes.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/launcher.h"

namespace kv::platform {

class CommandRunner {
public:
    static constexpr std::size_t kBufferLimit = 1 << 20;

    struct Events {
        // New output is waiting; raised once until take() empties the buffer.
        std::function<void()> onOutput;
        // The shell has ended: its exit code, or 128 + the signal that ended it. Output
        // read before the exit has been announced by then; a program the command left
        // running in the background may still print after it.
        std::function<void(int exitCode)> onExit;
    };

    CommandRunner() = default;
    ~CommandRunner();  // stops reading; the command itself keeps running
    CommandRunner(const CommandRunner&) = delete;
    CommandRunner& operator=(const CommandRunner&) = delete;

    // Starts `sh -c -- command` in workDir. The events run on the worker thread.
    LaunchResult start(const std::string& command, const std::string& workDir, Events events);

    // The output gathered since the last take; `skipped` (when given) gets the number of
    // older bytes that were dropped to stay within the limit.
    std::string take(std::uint64_t* skipped = nullptr);

    // True until the shell has exited and the pipe is closed (or stop was called).
    bool running() const { return !finished_.load(); }
    bool exited() const { return exited_.load(); }
    int exitCode() const { return exitCode_.load(); }
    // Waits until the shell has exited, at most `ms` milliseconds; true when it has.
    bool waitExit(int ms) const;

    // Stops the worker; returns at once even when the command runs on.
    void stop();

private:
    void readLoop(int pipeFd, int pidFd, int stopFd, int pid);
    void append(const char* data, std::size_t n);

    Events events_;
    std::thread worker_;
    int stopFd_ = -1;
    mutable std::mutex m_;
    std::string buffer_;
    std::uint64_t skipped_ = 0;
    bool announced_ = false;
    std::atomic<bool> exited_{false};
    std::atomic<bool> finished_{true};
    std::atomic<int> exitCode_{-1};
};

}  // namespace kv::platform
