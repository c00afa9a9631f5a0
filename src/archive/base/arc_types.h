#pragma once
// Enumerations shared by every archive component.
#include <array>
#include <cstdint>
#include <string_view>

namespace kv {

enum class TArcType : uint8_t {
    atNA,
    atUnsupported,
    atFileOpenErr,
    atUnknown,
    atARC,
    atArcExe,
    atARJ,
    atArjExe,
    atBH,
    atBHExe,
    atCAB,
    atGZip,
    atHA,
    atLHA,
    atLhaExe,
    atLZH,
    atLzhExe,
    atPAK,
    atPakExe,
    atRAR,
    atRarExe,
    atTAR,
    atUUE,
    atZIP,
    atZipExe,
    atZip250,
    atZip250Exe,
    atZOO,
};
using enum TArcType;

inline constexpr int ArcTypeCount = 28;

// Display names, each padded to 10 characters.
inline constexpr std::array<std::string_view, ArcTypeCount> ArcTypeNames = {
    "Not avail.", "Unsupport.", "File Error", "Unknown   ", "ARC       ", "ARC SFX   ", "ARJ       ",
    "ARJ SFX   ", "BH        ", "BH  SFX   ", "CAB       ", "GZip      ", "HA        ", "LHA       ",
    "LHA SFX   ", "LZH       ", "LZH SFX   ", "PAK       ", "PAK SFX   ", "RAR       ", "RAR SFX   ",
    "TAR       ", "UUE       ", "ZIP       ", "ZIP SFX   ", "ZIP250    ", "ZIP250 SFX", "ZOO       "};

inline std::string_view arcTypeName(TArcType t) { return ArcTypeNames[static_cast<int>(t)]; }
// The first four values are states; from atARC up the file is a real archive.
inline bool isRealArchive(TArcType t) { return t >= atARC; }

enum class TProgressNotify : uint8_t { Five, Ten, Fifteen, Twenty, TwentyFive };
inline int progressStep(TProgressNotify p) { return (static_cast<int>(p) + 1) * 5; }

enum class TSetDate : uint8_t { sdOrigDate, sdSysDate };
enum class TCpuType : uint8_t { cptAuto, cpt80286, cpt80386, cpt80486 };
enum class TStoredDirNames : uint8_t { sdNone, sdAbsolute, sdAbsoluteNoDrv, sdRelative };
enum class TSwitch : uint8_t { swAdd, swMove, swDelete, swRead };
enum class TCompressMethod : uint8_t {
    cmStore,
    cmDeflate,
    cmFuse,
    cmFrozen,
    cmMsZip,
    cmLzx,
    cmQuantum,
    cmUUEncode,
    cmXXEncode
};
enum class TDeflateType : uint8_t { dtDeflateS, dtDeflateF, dtDeflateN, dtDeflateX };

// Code page of names stored by DOS programs; CP866 when the user's language is not English.
enum class TNameCodePage : uint8_t { cp437, cp866 };

}  // namespace kv
