#pragma once
// UTF-8 and the single-byte code pages our texts and archive names come in: Windows-1251
// from the old Russian files, CP437 and CP866 from DOS archives.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kv::platform {

// The length of the well-formed UTF-8 sequence that starts at bytes[at]: 1 for ASCII, 2..4
// for a multi-byte character, 0 when the bytes there are no UTF-8 (a stray continuation byte,
// a cut sequence, an overlong form, a surrogate, or a value above U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t at);

// Strict UTF-8: every sequence as Utf8SequenceLength accepts it.
bool IsValidUtf8(std::string_view bytes);

// Appends one code point (up to U+10FFFF) in UTF-8.
void AppendUtf8(std::string& out, std::uint32_t cp);

// Windows-1251 bytes to UTF-8 (0x98, unassigned in that code page, becomes U+FFFD).
std::string Cp1251ToUtf8(std::string_view bytes);
// DOS code page 437 (Latin) and 866 (Cyrillic) bytes to UTF-8.
std::string Cp437ToUtf8(std::string_view bytes);
std::string Cp866ToUtf8(std::string_view bytes);

// The text as UTF-8: unchanged when it already is valid UTF-8 (a leading byte-order mark is
// dropped), otherwise taken as Windows-1251.
std::string DecodeUtf8OrCp1251(std::string_view bytes);

}  // namespace kv::platform
