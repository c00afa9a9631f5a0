#include "platform/launcher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string_view>

namespace kv::platform {

namespace {

// The PATH search happens before fork: the child may only make async-signal-safe calls.
std::string resolve(const std::string& prog) {
    if (prog.find('/') != std::string::npos) return prog;
    const char* env = std::getenv("PATH");
    const std::string_view path =
        env ? std::string_view(env) : std::string_view("/usr/local/bin:/usr/bin:/bin");
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = path.find(':', start);
        const std::string_view dir =
            path.substr(start, colon == std::string_view::npos ? path.npos : colon - start);
        std::string cand(dir.empty() ? std::string_view(".") : dir);
        cand += '/';
        cand += prog;
        struct stat st;
        if (::access(cand.c_str(), X_OK) == 0 && ::stat(cand.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            return cand;
        if (colon == std::string_view::npos) break;
        start = colon + 1;
    }
    return {};
}

LaunchResult fail(const std::string& what, int err) { return {false, err, what + ": " + std::strerror(err)}; }

}  // namespace

LaunchResult runDetached(const std::vector<std::string>& argv, const std::string& workDir) {
    if (argv.empty() || argv[0].empty()) return fail("(empty command)", ENOENT);
    const std::string exe = resolve(argv[0]);
    if (exe.empty()) return fail(argv[0], ENOENT);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0) return fail(argv[0], errno);
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int e = errno;
        ::close(pipefd[0]);
        ::close(pipefd[1]);
        return fail(argv[0], e);
    }
    if (pid == 0) {
        // First child: a new session, then a grandchild that runs the program; the
        // first child exits at once, so the grandchild belongs to init.
        ::close(pipefd[0]);
        ::setsid();
        const pid_t g = ::fork();
        if (g < 0) {
            const int e = errno;
            (void)!::write(pipefd[1], &e, sizeof e);
            ::_exit(1);
        }
        if (g > 0) ::_exit(0);
        // Descriptors kv holds (sockets, pipes, watches) are not the program's business;
        // the error pipe is close-on-exec already, so it still reports a failed exec.
        ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
        int e = 0;
        if (!workDir.empty() && ::chdir(workDir.c_str()) != 0) {
            e = errno;
        } else {
            ::execv(exe.c_str(), args.data());
            e = errno;
        }
        (void)!::write(pipefd[1], &e, sizeof e);
        ::_exit(127);
    }
    ::close(pipefd[1]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    // The pipe closes on a successful exec (O_CLOEXEC) and carries errno otherwise.
    int childErr = 0;
    ssize_t n;
    do {
        n = ::read(pipefd[0], &childErr, sizeof childErr);
    } while (n < 0 && errno == EINTR);
    ::close(pipefd[0]);
    if (n == static_cast<ssize_t>(sizeof childErr) && childErr != 0) {
        if (childErr == ENOENT && !workDir.empty() && ::access(workDir.c_str(), F_OK) != 0)
            return fail(workDir, childErr);
        return fail(argv[0], childErr);
    }
    return {true, 0, {}};
}

LaunchResult ExecuteFile(const std::string& file, const std::string& params, const std::string& workDir,
                         int /*show*/) {
    struct stat st;
    if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH))) {
        std::vector<std::string> argv{file};
        std::istringstream in(params);
        for (std::string w; in >> w;) argv.push_back(w);
        // A name without "/" would be searched in PATH; the file meant is the one given.
        if (argv[0].find('/') == std::string::npos) argv[0] = "./" + argv[0];
        return runDetached(argv, workDir);
    }
    std::vector<std::string> argv{"xdg-open", file};
    return runDetached(argv, workDir);
}

std::int64_t GetFileSize(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

}  // namespace kv::platform
