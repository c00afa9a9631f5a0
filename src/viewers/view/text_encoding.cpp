#include "viewers/view/text_encoding.h"

#include <locale.h>
#include <wctype.h>

#include <array>

#include "platform/text_codec.h"

namespace kv::view {

namespace {

using UpperHalf = std::array<char32_t, 128>;

// The code page's upper half, taken from the one code-page module by decoding each byte.
UpperHalf upperHalfOf(std::string (*toUtf8)(std::string_view)) {
    UpperHalf t{};
    for (int b = 0x80; b < 0x100; ++b) {
        const char byte = static_cast<char>(b);
        const std::string s = toUtf8(std::string_view(&byte, 1));
        const std::span<const std::uint8_t> u(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
        t[b - 0x80] = decodeAt(Encoding::Utf8, u, 0).cp;
    }
    return t;
}

const UpperHalf& upperHalf(Encoding e) {
    static const UpperHalf cp1251 = upperHalfOf(platform::Cp1251ToUtf8);
    static const UpperHalf cp866 = upperHalfOf(platform::Cp866ToUtf8);
    return e == Encoding::Cp866 ? cp866 : cp1251;
}

// Full Unicode case mapping from the C library's UTF-8 locale, whatever the program's
// locale is; plain ASCII when that locale is missing.
locale_t utf8Locale() {
    static const locale_t loc = [] {
        locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        return l;
    }();
    return loc;
}

Decoded invalid(unsigned length) { return {U'\uFFFD', length, false}; }

}  // namespace

std::string_view encodingName(Encoding e) {
    switch (e) {
        case Encoding::Utf8: return "UTF-8";
        case Encoding::Utf16Le: return "UTF-16LE";
        case Encoding::Utf16Be: return "UTF-16BE";
        case Encoding::Cp1251: return "Windows-1251";
        case Encoding::Cp866: return "CP866";
        case Encoding::Latin1: return "Latin-1";
    }
    return "UTF-8";
}

Encoding nextEncoding(Encoding e) {
    const auto i = static_cast<std::size_t>(e);
    return kAllEncodings[(i + 1) % std::size(kAllEncodings)];
}

std::string_view modeName(ViewMode m) {
    switch (m) {
        case ViewMode::Text: return "Text";
        case ViewMode::Hex: return "Hex";
        case ViewMode::Dump: return "Dump";
    }
    return "Text";
}

unsigned unitBytes(Encoding e) { return e == Encoding::Utf16Le || e == Encoding::Utf16Be ? 2 : 1; }

bool isSingleByte(Encoding e) { return e == Encoding::Cp1251 || e == Encoding::Cp866 || e == Encoding::Latin1; }

char32_t singleByteChar(Encoding e, std::uint8_t b) {
    if (b < 0x80 || e == Encoding::Latin1 || !isSingleByte(e)) return b;
    return upperHalf(e)[b - 0x80];
}

Decoded decodeAt(Encoding e, std::span<const std::uint8_t> bytes, std::size_t at) {
    const std::size_t left = bytes.size() - at;
    const std::uint8_t b0 = bytes[at];
    switch (e) {
        case Encoding::Utf8: {
            if (b0 < 0x80) return {b0, 1, true};
            const std::string_view s(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            const std::size_t n = platform::Utf8SequenceLength(s, at);
            if (n == 0) return invalid(1);
            char32_t cp = n == 2 ? (b0 & 0x1F) : n == 3 ? (b0 & 0x0F) : (b0 & 0x07);
            for (std::size_t i = 1; i < n; ++i) cp = (cp << 6) | (bytes[at + i] & 0x3F);
            return {cp, static_cast<unsigned>(n), true};
        }
        case Encoding::Utf16Le:
        case Encoding::Utf16Be: {
            if (left < 2) return invalid(static_cast<unsigned>(left));
            const bool le = e == Encoding::Utf16Le;
            auto unit = [&](std::size_t i) -> char32_t {
                return le ? bytes[i] | (bytes[i + 1] << 8) : (bytes[i] << 8) | bytes[i + 1];
            };
            const char32_t u = unit(at);
            if (u < 0xD800 || u > 0xDFFF) return {u, 2, true};
            if (u >= 0xDC00 || left < 4) return invalid(2);  // a lone low half, or a high half cut off
            const char32_t low = unit(at + 2);
            if (low < 0xDC00 || low > 0xDFFF) return invalid(2);
            return {0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), 4, true};
        }
        case Encoding::Cp1251:
        case Encoding::Cp866: {
            const char32_t cp = singleByteChar(e, b0);
            return {cp, 1, cp != U'\uFFFD'};
        }
        case Encoding::Latin1: return {b0, 1, true};
    }
    return invalid(1);
}

std::string encodeChar(Encoding e, char32_t cp) {
    std::string out;
    switch (e) {
        case Encoding::Utf8:
            if (cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) platform::AppendUtf8(out, cp);
            break;
        case Encoding::Utf16Le:
        case Encoding::Utf16Be: {
            if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) break;
            auto put = [&](char32_t u) {
                const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
                if (e == Encoding::Utf16Le) out += {lo, hi};
                else out += {hi, lo};
            };
            if (cp < 0x10000) {
                put(cp);
            } else {
                put(0xD800 + ((cp - 0x10000) >> 10));
                put(0xDC00 + ((cp - 0x10000) & 0x3FF));
            }
            break;
        }
        case Encoding::Latin1:
            if (cp < 0x100) out += static_cast<char>(cp);
            break;
        case Encoding::Cp1251:
        case Encoding::Cp866:
            if (cp < 0x80) {
                out += static_cast<char>(cp);
                break;
            }
            for (int b = 0x80; b < 0x100; ++b)
                if (upperHalf(e)[b - 0x80] == cp && cp != U'\uFFFD') {
                    out += static_cast<char>(b);
                    break;
                }
            break;
    }
    return out;
}

char32_t lowerCase(char32_t cp) {
    if (cp < 0x80) return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
    const locale_t loc = utf8Locale();
    return loc ? static_cast<char32_t>(::towlower_l(static_cast<wint_t>(cp), loc)) : cp;
}

char32_t upperCase(char32_t cp) {
    if (cp < 0x80) return cp >= 'a' && cp <= 'z' ? cp - 32 : cp;
    const locale_t loc = utf8Locale();
    return loc ? static_cast<char32_t>(::towupper_l(static_cast<wint_t>(cp), loc)) : cp;
}

std::size_t bomLength(Encoding e, std::span<const std::uint8_t> h) {
    switch (e) {
        case Encoding::Utf8: return h.size() >= 3 && h[0] == 0xEF && h[1] == 0xBB && h[2] == 0xBF ? 3 : 0;
        case Encoding::Utf16Le: return h.size() >= 2 && h[0] == 0xFF && h[1] == 0xFE ? 2 : 0;
        case Encoding::Utf16Be: return h.size() >= 2 && h[0] == 0xFE && h[1] == 0xFF ? 2 : 0;
        default: return 0;
    }
}

Detection detect(std::span<const std::uint8_t> head, bool wholeFile) {
    for (Encoding e : {Encoding::Utf8, Encoding::Utf16Le, Encoding::Utf16Be})
        if (const std::size_t bom = bomLength(e, head)) return {ViewMode::Text, e, bom};

    // Text has no NUL and few controls besides tab, line ends, form feed and escape.
    std::size_t controls = 0, high = 0;
    for (std::uint8_t b : head) {
        if (b == 0) return {ViewMode::Hex, Encoding::Cp1251, 0};
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 0x1B) ++controls;
        if (b >= 0x80) ++high;
    }
    if (controls * 10 > head.size()) return {ViewMode::Hex, Encoding::Cp1251, 0};
    if (high == 0) return {ViewMode::Text, Encoding::Utf8, 0};

