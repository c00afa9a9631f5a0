#include "platform/text_codec.h"

#include <gtest/gtest.h>

using namespace kv::platform;

TEST(TextCodec, Utf8ValidationIsStrict) {
    struct Case {
        const char* name;
        std::string_view bytes;
        bool valid;
    } cases[] = {
        {"ascii", "kv.ini", true},
        {"cyrillic", "\xD0\x9A\xD0\xBE\xD0\xBF\xD0\xB8\xD1\x8F", true},
        {"four bytes", "\xF0\x9F\x93\x81", true},
        {"empty", "", true},
        {"windows-1251 text", "\xCA\xEE\xEF\xE8\xFF", false},
        {"overlong two", "\xC0\x80", false},
        {"overlong three", "\xE0\x80\x80", false},
        {"surrogate", "\xED\xA0\x80", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false},
        {"cut sequence", "ok\xD0", false},
        {"lone continuation", "\x80", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << c.name;
}

TEST(TextCodec, Windows1251BecomesUtf8) {
    struct Case {
        std::string_view cp1251, utf8;
    } cases[] = {
        {"\xCA\xEE\xEF\xE8\xFF", "Копия"},
        {"\xA8\xB8\xB9", "Ёё№"},
        {"\xC0\xDF\xE0\xFF", "АЯая"},
        {"\x98", "\xEF\xBF\xBD"},  // unassigned in the code page
        {"plain", "plain"},
    };
    for (const auto& c : cases) EXPECT_EQ(Cp1251ToUtf8(c.cp1251), c.utf8) << c.utf8;
    EXPECT_EQ(DecodeUtf8OrCp1251("\xEF\xBB\xBF[Copy]"), "[Copy]");
    EXPECT_EQ(DecodeUtf8OrCp1251("\xD0\x9A"), "\xD0\x9A");
    EXPECT_EQ(DecodeUtf8OrCp1251("\xCA"), "\xD0\x9A");
}
