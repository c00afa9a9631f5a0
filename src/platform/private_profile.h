#pragma once
// Private-profile (INI) files with the semantics the old Windows calls had, which kv.ini,
// kv_rus.ini and the installer's kv.ini rely on:
//  - "[Section]" lines, "Key=Value" lines; section and key names compare case-insensitively
//    (ASCII); names and values are trimmed; a value in matching quotes loses them;
//  - a read returns at most 1023 characters; a missing file, section or key gives the default;
//  - integers are decimal, or hexadecimal after "0x"/"0X"; an unreadable integer gives the default;
//  - a write changes one key's line (or adds the key at the end of its section, or adds the
//    section at the end of the file); every other line, comments included, stays as it was.
// Unlike the old calls, a write never leaves a half-written file: the whole file is written to a
// temporary file in the same folder and renamed over the old one.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::platform {

inline constexpr std::size_t kProfileValueMax = 1023;  // characters a read returns at most

struct ProfileWriteResult {
    bool ok = true;
    std::string error;  // what went wrong (system error text); callers show "Unable to write to %s"
    explicit operator bool() const { return ok; }
};

// Reads an integer as the profile readers do: optional sign and decimal digits, or "0x"/"0X" and
// hex digits (up to 8, taken as a 32-bit pattern, so 0x8000000F reads as -2147483633).
// Anything else, or a decimal outside 32 bits, is unreadable.
std::optional<int> ParseProfileInt(std::string_view text);

// One INI file held as its lines. Reads see the writes made before them; Commit() puts the
// result on disk in one atomic replace, so many writes cost one file write.
class PrivateProfileFile {
public:
    PrivateProfileFile() = default;
    // Reads the file when it exists; a missing file is an empty profile. A file that is no
    // regular file or is larger than kSettingsFileLimit is not read: readFailed(), with
    // readError() saying why.
    explicit PrivateProfileFile(std::filesystem::path path);
    // A profile parsed from text, with no file behind it (Commit() then fails).
    static PrivateProfileFile FromText(std::string_view text);

    const std::filesystem::path& path() const { return path_; }
    // The file exists but could not be read; Commit() refuses to replace it.
    bool readFailed() const { return !readError_.empty(); }
    const std::string& readError() const { return readError_; }

    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    int ReadInteger(std::string_view section, std::string_view key, int def) const;
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    bool KeyExists(std::string_view section, std::string_view key) const;

    // Line breaks in a value become blanks, so a value can never add lines to the file.
    // Names the format cannot hold (empty, with a line break, a key with "=" or starting with
    // "[" or ";", a section with "]") are refused: false, nothing written.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInteger(std::string_view section, std::string_view key, int value);
    bool WriteBool(std::string_view section, std::string_view key, bool value);  // "1" / "0"

    bool dirty() const { return dirty_; }
    // Writes the profile to its file when it changed: temporary file in the same folder, flushed
    // to disk, then renamed over the old one (a symbolic link is followed, not replaced, under
    // AtomicFile::beginOwnFile's rules). On failure the old file is untouched and no temporary
    // file is left.
    ProfileWriteResult Commit();
    // The file's text as Commit() would write it.
    std::string Text() const;

private:
    struct Found {
        std::size_t sectionLine = npos;  // header line of the section holding the key
        std::size_t keyLine = npos;
    };
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    Found find(std::string_view section, std::string_view key) const;
    void parse(std::string_view text);

    std::filesystem::path path_;
    std::vector<std::string> lines_;  // without line ends
    std::string eol_ = "\n";          // a file written with CR LF keeps CR LF
    std::string readError_;
    bool dirty_ = false;
};

// One call, one value, as the old API: each read reads the file anew, each write replaces it.
std::string GetPrivateProfileString(std::string_view section, std::string_view key, std::string_view def,
                                    const std::filesystem::path& file);
int GetPrivateProfileInt(std::string_view section, std::string_view key, int def,
                         const std::filesystem::path& file);
ProfileWriteResult WritePrivateProfileString(std::string_view section, std::string_view key,
                                             std::string_view value, const std::filesystem::path& file);

// Replaces `file` with `contents` atomically (temporary file beside it, fsync, rename), by
// AtomicFile::beginOwnFile: only a regular file of the user's, through links that lead to one.
ProfileWriteResult ReplaceFileAtomically(const std::filesystem::path& file, std::string_view contents);

}  // namespace kv::platform
