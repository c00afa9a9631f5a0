// Find and Replace All on the editor's text: case, whole words, direction, the edges of the
// text (no wrapping around), and replacements that contain what they replace.
#include <gtest/gtest.h>

#include "viewers/editor/text_search.h"

namespace kv::editor {
namespace {

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

struct FindRow {
    const char16_t* text;
    std::size_t selStart, selLength;
    const char16_t* what;
    SearchOptions options;  // down, matchCase, wholeWord
    std::size_t want;
};

TEST(TextSearch, FindTable) {
    const SearchOptions down{true, false, false}, up{false, false, false};
    const SearchOptions downCase{true, true, false}, downWord{true, false, true}, upWord{false, false, true};
    const FindRow rows[] = {
        {u"xxabc", 0, 0, u"abc", down, 2},              // the last place the text fits
        {u"xxabc", 2, 0, u"abc", down, 2},              // a hit at the caret itself
        {u"xxabc", 2, 3, u"abc", down, kNotFound},      // from the end of the selection on
        {u"abc xyz", 4, 0, u"abc", down, kNotFound},    // no wrapping past the end
        {u"xxABC", 0, 0, u"abc", down, 2},              // case ignored
        {u"xxABC", 0, 0, u"abc", downCase, kNotFound},  // Match case
        {u"abc abc", 0, 0, u"abc", downWord, 0},        // a word right at the caret is found
        {u"abc abc", 0, 3, u"abc", downWord, 4},        // and the next one after it
        {u"abcd abc", 0, 0, u"abc", downWord, 5},       // a longer word is no hit
        {u"xabc abc", 0, 0, u"abc", downWord, 5},       // nor a word it ends
        {u"abc,abc.", 1, 0, u"abc", downWord, 4},       // punctuation parts words
        {u"abc abc", 7, 0, u"abc", up, 4},              // up: the last hit before the caret
        {u"abc abc", 4, 3, u"abc", up, 0},              // up from a selection: before it
        {u"abc abc", 2, 0, u"abc", up, kNotFound},      // a hit across the caret is not before it
        {u"abc abc", 3, 0, u"abc", up, 0},              // position 0 is examined
        {u"ab abc", 6, 0, u"ab", upWord, 0},            // up, whole word skips "abc"
        {u"aab", 0, 0, u"b", down, 2},
        {u"abc", 0, 0, u"", down, kNotFound},  // nothing to find
        {u"", 0, 0, u"a", down, kNotFound},
        {u"ab", 5, 0, u"a", down, kNotFound},         // a caret past the end finds nothing
        {u"котлета Кот", 0, 0, u"кот", downWord, 8},  // Cyrillic letters make words, case ignored
        {u"ÉCOLE école", 1, 0, u"école", down, 6},    // Latin-1 letters fold too
    };
    for (const FindRow& r : rows) {
        SCOPED_TRACE(testing::Message()
                     << "row with text of " << std::u16string_view(r.text).size() << " units, caret "
                     << r.selStart << ", " << (r.options.down ? "down" : "up"));
        const auto hit = findText(r.text, r.selStart, r.selLength, r.what, r.options);
        EXPECT_EQ(hit.value_or(kNotFound), r.want);
    }
}

TEST(TextSearch, ReplaceAllTable) {
    struct Row {
        const char16_t* text;
        std::size_t selStart, selLength;
        const char16_t *what, *with;
        SearchOptions options;
        const char16_t* want;
        std::size_t count;
    } rows[] = {
        {u"a a a", 0, 0, u"a", u"aa", {true, false, false}, u"aa aa aa", 3},   // no endless loop
        {u"ab ab ab", 3, 0, u"ab", u"x", {true, false, false}, u"ab x x", 2},  // from the caret on
        {u"ab ab ab", 8, 0, u"ab", u"x", {false, false, false}, u"x x x", 3},  // upward from the end
        {u"AB ab", 0, 2, u"ab", u"x", {true, true, false}, u"AB x", 1},        // Match case spares "AB"
        {u"AB ab", 0, 2, u"ab", u"x", {true, false, false}, u"x x", 2},        // the selection counts
        {u"abab ab", 0, 0, u"ab", u"-", {true, false, true}, u"abab -", 1},    // whole words only
        {u"ab ab", 0, 0, u"ab", u"", {true, false, true}, u" ", 2},
        // Once "ab" before it is gone, "ab" after "x" stays inside the word "xab": as if the
        // replacements were made one at a time.
        {u"abxab", 0, 0, u"ab", u"x", {true, false, false}, u"xxx", 2},
        {u"ab-ab", 0, 0, u"ab", u"q", {true, false, true}, u"q-q", 2},
        // A replacement beside the next hit changes whether that hit is a whole word.
        {u"--", 0, 0, u"-", u"x", {true, false, true}, u"x-", 1},
        {u"--", 2, 0, u"-", u"x", {false, false, true}, u"-x", 1},
        {u"--", 0, 0, u"-", u"+", {true, false, true}, u"++", 2},
        {u"nothing", 0, 0, u"zz", u"x", {true, false, false}, u"nothing", 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "text of " << std::u16string_view(r.text).size() << " units");
        const ReplaceAllResult res = replaceAll(r.text, r.selStart, r.selLength, r.what, r.with, r.options);
        EXPECT_EQ(res.text, std::u16string(r.want));
        EXPECT_EQ(res.count, r.count);
    }
    // The last replacement ends up selected.
    const ReplaceAllResult down = replaceAll(u"ab ab ab", 0, 0, u"ab", u"xyz", {true, false, false});
    EXPECT_EQ(down.selStart, 8u);
    EXPECT_EQ(down.selLength, 3u);
    const ReplaceAllResult up = replaceAll(u"ab ab ab", 8, 0, u"ab", u"xyz", {false, false, false});
    EXPECT_EQ(up.selStart, 0u);
}

TEST(TextSearch, CaseFoldingAndWordCharacters) {
    for (auto [upper, lower] : {std::pair{u'A', u'a'},
                                {u'Ж', u'ж'},
                                {u'Ё', u'ё'},
                                {u'Ω', u'ω'},
                                {u'Ł', u'ł'},
                                {u'Ā', u'ā'},
                                {u'Ÿ', u'ÿ'},
                                {u'Ґ', u'ґ'}}) {
        EXPECT_EQ(foldCase(upper), lower) << int(upper);
        EXPECT_EQ(foldCase(lower), lower) << int(lower);
    }
    EXPECT_EQ(foldCase(u'×'), u'×');
    for (char16_t c : {u'a', u'Z', u'7', u'ж', u'é', u'Ω'}) EXPECT_TRUE(isWordChar(c)) << int(c);
    for (char16_t c : {u' ', u'_', u'-', u'\n', u'×', u'€', u'«'}) EXPECT_FALSE(isWordChar(c)) << int(c);
}

}  // namespace
}  // namespace kv::editor
