#pragma once
// Small helpers shared by the readers, extractors and the writer.
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

// Offsets and sizes read from an archive are hostile: every sum of them goes through these,
// so a size near 2^64 can never wrap an end back before its start.
// out = a + b; false (out untouched) when the sum does not fit in 64 bits.
inline bool checkedAdd(uint64_t a, uint64_t b, uint64_t& out) {
    uint64_t r;
    if (__builtin_add_overflow(a, b, &r)) return false;
    out = r;
    return true;
}
// True when the len bytes at pos lie wholly inside a file (or buffer) of total bytes.
inline bool rangeInside(uint64_t pos, uint64_t len, uint64_t total) {
    return pos <= total && len <= total - pos;
}

// The longest stored name a reader accepts (bytes); longer ones are refused with a message,
// so nested folder records cannot grow names without bound.
inline constexpr size_t kMaxNameBytes = 4096;

// Space saved in percent (0..100); 0 when either is 0 or nothing was saved; a saving that
// rounds to 0 shows as 1.
int Ratio(uint64_t packed, uint64_t unpacked);
// done of total in percent: 0 when either is 0, 100 when equal.
int Percent(uint64_t done, uint64_t total);

// Case-insensitive DOS-style mask match ("?" one character, "*" any run). With nameOnly both
// sides are cut to their file-name part first, so "dir/" never matches a file mask.
bool wildcardMatch(std::string_view mask, std::string_view name, bool nameOnly);

// The name of the next ARJ volume: counter is incremented, the extension becomes A01..A99,
// then 100..999 (in the case of the given extension); past 999 the answer is empty.
std::string nextArjVolumeName(const std::string& name, int& counter);

// Path pieces for "/"-separated paths: "a/b/c.txt" -> "a/b/" and "c.txt".
std::string_view folderPart(std::string_view path);
std::string_view fileNamePart(std::string_view path);

// Small file routines.
bool fileExists(const std::string& path);
// Creates every missing folder of dir; true when it exists afterwards.
bool createDirs(const std::string& dir);
// Moves old onto new, replacing new in one step (rename(2)); true on success.
bool renameWithReplace(const std::string& oldPath, const std::string& newPath);
// A new empty file beside target (same folder), made with mkstemp; empty path on failure.
std::string makeTempFileBeside(const std::string& target, std::string_view prefix = "kel");

}  // namespace kv
