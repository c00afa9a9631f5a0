#pragma once
// Texts the panel shows: names, sizes in digit groups, Kb/Mb sizes, dates and times.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dir_reader.h"

namespace kv {

// A file or folder name as the panel draws it: names on disk and in archives may hold
// control characters (ESC, LF, ...), which are shown as visible stand-ins, never passed on.
std::string shownName(std::string_view name);

// n in groups of three digits ("12,345"); "" for 0 when emptyForZero.
std::string formatThousands(std::int64_t n, const std::string& sep = ",", bool emptyForZero = false);
// A folder size: "1 Kb", "0 Kb", "5,0 Mb", "300 Mb" (the ",0" is literal).
std::string FormatSize(std::int64_t n, const std::string& sep = ",");
// "dd.mm.yyyy"
std::string formatDate(const platform::LocalTime& t);
// "hh:mm"
std::string formatTime(const platform::LocalTime& t);

// The colour of a shown name by its lower-cased extension (from the last dot on):
// lime for programs and sources, red for texts and archives, pale cyan for pictures and
// sound; 0 when the extension is not listed (the caller uses DirectoryColor).
std::uint32_t extensionColor(const std::string& name);

}  // namespace kv
