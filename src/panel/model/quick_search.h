#pragma once
// The panel's quick search: a name matches when it starts with the typed text, compared
// without regard to case. Case is folded character by character over UTF-8 (Latin, Greek,
// Cyrillic, Armenian, Georgian, full-width and a few more scripts), so "ä" finds "Ärger"
// and "ж" finds "Журнал". ".." is never a match. A search costs one pass over the names,
// reading each only as far as the typed text goes.
#include <string>
#include <string_view>

namespace kv {

class TDirectory;

// The simple case folding of one character (its lower-case form where it has one).
char32_t FoldCase(char32_t c);

class TQuickSearchText {
public:
    explicit TQuickSearchText(std::string_view typed);
    bool empty() const { return folded_.empty(); }
    // True when `name` starts with the text (any case); never for "..".
    bool Matches(std::string_view name) const;

private:
    std::u32string folded_;
};

// The 1-based index of the first matching entry met when walking from `from` in steps of
// `step` (+1 or -1), wrapping around the ends and visiting each of the `count` entries once;
// 0 when none matches. `nameAt(i)` gives entry i's name.
template <class NameAt>
int FindQuickMatch(int count, NameAt&& nameAt, const TQuickSearchText& text, int from, int step) {
    if (count <= 0 || text.empty()) return 0;
    int i = ((from - 1) % count + count) % count;
    for (int seen = 0; seen < count; ++seen) {
        if (text.Matches(nameAt(i + 1))) return i + 1;
        i = ((i + step) % count + count) % count;
    }
    return 0;
}

// The same over a panel listing, by the names it shows.
int FindQuickMatch(const TDirectory& fl, const TQuickSearchText& text, int from, int step);

}  // namespace kv
