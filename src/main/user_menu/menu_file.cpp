#include "main/user_menu/menu_file.h"

#include <charconv>
#include <cstring>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/file_contents.h"

namespace kv {

namespace {

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool last = end == std::string_view::npos;
        if (last) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        start = end + 1;
    }
    return lines;
}

// A count as the first line holds it: decimal digits, blanks around them allowed.
bool parseCount(std::string_view line, long long& n) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (line.empty()) return false;
    const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), n);
    return ec == std::errc() && end == line.data() + line.size() && n >= 0;
}

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    return s;
}

}  // namespace

MenuFileRead ParseMenuText(std::string_view text, const std::string& where) {
    MenuFileRead r;
    r.exists = true;
    const std::vector<std::string_view> lines = splitLines(text);
    long long announced = 0;
    const bool counted = !lines.empty() && parseCount(lines[0], announced);
    // Entry i has its caption on line 2 + 3i and its command on the line after.
    for (std::size_t i = 0;; ++i) {
        if (counted && static_cast<long long>(i) >= announced) break;
        const std::size_t at = 2 + 3 * i;
        if (at >= lines.size()) break;
        MenuEntry e;
        e.caption = lines[at];
        if (at + 1 < lines.size()) e.command = lines[at + 1];
        // Without a count, a blank tail (the file's last line break) is no entry.
        if (!counted && e.caption.empty() && e.command.empty() && at + 2 >= lines.size()) break;
        r.entries.push_back(std::move(e));
    }
    if (!counted) {
        r.error = "The user menu " + where + " is damaged: its first line is not a number of entries. " +
                  std::to_string(r.entries.size()) + " entries could be read.";
    } else if (static_cast<long long>(r.entries.size()) < announced ||
               (!r.entries.empty() && 2 + 3 * (r.entries.size() - 1) + 1 >= lines.size())) {
        r.error = "The user menu " + where + " is damaged: it announces " + std::to_string(announced) +
                  " entries, but ends after " + std::to_string(r.entries.size()) + ".";
    }
    return r;
}

MenuFileRead ReadMenuFile(const std::filesystem::path& file) {
    platform::OwnFileRead read = platform::readOwnFile(file.string(), platform::kMenuFileLimit);
    if (read.status == platform::OwnFileRead::Status::Missing) return {};
    if (!read.read()) {
        MenuFileRead r;
        r.exists = true;
        r.error = "Unable to read " + read.error;
        return r;
    }
    return ParseMenuText(read.bytes, file.string());
}

std::string MenuFileText(const std::vector<MenuEntry>& entries) {
    std::string out = std::to_string(entries.size()) + "\r\n \r\n";
    for (const MenuEntry& e : entries) out += oneLine(e.caption) + "\r\n" + oneLine(e.command) + "\r\n \r\n";
    return out;
}

MenuFileWrite WriteMenuFile(const std::filesystem::path& file, const std::vector<MenuEntry>& entries) {
    auto failed = [&](const std::string& why) {
        return MenuFileWrite{false, "Unable to write to " + file.string() + ": " + why};
    };
    if (file.has_parent_path()) {
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        if (ec) return failed(ec.message());
    }
    const std::string text = MenuFileText(entries);
    platform::AtomicFile out;
    if (!out.beginOwnFile(file.string()) || !out.write(text.data(), text.size()) || !out.commit())
        return failed(out.refusal().empty() ? std::strerror(out.error()) : out.refusal());
    return {};
}

std::filesystem::path MenuFilePath(const std::filesystem::path& iniPath) {
    return iniPath.parent_path() / "kv.mnu";
}

}  // namespace kv
