#pragma once
// Names stored by DOS programs are in a DOS code page; we present them as UTF-8 with "/".
#include <cstdint>
#include <string>
#include <string_view>

#include "archive/base/arc_types.h"

namespace kv {

bool isValidUtf8(std::string_view s);
// Appends one Unicode code point (up to U+10FFFF) in UTF-8.
void appendUtf8(std::string& out, uint32_t cp);
// A name that is valid UTF-8 stays as it is; otherwise each byte is read in the code page.
std::string decodeDosName(std::string_view raw, TNameCodePage cp);
// decodeDosName, skipped when the entry says it is UTF-8; for comments, whose backslashes
// are text and stay as they are.
std::string presentText(std::string_view raw, TNameCodePage cp, bool isUtf8 = false);
// presentText, then "\" becomes "/".
std::string presentName(std::string_view raw, TNameCodePage cp, bool isUtf8 = false);

}  // namespace kv
