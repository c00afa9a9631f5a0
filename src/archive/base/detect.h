#pragma once
// Archive type detection: signatures at the start of a file or inside an executable, the
// self-extractor searches, and the extension table.
#include <cstdint>
#include <string>
#include <string_view>

#include "archive/base/arc_types.h"
#include "archive/base/date_time.h"

namespace kv {

enum class SignatureMode { StartOfFile, InsideExe };

struct Classified {
    TArcType type = atUnknown;
    bool forcedStart = false;  // B7 92 / B7 DF: the archive starts at offset 7716
};
// Classifies the first four bytes (b[0..3]).
Classified classifySignature(const uint8_t* b, SignatureMode mode);

// Type by extension (".zip", ".Z", ...; case ignored). TAR needs tarCheck to pass.
TArcType typeByExtension(std::string_view fileName, bool tarCheckPassed);

struct DetectResult {
    TArcType type = atFileOpenErr;
    uint64_t arcStart = 1;  // 1-based
    uint64_t sfxOffset = 0;
    uint64_t size = 0;
    TDateTime date{};
    bool closeFailed = false;
};

// zipCmntBufSize sizes the window of the ZIP end-record search inside executables.
DetectResult detectArchive(const std::string& path, int zipCmntBufSize = 2000);

}  // namespace kv
