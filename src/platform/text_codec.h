#pragma once
// The two text encodings our stored texts come in: UTF-8, and Windows-1251 from the old
// Russian files.
#include <string>
#include <string_view>

namespace kv::platform {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// Windows-1251 bytes to UTF-8 (0x98, unassigned in that code page, becomes U+FFFD).
std::string Cp1251ToUtf8(std::string_view bytes);

// The text as UTF-8: unchanged when it already is valid UTF-8 (a leading byte-order mark is
// dropped), otherwise taken as Windows-1251.
std::string DecodeUtf8OrCp1251(std::string_view bytes);

}  // namespace kv::platform
