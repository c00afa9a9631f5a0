#include "viewers/view/go_to.h"

#include <cctype>

namespace kv::view {

std::optional<GoTo> parseGoTo(std::string_view t) {
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front()))) t.remove_prefix(1);
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.remove_suffix(1);
    GoTo g;
    unsigned base = 10;
    if (!t.empty() && t.back() == '%') {
        g.kind = GoTo::Kind::Percent;
        t.remove_suffix(1);
    } else if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        g.kind = GoTo::Kind::Offset;
        base = 16;
        t.remove_prefix(2);
    } else if (t.size() > 1 && (t.back() == 'h' || t.back() == 'H')) {
        g.kind = GoTo::Kind::Offset;
        base = 16;
        t.remove_suffix(1);
    }
    if (t.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : t) {
        const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                      : base == 16 && std::isxdigit(static_cast<unsigned char>(c))
                          ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                          : -1;
        if (d < 0 || v > (UINT64_MAX - static_cast<unsigned>(d)) / base) return std::nullopt;
        v = v * base + static_cast<unsigned>(d);
    }
    if (g.kind == GoTo::Kind::Percent && v > 100) return std::nullopt;
    g.value = v;
    return g;
}

}  // namespace kv::view
