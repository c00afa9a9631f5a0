#pragma once
// Cuts what a command prints into the lines the output window shows. A carriage return
// on its own starts its line again (progress counters overwrite themselves, as in a
// terminal); a line longer than kMaxLineLength bytes goes on in a new line; of a burst
// only the newest kMaxLines lines are handed on. So however much a command prints, the
// window holds at most kMaxLines lines of bounded length.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

class OutputLines {
public:
    static constexpr std::size_t kMaxLines = 3000;
    static constexpr std::size_t kMaxLineLength = 1000;

    struct Update {
        std::vector<std::string> completed;  // lines ended by these bytes, oldest first
        bool dropped = false;                // older completed lines were left out
    };

    Update feed(std::string_view bytes);
    // The line not ended yet (shown below the completed ones).
    const std::string& open() const { return open_; }
    // Hands the open line over (as when its command has ended) and starts a fresh one.
    std::string takeOpen();

private:
    void complete(Update& u);

    std::string open_;
    bool pendingReturn_ = false;  // a '\r' whose next byte decides what it meant
};

}  // namespace kv
