#include "platform/display_text.h"

#include <cstdio>

#include "platform/text_codec.h"

namespace kv::platform {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void appendEscaped(std::string& out, unsigned char b) {
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
}

// The code point of a well-formed sequence of `len` bytes at s[at].
std::uint32_t decodeAt(std::string_view s, std::size_t at, std::size_t len) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[at + k]); };
    switch (len) {
        case 1: return b(0);
        case 2: return (b(0) & 0x1Fu) << 6 | (b(1) & 0x3Fu);
        case 3: return (b(0) & 0x0Fu) << 12 | (b(1) & 0x3Fu) << 6 | (b(2) & 0x3Fu);
        default: return (b(0) & 0x07u) << 18 | (b(1) & 0x3Fu) << 12 | (b(2) & 0x3Fu) << 6 | (b(3) & 0x3Fu);
    }
}

// The code point that starts at s[at], or 0 past the end or where the bytes are no UTF-8
// (an invalid neighbour keeps nothing visible, as the text's end does).
std::uint32_t codePointAt(std::string_view s, std::size_t at) {
    if (at >= s.size()) return 0;
    const std::size_t len = Utf8SequenceLength(s, at);
    return len == 0 ? 0 : decodeAt(s, at, len);
}

bool isControl(std::uint32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

// Where a zero-width joiner or a variation selector is meaningful: next to a character
// that has a glyph of its own beyond ASCII.
bool joinsGlyphs(std::uint32_t cp) { return cp >= 0xA0 && cp != 0xFFFD; }

// Default-ignorable and direction characters that never belong in a name unseen.
bool alwaysHidden(std::uint32_t cp) {
    return cp == 0x00AD                      // soft hyphen
           || cp == 0x034F                   // combining grapheme joiner
           || cp == 0x061C                   // Arabic letter mark
           || cp == 0x115F || cp == 0x1160   // Hangul fillers
           || cp == 0x17B4 || cp == 0x17B5   // Khmer inherent vowels
           || (cp >= 0x180B && cp <= 0x180F) // Mongolian selectors and vowel separator
           || (cp >= 0x200B && cp <= 0x200F) // zero-width space, joiners, LRM, RLM
           || (cp >= 0x2028 && cp <= 0x202E) // line/paragraph separators, embeddings, overrides
           || (cp >= 0x2060 && cp <= 0x206F) // word joiner, invisible operators, isolates
           || cp == 0x3164 || cp == 0xFFA0   // Hangul fillers
           || cp == 0xFEFF                   // zero-width no-break space
           || (cp >= 0xFFF0 && cp <= 0xFFFB) // interlinear annotation
           || (cp >= 0x1BCA0 && cp <= 0x1BCA3) // shorthand format controls
           || (cp >= 0x1D173 && cp <= 0x1D17A) // musical formatting
           || (cp >= 0xE0000 && cp <= 0xE0FFF); // tags, variation selectors supplement
}

// Walks the text one character (or one stray byte) at a time: plain characters are copied,
// the others (and a backslash when `backslashToo`) are handed to `replace` with their bytes
// and their code point (0 for a stray byte).
template <class Replace>
std::string mapControls(std::string_view s, bool backslashToo, Replace replace) {
    std::string out;
    out.reserve(s.size());
    std::uint32_t before = 0;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = Utf8SequenceLength(s, i);
        const std::size_t step = len == 0 ? 1 : len;
        const std::uint32_t cp = len == 0 ? 0 : decodeAt(s, i, len);
        const bool plain = len != 0 && !isControl(cp) && !(backslashToo && cp == '\\') &&
                           !isHiddenFormatChar(cp, before, codePointAt(s, i + step));
        if (plain)
            out.append(s, i, step);
        else
            replace(out, s.substr(i, step), len == 0 ? 0u : cp);
        before = len == 0 ? 0 : cp;
        i += step;
    }
    return out;
}

}  // namespace

bool isHiddenFormatChar(std::uint32_t cp, std::uint32_t before, std::uint32_t after) {
    if (cp == 0x200D)
        return !(joinsGlyphs(before) && joinsGlyphs(after) && !alwaysHidden(before) && !alwaysHidden(after));
    if (cp >= 0xFE00 && cp <= 0xFE0F) return !joinsGlyphs(before);
    return alwaysHidden(cp);
}

std::string escapeControls(std::string_view utf8) {
    return mapControls(utf8, true, [](std::string& out, std::string_view bytes, std::uint32_t) {
        if (bytes == "\\") {
            out += "\\\\";
            return;
        }
        for (char b : bytes) appendEscaped(out, static_cast<unsigned char>(b));
    });
}

std::string visibleControls(std::string_view utf8) {
    return mapControls(utf8, false, [](std::string& out, std::string_view bytes, std::uint32_t cp) {
        const auto c = static_cast<unsigned char>(bytes[0]);
        if (bytes.size() == 1 && c < 0x20) {
            AppendUtf8(out, 0x2400u + c);
        } else if (bytes.size() == 1 && c == 0x7F) {
            AppendUtf8(out, 0x2421);
        } else if (cp > 0x9F) {
            char code[16];
            std::snprintf(code, sizeof code, "<U+%04X>", static_cast<unsigned>(cp));
            out += code;
        } else {
            AppendUtf8(out, 0xFFFD);
        }
    });
}

}  // namespace kv::platform
