#include "panel/model/panel_format.h"

#include <cstdio>

#include "platform/display_text.h"

namespace kv {

std::string shownName(std::string_view name) { return platform::visibleControls(name); }

std::string formatThousands(std::int64_t n, const std::string& sep, bool emptyForZero) {
    if (n == 0) return emptyForZero ? std::string() : std::string("0");
    const bool neg = n < 0;
    std::uint64_t u = neg ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    std::string digits = std::to_string(u);
    std::string out;
    const std::size_t first = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
    out.append(digits, 0, first);
    for (std::size_t i = first; i < digits.size(); i += 3) {
        out += sep;
        out.append(digits, i, 3);
    }
    return neg ? "-" + out : out;
}

std::string FormatSize(std::int64_t n, const std::string& sep) {
    if (n < 1000000) {
        const std::int64_t kb = n / 1024;
        return (kb <= 0 ? std::string("0") : formatThousands(kb, sep)) + " Kb";
    }
    const std::string mb = formatThousands(n / 1048576, sep);
    return mb.size() > 2 ? mb + " Mb" : mb + ",0 Mb";
}

std::string formatDate(const platform::LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02u.%02u.%04u", t.Day, t.Month, t.Year);
    return buf;
}

std::string formatTime(const platform::LocalTime& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02u:%02u", t.Hour, t.Minute);
    return buf;
}

std::uint32_t extensionColor(const std::string& name) {
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos) return 0;
    std::string ext = name.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    static const char* const lime[] = {".exe", ".com", ".pas", ".asm", ".cpp", ".c", ".h", ".bat"};
    static const char* const red[] = {".txt", ".doc", ".arj", ".zip", ".ha",
                                      ".lzh", ".ini", ".rar", ".bak", ".tmp"};
    static const char* const pale[] = {".ico", ".bmp", ".jpg", ".gif", ".tif", ".pic", ".emf",
                                       ".mid", ".wav", ".avi", ".mpg", ".mp2", ".mp3", ".pcx"};
    for (const char* e : lime)
        if (ext == e) return 0x00FF00;
    for (const char* e : red)
        if (ext == e) return 0x0000FF;
    for (const char* e : pale)
        if (ext == e) return 0xFFFFB5;
    return 0;
}

}  // namespace kv
