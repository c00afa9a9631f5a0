#include "viewers/exe/resource_types.h"

#include <array>

namespace kv::exe {

namespace {
constexpr std::array<const char*, 17> kNames = {
    "Unknown0", "CursorEntry", "Bitmap", "IconEntry",    "Menu",   "Dialog",
    "String",   "FontDir",     "Font",   "Accelerators", "RCData", "MessageTable",
    "Cursor",   "Unknown13",   "Icon",   "Unknown15",    "Version"};
constexpr std::array<const char*, 17> kExtensions = {"Dat", "Cur", "Bmp", "Ico", "Mnu", "Dlg",
                                                     "Str", "Fnt", "Fnt", "Acc", "RCD", "Msg",
                                                     "Cur", "U13", "Ico", "U15", "Ver"};
}  // namespace

std::string typeName(std::uint32_t type) { return isKnownType(type) ? kNames[type] : ""; }

std::string defaultExtension(std::uint32_t type) { return isKnownType(type) ? kExtensions[type] : "Dat"; }

int saveFilterIndex(std::uint32_t type) {
    switch (type) {
        case kCursorImage: return 4;
        case kBitmap: return 2;
        case kIconImage: return 3;
        default: return 1;
    }
}

}  // namespace kv::exe
