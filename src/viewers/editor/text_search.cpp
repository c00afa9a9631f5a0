#include "viewers/editor/text_search.h"

#include <algorithm>
#include <vector>

namespace kv::editor {

char16_t foldCase(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 0x20) : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return char16_t(c + 0x20);
    if (c == 0x178) return 0xFF;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs an upper-case letter with the lower-case one after it; the
        // run 0x139..0x148 and 0x179..0x17E start on odd places, and a few have no pair.
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        const bool oddRun = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        const bool upper = oddRun ? (c & 1) : !(c & 1);
        return upper ? char16_t(c + 1) : c;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return char16_t(c + 0x20);
    if (c >= 0x400 && c <= 0x40F) return char16_t(c + 0x50);
    if (c >= 0x410 && c <= 0x42F) return char16_t(c + 0x20);
    if (c >= 0x460 && c <= 0x52F && !(c & 1) && !(c >= 0x482 && c <= 0x489)) return char16_t(c + 1);
    return c;
}

bool isWordChar(char16_t c) {
    if (c < 0x80) return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
    return (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) || (c >= 0x386 && c <= 0x3FF) ||
           (c >= 0x400 && c <= 0x52F && !(c >= 0x482 && c <= 0x489));
}

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// A text whose neighbours of one position can be overridden: Replace All searches the
// original text but must see the replacement it just put in beside the next hit.
struct Subject {
    std::u16string_view text;
    std::size_t leftEdge = kNone;   // a hit starting here has `leftChar` before it
    std::size_t rightEdge = kNone;  // a hit ending here has `rightChar` after it
    std::optional<char16_t> leftChar, rightChar;

    bool wordBefore(std::size_t q) const {
        if (q == leftEdge) return leftChar && isWordChar(*leftChar);
        return q > 0 && isWordChar(text[q - 1]);
    }
    bool wordAfter(std::size_t end) const {
        if (end == rightEdge) return rightChar && isWordChar(*rightChar);
        return end < text.size() && isWordChar(text[end]);
    }
};

bool matchesAt(std::u16string_view text, std::size_t q, std::u16string_view what, bool matchCase) {
    for (std::size_t i = 0; i < what.size(); ++i) {
        const char16_t a = text[q + i], b = what[i];
        if (a != b && (matchCase || foldCase(a) != foldCase(b))) return false;
    }
    return true;
}

bool hitAt(const Subject& s, std::size_t q, std::u16string_view what, const SearchOptions& o) {
    if (!matchesAt(s.text, q, what, o.matchCase)) return false;
    return !o.wholeWord || (!s.wordBefore(q) && !s.wordAfter(q + what.size()));
}

// Downward: the first hit at or after `from`; upward: the last hit ending at or before `to`.
std::optional<std::size_t> searchDown(const Subject& s, std::size_t from, std::u16string_view what,
                                      const SearchOptions& o) {
    const std::size_t n = s.text.size(), l = what.size();
    if (l == 0 || n == 0 || from > n || l > n - from) return std::nullopt;
    // The first unit of the search text, folded, skips most positions cheaply.
    const char16_t first = o.matchCase ? what[0] : foldCase(what[0]);
    for (std::size_t q = from; q + l <= n; ++q) {
        const char16_t c = o.matchCase ? s.text[q] : foldCase(s.text[q]);
        if (c == first && hitAt(s, q, what, o)) return q;
    }
    return std::nullopt;
}

std::optional<std::size_t> searchUp(const Subject& s, std::size_t to, std::u16string_view what,
                                    const SearchOptions& o) {
    const std::size_t n = s.text.size(), l = what.size();
    if (l == 0 || n == 0 || to > n || l > to) return std::nullopt;
    for (std::size_t q = to - l + 1; q-- > 0;)
        if (hitAt(s, q, what, o)) return q;
    return std::nullopt;
}

}  // namespace

std::optional<std::size_t> findText(std::u16string_view text, std::size_t selStart, std::size_t selLength,
                                    std::u16string_view what, const SearchOptions& options) {
    Subject s;
    s.text = text;
    if (selStart > text.size()) return std::nullopt;
    if (options.down) {
        if (selLength > text.size() - selStart) return std::nullopt;
        return searchDown(s, selStart + selLength, what, options);
    }
    return searchUp(s, selStart, what, options);
}

bool sameText(std::u16string_view selection, std::u16string_view what, bool matchCase) {
    return !what.empty() && selection.size() == what.size() && matchesAt(selection, 0, what, matchCase);
}

ReplaceAllResult replaceAll(std::u16string_view text, std::size_t selStart, std::size_t selLength,
                            std::u16string_view what, std::u16string_view with,
                            const SearchOptions& options) {
    ReplaceAllResult r;
    r.selStart = selStart;
    r.selLength = selLength;
    if (what.empty() || selStart > text.size() || selLength > text.size() - selStart) {
        r.text = text;
        return r;
    }
    // The hits in the original text, in search order. Each replacement changes what the
    // next hit beside it sees as its neighbour, so the search is told about it.
    std::vector<std::size_t> hits;
    Subject s;
    s.text = text;
    const std::size_t l = what.size();
    auto before = [&](std::size_t q) -> std::optional<char16_t> {
        if (q == s.leftEdge) return s.leftChar;
        return q > 0 ? std::optional<char16_t>(text[q - 1]) : std::nullopt;
    };
    auto after = [&](std::size_t end) -> std::optional<char16_t> {
        if (end == s.rightEdge) return s.rightChar;
        return end < text.size() ? std::optional<char16_t>(text[end]) : std::nullopt;
    };
    auto replacedDown = [&](std::size_t q) {
        hits.push_back(q);
        const std::optional<char16_t> left = with.empty() ? before(q) : std::optional<char16_t>(with.back());
        s.leftEdge = q + l;
        s.leftChar = left;
    };
    auto replacedUp = [&](std::size_t q) {
        hits.push_back(q);
        const std::optional<char16_t> right =
            with.empty() ? after(q + l) : std::optional<char16_t>(with.front());
        s.rightEdge = q;
        s.rightChar = right;
    };
    const bool selectionIsHit = sameText(text.substr(selStart, selLength), what, options.matchCase);
    if (options.down) {
        if (selectionIsHit) replacedDown(selStart);
        std::size_t from = selStart + selLength;
        while (auto q = searchDown(s, from, what, options)) {
            replacedDown(*q);
            from = *q + l;
        }
    } else {
        if (selectionIsHit) replacedUp(selStart);
        while (auto q = searchUp(s, hits.empty() ? selStart : hits.back(), what, options)) replacedUp(*q);
    }
    r.count = hits.size();
    if (hits.empty()) {
        r.text = text;
        return r;
    }
    // Build the new text in one pass over the hits in text order.
    const std::size_t lastHit = hits.back();
    if (!options.down) std::reverse(hits.begin(), hits.end());
    r.text.reserve(text.size() + hits.size() * (with.size() > what.size() ? with.size() - what.size() : 0));
    std::size_t at = 0, lastStartInNew = 0;
    for (std::size_t h : hits) {
        r.text.append(text.substr(at, h - at));
        if (h == lastHit) lastStartInNew = r.text.size();
        r.text.append(with);
        at = h + l;
    }
    r.text.append(text.substr(at));
    r.selStart = lastStartInNew;
    r.selLength = with.size();
    return r;
}

}  // namespace kv::editor
