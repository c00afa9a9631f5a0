#pragma once
// The end of a ZIP archive: its end record (and the ZIP64 end record it points to), found
// the same way by the lister and the extractor, so that what lists also extracts.
#include <cstdint>
#include <string>

#include "archive/base/arc_file.h"

namespace kv {

// How far before the end a ZIP end record may start: the largest comment plus the record.
inline constexpr uint64_t kZipEndSearch = 65535 + 22;

struct ZipEnd {
    uint64_t endPos = 0;   // where the end record starts
    uint64_t dirEnd = 0;   // where the central directory ends: the ZIP64 end record, else endPos
    uint64_t entries = 0;  // the entry count the record gives
    uint64_t cdSize = 0;   // the central directory's size and its stored offset
    uint64_t cdOffset = 0;
    std::string comment;  // the archive comment's raw bytes, cut at the end of the file
};

// Searches the last kZipEndSearch bytes backwards for the end record; the 64-bit values of
// a ZIP64 end record replace the 32-bit ones when a locator right before the end record
// points to one. False when no end record is found.
bool findZipEnd(const ArcFile& file, ZipEnd& out);

}  // namespace kv
