#include "main/output_lines.h"

namespace kv {

namespace {

bool continuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

void OutputLines::complete(Update& u) {
    u.completed.push_back(std::move(open_));
    open_.clear();
    if (u.completed.size() > 2 * kMaxLines) {
        u.completed.erase(u.completed.begin(), u.completed.end() - static_cast<std::ptrdiff_t>(kMaxLines));
        u.dropped = true;
    }
}

OutputLines::Update OutputLines::feed(std::string_view bytes) {
    Update u;
    for (const char c : bytes) {
        if (pendingReturn_) {
            pendingReturn_ = false;
            if (c != '\n') open_.clear();  // CR alone: the line starts again
        }
        if (c == '\r') {
            pendingReturn_ = true;
            continue;
        }
        if (c == '\n') {
            complete(u);
            continue;
        }
        // Long lines are cut, but never inside a UTF-8 sequence.
        if (open_.size() >= kMaxLineLength && !continuationByte(c)) complete(u);
        open_.push_back(c);
    }
    if (u.completed.size() > kMaxLines) {
        u.completed.erase(u.completed.begin(), u.completed.end() - static_cast<std::ptrdiff_t>(kMaxLines));
        u.dropped = true;
    }
    return u;
}

std::string OutputLines::takeOpen() {
    std::string out;
    out.swap(open_);
    pendingReturn_ = false;
    return out;
}

}  // namespace kv
