// How the viewer lays out text: wrapping, the horizontal scroll, lines longer than a row
// can take, the ends of the file, going to a line, following a growing file, and controls
// drawn as marks.
#include <gtest/gtest.h>

#include "platform/display_text.h"
#include "view_files.h"

namespace kv::view {
namespace {

using test::appendTo;
using test::pageTexts;

struct LayoutCase {
    const char* name;
    std::string content;
    bool wrap;
    int columns, hscroll;
    std::vector<std::string> rows;
};

TEST(ViewLayout, RowsWrapOrScrollAcross) {
    const LayoutCase cases[] = {
        {"wrapped", "abcdefghij\nxy\n", true, 4, 0, {"abcd", "efgh", "ij", "xy"}},
        {"full row swallows its line end", "abcd\nxy", true, 4, 0, {"abcd", "xy"}},
        {"crlf hidden", "ab\r\ncd\r\n", true, 10, 0, {"ab", "cd"}},
        {"unwrapped, cut at the width", "abcdefghij\nxy\n", false, 4, 0, {"abcd", "xy"}},
        {"unwrapped, scrolled across", "abcdefghij\nxy\n", false, 4, 8, {"ij", ""}},
        {"tab to the next stop", "a\tb\n", false, 20, 0, {"a       b"}},
        {"empty lines kept", "a\n\n\nb", true, 10, 0, {"a", "", "", "b"}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        kv::test::TempDir dir;
        ViewDocument d;
        ASSERT_TRUE(d.open(dir.file("t.txt", c.content), nullptr));
        d.setWrap(c.wrap);
        d.setPageSize(c.columns, 10);
        d.setHscroll(c.hscroll);
        EXPECT_EQ(pageTexts(d), c.rows);
    }
}

// Scrolling a page up from the end and a page down again lands on the same row: the rows
// found looking back are the rows found going forward.
TEST(ViewLayout, LookingBackFindsTheSameRowsAsGoingForward) {
    kv::test::TempDir dir;
    std::string text;
    for (int i = 0; i < 300; ++i) text += std::string(static_cast<std::size_t>(i * 7 % 53), 'a' + i % 26) + "\n";
    const std::string path = dir.file("t.txt", text);
    for (bool wrap : {true, false}) {
        SCOPED_TRACE(wrap);
        ViewDocument d;
        ASSERT_TRUE(d.open(path, nullptr));
        d.setWrap(wrap);
        d.setPageSize(10, 7);
        std::vector<std::uint64_t> down;
        for (int i = 0; i < 60; ++i) {
            down.push_back(d.top());
            d.scroll(3);
        }
        for (int i = 59; i >= 0; --i) {
            d.scroll(-3);
            EXPECT_EQ(d.top(), down[static_cast<std::size_t>(i)]) << "step " << i;
        }
        d.end();
        const std::uint64_t endTop = d.top();
        EXPECT_TRUE(d.atEnd());
        d.scroll(-7);
        d.scroll(7);
        EXPECT_EQ(d.top(), endTop);
        d.scroll(5);  // never past the last page
        EXPECT_EQ(d.top(), endTop);
    }
}

// A 10 MB line: End shows the line after it at once, the rows of the long line wrap at the
// width, and a line longer than a row can hold shows as pieces without losing a byte.
TEST(ViewLayout, TenMegabyteLine) {
    kv::test::TempDir dir;
    const std::string path = dir / "long.txt";
    std::string block;
    for (int i = 0; i < 1 << 20; ++i) block += static_cast<char>('0' + i % 10);
    for (int i = 0; i < 10; ++i) appendTo(path, block);
    appendTo(path, "\nlast line\n");
    const std::uint64_t lineEnd = 10ull << 20;

    ViewDocument d;
    ASSERT_TRUE(d.open(path, nullptr));
    d.setPageSize(100, 5);
    d.end();
    auto rows = d.page();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows.back().text, "last line");
    // The long line's last row: what is left after whole rows of 100 (each 1 MiB block
    // starts its digits again at 0, so this one starts at 1048516 % 10).
    EXPECT_EQ(rows[3].offset, lineEnd / 100 * 100);
    EXPECT_EQ(rows[3].text, block.substr(1048516, 60));
    EXPECT_EQ(rows[3].end, lineEnd + 1);
    d.gotoPercent(50);
    rows = d.page();
    EXPECT_EQ(rows[0].offset % 100, 0u);
    EXPECT_EQ(rows[0].text.size(), 100u);

    // Unwrapped, the line shows as pieces of the longest row, each continuing the last.
    d.setWrap(false);
    d.home();
    rows = d.page();
    EXPECT_EQ(rows[1].offset, ViewDocument::kMaxLineBytes);
    EXPECT_EQ(rows[1].text.substr(0, 4), "6789");  // 65536 % 10 == 6
    d.end();
    EXPECT_EQ(d.page().back().text, "last line");
}

TEST(ViewLayout, GoToLineAndLineNumbers) {
    kv::test::TempDir dir;
    std::string text;
    for (int i = 1; i <= 20000; ++i) text += "line " + std::to_string(i) + "\n";
    ViewDocument d;
    ASSERT_TRUE(d.open(dir.file("t.txt", text), nullptr));
    d.setPageSize(40, 3);
    ASSERT_TRUE(d.gotoLine(12345));
    EXPECT_EQ(pageTexts(d)[0], "line 12345");
    EXPECT_EQ(d.lineNumberAt(d.top()), 12345u);
    ASSERT_TRUE(d.gotoLine(4096));  // on a mark of the index
    EXPECT_EQ(pageTexts(d)[0], "line 4096");
    ASSERT_TRUE(d.gotoLine(1));
    EXPECT_EQ(d.top(), 0u);
    EXPECT_FALSE(d.gotoLine(20002));
    d.gotoOffset(text.find("line 777\n") + 3);
    EXPECT_EQ(pageTexts(d)[0], "line 777");
}

TEST(ViewLayout, FollowShowsAppendedLines) {
    kv::test::TempDir dir;
    const std::string path = dir.file("log", "one\ntwo\nthree\n");
    ViewDocument d;
    ASSERT_TRUE(d.open(path, nullptr));
    d.setPageSize(40, 2);
    d.setFollow(true);
    EXPECT_EQ(pageTexts(d), (std::vector<std::string>{"two", "three"}));
    EXPECT_FALSE(d.refresh());
    appendTo(path, "four\nfive\n");
    EXPECT_TRUE(d.refresh());
    EXPECT_EQ(pageTexts(d), (std::vector<std::string>{"four", "five"}));
    // Not following, the view stays where it is.
    d.setFollow(false);
    d.home();
    appendTo(path, "six\n");
    EXPECT_TRUE(d.refresh());
    EXPECT_EQ(pageTexts(d)[0], "one");
    // A file cut below the top shows its end.
    d.end();
    ASSERT_EQ(::truncate(path.c_str(), 4), 0);
    EXPECT_TRUE(d.refresh());
    EXPECT_EQ(pageTexts(d), (std::vector<std::string>{"one"}));
}

// Control characters never act on the screen: they show as marks, and the rest of the
// line still shows.
TEST(ViewLayout, ControlsAreDrawnAsMarks) {
    kv::test::TempDir dir;
    ViewDocument d;
    ASSERT_TRUE(d.open(dir.file("t.txt", "a\x1b[31mb\x07 c\rd\n"), nullptr));
    EXPECT_EQ(pageTexts(d)[0], "a\u241B[31mb\u2407 c\u240Dd");
}

TEST(ViewLayout, DirectionControlsAreDrawnAsMarks) {
    kv::test::TempDir dir;
    ViewDocument d;
    ASSERT_TRUE(d.open(dir.file("t.txt", "invoice\u202Efdp.exe \u2066x\u2069 \u200B!\n"), nullptr));
    const std::string row = pageTexts(d)[0];
    for (const char* raw : {"\u202E", "\u2066", "\u2069", "\u200B"})
        EXPECT_EQ(row.find(raw), std::string::npos) << row;
    EXPECT_EQ(row.substr(0, 7), "invoice");
    EXPECT_NE(row.find("fdp.exe"), std::string::npos);
}

// Hex rows: the offset, 16 bytes in two groups, and the characters in the chosen code page
// (Windows-1251 for a binary); a click on either half finds the byte.
TEST(ViewLayout, HexRows) {
    kv::test::TempDir dir;
    ViewDocument d;
    ASSERT_TRUE(d.open(dir.file("b.bin", std::string("MZ\x90\0", 4) + "0123456789ABCDEFGH"), nullptr));
    EXPECT_EQ(d.mode(), ViewMode::Hex);
    const auto rows = d.page();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text, "00000000: 4D 5A 90 00 30 31 32 33  34 35 36 37 38 39 41 42  MZђ.0123456789AB");
    EXPECT_EQ(rows[1].text, "00000010: 43 44 45 46 47 48                                 CDEFGH");
    EXPECT_EQ(d.offsetAtCell(rows[0], d.hexColumnOf(9)), 9u);
    EXPECT_EQ(d.offsetAtCell(rows[0], d.charColumnOf(2)), 2u);
    EXPECT_EQ(d.offsetAtCell(rows[1], d.charColumnOf(12)), 21u);  // past the row's end: its last byte
    EXPECT_EQ(d.copyText(0, 4), "4D 5A 90 00");
}

}  // namespace
}  // namespace kv::view

#include "viewers/view/go_to.h"

namespace kv::view {
namespace {

TEST(ViewGoTo, LinesOffsetsAndPercentages) {
    struct Case {
        const char* text;
        std::optional<GoTo> expected;
    } cases[] = {
        {"1200", GoTo{GoTo::Kind::Line, 1200}},
        {" 0x4b0 ", GoTo{GoTo::Kind::Offset, 0x4B0}},
        {"4B0h", GoTo{GoTo::Kind::Offset, 0x4B0}},
        {"50%", GoTo{GoTo::Kind::Percent, 50}},
        {"101%", std::nullopt},
        {"0x", std::nullopt},
        {"12a", std::nullopt},
        {"", std::nullopt},
        {"99999999999999999999", std::nullopt},  // past 64 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto g = parseGoTo(c.text);
        ASSERT_EQ(g.has_value(), c.expected.has_value());
        if (g) {
            EXPECT_EQ(g->kind, c.expected->kind);
            EXPECT_EQ(g->value, c.expected->value);
        }
    }
}

}  // namespace
}  // namespace kv::view
