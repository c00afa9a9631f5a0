#include "platform/private_profile.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/atomic_file.h"
#include "platform/file_contents.h"

namespace kv::platform {
namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view trim(std::string_view s) {
    const auto b = s.find_first_not_of(kBlanks);
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(kBlanks);
    return s.substr(b, e - b + 1);
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

enum class LineKind { Other, Section, Comment, Key };

struct LineView {
    LineKind kind = LineKind::Other;
    std::string_view name;   // section or key name
    std::string_view value;  // key value, trimmed
};

LineView classify(std::string_view raw) {
    const std::string_view line = trim(raw);
    if (line.empty()) return {};
    if (line.front() == ';') return {LineKind::Comment, {}, {}};
    if (line.front() == '[') {
        std::string_view inner = line.substr(1);
        if (const auto close = inner.find(']'); close != std::string_view::npos)
            inner = inner.substr(0, close);
        return {LineKind::Section, trim(inner), {}};
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return {};
    return {LineKind::Key, trim(line.substr(0, eq)), trim(line.substr(eq + 1))};
}

// At most `max` characters; counts UTF-8 sequences, not bytes, so a cut never splits one.
std::string_view cutChars(std::string_view s, std::size_t max) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if ((c & 0xC0) != 0x80) {
            if (chars == max) return s.substr(0, i);
            ++chars;
        }
    }
    return s;
}

std::string oneLine(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c == '\n' || c == '\r') c = ' ';
    return out;
}

std::string systemError(const char* what, int err) { return std::string(what) + ": " + std::strerror(err); }

}  // namespace

std::optional<int> ParseProfileInt(std::string_view text) {
    text = trim(text);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const std::string_view hex = text.substr(2);
        if (hex.size() > 8) return std::nullopt;
        std::uint32_t v = 0;
        for (char c : hex) {
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return std::nullopt;
            v = v * 16 + static_cast<std::uint32_t>(d);
        }
        return static_cast<int>(v);  // the bit pattern: 0x8000000F is a system colour
    }
    bool negative = false;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    long long v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > static_cast<long long>(std::numeric_limits<int>::max()) + 1) return std::nullopt;
    }
    if (negative) v = -v;
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(v);
}

PrivateProfileFile::PrivateProfileFile(std::filesystem::path path) : path_(std::move(path)) {
    OwnFileRead file = readOwnFile(path_.string(), kSettingsFileLimit);
    if (file.status == OwnFileRead::Status::Refused) readError_ = std::move(file.error);
    if (file.read()) parse(file.bytes);
}

PrivateProfileFile PrivateProfileFile::FromText(std::string_view text) {
    PrivateProfileFile f;
    f.parse(text);
    return f;
}

void PrivateProfileFile::parse(std::string_view text) {
    lines_.clear();
    const auto firstLf = text.find('\n');
    eol_ = (firstLf != std::string_view::npos && firstLf > 0 && text[firstLf - 1] == '\r') ? "\r\n" : "\n";
    while (!text.empty()) {
        const auto lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines_.emplace_back(line);
        if (lf == std::string_view::npos) break;
        text.remove_prefix(lf + 1);
    }
}

PrivateProfileFile::Found PrivateProfileFile::find(std::string_view section, std::string_view key) const {
    Found f;
    bool inSection = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const LineView v = classify(lines_[i]);
        if (v.kind == LineKind::Section) {
            inSection = sameName(v.name, trim(section));
            if (inSection && f.sectionLine == npos) f.sectionLine = i;
        } else if (inSection && v.kind == LineKind::Key && sameName(v.name, trim(key))) {
            f.keyLine = i;
            return f;
        }
    }
    return f;
}

bool PrivateProfileFile::KeyExists(std::string_view section, std::string_view key) const {
    return find(section, key).keyLine != npos;
}

std::string PrivateProfileFile::ReadString(std::string_view section, std::string_view key,
                                           std::string_view def) const {
    const Found f = find(section, key);
    std::string_view value = def;
    if (f.keyLine != npos) {
        value = classify(lines_[f.keyLine]).value;
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
    }
    return std::string(cutChars(value, kProfileValueMax));
}

int PrivateProfileFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
    if (!KeyExists(section, key)) return def;
    return ParseProfileInt(ReadString(section, key, {})).value_or(def);
}

bool PrivateProfileFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool PrivateProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    section = trim(section);
    key = trim(key);
    auto hasBreak = [](std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; };
    if (section.empty() || key.empty() || hasBreak(section) || hasBreak(key) ||
        section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
        key.front() == '[' || key.front() == ';')
        return false;
    const std::string line = std::string(key) + "=" + oneLine(value);
    const Found f = find(section, key);
    if (f.keyLine != npos) {
        if (lines_[f.keyLine] != line) {
            lines_[f.keyLine] = line;
            dirty_ = true;
        }
        return true;
    }
    dirty_ = true;
    if (f.sectionLine == npos) {
        if (!lines_.empty() && !trim(lines_.back()).empty()) lines_.emplace_back();
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(line);
        return true;
    }
    // After the section's last key: blank lines and comments that follow it belong to the next
    // section in a hand-kept file.
    std::size_t insertAt = f.sectionLine + 1;
    for (std::size_t i = f.sectionLine + 1; i < lines_.size(); ++i) {
        const LineView v = classify(lines_[i]);
        if (v.kind == LineKind::Section) break;
        if (v.kind == LineKind::Key) insertAt = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), line);
    return true;
}

bool PrivateProfileFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool PrivateProfileFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

std::string PrivateProfileFile::Text() const {
    std::string out;
    for (const auto& l : lines_) {
        out += l;
        out += eol_;
    }
    return out;
}

ProfileWriteResult PrivateProfileFile::Commit() {
    if (path_.empty()) return {false, "no file name"};
    if (readFailed()) return {false, readError_};
    if (!dirty_) return {};
    ProfileWriteResult r = ReplaceFileAtomically(path_, Text());
    if (r) dirty_ = false;
    return r;
}

ProfileWriteResult ReplaceFileAtomically(const std::filesystem::path& file, std::string_view contents) {
    AtomicFile out;
    if (!out.beginOwnFile(file.string())) {
        if (!out.refusal().empty()) return {false, out.refusal()};
        return {false, systemError("cannot create a file in the folder", out.error())};
    }
    if (!out.write(contents.data(), contents.size()))
        return {false, systemError("cannot write", out.error())};
    if (!out.commit(true)) return {false, systemError("cannot replace the file", out.error())};
    return {};
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key, std::string_view def,
                                    const std::filesystem::path& file) {
    return PrivateProfileFile(file).ReadString(section, key, def);
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int def,
                         const std::filesystem::path& file) {
    return PrivateProfileFile(file).ReadInteger(section, key, def);
}

ProfileWriteResult WritePrivateProfileString(std::string_view section, std::string_view key,
                                             std::string_view value, const std::filesystem::path& file) {
    PrivateProfileFile f(file);
    if (!f.WriteString(section, key, value)) return {false, "a section or key name the file cannot hold"};
    return f.Commit();
}

}  // namespace kv::platform
