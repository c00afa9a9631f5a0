#pragma once
// Hand-made PE files around a resource section given byte by byte, so a test can put any
// damage exactly where it wants: the headers' fields are all settable.
#include <cstdint>
#include <string>
#include <vector>

#include "exe/pictures.h"

namespace kv::test {

struct PeLayout {
    bool pe32Plus = false;
    std::string sectionName = ".rsrc";
    std::uint32_t sectionVa = 0x1000;
    std::uint32_t ntOffset = 0x40;     // where the NT headers are written
    std::int64_t storedNtOffset = -1;  // -1: the offset the DOS header names is ntOffset
    std::int64_t rawPointer = -1;      // -1: where the section really starts
    std::int64_t rawSize = -1;         // -1: its real size
    std::int64_t sectionCount = -1;
    std::string signature = std::string("PE\0\0", 4);
};

inline std::vector<std::uint8_t> buildPe(const std::vector<std::uint8_t>& section, const PeLayout& l = {}) {
    ByteWriter w;
    w.text("MZ");
    while (w.b.size() < 0x3C) w.u8(0);
    w.u32(l.storedNtOffset >= 0 ? std::uint32_t(l.storedNtOffset) : l.ntOffset);
    while (w.b.size() < l.ntOffset) w.u8(0);
    const unsigned optionalSize = l.pe32Plus ? 240 : 224;
    w.text(l.signature);
    w.u16(l.pe32Plus ? 0x8664 : 0x14C).u16(l.sectionCount >= 0 ? l.sectionCount : 1);
    w.u32(0).u32(0).u32(0).u16(optionalSize).u16(0x0102);
    w.u16(l.pe32Plus ? 0x20B : 0x10B);
    for (unsigned i = 2; i < optionalSize; ++i) w.u8(0);
    const std::uint32_t start = 0x200;
    std::string name = l.sectionName;
    name.resize(8, '\0');
    w.text(name).u32(section.size()).u32(l.sectionVa);
    w.u32(l.rawSize >= 0 ? std::uint32_t(l.rawSize) : section.size());
    w.u32(l.rawPointer >= 0 ? std::uint32_t(l.rawPointer) : start);
    w.u32(0).u32(0).u16(0).u16(0).u32(0x40000040);
    while (w.b.size() < start) w.u8(0);
    return w.bytes(section).b;
}

// Resource directory pieces, placed at chosen offsets of a section.
class SectionWriter {
public:
    SectionWriter& at(std::size_t offset) {
        if (b.size() < offset) b.resize(offset, 0);
        pos = offset;
        return *this;
    }
    SectionWriter& put(const std::vector<std::uint8_t>& bytes) {
        if (b.size() < pos + bytes.size()) b.resize(pos + bytes.size(), 0);
        std::copy(bytes.begin(), bytes.end(), b.begin() + pos);
        pos += bytes.size();
        return *this;
    }
    SectionWriter& directory(std::uint16_t named, std::uint16_t numbered) {
        return put(ByteWriter().u32(0).u32(0).u32(0).u16(named).u16(numbered).b);
    }
    SectionWriter& entry(std::uint32_t nameOrNumber, std::uint32_t offset) {
        return put(ByteWriter().u32(nameOrNumber).u32(offset).b);
    }
    SectionWriter& dataEntry(std::uint32_t rva, std::uint32_t size) {
        return put(ByteWriter().u32(rva).u32(size).u32(0).u32(0).b);
    }
    std::vector<std::uint8_t> b;
    std::size_t pos = 0;
};

constexpr std::uint32_t kDir = 0x80000000;

// One RCDATA resource "1" holding "DATA": root at 0, type at 0x18, name at 0x30, data entry
// at 0x48, the bytes at 0x58 (section address 0x1000).
inline SectionWriter oneResource() {
    SectionWriter s;
    s.at(0).directory(0, 1).entry(10, kDir | 0x18);
    s.at(0x18).directory(0, 1).entry(1, kDir | 0x30);
    s.at(0x30).directory(0, 1).entry(0x409, 0x48);
    s.at(0x48).dataEntry(0x1058, 4);
    s.at(0x58).put({'D', 'A', 'T', 'A'});
    return s;
}

}  // namespace kv::test
