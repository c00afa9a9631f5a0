#include "platform/display_text.h"

#include "platform/text_codec.h"

namespace kv::platform {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void appendEscaped(std::string& out, unsigned char b) {
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
}

// A C1 control in UTF-8: C2 80 .. C2 9F.
bool isC1(std::string_view s, std::size_t at, std::size_t len) {
    return len == 2 && static_cast<unsigned char>(s[at]) == 0xC2 &&
           static_cast<unsigned char>(s[at + 1]) <= 0x9F;
}

// Walks the text one character (or one stray byte) at a time: plain characters are copied,
// the others (and a backslash when `backslashToo`) are handed to `replace` with their bytes.
template <class Replace>
std::string mapControls(std::string_view s, bool backslashToo, Replace replace) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = Utf8SequenceLength(s, i);
        const auto c = static_cast<unsigned char>(s[i]);
        const bool plain = len > 1    ? !isC1(s, i, len)
                           : len == 1 ? c >= 0x20 && c != 0x7F && !(backslashToo && c == '\\')
                                      : false;
        const std::size_t step = len == 0 ? 1 : len;
        if (plain)
            out.append(s, i, step);
        else
            replace(out, s.substr(i, step));
        i += step;
    }
    return out;
}

}  // namespace

std::string escapeControls(std::string_view utf8) {
    return mapControls(utf8, true, [](std::string& out, std::string_view bytes) {
        if (bytes == "\\") {
            out += "\\\\";
            return;
        }
        for (char b : bytes) appendEscaped(out, static_cast<unsigned char>(b));
    });
}

std::string visibleControls(std::string_view utf8) {
    return mapControls(utf8, false, [](std::string& out, std::string_view bytes) {
        const auto c = static_cast<unsigned char>(bytes[0]);
        if (bytes.size() == 1 && c < 0x20)
            AppendUtf8(out, 0x2400u + c);
        else if (bytes.size() == 1 && c == 0x7F)
            AppendUtf8(out, 0x2421);
        else
            AppendUtf8(out, 0xFFFD);
    });
}

}  // namespace kv::platform
