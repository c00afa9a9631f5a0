#pragma once
// FileWindow: a read-only file seen through a few cached blocks, read with pread where the
// view looks, never as a whole. pread rather than mmap: a file cut short by another program
// while it is shown gives a short read, not SIGBUS.
//   FileWindow f;
//   if (!f.open("/var/log/syslog", &error)) ...
//   std::span<const std::uint8_t> b = f.bytes(offset, 4096);  // valid until the next call
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kv::view {

class FileWindow {
public:
    static constexpr std::size_t kBlock = 64 * 1024;
    static constexpr std::size_t kBlocks = 8;          // what the cache keeps
    static constexpr std::size_t kMaxSpan = 4 << 20;   // the most one bytes() call returns

    FileWindow() = default;
    ~FileWindow();
    FileWindow(const FileWindow&) = delete;
    FileWindow& operator=(const FileWindow&) = delete;

    // Opens a regular file (no fifo or device: they would block or never end).
    bool open(const std::string& path, std::string* error);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    std::uint64_t size() const { return size_; }

    // Asks the file's size again (a growing log); true when it changed. Cached blocks are
    // dropped when it did.
    bool refresh();

    // Up to `length` bytes from `offset` (fewer at the end of the file or past kMaxSpan).
    // The span stays valid until the next call.
    std::span<const std::uint8_t> bytes(std::uint64_t offset, std::size_t length);
    std::uint8_t byteAt(std::uint64_t offset) {
        auto b = bytes(offset, 1);
        return b.empty() ? 0 : b[0];
    }

    // pread of `out.size()` bytes at `offset`, repeated until done, end of file or error:
    // the count read.
    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> out) const;

private:
    struct Block {
        std::uint64_t index = UINT64_MAX;
        std::uint64_t used = 0;
        std::size_t length = 0;
        std::vector<std::uint8_t> data;
    };
    const Block& block(std::uint64_t index);

    int fd_ = -1;
    std::string path_;
    std::uint64_t size_ = 0;
    std::uint64_t clock_ = 0;
    std::vector<Block> blocks_ = std::vector<Block>(kBlocks);
    std::vector<std::uint8_t> joined_;  // a span that crosses blocks
};

}  // namespace kv::view
