#pragma once
// The one question a file job asks: what to do about a conflict (the target exists) or an
// error (the system refused a step). The dialogs answer it on the GUI thread; tests answer
// it from a script. A job never asks from anywhere else.
#include <ctime>
#include <cstdint>
#include <string>

namespace kv::fileops {

enum class Decision { Overwrite, Skip, OverwriteAll, SkipAll, Retry, Cancel };

// What the conflict question shows of each side.
struct FileFacts {
    std::string path;
    bool isDir = false;
    std::int64_t size = 0;
    std::time_t modified = 0;
};

struct Conflict {
    FileFacts source, target;
};

// A step that failed: the file, what was being done ("copy", "delete", ...) and errno.
struct OpError {
    std::string path;
    std::string action;
    int error = 0;
    // The system's reason in words (strerror), or a text of our own for refusals.
    std::string reason() const;
    std::string message;  // set for refusals that have no errno
};

class Decider {
public:
    virtual ~Decider() = default;
    // Overwrite, Skip, OverwriteAll, SkipAll or Cancel.
    virtual Decision conflict(const Conflict& c) = 0;
    // Skip, SkipAll, Retry or Cancel (Overwrite answers count as Retry).
    virtual Decision error(const OpError& e) = 0;
};

}  // namespace kv::fileops
