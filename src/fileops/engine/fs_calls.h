#pragma once
// The system calls by which a transfer job moves data and removes its sources. The job makes
// them through this one object, so a test can put a recording stand-in in its place and see
// their order (the copies made durable before the first source goes), or change a source
// while it is read.
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace kv::fileops {

class FsCalls {
public:
    virtual ~FsCalls() = default;
    virtual ssize_t copyRange(int in, int out, std::size_t n);
    virtual ssize_t readSome(int fd, void* buffer, std::size_t n);
    // Flushes the whole file system that holds the open folder `fd`.
    virtual int syncFileSystem(int fd);
    virtual int unlinkFile(const std::string& path);
    virtual int removeFolder(const std::string& path);

    // The real calls.
    static FsCalls& system();
};

}  // namespace kv::fileops
