#pragma once
// Small helpers shared by the readers, extractors and the writer.
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

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
