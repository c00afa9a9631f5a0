#include "panel/model/quick_search.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "panel/model/directory.h"
#include "platform/text_codec.h"

namespace kv {
namespace {

// Upper-case ranges and how far their lower-case forms lie. With `alternate`, only every
// other character from `lo` is upper case (the lower case follows it at +1).
struct FoldRange {
    char32_t lo, hi;
    std::int32_t delta;
    bool alternate;
};

// Sorted by `lo`, not overlapping.
constexpr FoldRange kFolds[] = {
    {0x0041, 0x005A, 32, false},                                  // Latin A-Z
    {0x00B5, 0x00B5, 0x307, false},                               // micro sign -> Greek mu
    {0x00C0, 0x00D6, 32, false},                                  // Latin-1 letters
    {0x00D8, 0x00DE, 32, false},      {0x0100, 0x012F, 1, true},  // Latin Extended-A
    {0x0132, 0x0137, 1, true},        {0x0139, 0x0148, 1, true},
    {0x014A, 0x0177, 1, true},        {0x0178, 0x0178, -0x79, false},   // Y with diaeresis
    {0x0179, 0x017E, 1, true},        {0x017F, 0x017F, -0x10C, false},  // long s
    {0x01CD, 0x01DC, 1, true},                                          // Latin Extended-B, the regular runs
    {0x01DE, 0x01EF, 1, true},        {0x01F8, 0x021F, 1, true},
    {0x0222, 0x0233, 1, true},        {0x0386, 0x0386, 38, false},  // Greek
    {0x0388, 0x038A, 37, false},      {0x038C, 0x038C, 64, false},
    {0x038E, 0x038F, 63, false},      {0x0391, 0x03A1, 32, false},
    {0x03A3, 0x03AB, 32, false},      {0x03C2, 0x03C2, 1, false},   // final sigma
    {0x03D8, 0x03EF, 1, true},        {0x0400, 0x040F, 80, false},  // Cyrillic
    {0x0410, 0x042F, 32, false},      {0x0460, 0x0481, 1, true},
    {0x048A, 0x04BF, 1, true},        {0x04C0, 0x04C0, 15, false},
    {0x04C1, 0x04CE, 1, true},        {0x04D0, 0x052F, 1, true},
    {0x0531, 0x0556, 48, false},                                    // Armenian
    {0x10A0, 0x10C5, 7264, false},                                  // Georgian
    {0x1E00, 0x1E95, 1, true},                                      // Latin Extended Additional
    {0x1E9E, 0x1E9E, -0x1DBF, false},                               // capital sharp s
    {0x1EA0, 0x1EFF, 1, true},        {0x2160, 0x216F, 16, false},  // Roman numerals
    {0x24B6, 0x24CF, 26, false},                                    // circled letters
    {0x2C00, 0x2C2F, 48, false},                                    // Glagolitic
    {0xFF21, 0xFF3A, 32, false},                                    // full-width Latin
    {0x10400, 0x10427, 40, false},                                  // Deseret
};

// A byte that starts no valid UTF-8 sequence: a value no character has, so it matches only
// the same byte.
constexpr char32_t kStrayByte = 0x110000;

char32_t nextChar(std::string_view s, std::size_t& i) {
    const std::size_t len = platform::Utf8SequenceLength(s, i);
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (len == 0) {
        ++i;
        return kStrayByte + b0;
    }
    if (len == 1) {
        ++i;
        return b0;
    }
    char32_t c = b0 & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += len;
    return c;
}

}  // namespace

char32_t FoldCase(char32_t c) {
    if (c < 0x41) return c;
    if (c <= 0x5A) return c + 32;
    if (c < 0xB5) return c;
    const auto* end = std::end(kFolds);
    const auto* r =
        std::upper_bound(std::begin(kFolds), end, c, [](char32_t v, const FoldRange& f) { return v < f.lo; });
    if (r == std::begin(kFolds)) return c;
    --r;
    if (c > r->hi || (r->alternate && (c - r->lo) % 2 != 0)) return c;
    return static_cast<char32_t>(static_cast<std::int32_t>(c) + r->delta);
}

TQuickSearchText::TQuickSearchText(std::string_view typed) {
    for (std::size_t i = 0; i < typed.size();) folded_.push_back(FoldCase(nextChar(typed, i)));
}

bool TQuickSearchText::Matches(std::string_view name) const {
    if (folded_.empty() || name == "..") return false;
    std::size_t at = 0;
    for (char32_t want : folded_) {
        if (at >= name.size()) return false;
        // ASCII, the common case, without decoding.
        const auto b = static_cast<unsigned char>(name[at]);
        const char32_t got = b < 0x80 ? FoldCase(b) : FoldCase(nextChar(name, at));
        if (b < 0x80) ++at;
        if (got != want) return false;
    }
    return true;
}

int FindQuickMatch(const TDirectory& fl, const TQuickSearchText& text, int from, int step) {
    return FindQuickMatch(
        fl.FilesCount(), [&fl](int i) -> std::string_view { return fl.displayName(i); }, text, from, step);
}

}  // namespace kv
