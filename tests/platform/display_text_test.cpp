#include "platform/display_text.h"

#include <vector>

#include "platform/text_codec.h"

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
    // Characters that draw nothing but reorder or hide the text around them.
    {"right-to-left override", "invoice\u202Egpj.exe", "invoice\\xe2\\x80\\xaegpj.exe", "invoice<U+202E>gpj.exe"},
    {"isolate and pop", "a\u2067b\u2069", "a\\xe2\\x81\\xa7b\\xe2\\x81\\xa9", "a<U+2067>b<U+2069>"},
    {"marks", "\u200E\u200F\u061C", "\\xe2\\x80\\x8e\\xe2\\x80\\x8f\\xd8\\x9c", "<U+200E><U+200F><U+061C>"},
    {"line separators", "a\u2028b\u2029", "a\\xe2\\x80\\xa8b\\xe2\\x80\\xa9", "a<U+2028>b<U+2029>"},
    {"zero-width space after dots", "..\u200B", "..\\xe2\\x80\\x8b", "..<U+200B>"},
    {"byte-order mark inside", "a\uFEFFb", "a\\xef\\xbb\\xbfb", "a<U+FEFF>b"},
    {"tag characters", "x\U000E0041", "x\\xf3\\xa0\\x81\\x81", "x<U+E0041>"},
    {"joiner after ascii", "a\u200Db", "a\\xe2\\x80\\x8db", "a<U+200D>b"},
    {"variation selector after ascii", ".\uFE0F", ".\\xef\\xb8\\x8f", ".<U+FE0F>"},
    // An emoji sequence and a Cyrillic name keep their joiner and selector.
    {"emoji family kept", "\U0001F468\u200D\U0001F469", "\U0001F468\u200D\U0001F469", "\U0001F468\u200D\U0001F469"},
    {"heart with selector kept", "\u2764\uFE0F.txt", "\u2764\uFE0F.txt", "\u2764\uFE0F.txt"},
    {"two-dot leader is a glyph", "\u2025", "\u2025", "\u2025"},
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

TEST(DisplayText, EveryDirectionAndLineControlIsEscapedAndMarked) {
    std::vector<std::uint32_t> controls = {0x061C, 0x200E, 0x200F, 0x2028, 0x2029};
    for (std::uint32_t cp = 0x202A; cp <= 0x202E; ++cp) controls.push_back(cp);
    for (std::uint32_t cp = 0x2066; cp <= 0x2069; ++cp) controls.push_back(cp);
    for (std::uint32_t cp : controls) {
        std::string raw;
        AppendUtf8(raw, cp);
        // Alone, after ASCII and between two Cyrillic letters: never passed on.
        for (const std::string& text : {raw, "a" + raw + "b", "\u0436" + raw + "\u0436"}) {
            EXPECT_EQ(escapeControls(text).find(raw), std::string::npos) << std::hex << cp;
            const std::string shown = visibleControls(text);
            EXPECT_EQ(shown.find(raw), std::string::npos) << std::hex << cp;
            EXPECT_NE(shown.find("<U+"), std::string::npos) << std::hex << cp;
        }
    }
}
