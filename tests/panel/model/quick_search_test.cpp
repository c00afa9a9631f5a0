// The quick search's matcher: case folding over UTF-8, prefixes, and the walk that finds the
// next or previous match around the listing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "panel/model/directory.h"
#include "panel/model/quick_search.h"

namespace kv {
namespace {

TEST(QuickSearch, MatchesNamesThatStartWithTheTextInAnyCase) {
    struct Case {
        const char* typed;
        const char* name;
        bool matches;
    } cases[] = {
        {"rea", "README.md", true},
        {"READ", "readme.md", true},
        {"readme.md", "README.md", true},
        {"readme.mdx", "README.md", false},  // longer than the name
        {"eadme", "README.md", false},       // a prefix only, not anywhere in the name
        {"r", "", false},
        {"\xc3\xa4", "\xc3\x84rger.txt", true},   // "ä" finds "Ärger"
        {"\xc3\x84R", "\xc3\xa4rger.txt", true},  // "ÄR" finds "ärger"
        {"a", "\xc3\xa4rger.txt", false},         // "a" is not "ä"
        {"\xd0\xb6\xd1\x83", "\xd0\x96\xd0\xa3\xd0\xa0\xd0\x9d\xd0\x90\xd0\x9b", true},  // "жу", "ЖУРНАЛ"
        {"\xd1\x91", "\xd0\x81\xd0\xbb\xd0\xba\xd0\xb0", true},          // "ё" finds "Ёлка"
        {"\xd0\x95", "\xd0\x81\xd0\xbb\xd0\xba\xd0\xb0", false},         // "Е" is not "Ё"
        {"\xce\xb1", "\xce\x91\xce\xb8\xce\xae\xce\xbd\xce\xb1", true},  // Greek "α", "Αθήνα"
        {"\xc5\x82",
         "\xc5\x81\xc3\xb3"
         "d\xc5\xba",
         true},                          // Polish "ł", "Łódź"
        {"\xc3\xbf", "\xc5\xb8", true},  // "ÿ" and "Ÿ"
        {"x",
         "\xff"
         "x",
         false},              // a stray byte is itself
        {"..", "..", false},  // ".." is never a match
        {".", "..", false},
        {".", ".bashrc", true},
        {"", "anything", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " / " + c.name);
        EXPECT_EQ(TQuickSearchText(c.typed).Matches(c.name), c.matches);
    }
}

TEST(QuickSearch, FoldsWholeAlphabetsBothWays) {
    // Every upper-case letter of these runs folds onto its lower-case partner, and the
    // lower-case letters stay as they are.
    struct Run {
        char32_t upper, lower;
        int count;
    } runs[] = {
        {U'A', U'a', 26}, {0xC0, 0xE0, 23}, {0x410, 0x430, 32}, {0x400, 0x450, 16}, {0x391, 0x3B1, 17}};
    for (const Run& r : runs) {
        for (int k = 0; k < r.count; ++k) {
            EXPECT_EQ(FoldCase(r.upper + k), r.lower + k) << std::hex << r.upper + k;
            EXPECT_EQ(FoldCase(r.lower + k), r.lower + k) << std::hex << r.lower + k;
        }
    }
    EXPECT_EQ(FoldCase(0xD7), 0xD7u);    // the multiplication sign has no case
    EXPECT_EQ(FoldCase(0x100), 0x101u);  // Ā -> ā
    EXPECT_EQ(FoldCase(0x101), 0x101u);
    EXPECT_EQ(FoldCase(0x1E9E), 0xDFu);  // ẞ -> ß
    EXPECT_EQ(FoldCase(U'0'), U'0');
}

TEST(QuickSearch, WalksToTheNextAndPreviousMatchAroundTheList) {
    const std::vector<std::string> names = {"..", "alpha", "Beta", "apple", "cherry", "avocado"};
    auto nameAt = [&names](int i) -> std::string_view { return names[static_cast<std::size_t>(i - 1)]; };
    const int n = static_cast<int>(names.size());
    const TQuickSearchText a("A");
    struct Step {
        int from, step, found;
    } steps[] = {
        {1, +1, 2},   // the first match from the top
        {3, +1, 4},   // next after alpha (from the entry after it)
        {5, +1, 6},   // next after apple
        {7, +1, 2},   // past the end: wraps to alpha
        {1, -1, 6},   // previous before alpha wraps to the last match
        {5, -1, 4},   // previous before avocado
        {-3, +1, 4},  // any start is taken around the list
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.from);
        EXPECT_EQ(FindQuickMatch(n, nameAt, a, s.from, s.step), s.found);
    }
    EXPECT_EQ(FindQuickMatch(n, nameAt, TQuickSearchText("ap"), 5, +1), 4);  // the only one
    EXPECT_EQ(FindQuickMatch(n, nameAt, TQuickSearchText("z"), 1, +1), 0);
    EXPECT_EQ(FindQuickMatch(n, nameAt, TQuickSearchText("."), 1, +1), 0);  // ".." never
    EXPECT_EQ(FindQuickMatch(0, nameAt, a, 1, +1), 0);
}

TEST(QuickSearch, FindsInABigListingByTheNamesItShows) {
    // A folder of 100 000 entries: one pass per search, each name read only as far as the text.
    std::vector<platform::DirItem> items(100001);
    for (int i = 0; i < 100000; ++i)
        items[static_cast<std::size_t>(i)].name = "file" + std::to_string(i) + ".dat";
    items.back().name = "Zeta.txt";
    TDirectory fl;
    fl.SortType = stName;
    fl.Build("/big/", std::move(items));
    const int zeta = fl.findByName("Zeta.txt");
    ASSERT_GT(zeta, 0);
    EXPECT_EQ(FindQuickMatch(fl, TQuickSearchText("zE"), 1, +1), zeta);
    EXPECT_EQ(fl.displayName(FindQuickMatch(fl, TQuickSearchText("FILE9999"), 1, +1)).substr(0, 8),
              "file9999");
    EXPECT_EQ(FindQuickMatch(fl, TQuickSearchText(".."), 1, +1), 0);  // the listing's ".." is never found
    EXPECT_EQ(FindQuickMatch(fl, TQuickSearchText("zz"), 1, +1), 0);
}

}  // namespace
}  // namespace kv
