#pragma once
// The command line's history: every command run and every file started, oldest first, and
// the place Ctrl+E has stepped back to.
#include <string>
#include <vector>

namespace kv {

class CommandHistory {
public:
    // A new entry; the next step back starts from it.
    void add(std::string text) {
        items_.push_back(std::move(text));
        index_ = static_cast<int>(items_.size()) - 1;
        browsing_ = false;
    }
    bool empty() const { return items_.empty(); }
    const std::vector<std::string>& items() const { return items_; }
    // One step back: the newest entry first, then older ones, stopping at the oldest.
    // Only called when the history is not empty.
    const std::string& back() {
        if (browsing_ && index_ > 0) --index_;
        if (index_ < 0 || index_ >= static_cast<int>(items_.size()))
            index_ = static_cast<int>(items_.size()) - 1;
        browsing_ = true;
        return items_[static_cast<size_t>(index_)];
    }

private:
    std::vector<std::string> items_;
    int index_ = -1;
    bool browsing_ = false;
};

}  // namespace kv
