// Each encoding read and recognised; bytes that are no text shown as marks.
#include <gtest/gtest.h>

#include "view_files.h"

namespace kv::view {
namespace {

using test::pageTexts;

struct EncodingCase {
    const char* name;
    std::string bytes;
    Encoding detected;
    std::string firstRow;
};

// "Привет, мир" in each code page.
const std::string kCp1251 = "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0";
const std::string kCp866 = "\x8F\xE0\xA8\xA2\xA5\xE2, \xAC\xA8\xE0";

TEST(ViewEncoding, EachEncodingIsRecognisedAndRead) {
    const EncodingCase cases[] = {
        {"ascii", "plain text\n", Encoding::Utf8, "plain text"},
        {"utf-8", "Привет, мир\nЁж\n", Encoding::Utf8, "Привет, мир"},
        {"utf-8 with bom", "\xEF\xBB\xBFПривет\n", Encoding::Utf8, "Привет"},
        {"utf-16le", std::string("\xFF\xFEH\0i\0 \0\x16\x04\n\0z\0", 14), Encoding::Utf16Le, "Hi Ж"},
        {"utf-16be", std::string("\xFE\xFF\0H\0i\xD8\x3D\xDE\x00\0\n", 12), Encoding::Utf16Be, "Hi\U0001F600"},
        {"windows-1251", kCp1251 + "\n" + kCp1251 + "\n", Encoding::Cp1251, "Привет, мир"},
        {"cp866", kCp866 + "\n" + kCp866 + "\n", Encoding::Cp866, "Привет, мир"},
        {"latin-1", "Gr\xFC\xDF" "e aus M\xFCnchen, caf\xE9\n", Encoding::Latin1, "Grüße aus München, café"},
    };
    for (const EncodingCase& c : cases) {
        SCOPED_TRACE(c.name);
        kv::test::TempDir dir;
        ViewDocument d;
        ASSERT_TRUE(d.open(dir.file("t", c.bytes), nullptr));
        EXPECT_EQ(d.mode(), ViewMode::Text);
        EXPECT_EQ(encodingName(d.encoding()), encodingName(c.detected));
        d.setPageSize(40, 5);
        ASSERT_FALSE(pageTexts(d).empty());
        EXPECT_EQ(pageTexts(d)[0], c.firstRow);
        // The key that changes the encoding comes round to every one of them.
        Encoding e = d.encoding();
        for (std::size_t i = 0; i < std::size(kAllEncodings); ++i) e = nextEncoding(e);
        EXPECT_EQ(e, d.encoding());
    }
}

TEST(ViewEncoding, TheChosenEncodingChangesTheText) {
    kv::test::TempDir dir;
    ViewDocument d;
    ASSERT_TRUE(d.open(dir.file("t", kCp1251 + "\n"), nullptr));
    d.setEncoding(Encoding::Cp866);
    EXPECT_NE(pageTexts(d)[0], "Привет, мир");
    d.setEncoding(Encoding::Cp1251);
    EXPECT_EQ(pageTexts(d)[0], "Привет, мир");
    d.setEncoding(Encoding::Latin1);
    EXPECT_EQ(pageTexts(d)[0], "Ïðèâåò, ìèð");
}

struct ModeCase {
    const char* name;
    std::string bytes;
    ViewMode mode;
};

TEST(ViewEncoding, TheModeComesFromTheFirstBytes) {
    const ModeCase cases[] = {
        {"text", "hello\n", ViewMode::Text},
        {"empty", "", ViewMode::Text},
        {"a NUL byte", std::string("ELF\0\0\0", 6), ViewMode::Hex},
        {"mostly controls", "\x01\x02\x03\x04\x05\x06\x07\x08 abc", ViewMode::Hex},
        {"utf-16 with its NULs", std::string("\xFF\xFEh\0i\0", 6), ViewMode::Text},
        {"escape sequences of a log", "\x1b[1mbold\x1b[0m text and more text here\n", ViewMode::Text},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.name);
        kv::test::TempDir dir;
        ViewDocument d;
        ASSERT_TRUE(d.open(dir.file("t", c.bytes), nullptr));
        EXPECT_EQ(d.mode(), c.mode);
    }
}

// An invalid byte is one mark: the characters after it still show, and a sequence cut by
// the end of the file is marked too.
TEST(ViewEncoding, InvalidUtf8IsMarkedNotHidden) {
    struct Case {
        std::string bytes, row;
    } cases[] = {
        {"ab\xFF\xFE" "cd\n", "ab\uFFFD\uFFFDcd"},
        {"\xC0\xAF overlong\n", "\uFFFD\uFFFD overlong"},
        {"\xED\xA0\x80 surrogate\n", "\uFFFD\uFFFD\uFFFD surrogate"},
        {"\xE2\x82\xAC ok \xE2\x82", "€ ok \uFFFD\uFFFD"},
    };
    for (const Case& c : cases) {
        kv::test::TempDir dir;
        ViewDocument d;
        ASSERT_TRUE(d.open(dir.file("t", c.bytes), nullptr));
        d.setEncoding(Encoding::Utf8);
        d.setMode(ViewMode::Text);
        EXPECT_EQ(pageTexts(d)[0], c.row);
    }
    // UTF-16: a lone surrogate half, and an odd last byte.
    kv::test::TempDir dir;
    ViewDocument d;
    ASSERT_TRUE(d.open(dir.file("t", std::string("\xFF\xFE" "a\0\x00\xDC" "b\0c", 9)), nullptr));
    EXPECT_EQ(pageTexts(d)[0], "a\uFFFDb\uFFFD");
    // A file of one byte read as UTF-16 is half a unit: End and a page up still end.
    ViewDocument half;
    ASSERT_TRUE(half.open(dir.file("h", "h"), nullptr));
    half.setEncoding(Encoding::Utf16Be);
    half.end();
    half.scroll(-3);
    EXPECT_EQ(pageTexts(half), std::vector<std::string>{"\uFFFD"});
}

// Files that cannot be shown are refused with a reason, not opened.
TEST(ViewEncoding, OnlyRegularFilesOpen) {
    kv::test::TempDir dir;
    ViewDocument d;
    std::string error;
    EXPECT_FALSE(d.open(dir.path(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(d.open(dir / "missing", &error));
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(d.open(dir / "fifo", &error));  // must not block
}

}  // namespace
}  // namespace kv::view
