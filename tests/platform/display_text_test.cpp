#include "platform/display_text.h"

#include <gtest/gtest.h>

using namespace kv::platform;

namespace {

struct Case {
    const char* what;
    std::string_view in, escaped, visible;
};

// ␛ is U+241B, ␉ U+2409, ␊ U+240A, ␇ U+2407, ␀ U+2400, ␡ U+2421; U+FFFD is "\xEF\xBF\xBD".
const Case kCases[] = {
    {"plain ascii", "readme.txt", "readme.txt", "readme.txt"},
    {"cyrillic kept", "Копия.txt", "Копия.txt", "Копия.txt"},
    {"four-byte kept", "\xF0\x9F\x93\x81", "\xF0\x9F\x93\x81", "\xF0\x9F\x93\x81"},
    {"title sequence", "\x1b]0;pwned\x07", "\\x1b]0;pwned\\x07", "␛]0;pwned␇"},
    {"screen clear", "\x1b[2J", "\\x1b[2J", "␛[2J"},
    {"tab and line feed", "a\tb\nc", "a\\x09b\\x0ac", "a␉b␊c"},
    {"carriage return", "x\ry", "x\\x0dy", "x␍y"},
    {"nul", std::string_view("a\0b", 3), "a\\x00b", "a␀b"},
    {"del", "a\x7f", "a\\x7f", "a␡"},
    {"c1 csi",
     "a\xC2\x9B"
     "2J",
     "a\\xc2\\x9b2J",
     "a\xEF\xBF\xBD"
     "2J"},
    {"c1 first", "\xC2\x80", "\\xc2\\x80", "\xEF\xBF\xBD"},
    {"nbsp is no control",
     "a\xC2\xA0"
     "b",
     "a\xC2\xA0"
     "b",
     "a\xC2\xA0"
     "b"},
    {"invalid byte", "caf\xE9", "caf\\xe9", "caf\xEF\xBF\xBD"},
    {"cut sequence", "\xD0", "\\xd0", "\xEF\xBF\xBD"},
    {"overlong slash", "\xC0\xAF", "\\xc0\\xaf", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"surrogate", "\xED\xA0\x80", "\\xed\\xa0\\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"backslash", "dir\\x1b", "dir\\\\x1b", "dir\\x1b"},
    {"empty", "", "", ""},
};

}  // namespace

TEST(DisplayText, ControlsAreEscapedForTerminalsAndShownInPanels) {
    for (const Case& c : kCases) {
        EXPECT_EQ(escapeControls(c.in), c.escaped) << c.what;
        EXPECT_EQ(visibleControls(c.in), c.visible) << c.what;
    }
}

TEST(DisplayText, EscapedTextHasNoControlByteAndIsUnambiguous) {
    std::string every;
    for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
    const std::string out = escapeControls(every);
    for (unsigned char c : out) EXPECT_TRUE(c >= 0x20 && c != 0x7F) << int(c);
    // A literal "\x41" in a name and an escaped byte 0x41 never look alike.
    EXPECT_NE(escapeControls("\\x41"), escapeControls("A"));
    EXPECT_NE(escapeControls("\\x1b"), escapeControls("\x1b"));
}
