// The flush calls of flush_counter.h, defined here so that they stand in for the C
// library's in this program, and passed on to the next definition (the library's).
// The system headers that declare them are left out on purpose: their declarations carry
// attributes of the library's own.
#include <dlfcn.h>

#include <atomic>

#include "flush_counter.h"

namespace {

std::atomic<std::uint64_t> calls{0};

// Only a flush that was done counts (one refused for a descriptor it cannot flush is none).
int counted(int result) {
    if (result == 0) ++calls;
    return result;
}

template <class F>
F next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

std::uint64_t kvtest::flushCalls() { return calls.load(); }

extern "C" {

int fsync(int fd) {
    static const auto real = next<int (*)(int)>("fsync");
    return counted(real(fd));
}

int fdatasync(int fd) {
    static const auto real = next<int (*)(int)>("fdatasync");
    return counted(real(fd));
}

int syncfs(int fd) {
    static const auto real = next<int (*)(int)>("syncfs");
    return counted(real(fd));
}

int sync_file_range(int fd, long offset, long nbytes, unsigned int flags) {
    static const auto real = next<int (*)(int, long, long, unsigned int)>("sync_file_range");
    return counted(real(fd, offset, nbytes, flags));
}

void sync() {
    static const auto real = next<void (*)()>("sync");
    ++calls;
    real();
}

}  // extern "C"
