#pragma once
// Copies the bytes of one open regular file into another: copy_file_range where the kernel
// can (in-kernel, reflinks on file systems that have them), read/write where it cannot.
// Checks the cancel flag between blocks and reports each block to the progress.
#include <sys/types.h>

#include <cstdint>
#include <vector>

#include "fileops/engine/fs_calls.h"
#include "fileops/engine/progress.h"

namespace kv::fileops {

enum class DataStatus { Copied, Cancelled, Failed };

class DataCopier {
public:
    explicit DataCopier(FsCalls& calls = FsCalls::system()) : calls_(&calls) {}
    // Copies `size` bytes (the source's size when it was opened). A file that ends early
    // still answers Copied, with `copied` below size: the caller compares the two.
    DataStatus copy(int in, int out, std::uint64_t size, Progress& progress, std::uint64_t& copied,
                    int& error);

private:
    DataStatus readWrite(int in, int out, std::uint64_t size, Progress& progress, std::uint64_t& copied,
                         int& error);
    FsCalls* calls_;
    std::vector<char> buffer_;
    bool kernelCopyWorks_ = true;  // cleared once the kernel refused between these file systems
};

}  // namespace kv::fileops
