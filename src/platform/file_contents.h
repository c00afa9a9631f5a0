#pragma once
// Reading files whose kind is not trusted: a name checked a moment ago may be a fifo or a
// device by now, and opening or reading one must never hang.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kv::platform {

// Opens a regular file for reading without blocking; anything else (fifo, device, socket)
// is refused after the open, by the open file's own kind. -1 with `error` set (the path
// and the reason) when it cannot be opened or is no regular file.
int openRegularFile(const std::string& path, std::string& error);

// The files kv reads for itself (settings, user menu, languages) are small; a file beyond
// these is refused rather than read, so a link to /dev/zero or a runaway file cannot fill
// the memory or freeze the start.
inline constexpr std::size_t kSettingsFileLimit = 1u << 20;  // kv.ini: 1 MiB (a few KiB in use)
inline constexpr std::size_t kLanguageFileLimit = 1u << 20;  // kv_rus.ini: 1 MiB (7 KiB shipped)
// Every three lines are a menu row in a list box: 256 KiB are thousands of entries.
inline constexpr std::size_t kMenuFileLimit = 256u << 10;

struct OwnFileRead {
    enum class Status { Read, Missing, Refused };
    Status status = Status::Missing;
    std::string bytes;  // the whole file when Read
    std::string error;  // when Refused: the path and why ("not a regular file", too large, ...)
    bool read() const { return status == Status::Read; }
};

// The one way kv reads a file it keeps for itself: opened without blocking (a fifo cannot
// hold the start), checked on the open descriptor to be a regular file (a device or a
// directory is refused, also through links), and read whole only up to `limit` bytes. A
// missing file (a dangling link, a file where its folder should be) is Missing with no
// error; every other failure is Refused with a message that names the file.
OwnFileRead readOwnFile(const std::string& path, std::size_t limit);

// Whether two files hold the same bytes, read side by side in blocks. False with `error`
// set when either cannot be opened or read. `block`, when given, is told the bytes of each
// block pair read and may stop the reading by returning false (the answer is then false
// with `error` empty and `stopped` set).
bool sameFileContents(const std::string& a, const std::string& b, std::string& error,
                      const std::function<bool(std::int64_t bytes)>& block = {}, bool* stopped = nullptr);

}  // namespace kv::platform
