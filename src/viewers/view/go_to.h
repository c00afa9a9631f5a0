#pragma once
// What the viewer's "Go to" takes: a line number ("1200"), an offset ("0x4B0", "4B0h") or
// a percentage ("50%").
#include <cstdint>
#include <optional>
#include <string_view>

namespace kv::view {

struct GoTo {
    enum class Kind { Line, Offset, Percent };
    Kind kind = Kind::Line;
    std::uint64_t value = 0;  // a line from 1, a byte offset, or a percentage 0..100
};

// Nothing when the text is none of the three (or a number too big for 64 bits).
std::optional<GoTo> parseGoTo(std::string_view text);

}  // namespace kv::view
