#pragma once
// A read-only archive file read by position (pread), so readers never share a file cursor.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kv {

class ArcFile {
public:
    ArcFile() = default;
    ~ArcFile() { close(); }
    ArcFile(const ArcFile&) = delete;
    ArcFile& operator=(const ArcFile&) = delete;
    ArcFile(ArcFile&& o) noexcept;
    ArcFile& operator=(ArcFile&& o) noexcept;

    // Opens read-only and takes the size; false when the file cannot be opened or is not a
    // regular file (a FIFO, device or folder is refused at once, without waiting on it).
    bool open(const std::string& path);
    // False when closing reported an error.
    bool close();
    bool isOpen() const { return fd_ >= 0; }
    uint64_t size() const { return size_; }
    const std::string& path() const { return path_; }
    // The open file's identity: equal for two opens of one file under any spelling of its
    // path, so a volume set that names a file already read can be told apart.
    bool sameFile(const ArcFile& o) const {
        return isOpen() && o.isOpen() && device_ == o.device_ && inode_ == o.inode_;
    }
    uint64_t device() const { return device_; }
    uint64_t inode() const { return inode_; }

    // Reads up to out.size() bytes at pos; answers the bytes read (short at the end of file,
    // 0 past it or on an error).
    size_t readAt(uint64_t pos, std::span<uint8_t> out) const;
    // True only when all out.size() bytes were read.
    bool readExact(uint64_t pos, std::span<uint8_t> out) const { return readAt(pos, out) == out.size(); }

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    uint64_t device_ = 0, inode_ = 0;
    std::string path_;
};

// Little-endian field access for header buffers; the caller checks the bounds.
inline uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t le64(const uint8_t* p) { return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32; }

}  // namespace kv
