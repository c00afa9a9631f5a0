#pragma once
// The numbered resource types: the name a type folder shows, and what the explorer offers
// when a resource of that type is saved. Types above 16 and named types have no row here.
#include <cstdint>
#include <string>

namespace kv::exe {

enum ResourceType : std::uint32_t {
    kCursorImage = 1,
    kBitmap = 2,
    kIconImage = 3,
    kMenu = 4,
    kDialog = 5,
    kStringTable = 6,
    kAccelerators = 9,
    kRcData = 10,
    kCursorGroup = 12,
    kIconGroup = 14,
    kVersion = 16,
};

// True for the types 0..16, which have a name of their own.
inline bool isKnownType(std::uint32_t type) { return type <= 16; }
// "Unknown0", "CursorEntry", "Bitmap", ... for 0..16; "" otherwise.
std::string typeName(std::uint32_t type);
// The extension a saved resource gets ("Dat", "Cur", "Bmp", ...); "Dat" outside 0..16.
std::string defaultExtension(std::uint32_t type);
// Which filter of the save dialog is preset: 1 all files, 2 bitmaps, 3 icons, 4 cursors.
int saveFilterIndex(std::uint32_t type);

}  // namespace kv::exe
