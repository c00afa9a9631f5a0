#pragma once
// Small picture files written byte by byte, as sources for the test programs' resources
// and as the files a saved resource must equal.
#include <cstdint>
#include <string>
#include <vector>

namespace kv::test {

class ByteWriter {
public:
    ByteWriter& u8(std::uint32_t v) {
        b.push_back(std::uint8_t(v));
        return *this;
    }
    ByteWriter& u16(std::uint32_t v) { return u8(v).u8(v >> 8); }
    ByteWriter& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    ByteWriter& bytes(const std::vector<std::uint8_t>& v) {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
    ByteWriter& text(const std::string& s) {
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    ByteWriter& utf16z(const std::u16string& s) {
        for (char16_t c : s) u16(c);
        return u16(0);
    }
    ByteWriter& pad4() {
        while (b.size() % 4) u8(0);
        return *this;
    }
    std::vector<std::uint8_t> b;
};

inline std::vector<std::uint8_t> pattern(std::size_t n, unsigned seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = std::uint8_t(i * 7 + seed * 31 + (i >> 3));
    return v;
}

struct BitmapSpec {
    unsigned headerSize = 40;  // 12, 40, 108 or 124
    unsigned bits = 8;
    unsigned compression = 0;  // 3: BI_BITFIELDS
    unsigned coloursUsed = 0;
    int width = 4, height = 2;
};

// A whole .bmp file with the pixel offset a correct writer gives it.
inline std::vector<std::uint8_t> bitmapFile(const BitmapSpec& s) {
    const unsigned stride = ((s.width * s.bits + 31) / 32) * 4;
    const auto pixels = pattern(stride * s.height, s.bits + s.headerSize);
    const unsigned palette = s.coloursUsed ? s.coloursUsed : (s.bits <= 8 ? 1u << s.bits : 0);
    ByteWriter info;
    if (s.headerSize == 12) {
        info.u32(12).u16(s.width).u16(s.height).u16(1).u16(s.bits);
        for (unsigned i = 0; i < palette; ++i) info.u8(i).u8(255 - i).u8(i * 3);
    } else {
        info.u32(s.headerSize).u32(s.width).u32(s.height).u16(1).u16(s.bits).u32(s.compression);
        info.u32(pixels.size()).u32(2835).u32(2835).u32(s.coloursUsed).u32(0);
        if (s.headerSize > 40) {
            info.u32(0xFF0000).u32(0xFF00).u32(0xFF).u32(0xFF000000).text("BGRs");
            while (info.b.size() < s.headerSize) info.u8(0);
        }
        if (s.headerSize == 40 && s.compression == 3) info.u32(0xF800).u32(0x7E0).u32(0x1F);
        for (unsigned i = 0; i < palette; ++i) info.u8(i).u8(255 - i).u8(i * 3).u8(0);
    }
    ByteWriter file;
    file.text("BM").u32(14 + info.b.size() + pixels.size()).u32(0).u32(14 + info.b.size());
    return file.bytes(info.b).bytes(pixels).b;
}

// One image of an icon or cursor: a BITMAPINFOHEADER of twice the height, the palette,
// the colour pixels and the AND mask.
inline std::vector<std::uint8_t> iconImage(int size, unsigned bits, unsigned seed) {
    const unsigned stride = ((size * bits + 31) / 32) * 4, maskStride = ((size + 31) / 32) * 4;
    ByteWriter w;
    w.u32(40).u32(size).u32(size * 2).u16(1).u16(bits).u32(0).u32((stride + maskStride) * size);
    w.u32(0).u32(0).u32(0).u32(0);
    if (bits <= 8)
        for (unsigned i = 0; i < (1u << bits); ++i) w.u8(i * 5).u8(i * 9).u8(255 - i).u8(0);
    w.bytes(pattern(stride * size, seed));
    w.bytes(std::vector<std::uint8_t>(maskStride * size, 0));
    return w.b;
}

struct IconImage {
    int size;
    unsigned bits;
    std::vector<std::uint8_t> data;
    unsigned hotX = 0, hotY = 0;  // cursors
};

// An .ico (type 1) or .cur (type 2) file holding the images one after the other.
inline std::vector<std::uint8_t> iconFile(unsigned type, const std::vector<IconImage>& images) {
    ByteWriter w;
    w.u16(0).u16(type).u16(images.size());
    std::uint32_t offset = 6 + 16 * images.size();
    for (const auto& im : images) {
        const unsigned colours = im.bits < 8 ? 1u << im.bits : 0;
        w.u8(im.size < 256 ? im.size : 0).u8(im.size < 256 ? im.size : 0).u8(colours).u8(0);
        if (type == 2)
            w.u16(im.hotX).u16(im.hotY);
        else
            w.u16(1).u16(im.bits);
        w.u32(im.data.size()).u32(offset);
        offset += im.data.size();
    }
    for (const auto& im : images) w.bytes(im.data);
    return w.b;
}

}  // namespace kv::test
