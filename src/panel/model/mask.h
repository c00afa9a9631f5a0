#pragma once
// File-name masks: "*" any run of characters (also none), "?" one character, "[a-cx]" one
// character of a set of characters and ranges, "[!...]" one character not in the set; every
// other character stands for itself. ASCII letters compare without regard to case, inside
// sets and ranges too. Names are UTF-8; "?" and sets take one character, not one byte.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// "'<mask>' is an invalid mask at (<1-based position>)".
class EMaskError : public std::runtime_error {
public:
    EMaskError(const std::string& mask, int position);
    int position() const { return position_; }

private:
    int position_;
};

class TMask {
public:
    // More "*" than this in one mask is refused (it bounds the matcher's backtracking).
    static constexpr int kMaxStars = 30;

    // Throws EMaskError for a set without its "]", a range without a start or too many "*".
    explicit TMask(std::string_view mask);

    // True when the whole name matches the whole mask.
    bool Matches(std::string_view name) const;
    // True when the mask is a lone "*" (matches every name).
    bool matchesAll() const { return tokens_.size() == 1 && tokens_[0].kind == Kind::Star; }

private:
    enum class Kind : std::uint8_t { Literal, AnyOne, Set, Star };
    struct Range {
        char32_t lo, hi;
    };
    struct Token {
        Kind kind;
        bool negated = false;
        char32_t ch = 0;          // Literal, folded
        std::uint32_t first = 0;  // Set: its ranges in ranges_
        std::uint32_t count = 0;
    };
    bool inSet(const Token& t, char32_t c) const;
    bool matchOne(const Token& t, char32_t c) const;

    std::vector<Token> tokens_;
    std::vector<Range> ranges_;
};

// Several masks separated by ","; blanks before a mask are dropped, blanks after it are
// part of it. A name matches the list when any mask matches it.
class TMaskList {
public:
    explicit TMaskList(std::string_view masks);
    bool Matches(std::string_view name) const;
    bool matchesAll() const { return matchesAll_; }
    std::size_t size() const { return masks_.size(); }

private:
    std::vector<TMask> masks_;
    bool matchesAll_ = false;
};

}  // namespace kv
