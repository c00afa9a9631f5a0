#pragma once
// Version information (VS_VERSIONINFO): the fixed part, the string tables and the
// translations, and the sixteen rows the explorer's version page shows.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "viewers/exe/byte_reader.h"

namespace kv::exe {

struct FixedFileInfo {
    std::uint32_t structVersion = 0;
    std::uint32_t fileVersionMs = 0, fileVersionLs = 0, productVersionMs = 0, productVersionLs = 0;
    std::uint32_t flagsMask = 0, flags = 0, os = 0, type = 0, subtype = 0, dateMs = 0, dateLs = 0;
};

struct StringTable {
    std::string key;  // language and code page, "040904E4"
    std::vector<std::pair<std::string, std::string>> strings;
};

struct VersionInfo {
    std::optional<FixedFileInfo> fixed;
    std::vector<StringTable> tables;
    std::vector<std::uint32_t> translations;  // language in the low half, code page in the high
};

// Nothing when the root block is not all there.
std::optional<VersionInfo> parseVersionInfo(Bytes data);

struct VersionRows {
    std::string langCharset;  // "Lang-charset: 040904E4", or "" when no table was used
    std::array<std::string, 16> names;
    std::array<std::string, 16> values;
};
// The strings of the table the first translation names (or, when there is no such table,
// the first table), then the fixed part written out.
VersionRows versionRows(const VersionInfo& v);
// The rows as "name: value" lines, after the language line.
std::vector<std::string> versionLines(const VersionInfo& v);

}  // namespace kv::exe
