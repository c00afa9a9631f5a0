#include "viewers/editor/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "platform/atomic_file.h"
#include "platform/text_codec.h"

namespace kv::editor {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Code point -> Windows-1251 byte for the upper half, built from the decoder so the two
// directions can never disagree.
const std::unordered_map<std::uint32_t, char>& cp1251Bytes() {
    static const std::unordered_map<std::uint32_t, char> table = [] {
        std::unordered_map<std::uint32_t, char> t;
        for (int b = 0x80; b <= 0xFF; ++b) {
            const char byte = static_cast<char>(b);
            const std::string u = platform::Cp1251ToUtf8(std::string_view(&byte, 1));
            std::uint32_t cp = 0;
            const auto* p = reinterpret_cast<const unsigned char*>(u.data());
            if (u.size() == 2) cp = ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu);
            if (u.size() == 3) cp = ((p[0] & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
            if (cp != 0 && cp != 0xFFFD) t.emplace(cp, byte);
        }
        return t;
    }();
    return table;
}

std::optional<std::string> utf8ToCp1251(std::string_view utf8) {
    const auto& table = cp1251Bytes();
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t len = platform::Utf8SequenceLength(utf8, i);
        if (len == 0) return std::nullopt;
        std::uint32_t cp = len == 2 ? (c & 0x1Fu) : len == 3 ? (c & 0x0Fu) : (c & 0x07u);
        for (std::size_t k = 1; k < len; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        const auto it = table.find(cp);
        if (it == table.end()) return std::nullopt;
        out += it->second;
        i += len;
    }
    return out;
}

std::string errnoText(int err) { return std::strerror(err); }

}  // namespace

DecodedText decodeText(std::string_view bytes) {
    DecodedText d;
    if (bytes.substr(0, kBom.size()) == kBom && platform::IsValidUtf8(bytes.substr(kBom.size()))) {
        d.format.byteOrderMark = true;
        bytes.remove_prefix(kBom.size());
    }
    std::string text;
    if (platform::IsValidUtf8(bytes)) {
        d.format.encoding = TextEncoding::Utf8;
    } else {
        d.format.encoding = TextEncoding::Cp1251;
        text = platform::Cp1251ToUtf8(bytes);
        bytes = text;
    }
    if (bytes.find('\r') == std::string_view::npos) {
        // The common case on Linux: nothing to rewrite.
        d.utf8 = bytes;
        d.format.lineEnding = LineEnding::Lf;
        return d;
    }
    std::size_t crlf = 0, lf = 0, cr = 0;
    d.utf8.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r') {
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++crlf;
                ++i;
            } else {
                ++cr;
            }
            d.utf8 += '\n';
        } else {
            if (c == '\n') ++lf;
            d.utf8 += c;
        }
    }
    if (crlf > lf && crlf >= cr)
        d.format.lineEnding = LineEnding::CrLf;
    else if (cr > lf && cr > crlf)
        d.format.lineEnding = LineEnding::Cr;
    else
        d.format.lineEnding = LineEnding::Lf;
    return d;
}

std::optional<std::string> encodeText(std::string_view utf8, const TextFormat& format) {
    std::string lines;
    if (format.lineEnding == LineEnding::Lf) {
        lines = utf8;
    } else {
        const std::string_view eol = format.lineEnding == LineEnding::CrLf ? "\r\n" : "\r";
        lines.reserve(utf8.size() + utf8.size() / 32);
        for (char c : utf8) {
            if (c == '\n')
                lines += eol;
            else
                lines += c;
        }
    }
    if (format.encoding == TextEncoding::Cp1251) return utf8ToCp1251(lines);
    if (format.byteOrderMark) lines.insert(0, kBom);
    return lines;
}

ReadResult readTextFile(const std::string& path) {
    ReadResult r;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        r.error = "Cannot open " + path + ": " + errnoText(errno);
        return r;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        r.notText = true;
        r.error = path + " is not a regular file";
        return r;
    }
    if (static_cast<std::uint64_t>(st.st_size) > kMaxEditorFileBytes) {
        ::close(fd);
        r.notText = true;
        r.error = path + " is too large for the editor";
        return r;
    }
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            // The file may have grown since fstat; read on up to the limit.
            if (bytes.size() >= kMaxEditorFileBytes) break;
            bytes.resize(std::min<std::size_t>(bytes.size() + 65536, kMaxEditorFileBytes));
        }
        const ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            r.error = "Cannot read " + path + ": " + errnoText(errno);
            ::close(fd);
            return r;
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(have);
    if (bytes.find('\0') != std::string::npos) {
        r.notText = true;
        r.error = path + " is not a text file";
        return r;
    }
    r.text = decodeText(bytes);
    r.ok = true;
    return r;
}

SaveResult saveTextFile(const std::string& path, std::string_view bytes, platform::AtomicFile& file) {
    SaveResult r;
    if (!file.begin(AT_FDCWD, path) || !file.write(bytes.data(), bytes.size()) || !file.commit(true)) {
        r.error = "Cannot save " + path + ": " + errnoText(file.error());
        file.abandon();
        return r;
    }
    r.ok = true;
    return r;
}

SaveResult saveTextFile(const std::string& path, std::string_view bytes) {
    platform::AtomicFile file;
    return saveTextFile(path, bytes, file);
}

}  // namespace kv::editor
