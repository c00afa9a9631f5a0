#include "panel/model/directory.h"

#include "panel/model/key_sort.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <unordered_set>

#include "platform/atomic_file.h"

namespace kv {

std::string_view TDirEntry::Name() const {
    const auto dot = FileName.find_last_of('.');
    return dot == std::string::npos ? std::string_view(FileName) : std::string_view(FileName).substr(0, dot);
}

std::string_view TDirEntry::Ext() const {
    const auto dot = FileName.find_last_of('.');
    return dot == std::string::npos ? std::string_view() : std::string_view(FileName).substr(dot + 1);
}

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
void appendPadded(std::string& key, std::string_view s, std::size_t w, std::size_t cut) {
    w = std::min(w, cut);
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

bool isProgramExt(std::string_view ext) {
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

// Widths at most this long for the name and extension columns (see Build).
struct KeyCut {
    std::size_t name = SIZE_MAX, ext = SIZE_MAX;
};

void appendSortKey(std::string& key, const TDirEntry& e, std::uint8_t sortType, bool foldersFirst,
                   bool programsFirst, std::uint32_t arrival, KeyCut cut = {}) {
    if (foldersFirst && e.isDir())
        key.push_back(' ');
    else if (programsFirst && !e.isDir() && (isProgramExt(e.Ext()) || e.IsExec))
        key.push_back('!');
    else
        key.push_back('@');
    switch (sortType) {
        case stArrival: appendNumber(key, arrival, 10); break;
        case stName:
            appendPadded(key, e.Name(), 32, cut.name);
            appendPadded(key, e.Ext(), 30, cut.ext);
            break;
        case stExt:
            appendPadded(key, e.Ext(), 30, cut.ext);
            appendPadded(key, e.Name(), 32, cut.name);
            break;
        case stSize:
            appendNumber(key, kSizeTop - static_cast<std::uint64_t>(std::max<std::int64_t>(e.Size, 0)), 19);
            appendPadded(key, e.Name(), 30, cut.name);
            appendPadded(key, e.Ext(), 20, cut.ext);
            break;
        default: {
            const LocalTime& t = sortType == stCreated    ? e.Created
                                 : sortType == stAccessed ? e.Accessed
                                                          : e.Written;
            appendNumber(key, static_cast<std::uint64_t>(std::max(0, 9999 - t.Year)), 4);
            appendNumber(key, static_cast<std::uint64_t>(99 - t.Month), 2);
            appendNumber(key, static_cast<std::uint64_t>(99 - t.Day), 2);
            appendNumber(key, static_cast<std::uint64_t>(99 - t.Hour), 2);
            appendNumber(key, static_cast<std::uint64_t>(99 - t.Minute), 2);
            appendNumber(key, static_cast<std::uint64_t>(99 - t.Second), 2);
            appendPadded(key, e.Name(), 20, cut.name);
            appendPadded(key, e.Ext(), 20, cut.ext);
            break;
        }
    }
}

}  // namespace

std::string buildSortKey(const TDirEntry& e, std::uint8_t sortType, bool foldersFirst, bool programsFirst,
                         std::uint32_t arrival) {
    std::string key;
    key.reserve(72);
    appendSortKey(key, e, sortType, foldersFirst, programsFirst, arrival);
    return key;
}

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;     // no slot / an empty index cell
constexpr std::uint32_t kDeleted = 0xFFFFFFFEu;  // an index cell whose entry left

std::size_t hashName(std::string_view name) { return std::hash<std::string_view>{}(name); }

}  // namespace

void TDirectory::Clear() {
    pool_.clear();
    order_.clear();
    free_.clear();
    index_.clear();
    indexUsed_ = 0;
    lastArrival_ = 0;
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

TDirEntry TDirectory::fromItem(platform::DirItem&& it, std::uint32_t arrival) const {
    TDirEntry e;
    e.FileName = std::move(it.name);
    e.Size = it.size;
    e.Attr = it.attr;
    e.IsLink = it.isLink;
    e.IsExec = it.executable;
    e.IsBroken = it.danglingLink;
    e.Kind = it.kind;
    e.Created = it.created;
    e.Accessed = it.accessed;
    e.Written = it.written;
    e.Arrival = arrival;
    return e;
}

void TDirectory::Build(const std::string& folder, std::vector<platform::DirItem>&& items) {
    Clear();
    IsRoot = folder == "/";
    Path = folder;
    if (Path.empty() || Path.back() != '/') Path.push_back('/');

    pool_.reserve(items.size() + 1);
    if (!IsRoot) {
        TDirEntry up;
        up.FileName = "..";  // empty key: always entry 1
        up.Arrival = 1;
        pool_.push_back(std::move(up));
    }
    for (auto& it : items) {
        // A file being written by a job is not an entry yet.
        if ((!ShowHidden && it.name[0] == '.') || platform::isTemporaryFileName(it.name)) continue;
        TotalSize += it.size;
        pool_.push_back(fromItem(std::move(it), static_cast<std::uint32_t>(pool_.size() + 1)));
    }
    // The names now live in the entries; the read's own records can go before the keys
    // are made, so the two never take memory at the same time.
    std::vector<platform::DirItem>().swap(items);
    lastArrival_ = static_cast<std::uint32_t>(pool_.size());

    // Keys of one listing all have the same length, so they live side by side in one
    // buffer: no allocation per key. Name and extension columns past the longest in this
    // listing would hold a blank in every key and decide nothing, so they are left out.
    const std::size_t n = pool_.size();
    KeyCut cut{0, 0};
    for (std::size_t i = 0; i < n; ++i) {
        const TDirEntry& e = pool_[i];
        cut.name = std::max(cut.name, e.Name().size());
        cut.ext = std::max(cut.ext, e.Ext().size());
    }
    // ".." (the first entry, when there is one) comes before every other.
    const std::size_t first = (!IsRoot && n > 0 && pool_[0].isParent()) ? 1 : 0;
    std::string keys;
    std::size_t stride = 0;
    for (std::size_t i = first; i < n; ++i) {
        const std::size_t before = keys.size();
        appendSortKey(keys, pool_[i], SortType, FoldersFirst, ProgramsFirst, pool_[i].Arrival, cut);
        if (stride == 0) {
            stride = keys.size() - before;
            keys.reserve(stride * (n - first));
        }
    }
    // The old listing chained entries newest first and bubble-sorted that chain, which
    // never swaps equal keys: equal keys keep the later entry first.
    std::vector<std::uint32_t> sorted;
    sortByKeys(keys.data(), stride, n - first, sorted, kParallelSortMin);
    order_.resize(n);
    if (first) order_[0] = 0;
    for (std::size_t i = 0; i < sorted.size(); ++i)
        order_[first + i] = sorted[i] + static_cast<std::uint32_t>(first);
    std::string().swap(keys);
    rebuildIndex(n);
}

// ---- the name index ------------------------------------------------------------------

void TDirectory::rebuildIndex(std::size_t live) {
    std::size_t cap = 16;
    while (cap * 7 < (live + 1) * 10) cap *= 2;
    index_.assign(cap, kNone);
    indexUsed_ = 0;
    // Every entry in the pool, also those a batch has made but not yet placed; a freed
    // slot has no name.
    for (std::size_t slot = 0; slot < pool_.size(); ++slot)
        if (!pool_[slot].FileName.empty()) indexInsert(static_cast<std::uint32_t>(slot));
}

std::uint32_t TDirectory::slotOf(std::string_view name) const {
    if (index_.empty()) return kNone;
    const std::size_t mask = index_.size() - 1;
    for (std::size_t i = hashName(name) & mask;; i = (i + 1) & mask) {
        const std::uint32_t s = index_[i];
        if (s == kNone) return kNone;
        if (s != kDeleted && pool_[s].FileName == name) return s;
    }
}

void TDirectory::indexInsert(std::uint32_t slot) {
    if (index_.empty() || (indexUsed_ + 1) * 10 > index_.size() * 7) {
        rebuildIndex(pool_.size() - free_.size() + 1);     // also drops the deleted marks
        if (slotOf(pool_[slot].FileName) == slot) return;  // the rebuild took it in
    }
    const std::size_t mask = index_.size() - 1;
    for (std::size_t i = hashName(pool_[slot].FileName) & mask;; i = (i + 1) & mask) {
        if (index_[i] == kNone) ++indexUsed_;
        if (index_[i] == kNone || index_[i] == kDeleted) {
            index_[i] = slot;
            return;
        }
    }
}

void TDirectory::indexErase(std::uint32_t slot) {
    if (index_.empty()) return;
    const std::size_t mask = index_.size() - 1;
    for (std::size_t i = hashName(pool_[slot].FileName) & mask;; i = (i + 1) & mask) {
        if (index_[i] == kNone) return;
        if (index_[i] == slot) {
            index_[i] = kDeleted;
            return;
        }
    }
}

// ---- positions by key ------------------------------------------------------------------

void TDirectory::keyOf(std::uint32_t slot, std::string& key) const {
    key.clear();
    const TDirEntry& e = pool_[slot];
    if (e.isParent()) return;  // the empty key: before every other
    appendSortKey(key, e, SortType, FoldersFirst, ProgramsFirst, e.Arrival);
}

std::size_t TDirectory::positionOf(std::uint32_t slot) const {
    std::string key, probe;
    keyOf(slot, key);
    std::size_t lo = 0, hi = order_.size();
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        keyOf(order_[mid], probe);
        if (probe < key)
            lo = mid + 1;
        else
            hi = mid;
    }
    // Equal keys lie side by side; the slot is among them.
    for (std::size_t p = lo; p < order_.size(); ++p) {
        if (order_[p] == slot) return p;
        keyOf(order_[p], probe);
        if (probe != key) break;
    }
    for (std::size_t p = 0; p < order_.size(); ++p)  // never reached while keys are right
        if (order_[p] == slot) return p;
    return order_.size();
}

std::size_t TDirectory::upperBound(const std::string& key, const std::vector<std::uint32_t>& order,
                                   bool& tie) const {
    std::string probe;
    std::size_t lo = 0, hi = order.size();
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        keyOf(order[mid], probe);
        if (key < probe)
            hi = mid;
        else
            lo = mid + 1;
    }
    tie = false;
    if (lo > 0) {
        keyOf(order[lo - 1], probe);
        tie = probe == key;
    }
    return lo;
}

