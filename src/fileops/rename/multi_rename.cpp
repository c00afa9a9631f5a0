#include "fileops/rename/multi_rename.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <regex>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace kv::fileops {

namespace {

// Byte offsets where each UTF-8 character starts, plus the end.
std::vector<std::size_t> charStarts(const std::string& s) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) at.push_back(i);
    at.push_back(s.size());
    return at;
}

// Characters first..last (1-based, inclusive; last 0: to the end) of s.
std::string charRange(const std::string& s, std::size_t first, std::size_t last) {
    const std::vector<std::size_t> at = charStarts(s);
    const std::size_t count = at.size() - 1;
    if (last == 0 || last > count) last = count;
    if (first < 1 || first > last) return {};
    return s.substr(at[first - 1], at[last] - at[first - 1]);
}

std::string padded(std::int64_t value, int digits) {
    std::string s = std::to_string(value < 0 ? -value : value);
    if (static_cast<int>(s.size()) < digits) s.insert(0, static_cast<std::size_t>(digits) - s.size(), '0');
    return value < 0 ? "-" + s : s;
}

struct Fields {
    std::string name, ext;
    std::int64_t counter = 0;
    int digits = 1;
    struct tm when {};
};

// Reads a number at s[i...]; false when there is none.
bool number(const std::string& s, std::size_t& i, std::size_t& out) {
    const std::size_t from = i;
    out = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && out < 100000) out = out * 10 + (s[i++] - '0');
    return i > from;
}

// Expands one pattern; false with `error` for an unknown or unclosed field.
bool expand(const std::string& pattern, const Fields& f, std::string& out, std::string& error) {
    out.clear();
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        if (c != '[') {
            out += c;
            ++i;
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '[') {
            out += '[';
            i += 2;
            continue;
        }
        const std::size_t close = pattern.find(']', i);
        if (close == std::string::npos) {
            error = "The field at \"" + pattern.substr(i) + "\" has no closing \"]\"";
            return false;
        }
        const std::string field = pattern.substr(i + 1, close - i - 1);
        i = close + 1;
        if (field.empty()) {
            error = "The field [] is empty";
            return false;
        }
        const char k = field[0];
        if ((k == 'N' || k == 'E')) {
            const std::string& whole = k == 'N' ? f.name : f.ext;
            if (field.size() == 1) {
                out += whole;
                continue;
            }
            std::size_t at = 1, first = 0, last = 0;
            bool good = number(field, at, first) && first >= 1;
            if (good && at < field.size() && field[at] == '-') {
                ++at;
                if (at < field.size()) good = number(field, at, last) && last >= first;
            } else {
                last = first;
            }
            if (good && at == field.size()) {
                out += charRange(whole, first, last);
                continue;
            }
        } else if (field.size() == 1) {
            switch (k) {
                case 'C': out += padded(f.counter, f.digits); continue;
                case 'Y': out += padded(f.when.tm_year + 1900, 4); continue;
                case 'M': out += padded(f.when.tm_mon + 1, 2); continue;
                case 'D': out += padded(f.when.tm_mday, 2); continue;
                case 'h': out += padded(f.when.tm_hour, 2); continue;
                case 'm': out += padded(f.when.tm_min, 2); continue;
                case 's': out += padded(f.when.tm_sec, 2); continue;
                default: break;
            }
        }
        error = "Unknown field [" + field + "]";
        return false;
    }
    return true;
}

void splitExt(const std::string& fileName, std::string& name, std::string& ext) {
    const std::size_t dot = fileName.rfind('.');
    // A leading dot (".profile") starts a hidden name, not an extension.
    if (dot == std::string::npos || dot == 0) {
        name = fileName;
        ext.clear();
    } else {
        name = fileName.substr(0, dot);
        ext = fileName.substr(dot + 1);
    }
}

std::string replaceAll(const std::string& s, const std::string& what, const std::string& with) {
    if (what.empty()) return s;
    std::string out;
    std::size_t at = 0;
    for (std::size_t hit; (hit = s.find(what, at)) != std::string::npos; at = hit + what.size())
        out += s.substr(at, hit - at) + with;
    return out + s.substr(at);
}

std::string nameProblem(const std::string& n) {
    if (n.empty()) return "empty name";
    if (n == "." || n == "..") return "\"" + n + "\" is not a name";
    if (n.find('/') != std::string::npos) return "\"/\" in the name";
    if (n.find('\0') != std::string::npos) return "NUL in the name";
    if (n.size() > 255) return "name longer than 255 bytes";
    return {};
}

