#pragma once
// The encodings the viewer reads text in, one character at a time from raw bytes, and the
// guess of the mode and encoding from a file's first bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kv::view {

enum class Encoding : std::uint8_t { Utf8, Utf16Le, Utf16Be, Cp1251, Cp866, Latin1 };
inline constexpr Encoding kAllEncodings[] = {Encoding::Utf8,   Encoding::Utf16Le, Encoding::Utf16Be,
                                            Encoding::Cp1251, Encoding::Cp866,   Encoding::Latin1};

enum class ViewMode : std::uint8_t { Text, Hex, Dump };

// "UTF-8", "UTF-16LE", "UTF-16BE", "Windows-1251", "CP866", "Latin-1".
std::string_view encodingName(Encoding e);
// The encoding after `e` in the order the viewer's key steps through them.
Encoding nextEncoding(Encoding e);
std::string_view modeName(ViewMode m);
// Bytes per code unit: 2 for UTF-16, else 1. Characters and line feeds start on a unit.
unsigned unitBytes(Encoding e);
bool isSingleByte(Encoding e);

struct Decoded {
    char32_t cp;      // U+FFFD when !valid
    unsigned length;  // bytes taken, at least 1 (a whole unit for UTF-16)
    bool valid;
};

// The character at bytes[at]. `bytes` must reach 4 bytes past `at` unless the file ends
// sooner: a sequence cut by the end of `bytes` counts as invalid. An invalid sequence takes
// one byte (one unit in UTF-16), so the rest of the line still shows.
Decoded decodeAt(Encoding e, std::span<const std::uint8_t> bytes, std::size_t at);

// The bytes of `cp` in `e`; empty when the code page has no such character.
std::string encodeChar(Encoding e, char32_t cp);

// The code point of a byte in a single-byte encoding (ASCII below 0x80).
char32_t singleByteChar(Encoding e, std::uint8_t b);

// Lower and upper case of a code point (itself when it has none).
char32_t lowerCase(char32_t cp);
char32_t upperCase(char32_t cp);

// The byte-order mark at the start of the file: its length for `e`, 0 when absent.
std::size_t bomLength(Encoding e, std::span<const std::uint8_t> head);

struct Detection {
    ViewMode mode = ViewMode::Text;
    Encoding encoding = Encoding::Utf8;
    std::size_t bom = 0;  // bytes of byte-order mark the text starts after
};

// The mode and encoding for a file that starts with `head` (a few KiB are plenty; the whole
// file when `wholeFile`). A byte-order mark decides the encoding; a NUL byte or many control
// bytes mean a binary (hex); valid UTF-8 is UTF-8; other high bytes are Windows-1251, CP866
// or Latin-1 by which letters they would make.
Detection detect(std::span<const std::uint8_t> head, bool wholeFile);

}  // namespace kv::view
