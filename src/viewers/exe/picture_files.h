#pragma once
// Complete picture files from the bytes a resource keeps: bitmaps lose their file header
// when stored, icons and cursors their file directory.
#include <cstdint>
#include <optional>
#include <vector>

#include "viewers/exe/byte_reader.h"

namespace kv::exe {

// Where the pixels of a stored bitmap begin, counted from the start of a .bmp file made of
// a 14-byte file header and the stored bytes: the header, its colour masks and its palette
// come first. Works for the 12-byte core header, the 40-byte header (with BI_BITFIELDS or
// BI_ALPHABITFIELDS masks after it) and the 52/56/64/108/124-byte ones; never beyond the
// file's end.
std::uint32_t bitmapPixelOffset(Bytes dib);
// "BM", file size, reserved, pixel offset, then the stored bytes.
std::vector<std::uint8_t> bitmapFile(Bytes dib);

// The directory fields of one icon or cursor image.
struct IconDirEntry {
    std::uint8_t width = 0, height = 0, colours = 0, reserved = 0;
    std::uint16_t planesOrHotX = 0, bitsOrHotY = 0;
};
// What the image's own header says (a BITMAPINFOHEADER or a PNG); nothing when neither.
std::optional<IconDirEntry> entryFromImage(Bytes image);
// A file with one image: type 1 (.ico) or 2 (.cur), the entry, the image at offset 22.
std::vector<std::uint8_t> iconFile(std::uint16_t type, const IconDirEntry& entry, Bytes image);

}  // namespace kv::exe