// Letters whose capitals lo..hi and small forms lo+delta..hi+delta lie a fixed distance
// apart: Latin, Latin-1, Greek, Cyrillic.
struct CaseRange {
    char32_t lo, hi, delta;
};
constexpr CaseRange kCaseRanges[] = {
    {U'A', U'Z', 32}, {0xC0, 0xDE, 32}, {0x391, 0x3AB, 32}, {0x410, 0x42F, 32}, {0x400, 0x40F, 80},
};

char32_t mapCase(char32_t c, bool upper) {
    // The multiplication and division signs sit among the Latin-1 letters; final sigma has
    // no capital of its own.
    if (c == 0xD7 || c == 0xF7 || c == 0x3A2 || c == 0x3C2) return c;
    for (const CaseRange& r : kCaseRanges) {
        if (!upper && c >= r.lo && c <= r.hi) return c + r.delta;
        if (upper && c >= r.lo + r.delta && c <= r.hi + r.delta) return c - r.delta;
    }
    return c;
}

// One code point below U+10000 as UTF-8.
void encode(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string changeCase(const std::string& text, LetterCase lc) {
    if (lc == LetterCase::AsIs) return text;
    const bool upper = lc == LetterCase::Upper;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            encode(mapCase(b, upper), out);
            ++i;
            continue;
        }
        // Two-byte sequences hold every letter changed here; others are copied.
        if ((b & 0xE0) == 0xC0 && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            const char32_t c =
                (static_cast<char32_t>(b & 0x1F) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F);
            encode(mapCase(c, upper), out);
            i += 2;
            continue;
        }
        out += text[i++];
    }
    return out;
}

int RenamePreview::problems() const {
    int n = 0;
    for (const RenameRow& r : rows) n += r.problem.empty() ? 0 : 1;
    return n;
}

int RenamePreview::changes() const {
    int n = 0;
    for (const RenameRow& r : rows) n += r.oldName != r.newName ? 1 : 0;
    return n;
}

std::vector<std::pair<std::string, std::string>> RenamePreview::pairs() const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const RenameRow& r : rows)
        if (r.oldName != r.newName) out.emplace_back(r.oldName, r.newName);
    return out;
}

RenamePreview previewRename(const std::vector<RenameSource>& sources, const RenameRules& rules,
                            const std::vector<std::string>& folderNames) {
    RenamePreview p;
    std::regex re;
    if (rules.regex && !rules.search.empty()) {
        try {
            re = std::regex(rules.search, std::regex::ECMAScript);
        } catch (const std::regex_error& e) {
            p.error = std::string("The regular expression cannot be used: ") + e.what();
        }
    }
    std::unordered_set<std::string> renamed;
    for (const RenameSource& s : sources) renamed.insert(s.name);
    std::unordered_set<std::string> others;
    for (const std::string& n : folderNames)
        if (!renamed.count(n)) others.insert(n);

    std::unordered_map<std::string, std::size_t> firstWith;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const RenameSource& s = sources[i];
        RenameRow row;
        row.oldName = s.name;
        Fields f;
        splitExt(s.name, f.name, f.ext);
        f.counter = rules.counterStart + static_cast<std::int64_t>(i) * rules.counterStep;
        f.digits = rules.counterDigits;
        const time_t t = static_cast<time_t>(s.mtime);
        localtime_r(&t, &f.when);
        std::string name, ext, error;
        if (p.error.empty() && expand(rules.namePattern, f, name, error) &&
            expand(rules.extPattern, f, ext, error)) {
            std::string whole = ext.empty() ? name : name + "." + ext;
            bool replaced = true;
            if (!rules.search.empty()) {
                if (rules.regex) {
                    // An expression too complex for a name throws (error_complexity, error_stack).
                    try {
                        whole = std::regex_replace(whole, re, rules.replace);
                    } catch (const std::regex_error&) {
                        replaced = false;
                    }
                } else {
                    whole = replaceAll(whole, rules.search, rules.replace);
                }
            }
            row.newName = changeCase(whole, rules.letterCase);
            row.problem = replaced ? nameProblem(row.newName) : "the regular expression is too complex here";
            if (row.problem.empty() && others.count(row.newName))
                row.problem = "\"" + row.newName + "\" already exists";
            if (row.problem.empty()) {
                const auto [at, fresh] = firstWith.emplace(row.newName, i);
                if (!fresh) {
                    row.problem = "same new name as \"" + sources[at->second].name + "\"";
                    RenameRow& first = p.rows[at->second];
                    if (first.problem.empty()) first.problem = "same new name as \"" + s.name + "\"";
                }
            }
        } else if (p.error.empty()) {
            p.error = error;
        }
        p.rows.push_back(std::move(row));
    }
    return p;
}

