#pragma once
// The editor's file: read, told apart from binary, decoded to UTF-8 with its own line
// ending and encoding noted, and written back the same way through a temporary file and a
// rename, so a failed save never damages the file that was there. No Qt.
#include <optional>
#include <string>
#include <string_view>

namespace kv::platform {
class AtomicFile;
}

namespace kv::editor {

enum class LineEnding { Lf, CrLf, Cr };
enum class TextEncoding { Utf8, Cp1251 };

struct TextFormat {
    LineEnding lineEnding = LineEnding::Lf;
    TextEncoding encoding = TextEncoding::Utf8;
    bool byteOrderMark = false;  // a UTF-8 file that began with one gets it back
    bool operator==(const TextFormat&) const = default;
};

struct DecodedText {
    std::string utf8;  // lines separated by "\n" alone
    TextFormat format;
};

// Files the editor refuses: over this size, or holding a NUL byte anywhere.
inline constexpr std::uint64_t kMaxEditorFileBytes = 64ULL * 1024 * 1024;

// Valid UTF-8 (a byte-order mark dropped) stays as it is, anything else is Windows-1251.
// The line ending is the one the file uses most (CR LF, LF or a lone CR); a file without one
// gets LF. Every break becomes "\n".
DecodedText decodeText(std::string_view bytes);

// The text back in its format; nothing when Windows-1251 has no byte for a character.
std::optional<std::string> encodeText(std::string_view utf8, const TextFormat& format);

struct ReadResult {
    bool ok = false;
    bool notText = false;  // a binary or oversized file: not for the editor
    std::string error;     // why, in words for the error box
    DecodedText text;
};
ReadResult readTextFile(const std::string& path);

// Writes the bytes to `path` through `file` (a fresh AtomicFile; tests hand one in that
// fails on purpose). On failure the old file is as it was and `error` says why.
struct SaveResult {
    bool ok = false;
    std::string error;
};
SaveResult saveTextFile(const std::string& path, std::string_view bytes, platform::AtomicFile& file);
SaveResult saveTextFile(const std::string& path, std::string_view bytes);

}  // namespace kv::editor
