#include "viewers/exe/picture_files.h"

#include <algorithm>

namespace kv::exe {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::uint64_t paletteEntriesFor(std::uint16_t bits) {
    return bits >= 1 && bits <= 8 ? (std::uint64_t(1) << bits) : 0;
}

std::uint8_t sizeByte(std::int64_t v) { return v > 0 && v < 256 ? std::uint8_t(v) : 0; }  // 0 means 256

}  // namespace

std::uint32_t bitmapPixelOffset(Bytes dib) {
    const std::uint64_t end = 14 + std::uint64_t(dib.size());
    const auto headerSize = readU32(dib, 0);
    if (!headerSize) return std::uint32_t(end);
    std::uint64_t offset = 14 + std::uint64_t(*headerSize);
    if (*headerSize == 12) {
        // The old core header: 16-bit sizes, 3-byte palette entries.
        offset += 3 * paletteEntriesFor(readU16(dib, 10).value_or(0));
    } else {
        const std::uint16_t bits = readU16(dib, 14).value_or(0);
        const std::uint32_t compression = readU32(dib, 16).value_or(0);
        const std::uint32_t used = *headerSize >= 36 ? readU32(dib, 32).value_or(0) : 0;
        // The colour masks follow a 40-byte header; the longer headers hold them inside.
        if (*headerSize == 40 && compression == 3) offset += 12;  // BI_BITFIELDS
        if (*headerSize == 40 && compression == 6) offset += 16;  // BI_ALPHABITFIELDS
        offset += 4 * (used != 0 ? std::uint64_t(used) : paletteEntriesFor(bits));
    }
    return std::uint32_t(std::min(offset, end));
}

std::vector<std::uint8_t> bitmapFile(Bytes dib) {
    std::vector<std::uint8_t> out{'B', 'M'};
    out.reserve(14 + dib.size());
    put32(out, std::uint32_t(14 + dib.size()));
    put32(out, 0);
    put32(out, bitmapPixelOffset(dib));
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

std::optional<IconDirEntry> entryFromImage(Bytes image) {
    static const std::uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (image.size() >= 26 && std::equal(kPng, kPng + 8, image.begin())) {
        auto be32 = [&](std::size_t at) {
            return std::uint32_t(image[at]) << 24 | std::uint32_t(image[at + 1]) << 16 |
                   std::uint32_t(image[at + 2]) << 8 | image[at + 3];
        };
        static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
        const std::uint8_t depth = image[24], colourType = image[25];
        IconDirEntry e;
        e.width = sizeByte(be32(16));
        e.height = sizeByte(be32(20));
        e.planesOrHotX = 1;
        e.bitsOrHotY = std::uint16_t(depth * (colourType < 7 ? kChannels[colourType] : 0));
        return e;
    }
    const auto size = readU32(image, 0);
    if (!size) return std::nullopt;
    IconDirEntry e;
    if (*size == 12) {
        auto w = readU16(image, 4), h = readU16(image, 6), planes = readU16(image, 8),
             bits = readU16(image, 10);
        if (!bits) return std::nullopt;
        e.width = sizeByte(*w);
        e.height = sizeByte(*h / 2);
        e.planesOrHotX = *planes;
        e.bitsOrHotY = *bits;
    } else if (*size >= 40) {
        auto w = readU32(image, 4), h = readU32(image, 8);
        auto planes = readU16(image, 12), bits = readU16(image, 14);
        if (!bits) return std::nullopt;
        e.width = sizeByte(std::int32_t(*w));
        e.height = sizeByte(std::int32_t(*h) / 2);  // the image and its mask, one above the other
        e.planesOrHotX = *planes;
        e.bitsOrHotY = *bits;
    } else {
        return std::nullopt;
    }
    const unsigned depth = unsigned(e.planesOrHotX) * e.bitsOrHotY;
    e.colours = depth >= 1 && depth < 8 ? std::uint8_t(1u << depth) : 0;
    return e;
}

std::vector<std::uint8_t> iconFile(std::uint16_t type, const IconDirEntry& entry, Bytes image) {
    std::vector<std::uint8_t> out;
    out.reserve(22 + image.size());
    put16(out, 0);
    put16(out, type);
    put16(out, 1);
    out.push_back(entry.width);
    out.push_back(entry.height);
    out.push_back(entry.colours);
    out.push_back(entry.reserved);
    put16(out, entry.planesOrHotX);
    put16(out, entry.bitsOrHotY);
    put32(out, std::uint32_t(image.size()));
    put32(out, 22);
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

}  // namespace kv::exe
