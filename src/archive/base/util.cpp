#include "archive/base/util.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace kv {

int Ratio(uint64_t packed, uint64_t unpacked) {
    if (packed == 0 || unpacked == 0 || packed >= unpacked) return 0;
    if (unpacked - packed > 100000) {
        packed /= 100;
        unpacked /= 100;
    }
    if (unpacked == 0) return 0;
    int r = static_cast<int>((unpacked - packed) * 100 / unpacked);
    return r == 0 ? 1 : r;
}

int Percent(uint64_t done, uint64_t total) {
    if (done == 0 || total == 0) return 0;
    if (done == total) return 100;
    // Split the product so huge sizes cannot overflow.
    return static_cast<int>(total > UINT64_MAX / 100 ? done / (total / 100) : done * 100 / total);
}

std::string_view folderPart(std::string_view path) {
    size_t p = path.find_last_of("/\\");
    return p == std::string_view::npos ? std::string_view{} : path.substr(0, p + 1);
}

std::string_view fileNamePart(std::string_view path) {
    size_t p = path.find_last_of("/\\");
    return p == std::string_view::npos ? path : path.substr(p + 1);
}

namespace {

char fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool allStars(std::string_view s) { return s.find_first_not_of('*') == std::string_view::npos; }

// Greedy matching with one back-track point per "*": linear memory, no recursion depth to
// exhaust on hostile masks.
bool matchCore(std::string_view m, std::string_view n) {
    size_t mi = 0, ni = 0, starM = std::string_view::npos, starN = 0;
    while (ni < n.size()) {
        if (mi < m.size() && (m[mi] == '?' || (m[mi] != '*' && fold(m[mi]) == fold(n[ni])))) {
            ++mi;
            ++ni;
        } else if (mi < m.size() && m[mi] == '*') {
            starM = mi++;
            starN = ni;
        } else if (mi == m.size() && allStars(n.substr(ni))) {
            return true;
        } else if (starM != std::string_view::npos) {
            mi = starM + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    return allStars(m.substr(mi));
}

}  // namespace

bool wildcardMatch(std::string_view mask, std::string_view name, bool nameOnly) {
    std::string m(nameOnly ? fileNamePart(mask) : mask);
    std::string n(nameOnly ? fileNamePart(name) : name);
    for (char& c : m)
        if (c == '\\') c = '/';
    for (char& c : n)
        if (c == '\\') c = '/';
    if ((!mask.empty() && m.empty()) || (!name.empty() && n.empty())) return false;
    if (!m.empty() && m.back() == '.') m.pop_back();
    if (!n.empty() && n.back() == '.') n.pop_back();
    bool mDot = m.find('.') != std::string::npos, nDot = n.find('.') != std::string::npos;
    if (!nDot && m.find(".*") != std::string::npos)
        n += ".*";
    else if (!mDot && n.find(".*") != std::string::npos)
        m += ".*";
    if (n.empty()) return !m.empty() && m[0] == '*';
    if (m.empty()) return n[0] == '*';
    return matchCore(m, n);
}

std::string nextArjVolumeName(const std::string& name, int& counter) {
    ++counter;
    if (counter >= 1000) return {};
    std::string_view file = fileNamePart(name);
    size_t dot = file.rfind('.');
    std::string base = dot == std::string_view::npos ? name : name.substr(0, name.size() - file.size() + dot);
    bool lower = dot != std::string_view::npos && dot + 1 < file.size() &&
                 std::islower(static_cast<unsigned char>(file[dot + 1]));
    char a = lower ? 'a' : 'A';
    char buf[16];
    if (counter <= 9)
        std::snprintf(buf, sizeof buf, "%c0%d", a, counter);
    else if (counter < 100)
        std::snprintf(buf, sizeof buf, "%c%d", a, counter);
    else
        std::snprintf(buf, sizeof buf, "%d", counter);
    return base + "." + buf;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool createDirs(const std::string& dir) {
    if (dir.empty()) return true;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return std::filesystem::is_directory(dir, ec);
}

bool renameWithReplace(const std::string& oldPath, const std::string& newPath) {
    return ::rename(oldPath.c_str(), newPath.c_str()) == 0;
}

std::string makeTempFileBeside(const std::string& target, std::string_view prefix) {
    std::string tmpl(folderPart(target));
    tmpl += '.';
    tmpl += prefix.empty() ? "kel" : prefix;
    tmpl += "XXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) return {};
    ::close(fd);
    return tmpl;
}

}  // namespace kv
