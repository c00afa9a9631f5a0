#include "panel/model/file_kinds.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace kv {

using platform::FileKind;

std::string_view kindMark(const TDirEntry& e) {
    if (e.IsLink) return " \u2192";
    switch (e.Kind) {
        case FileKind::Fifo: return "|";
        case FileKind::Socket: return "=";
        case FileKind::CharDevice:
        case FileKind::BlockDevice: return "#";
        default: return {};
    }
}

std::string_view kindSizeWord(const TDirEntry& e) {
    if (e.IsBroken) return "<Broken>";
    switch (e.Kind) {
        case FileKind::Fifo: return "<Pipe>";
        case FileKind::Socket: return "<Socket>";
        case FileKind::CharDevice:
        case FileKind::BlockDevice: return "<Device>";
        default: return {};
    }
}

std::string_view kindStatusWord(const TDirEntry& e) {
    if (e.IsBroken) return "broken link";
    switch (e.Kind) {
        case FileKind::Fifo: return "named pipe";
        case FileKind::Socket: return "socket";
        case FileKind::CharDevice: return "character device";
        case FileKind::BlockDevice: return "block device";
        default: return {};
    }
}

std::string_view specialKindAt(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    if (S_ISFIFO(st.st_mode)) return "named pipe";
    if (S_ISSOCK(st.st_mode)) return "socket";
    if (S_ISCHR(st.st_mode)) return "character device";
    if (S_ISBLK(st.st_mode)) return "block device";
    return {};
}

std::string specialNotOpened(std::string_view kindWord, const std::string& name) {
    return "<" + name + "> is a " + std::string(kindWord) + ": it is not opened";
}

std::string linkTarget(const std::string& path) {
    // A target may be up to PATH_MAX long, and the length is not known beforehand: grow
    // until readlink leaves room to spare.
    std::vector<char> buf(256);
    for (;;) {
        const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
        if (n < 0) return {};
        if (static_cast<std::size_t>(n) < buf.size())
            return std::string(buf.data(), static_cast<std::size_t>(n));
        if (buf.size() >= 65536) return {};
        buf.resize(buf.size() * 4);
    }
}

}  // namespace kv
