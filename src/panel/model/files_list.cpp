#include "panel/model/files_list.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace kv {

int TFilesList::compare(const TFileObject& a, const TFileObject& b, TSortOptions by) {
    switch (by) {
        case TSortOptions::soByName: {
            const int c = ::strcasecmp(a.Name.c_str(), b.Name.c_str());
            return c < 0 ? -1 : c > 0 ? 1 : 0;
        }
        case TSortOptions::soBySize: return a.Size > b.Size ? -1 : a.Size < b.Size ? 1 : 0;
        case TSortOptions::soByTime: return a.Time > b.Time ? -1 : a.Time < b.Time ? 1 : 0;
        case TSortOptions::soUnsort: break;
    }
    return 0;
}

void TFilesList::setSorted(TSortOptions s) {
    sorted_ = s;
    sortedPrefix_ = 0;
}

void TFilesList::add(TFileObject item) { items_.push_back(std::move(item)); }

void TFilesList::settle() const {
    if (sorted_ == TSortOptions::soUnsort || sortedPrefix_ == items_.size()) return;
    auto less = [s = sorted_](const TFileObject& a, const TFileObject& b) { return compare(a, b, s) < 0; };
    // The new tail after the sorted part: stable, so later arrivals follow their equals.
    const auto mid = items_.begin() + static_cast<std::ptrdiff_t>(sortedPrefix_);
    std::stable_sort(mid, items_.end(), less);
    std::inplace_merge(items_.begin(), mid, items_.end(), less);
    sortedPrefix_ = items_.size();
}

}  // namespace kv
