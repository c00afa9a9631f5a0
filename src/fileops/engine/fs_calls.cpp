#include "fileops/engine/fs_calls.h"

#include <unistd.h>

namespace kv::fileops {

ssize_t FsCalls::copyRange(int in, int out, std::size_t n) {
    return ::copy_file_range(in, nullptr, out, nullptr, n, 0);
}

ssize_t FsCalls::readSome(int fd, void* buffer, std::size_t n) { return ::read(fd, buffer, n); }

int FsCalls::syncFileSystem(int fd) { return ::syncfs(fd); }

int FsCalls::unlinkFile(const std::string& path) { return ::unlink(path.c_str()); }

int FsCalls::removeFolder(const std::string& path) { return ::rmdir(path.c_str()); }

FsCalls& FsCalls::system() {
    static FsCalls calls;
    return calls;
}

}  // namespace kv::fileops
