#pragma once
// The ZIP records a writer emits: local header, central header, end records (with their
// ZIP64 forms when a size, offset or count does not fit the classic fields).
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

inline constexpr uint32_t kZip32Max = 0xFFFFFFFFu;
inline constexpr uint16_t kZipVersion = 20, kZipVersionZip64 = 45;
inline constexpr uint16_t kZipMadeByUnix = 3 << 8;
inline constexpr uint16_t kZipFlagEncrypted = 1, kZipFlagDescriptor = 8, kZipFlagUtf8 = 0x800;

// Everything a central header holds about one entry.
struct ZipEntryFields {
    uint16_t madeBy = kZipMadeByUnix | kZipVersion;
    uint16_t needed = kZipVersion;
    uint16_t flags = 0, method = 0, internalAttr = 0;
    uint32_t dosDateTime = 0, crc = 0, externalAttr = 0;
    uint64_t packed = 0, size = 0, localOffset = 0;
    std::string name;   // raw bytes as stored
    std::string extra;  // central extra fields to keep (never a ZIP64 block: that is made here)
    std::string comment;
};

// The fixed local header, its name and, with zip64, a ZIP64 block carrying both sizes (the
// 32-bit fields then hold all ones). Its size is 30 + name + (zip64 ? 20 : 0); the CRC and
// size fields sit at 14..25 and in the ZIP64 block, patched by zipPatchLocalSizes.
void appendZipLocalHeader(std::string& out, const ZipEntryFields& e, bool zip64);
// Rewrites CRC, sizes and flags in a local header made by appendZipLocalHeader.
void zipPatchLocalSizes(uint8_t* header, size_t headerSize, const ZipEntryFields& e, bool zip64);
// The central header; a ZIP64 block is added for the fields that do not fit.
void appendZipCentralHeader(std::string& out, const ZipEntryFields& e);
// The end record, preceded by the ZIP64 end record and locator when the count, the
// directory's size or its offset needs them. cdOffset is also where the directory starts.
void appendZipEnd(std::string& out, uint64_t entries, uint64_t cdSize, uint64_t cdOffset,
                  std::string_view comment);
// The extra fields of a record without its ZIP64 block.
std::string zipExtraWithoutZip64(std::string_view extra);

}  // namespace kv
