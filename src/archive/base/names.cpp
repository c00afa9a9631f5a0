#include "archive/base/names.h"

#include "platform/text_codec.h"

// The UTF-8 rules and the DOS code pages live in the platform's text module; the archive
// code keeps its own names for them.
namespace kv {

void appendUtf8(std::string& out, uint32_t cp) { platform::AppendUtf8(out, cp); }

bool isValidUtf8(std::string_view s) { return platform::IsValidUtf8(s); }

std::string decodeDosName(std::string_view raw, TNameCodePage cp) {
    if (isValidUtf8(raw)) return std::string(raw);
    return cp == TNameCodePage::cp866 ? platform::Cp866ToUtf8(raw) : platform::Cp437ToUtf8(raw);
}

std::string presentText(std::string_view raw, TNameCodePage cp, bool isUtf8) {
    return isUtf8 ? std::string(raw) : decodeDosName(raw, cp);
}

std::string presentName(std::string_view raw, TNameCodePage cp, bool isUtf8) {
    std::string s = presentText(raw, cp, isUtf8);
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

}  // namespace kv
