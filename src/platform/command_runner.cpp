#include "platform/command_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/shell_command.h"

namespace kv::platform {

namespace {

LaunchResult failed(const std::string& what, int err) {
    return {false, err, what + ": " + std::strerror(err)};
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

int exitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// Where the kernel has pidfds, the exit wakes the worker at once; elsewhere it looks
// every 100 ms.
int openPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    if (fd >= 0) {
        ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
        return static_cast<int>(fd);
    }
#endif
    (void)pid;
    return -1;
}

// One argument may hold at most 128 KiB (MAX_ARG_STRLEN); a longer command line reaches the
// shell as a script in memory on descriptor 3, which the script's first line closes so no
// program it starts inherits it.
constexpr std::size_t kLongestArgument = 64 * 1024;

int scriptInMemory(const std::string& command) {
    const int fd = ::memfd_create("kv-command", MFD_CLOEXEC);
    if (fd < 0) return -1;
    const std::string script = "exec 3<&-\n" + command + "\n";
    std::size_t done = 0;
    while (done < script.size()) {
        const ssize_t n = ::write(fd, script.data() + done, script.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

}  // namespace

CommandRunner::~CommandRunner() { stop(); }

LaunchResult CommandRunner::start(const std::string& command, const std::string& workDir, Events events) {
    stop();
    events_ = std::move(events);
    exited_ = false;
    finished_ = false;
    exitCode_ = -1;
    {
        std::lock_guard lock(m_);
        buffer_.clear();
        skipped_ = 0;
        announced_ = false;
    }

    // Everything the child needs is made before fork: it may only make async-signal-safe calls.
    int script = -1;
    if (command.size() > kLongestArgument) {
        script = scriptInMemory(command);
        if (script < 0) return failed("sh", errno);
    }
    const std::vector<std::string> args = shellArgv(script < 0 ? command : std::string(". /dev/fd/3"));
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        const int e = errno;
        for (int* fd : {&out[0], &out[1], &err[0], &err[1], &script}) closeFd(*fd);
        return failed("sh", e);
    }
    // Above the descriptors the child sets up, so none of them overwrites it.
    if (const int high = ::fcntl(err[1], F_DUPFD_CLOEXEC, 10); high >= 0) {
        ::close(err[1]);
        err[1] = high;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int e = errno;
        for (int* fd : {&out[0], &out[1], &err[0], &err[1], &script}) closeFd(*fd);
        return failed("sh", e);
    }
    if (pid == 0) {
        ::setsid();
        // Signals as a fresh program expects them, whatever kv blocked or ignored.
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        for (int s : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD}) ::sigaction(s, &dfl, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0) ::dup2(devNull, 0);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        if (script >= 0) {
            if (script == 3)
                ::fcntl(3, F_SETFD, 0);
            else
                ::dup2(script, 3);
        }
        // Nothing of kv's beyond the three standard descriptors (and the script); the
        // error pipe is close-on-exec already and still reports a failed start.
        ::close_range(script >= 0 ? 4 : 3, ~0U, CLOSE_RANGE_CLOEXEC);
        int e = 0;
        if (!workDir.empty() && ::chdir(workDir.c_str()) != 0) {
            e = errno;
        } else {
            ::execv("/bin/sh", const_cast<char* const*>(argv.data()));
            e = errno;
        }
        (void)!::write(err[1], &e, sizeof e);
        ::_exit(127);
    }
    closeFd(out[1]);
    closeFd(err[1]);
    closeFd(script);
    int childErr = 0;
    ssize_t n;
    do {
        n = ::read(err[0], &childErr, sizeof childErr);
    } while (n < 0 && errno == EINTR);
    closeFd(err[0]);
    if (n == static_cast<ssize_t>(sizeof childErr) && childErr != 0) {
        closeFd(out[0]);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        return failed(workDir.empty() || childErr != ENOENT ? std::string("sh") : workDir, childErr);
    }
    ::fcntl(out[0], F_SETFL, ::fcntl(out[0], F_GETFL) | O_NONBLOCK);
    const int pidFd = openPidFd(pid);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    worker_ = std::thread(
        [this, pipeFd = out[0], pidFd, stopFd = stopFd_, pid] { readLoop(pipeFd, pidFd, stopFd, pid); });
    return {true, 0, {}};
}

void CommandRunner::append(const char* data, std::size_t n) {
    bool announce = false;
    {
        std::lock_guard lock(m_);
        buffer_.append(data, n);
        // Dropped in large steps, so a flood costs no copy per read.
        if (buffer_.size() > 2 * kBufferLimit) {
            const std::size_t drop = buffer_.size() - kBufferLimit;
            buffer_.erase(0, drop);
            skipped_ += drop;
        }
        if (!announced_) announce = announced_ = true;
    }
    if (announce && events_.onOutput) events_.onOutput();
}

void CommandRunner::readLoop(int pipeFd, int pidFd, int stopFd, int pid) {
    std::vector<char> chunk(64 * 1024);
    bool pipeOpen = true;
    bool exited = false;
    // Reads what the pipe holds now; false once it is closed.
    auto drain = [&] {
        for (;;) {
            const ssize_t r = ::read(pipeFd, chunk.data(), chunk.size());
            if (r > 0) {
                append(chunk.data(), static_cast<std::size_t>(r));
                continue;
            }
            if (r < 0 && errno == EINTR) continue;
            return r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
    };
    while (pipeOpen || !exited) {
        pollfd fds[3] = {
            {pipeOpen ? pipeFd : -1, POLLIN, 0}, {stopFd, POLLIN, 0}, {exited ? -1 : pidFd, POLLIN, 0}};
        const int timeout = !exited && pidFd < 0 ? 100 : -1;
        const int n = ::poll(fds, 3, timeout);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents) break;
        if (pipeOpen && fds[0].revents) pipeOpen = drain();
        if (!exited && (pidFd < 0 || fds[2].revents)) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                // What the shell printed before it ended is announced before its end.
                if (pipeOpen) pipeOpen = drain();
                exited = true;
                exitCode_ = exitCodeOf(status);
                exited_ = true;
                if (events_.onExit) events_.onExit(exitCode_);
            }
        }
    }
    ::close(pipeFd);
    if (pidFd >= 0) ::close(pidFd);
    finished_ = true;
}

std::string CommandRunner::take(std::uint64_t* skipped) {
    std::lock_guard lock(m_);
    std::string out;
    out.swap(buffer_);
    if (skipped) *skipped = skipped_;
    skipped_ = 0;
    announced_ = false;
    return out;
}

bool CommandRunner::waitExit(int ms) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!exited_) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void CommandRunner::stop() {
    if (worker_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t w = ::write(stopFd_, &one, sizeof one);
        worker_.join();
    }
    closeFd(stopFd_);
    finished_ = true;
}

}  // namespace kv::platform
