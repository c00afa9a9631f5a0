#pragma once
// The editor's Find and Replace on the text as UTF-16 code units (what the edit control
// holds), without Qt. Downward search looks from the end of the selection to the end of the
// text, upward from just before the selection to the start; neither wraps around. Case is
// ignored, when asked, for Latin, Greek and Cyrillic letters.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kv::editor {

struct SearchOptions {
    bool down = true;
    bool matchCase = false;
    bool wholeWord = false;
};

// A letter of those scripts or an ASCII digit: what a whole word is made of.
bool isWordChar(char16_t c);
// Lower-case form of a Latin, Greek or Cyrillic letter; any other unit as it is.
char16_t foldCase(char16_t c);

// The position of the first hit (the last before the selection when searching up).
std::optional<std::size_t> findText(std::u16string_view text, std::size_t selStart, std::size_t selLength,
                                    std::u16string_view what, const SearchOptions& options);

// Whether `selection` is an occurrence of `what` as the options compare.
bool sameText(std::u16string_view selection, std::u16string_view what, bool matchCase);

// Replace All from the selection on, in the search direction: the selection itself first
// when it is an occurrence, then every further hit, each search going on after the text
// just put in (so a replacement that contains the search text never loops).
struct ReplaceAllResult {
    std::u16string text;
    std::size_t count = 0;
    std::size_t selStart = 0, selLength = 0;  // the last replacement, or the old selection
};
ReplaceAllResult replaceAll(std::u16string_view text, std::size_t selStart, std::size_t selLength,
                            std::u16string_view what, std::u16string_view with, const SearchOptions& options);

}  // namespace kv::editor
