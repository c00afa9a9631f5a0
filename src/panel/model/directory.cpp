#include "panel/model/directory.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace kv {

void splitName(const std::string& fileName, std::string& name, std::string& ext) {
    const auto dot = fileName.find_last_of('.');
    if (dot == std::string::npos) {
        name = fileName;
        ext.clear();
    } else {
        name = fileName.substr(0, dot);
        ext = fileName.substr(dot + 1);
    }
}

namespace {

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// N(w) / E(w): upper-cased (a..z only), blank-padded or cut to w characters.
void appendPadded(std::string& key, const std::string& s, std::size_t w) {
    const std::size_t n = std::min(s.size(), w);
    for (std::size_t i = 0; i < n; ++i) key.push_back(upperAscii(s[i]));
    key.append(w - n, ' ');
}

// Z(n, w): zero-padded on the left to w digits, or cut to its first w characters.
void appendNumber(std::string& key, std::uint64_t n, std::size_t w) {
    std::string digits = std::to_string(n);
    if (digits.size() < w) key.append(w - digits.size(), '0');
    key.append(digits, 0, std::min(digits.size(), w));
}

bool isProgramExt(const std::string& ext) {
    if (ext.size() != 3) return false;
    std::string u;
    for (char c : ext) u.push_back(upperAscii(c));
    return u == "EXE" || u == "COM" || u == "BAT";
}

// Sizes are inverted so the largest comes first. The key has room for every 64-bit
// size (19 digits), where the old 10-digit key broke at 2 000 000 000 bytes.
constexpr std::uint64_t kSizeTop = 9999999999999999999ULL;

}  // namespace

namespace {

void appendSortKey(std::string& key, const TDirEntry& e, std::uint8_t sortType, bool foldersFirst,
                   bool programsFirst, std::uint32_t arrival) {
    if (foldersFirst && e.isDir())
        key.push_back(' ');
    else if (programsFirst && !e.isDir() && (isProgramExt(e.Ext) || e.IsExec))
        key.push_back('!');
    else
        key.push_back('@');
    switch (sortType) {
    case stArrival:
        appendNumber(key, arrival, 10);
        break;
    case stName:
        appendPadded(key, e.Name, 32);
        appendPadded(key, e.Ext, 30);
        break;
    case stExt:
        appendPadded(key, e.Ext, 30);
        appendPadded(key, e.Name, 32);
        break;
    case stSize:
        appendNumber(key, kSizeTop - static_cast<std::uint64_t>(std::max<std::int64_t>(e.Size, 0)), 19);
        appendPadded(key, e.Name, 30);
        appendPadded(key, e.Ext, 20);
        break;
    default: {
        const LocalTime& t = sortType == stCreated ? e.Created : sortType == stAccessed ? e.Accessed : e.Written;
        appendNumber(key, static_cast<std::uint64_t>(std::max(0, 9999 - t.Year)), 4);
        appendNumber(key, static_cast<std::uint64_t>(99 - t.Month), 2);
        appendNumber(key, static_cast<std::uint64_t>(99 - t.Day), 2);
        appendNumber(key, static_cast<std::uint64_t>(99 - t.Hour), 2);
        appendNumber(key, static_cast<std::uint64_t>(99 - t.Minute), 2);
        appendNumber(key, static_cast<std::uint64_t>(99 - t.Second), 2);
        appendPadded(key, e.Name, 20);
        appendPadded(key, e.Ext, 20);
        break;
    }
    }
}

}  // namespace

std::string buildSortKey(const TDirEntry& e, std::uint8_t sortType, bool foldersFirst,
                         bool programsFirst, std::uint32_t arrival) {
    std::string key;
    key.reserve(72);
    appendSortKey(key, e, sortType, foldersFirst, programsFirst, arrival);
    return key;
}

void TDirectory::Clear() {
    Items.clear();
    TotalSize = 0;
    SelectedCount = 0;
    SelectedSize = 0;
}

bool TDirectory::Read(const std::string& folder) {
    std::vector<platform::DirItem> items;
    const bool ok = platform::readDirectory(folder, items);
    Build(folder, std::move(items));
    return ok;
}

void TDirectory::Build(const std::string& folder, std::vector<platform::DirItem>&& items) {
    Clear();
    IsRoot = folder == "/";
    Path = folder;
    if (Path.empty() || Path.back() != '/') Path.push_back('/');

    std::vector<TDirEntry> arrived;
    arrived.reserve(items.size() + 1);
    if (!IsRoot) {
        TDirEntry up;
        up.FileName = up.Name = "..";  // empty key: always entry 1
        arrived.push_back(std::move(up));
    }
    // Keys of one listing all have the same length, so they live side by side in one
    // buffer: no allocation per key and cache-friendly comparisons.
    std::string keys;
    std::size_t stride = 0;
    for (auto& it : items) {
        if (!ShowHidden && it.name[0] == '.') continue;
        TDirEntry e;
        e.FileName = std::move(it.name);
        splitName(e.FileName, e.Name, e.Ext);
        e.Size = it.size;
        e.Attr = it.attr;
        e.IsLink = it.isLink;
        e.IsExec = it.executable;
        e.Created = it.created;
        e.Accessed = it.accessed;
        e.Written = it.written;
        TotalSize += e.Size;
        const std::size_t before = keys.size();
        appendSortKey(keys, e, SortType, FoldersFirst, ProgramsFirst, static_cast<std::uint32_t>(arrived.size() + 1));
        if (stride == 0) {
            stride = keys.size() - before;
            keys.reserve(stride * (items.size() + 2));
            // "..": all zero bytes sort before every key.
            if (!IsRoot) keys.insert(0, stride, '\0');
        }
        arrived.push_back(std::move(e));
    }
    // The old listing chained entries newest first and bubble-sorted that chain, which
    // never swaps equal keys. A stable sort of the reversed arrival order by the same
    // byte-wise key comparison gives exactly that order in O(n log n).
    const std::size_t n = arrived.size();
    std::vector<std::uint32_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::uint32_t>(n - 1 - i);
    if (n >= 2 && stride > 0) {
        const char* base = keys.data();
        std::stable_sort(order.begin(), order.end(), [base, stride](std::uint32_t a, std::uint32_t b) {
            return std::memcmp(base + a * stride, base + b * stride, stride) < 0;
        });
    }
    Items.reserve(n);
    for (std::uint32_t i : order) Items.push_back(std::move(arrived[i]));
}

std::string TDirectory::sortKey(int i) const {
    if (!valid(i) || entry(i).isParent()) return {};
    // The arrival number is not kept; a listing by arrival order reports 0 here.
    return buildSortKey(entry(i), SortType, FoldersFirst, ProgramsFirst, 0);
}

void TDirectory::setSize(int i, std::int64_t size) {
    if (!valid(i)) return;
    TDirEntry& e = entry(i);
    if (e.Selected) SelectedSize += size - e.Size;
    TotalSize += size - e.Size;
    e.Size = size;
}

void TDirectory::setSelected(int i, bool flag) {
    if (!valid(i)) return;
    TDirEntry& e = entry(i);
    if (e.isParent()) return;
    if (flag && !e.Selected) {
        ++SelectedCount;
        SelectedSize += e.Size;
    } else if (!flag && e.Selected) {
        --SelectedCount;
        SelectedSize -= e.Size;
    }
    e.Selected = flag ? 1 : 0;
}

int TDirectory::findByName(const std::string& text) const {
    for (int i = FilesCount(); i >= 1; --i)
        if (entry(i).FileName == text) return i;
    return 0;
}

}  // namespace kv