    // Valid UTF-8, allowing a sequence cut by the end of the probe.
    const std::string_view s(reinterpret_cast<const char*>(head.data()), head.size());
    std::size_t at = 0;
    bool utf8 = true;
    while (at < s.size()) {
        const std::size_t n = platform::Utf8SequenceLength(s, at);
        if (n == 0) {
            utf8 = !wholeFile && s.size() - at < 4 && (static_cast<std::uint8_t>(s[at]) & 0xC0) == 0xC0;
            break;
        }
        at += n;
    }
    if (utf8) return {ViewMode::Text, Encoding::Utf8, 0};

    // Russian text is mostly lower case: Windows-1251 has а..п at 0xE0..0xEF and р..я at
    // 0xF0..0xFF; CP866 has а..п at 0xA0..0xAF, and box drawing where Windows-1251 has
    // the capitals. Latin text has its accented letters alone between ASCII letters.
    std::size_t win = 0, dos = 0, pairs = 0;
    for (std::size_t i = 0; i < head.size(); ++i) {
        const std::uint8_t b = head[i];
        if (b < 0x80) continue;
        if (b >= 0xF0 || (b >= 0xC0 && b <= 0xDF)) ++win;
        if (b >= 0x80 && b <= 0xAF) ++dos;
        if (i + 1 < head.size() && head[i + 1] >= 0x80) ++pairs;
    }
    if (pairs * 2 < high) return {ViewMode::Text, Encoding::Latin1, 0};
    return {ViewMode::Text, dos > win ? Encoding::Cp866 : Encoding::Cp1251, 0};
}

}  // namespace kv::view
