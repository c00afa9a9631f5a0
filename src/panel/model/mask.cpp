#include "panel/model/mask.h"

#include <span>

namespace kv {
namespace {

// One character of UTF-8 text at i (i moves past it). A byte that starts no valid
// sequence stands for itself, so any name can be matched.
char32_t nextChar(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    int len = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
    if (len <= 1 || i + static_cast<std::size_t>(len) > s.size()) {
        ++i;
        return b0;
    }
    char32_t c = b0 & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return b0;
        }
        c = (c << 6) | (b & 0x3F);
    }
    i += static_cast<std::size_t>(len);
    return c;
}

char32_t fold(char32_t c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

char32_t otherCase(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + ('a' - 'A');
    if (c >= 'a' && c <= 'z') return c - ('a' - 'A');
    return c;
}

std::vector<char32_t> decode(std::string_view s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) out.push_back(nextChar(s, i));
    return out;
}

}  // namespace

EMaskError::EMaskError(const std::string& mask, int position)
    : std::runtime_error("'" + mask + "' is an invalid mask at (" + std::to_string(position) + ")"),
      position_(position) {}

TMask::TMask(std::string_view mask) {
    const std::vector<char32_t> m = decode(mask);
    int stars = 0;
    auto fail = [&](std::size_t at) { throw EMaskError(std::string(mask), static_cast<int>(at) + 1); };
    for (std::size_t i = 0; i < m.size(); ++i) {
        const char32_t c = m[i];
        if (c == '*') {
            if (++stars > kMaxStars) fail(i);
            tokens_.push_back({Kind::Star});
        } else if (c == '?') {
            tokens_.push_back({Kind::AnyOne});
        } else if (c == '[') {
            const std::size_t open = i;
            Token t{Kind::Set};
            t.first = static_cast<std::uint32_t>(ranges_.size());
            ++i;
            if (i < m.size() && m[i] == '!') {
                t.negated = true;
                ++i;
            }
            bool closed = false;
            for (; i < m.size(); ++i) {
                if (m[i] == ']') {
                    closed = true;
                    break;
                }
                if (m[i] == '-') fail(i);  // a range needs its first character
                if (i + 2 < m.size() && m[i + 1] == '-' && m[i + 2] != ']') {
                    ranges_.push_back({m[i], m[i + 2]});
                    i += 2;
                } else {
                    ranges_.push_back({m[i], m[i]});
                    // "[a-]": the dash is a member of its own.
                    if (i + 2 < m.size() && m[i + 1] == '-') {
                        ranges_.push_back({'-', '-'});
                        ++i;
                    }
                }
            }
            if (!closed) fail(open);
            t.count = static_cast<std::uint32_t>(ranges_.size()) - t.first;
            tokens_.push_back(t);
        } else {
            Token t{Kind::Literal};
            t.ch = fold(c);
            tokens_.push_back(t);
        }
    }
}

bool TMask::inSet(const Token& t, char32_t c) const {
    for (std::uint32_t k = t.first; k < t.first + t.count; ++k)
        if (c >= ranges_[k].lo && c <= ranges_[k].hi) return true;
    return false;
}

bool TMask::matchOne(const Token& t, char32_t c) const {
    switch (t.kind) {
        case Kind::Literal: return fold(c) == t.ch;
        case Kind::AnyOne: return true;
        case Kind::Set: {
            const bool in = inSet(t, c) || (otherCase(c) != c && inSet(t, otherCase(c)));
            return in != t.negated;
        }
        case Kind::Star: break;
    }
    return false;
}

bool TMask::Matches(std::string_view nameText) const {
    if (matchesAll()) return true;
    // A file name has at most 255 bytes, so its characters fit on the stack: no allocation
    // per name when a search matches hundreds of thousands of them.
    char32_t local[256];
    std::vector<char32_t> heap;
    std::span<const char32_t> name;
    if (nameText.size() <= std::size(local)) {
        std::size_t count = 0;
        for (std::size_t i = 0; i < nameText.size();) local[count++] = nextChar(nameText, i);
        name = std::span<const char32_t>(local, count);
    } else {
        heap = decode(nameText);
        name = heap;
    }
    // Greedy with one backtrack point: the last "*" seen takes one more character when the
    // rest fails. Linear in the name for each star, so a hostile name cannot blow up.
    std::size_t t = 0, n = 0;
    std::size_t starToken = SIZE_MAX, starName = 0;
    while (n < name.size()) {
        if (t < tokens_.size() && tokens_[t].kind == Kind::Star) {
            starToken = t++;
            starName = n;
        } else if (t < tokens_.size() && matchOne(tokens_[t], name[n])) {
            ++t;
            ++n;
        } else if (starToken != SIZE_MAX) {
            t = starToken + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (t < tokens_.size() && tokens_[t].kind == Kind::Star) ++t;
    return t == tokens_.size();
}

TMaskList::TMaskList(std::string_view masks) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = masks.find(',', start);
        std::string_view one =
            masks.substr(start, comma == std::string_view::npos ? masks.npos : comma - start);
        while (!one.empty() && one.front() == ' ') one.remove_prefix(1);
        if (!one.empty()) {
            masks_.emplace_back(one);
            if (masks_.back().matchesAll()) matchesAll_ = true;
        }
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
}

bool TMaskList::Matches(std::string_view name) const {
    if (matchesAll_) return true;
    for (const TMask& m : masks_)
        if (m.Matches(name)) return true;
    return false;
}

}  // namespace kv