bool TDirectory::Apply(std::vector<platform::DirItem>&& present, const std::vector<std::string>& absent) {
    // Everything is planned before anything changes, so a refusal leaves the listing whole.
    struct Insert {
        std::uint32_t slot;  // kNone: a new entry
        TDirEntry entry;
        std::string key;
    };
    std::vector<std::uint32_t> removed;  // slots leaving their place (gone or moving)
    std::vector<Insert> inserts;
    std::vector<std::pair<std::uint32_t, TDirEntry>> inPlace;
    std::unordered_set<std::string> seen;
    std::string oldKey;

    auto dropName = [&](const std::string& name) {
        const std::uint32_t s = slotOf(name);
        if (s != kNone && !pool_[s].isParent()) removed.push_back(s);
    };
    for (const std::string& name : absent)
        if (seen.insert(name).second) dropName(name);
    for (auto& it : present) {
        if (it.name.empty() || it.name == "." || it.name == ".." || !seen.insert(it.name).second) continue;
        if ((!ShowHidden && it.name[0] == '.') || platform::isTemporaryFileName(it.name)) {
            dropName(it.name);
            continue;
        }
        const std::uint32_t s = slotOf(it.name);
        Insert ins{s, fromItem(std::move(it), s == kNone ? 0 : pool_[s].Arrival), {}};
        if (s == kNone && SortType == stArrival) return false;  // its place is the file system's
        appendSortKey(ins.key, ins.entry, SortType, FoldersFirst, ProgramsFirst, ins.entry.Arrival);
        if (s != kNone) {
            ins.entry.Selected = pool_[s].Selected;
            keyOf(s, oldKey);
            if (oldKey == ins.key) {
                inPlace.emplace_back(s, std::move(ins.entry));
                continue;
            }
            removed.push_back(s);
        }
        inserts.push_back(std::move(ins));
    }
    std::sort(inserts.begin(), inserts.end(), [](const Insert& a, const Insert& b) { return a.key < b.key; });
    for (std::size_t i = 1; i < inserts.size(); ++i)
        if (inserts[i - 1].key == inserts[i].key) return false;

    // Where the removed entries are, while their old keys still find them.
    std::vector<std::size_t> positions;
    positions.reserve(removed.size());
    for (std::uint32_t s : removed) positions.push_back(positionOf(s));
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    // A new key equal to one that stays is a tie only the file system's order decides.
    {
        std::vector<std::uint32_t> sortedRemoved = removed;
        std::sort(sortedRemoved.begin(), sortedRemoved.end());
        auto isRemoved = [&](std::uint32_t s) {
            return std::binary_search(sortedRemoved.begin(), sortedRemoved.end(), s);
        };
        std::string probe;
        for (const Insert& ins : inserts) {
            bool tie = false;
            std::size_t p = upperBound(ins.key, order_, tie);
            while (p > 0) {
                const std::uint32_t left = order_[p - 1];
                keyOf(left, probe);
                if (probe != ins.key) break;
                if (!isRemoved(left)) return false;
                --p;
            }
        }
    }

    // Apply: values first, then the order array in one pass.
    for (auto& [s, e] : inPlace) {
        TDirEntry& cur = pool_[s];
        TotalSize += e.Size - cur.Size;
        if (cur.Selected) SelectedSize += e.Size - cur.Size;
        cur = std::move(e);
    }
    if (!positions.empty()) {
        std::size_t out = 0, next = 0;
        for (std::size_t p = 0; p < order_.size(); ++p) {
            if (next < positions.size() && positions[next] == p) {
                ++next;
                continue;
            }
            order_[out++] = order_[p];
        }
        order_.resize(out);
    }
    std::vector<std::uint32_t> moving;
    for (const Insert& ins : inserts)
        if (ins.slot != kNone) moving.push_back(ins.slot);
    std::sort(moving.begin(), moving.end());
    for (std::uint32_t s : removed) {
        if (std::binary_search(moving.begin(), moving.end(), s)) continue;
        TDirEntry& e = pool_[s];
        TotalSize -= e.Size;
        if (e.Selected) {
            --SelectedCount;
            SelectedSize -= e.Size;
        }
        indexErase(s);
        e = TDirEntry{};
        free_.push_back(s);
    }
    std::vector<std::pair<std::size_t, std::uint32_t>> placed;  // (position, slot)
    placed.reserve(inserts.size());
    for (Insert& ins : inserts) {
        bool tie = false;
        const std::size_t p = upperBound(ins.key, order_, tie);
        std::uint32_t s = ins.slot;
        if (s != kNone) {
            TDirEntry& cur = pool_[s];
            TotalSize += ins.entry.Size - cur.Size;
            if (cur.Selected) SelectedSize += ins.entry.Size - cur.Size;
            cur = std::move(ins.entry);
        } else {
            ins.entry.Arrival = ++lastArrival_;
            TotalSize += ins.entry.Size;
            if (!free_.empty()) {
                s = free_.back();
                free_.pop_back();
                pool_[s] = std::move(ins.entry);
            } else {
                s = static_cast<std::uint32_t>(pool_.size());
                pool_.push_back(std::move(ins.entry));
            }
            indexInsert(s);
        }
        placed.emplace_back(p, s);
    }
    // Inserts are in key order, so their positions never decrease: one merge pass.
    if (!placed.empty()) {
        std::vector<std::uint32_t> merged;
        merged.reserve(order_.size() + placed.size());
        std::size_t from = 0;
        for (const auto& [p, s] : placed) {
            merged.insert(merged.end(), order_.begin() + static_cast<std::ptrdiff_t>(from),
                          order_.begin() + static_cast<std::ptrdiff_t>(p));
            merged.push_back(s);
            from = p;
        }
        merged.insert(merged.end(), order_.begin() + static_cast<std::ptrdiff_t>(from), order_.end());
        order_.swap(merged);
    }
    return true;
}

