#pragma once
// Reading files whose kind is not trusted: a name checked a moment ago may be a fifo or a
// device by now, and opening or reading one must never hang.
#include <cstdint>
#include <functional>
#include <string>

namespace kv::platform {

// Opens a regular file for reading without blocking; anything else (fifo, device, socket)
// is refused after the open, by the open file's own kind. -1 with `error` set (the path
// and the reason) when it cannot be opened or is no regular file.
int openRegularFile(const std::string& path, std::string& error);

// Whether two files hold the same bytes, read side by side in blocks. False with `error`
// set when either cannot be opened or read. `block`, when given, is told the bytes of each
// block pair read and may stop the reading by returning false (the answer is then false
// with `error` empty and `stopped` set).
bool sameFileContents(const std::string& a, const std::string& b, std::string& error,
                      const std::function<bool(std::int64_t bytes)>& block = {}, bool* stopped = nullptr);

}  // namespace kv::platform
