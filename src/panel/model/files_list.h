#pragma once
// The files a scan found, in the order its sort option asks for: as found, or by name, or
// largest / newest first (equal keys keep the order they were found in). A sorted list
// sorts once when it is next read, not at every add, so a scan of a million files stays
// O(n log n).
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

struct TFileObject {
    std::string Name;
    std::string Path;       // the folder, ending in "/"
    std::int64_t Size = 0;  // 0 for folders
    std::uint32_t Attr = 0;
    std::int64_t Time = 0;  // last write, seconds since the epoch
};

enum class TSortOptions { soUnsort, soByName, soBySize, soByTime };

class TFilesList {
public:
    TSortOptions Sorted() const { return sorted_; }
    // Re-sorts the whole list (stable: equal keys keep their order).
    void setSorted(TSortOptions s);

    void add(TFileObject item);
    void clear() {
        items_.clear();
        sortedPrefix_ = 0;
    }
    void removeAt(std::size_t i) {
        settle();
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
        if (sortedPrefix_ > i) --sortedPrefix_;
    }
    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const TFileObject& operator[](std::size_t i) const {
        settle();
        return items_[i];
    }
    auto begin() const {
        settle();
        return items_.cbegin();
    }
    auto end() const { return items_.cend(); }

    // <0, 0, >0 as a comes before, ties with, or comes after b under the option.
    static int compare(const TFileObject& a, const TFileObject& b, TSortOptions by);

private:
    void settle() const;

    TSortOptions sorted_ = TSortOptions::soUnsort;
    mutable std::vector<TFileObject> items_;
    mutable std::size_t sortedPrefix_ = 0;  // items_[0, sortedPrefix_) are in order
};

}  // namespace kv