int renameNoReplace(int dirFd, const std::string& from, const std::string& to) {
    if (::renameat2(dirFd, from.c_str(), dirFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL) return -1;
    // A file system without RENAME_NOREPLACE: look first, then rename (a small window in
    // which another program could make the name; nothing of ours is at risk).
    struct stat st {};
    if (::fstatat(dirFd, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(dirFd, from.c_str(), dirFd, to.c_str());
}

RenameOutcome renameAll(const std::string& folder,
                        const std::vector<std::pair<std::string, std::string>>& pairs,
                        const RenameStep& step) {
    RenameOutcome out;
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        out.error = "Cannot open the folder " + folder + ": " + std::strerror(errno);
        return out;
    }
    struct Done {
        std::string from, to;
    };
    std::vector<Done> done;
    std::vector<std::string> temps(pairs.size());
    std::string failure;
    auto run = [&](const std::string& from, const std::string& to, const std::string& shownFrom,
                   const std::string& shownTo) {
        if (step(dirFd, from, to) == 0) {
            done.push_back({from, to});
            return true;
        }
        failure = "Cannot rename \"" + shownFrom + "\" to \"" + shownTo + "\": " + std::strerror(errno);
        return false;
    };
    bool good = true;
    const std::string stem = ".kv-rename-" + std::to_string(::getpid()) + "-";
    for (std::size_t i = 0; good && i < pairs.size(); ++i) {
        // A temporary name nobody has; an existing one is never replaced, so a clash only
        // makes us try the next number.
        for (int attempt = 0;; ++attempt) {
            temps[i] = stem + std::to_string(i) + (attempt ? "-" + std::to_string(attempt) : "");
            if (step(dirFd, pairs[i].first, temps[i]) == 0) {
                done.push_back({pairs[i].first, temps[i]});
                break;
            }
            if (errno != EEXIST || attempt >= 50) {
                failure = "Cannot rename \"" + pairs[i].first + "\": " + std::strerror(errno);
                good = false;
                break;
            }
        }
    }
    for (std::size_t i = 0; good && i < pairs.size(); ++i)
        good = run(temps[i], pairs[i].second, pairs[i].first, pairs[i].second);
    if (good) {
        ::close(dirFd);
        out.ok = true;
        return out;
    }
    // Put back what was done, last step first.
    std::vector<std::string> stuck;
    for (auto it = done.rbegin(); it != done.rend(); ++it)
        if (step(dirFd, it->to, it->from) != 0)
            stuck.push_back("\"" + it->to + "\" (was \"" + it->from + "\")");
    ::close(dirFd);
    out.error = failure;
    if (stuck.empty()) {
        out.error += "\nNo name was changed.";
    } else {
        out.error += "\nThese could not be put back:";
        for (const std::string& s : stuck) out.error += "\n" + s;
    }
    return out;
}

void RenameUndo::record(std::string folder, std::vector<std::pair<std::string, std::string>> pairs) {
    folder_ = std::move(folder);
    pairs_ = std::move(pairs);
}

RenameOutcome RenameUndo::undo(const RenameStep& step) {
    RenameOutcome out;
    if (pairs_.empty()) {
        out.error = "There is no multi-rename to undo.";
        return out;
    }
    std::set<std::string> renamedNow;
    for (const auto& [oldName, newName] : pairs_) renamedNow.insert(newName);
    std::string missing, taken;
    for (const auto& [oldName, newName] : pairs_) {
        struct stat st {};
        const std::string at = folder_ + "/" + newName;
        if (::lstat(at.c_str(), &st) != 0) missing += "\n" + newName;
        const std::string back = folder_ + "/" + oldName;
        if (!renamedNow.count(oldName) && ::lstat(back.c_str(), &st) == 0) taken += "\n" + oldName;
    }
    if (!missing.empty() || !taken.empty()) {
        out.error = "The last multi-rename cannot be undone.";
        if (!missing.empty()) out.error += "\nNo longer there:" + missing;
        if (!taken.empty()) out.error += "\nTaken again meanwhile:" + taken;
        return out;
    }
    std::vector<std::pair<std::string, std::string>> back;
    for (const auto& [oldName, newName] : pairs_) back.emplace_back(newName, oldName);
    out = renameAll(folder_, back, step);
    if (out.ok) pairs_.clear();
    return out;
}

}  // namespace kv::fileops