// ---- queries ---------------------------------------------------------------------------

std::string TDirectory::sortKey(int i) const {
    if (!valid(i) || entry(i).isParent()) return {};
    std::string key;
    keyOf(order_[static_cast<std::size_t>(i - 1)], key);
    return key;
}

void TDirectory::setSize(int i, std::int64_t size) {
    if (!valid(i)) return;
    TDirEntry& e = entry(i);
    if (e.Selected) SelectedSize += size - e.Size;
    TotalSize += size - e.Size;
    e.Size = size;
    e.SizeCounted = true;
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
    const std::uint32_t s = slotOf(text);
    if (s == kNone) return 0;
    const std::size_t p = positionOf(s);
    return p < order_.size() ? static_cast<int>(p) + 1 : 0;
}

std::size_t TDirectory::memoryBytes() const {
    std::size_t bytes = pool_.capacity() * sizeof(TDirEntry) +
                        (order_.capacity() + free_.capacity() + index_.capacity()) * sizeof(std::uint32_t);
    const std::string inlineProbe;
    for (std::size_t i = 0; i < pool_.size(); ++i)
        if (const TDirEntry& e = pool_[i]; e.FileName.capacity() > inlineProbe.capacity())
            bytes += e.FileName.capacity() + 1;
    return bytes;
}

}  // namespace kv
