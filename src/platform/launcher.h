#pragma once
// Starting programs and opening files, detached from kv: the child is reparented to
// init at once, so it never becomes a zombie and outlives kv.
#include <cstdint>
#include <string>
#include <vector>

namespace kv::platform {

struct LaunchResult {
    bool ok = false;
    int error = 0;        // errno of the failed step when !ok
    std::string message;  // "<program>: <strerror>" when !ok
};

// Runs argv[0] (looked up in PATH when it has no "/") with the arguments, in `workDir`
// (the current folder when empty). Waits only until the program has been executed, so
// "not found" and "permission denied" come back as errors.
LaunchResult runDetached(const std::vector<std::string>& argv, const std::string& workDir);

// Opens a file the way the desktop would: a regular file with an execute bit runs
// itself (with `params` split at blanks), anything else goes to xdg-open.
// `show` is kept for callers that pass the old show-window value; it has no effect.
LaunchResult ExecuteFile(const std::string& file, const std::string& params, const std::string& workDir,
                         int show = 5);

// Size in bytes of the file at `path` (links followed), or -1 when there is none.
std::int64_t GetFileSize(const std::string& path);

}  // namespace kv::platform
