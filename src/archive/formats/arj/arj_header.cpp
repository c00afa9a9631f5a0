#include "archive/formats/arj/arj_header.h"

#include "archive/base/arc_file.h"
#include "archive/base/crc.h"
#include "archive/base/messages.h"
#include "archive/base/util.h"

namespace kv {

bool readArjHeader(BlockReader& r, uint64_t pos, ArjHeader& h, int& bad) {
    bad = 0;
    const uint8_t* p = r.get(pos, 4);
    if (!p) {
        bad = msg::ReadError;
        return false;
    }
    if (le16(p) != kArjId) {
        bad = msg::BadFileHeader;
        return false;
    }
    const uint16_t size = le16(p + 2);
    if (size == 0) return false;
    if (size > kArjMaxBasicHeader || size < 30) {
        bad = msg::BadFileHeader;
        return false;
    }
    uint64_t basicPos;
    if (!checkedAdd(pos, 4, basicPos)) {
        bad = msg::ReadError;
        return false;
    }
    p = r.get(basicPos, size_t(size) + 4);
    if (!p) {
        bad = msg::ReadError;
        return false;
    }
    // Every basic header carries its CRC-32: a damaged one would give made-up names and sizes.
    if (crc32(std::span<const uint8_t>(p, size)) != le32(p + size)) {
        bad = msg::HeaderCrcError;
        return false;
    }
    const uint8_t first = p[0];
    if (first > size || first < 30) {
        bad = msg::BadFileHeader;
        return false;
    }
    h = ArjHeader{};
    h.pos = pos;
    h.basicSize = size;
    h.firstSize = first;
    h.version = p[1];
    h.minVersion = p[2];
    h.hostOs = p[3];
    h.flags = p[4];
    h.method = p[5];
    h.fileType = p[6];
    h.stamp = le32(p + 8);
    h.packed = le32(p + 12);
    h.size = le32(p + 16);
    h.crc = le32(p + 20);
    h.fileSpecPos = le16(p + 24);
    h.accessMode = le16(p + 26);
    // Name and comment are zero-terminated strings inside the basic header.
    size_t nameEnd = first;
    while (nameEnd < size && p[nameEnd]) ++nameEnd;
    h.name.assign(reinterpret_cast<const char*>(p + first), nameEnd - first);
    const size_t c = nameEnd + 1;
    size_t commentEnd = c;
    while (commentEnd < size && p[commentEnd]) ++commentEnd;
    if (c < size) h.comment.assign(reinterpret_cast<const char*>(p + c), commentEnd - c);
    // Extended headers follow the header CRC: size, data and CRC each, until a size of 0.
    uint64_t q = basicPos + size + 4;
    for (int guard = 0;; ++guard) {
        const uint8_t* s = r.get(q, 2);
        if (!s) {
            bad = msg::ReadError;
            return false;
        }
        if (guard > 1000) {
            bad = msg::BadFileHeader;
            return false;
        }
        const uint16_t extSize = le16(s);
        q += 2;
        if (extSize == 0) break;
        q += uint64_t(extSize) + 4;  // at most 1000 * 64 KiB past a position inside the file
    }
    h.dataPos = q;
    return true;
}

bool findArjMainHeader(BlockReader& r, uint64_t start, bool selfExtractor, ArjHeader& main) {
    const uint64_t fileSize = r.size();
    if (fileSize < 2) return false;
    uint64_t last = fileSize - 2;
    if (last > 25000) {
        last = 25000;
        if (selfExtractor && !checkedAdd(start, 25000, last)) last = fileSize - 2;
    }
    if (last > fileSize - 2) last = fileSize - 2;
    for (uint64_t pos = start; pos < last; ++pos) {
        const uint8_t* p = r.get(pos, 2);
        if (!p) return false;
        if (p[0] != 0x60 || p[1] != 0xEA) continue;
        int bad = 0;
        if (readArjHeader(r, pos, main, bad) && main.fileType == kArjMainHeader) return true;
    }
    return false;
}

}  // namespace kv
