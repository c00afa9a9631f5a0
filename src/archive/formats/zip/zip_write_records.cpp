#include "archive/formats/zip/zip_write_records.h"

#include <algorithm>

#include "archive/base/arc_file.h"

namespace kv {

namespace {

void put16(std::string& o, uint32_t v) {
    o.push_back(char(v & 0xFF));
    o.push_back(char((v >> 8) & 0xFF));
}
void put32(std::string& o, uint32_t v) {
    put16(o, v & 0xFFFF);
    put16(o, v >> 16);
}
void put64(std::string& o, uint64_t v) {
    put32(o, uint32_t(v));
    put32(o, uint32_t(v >> 32));
}
void set16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void set32(uint8_t* p, uint32_t v) {
    set16(p, v & 0xFFFF);
    set16(p + 2, v >> 16);
}
void set64(uint8_t* p, uint64_t v) {
    set32(p, uint32_t(v));
    set32(p + 4, uint32_t(v >> 32));
}
uint32_t clamp32(uint64_t v) { return v >= kZip32Max ? kZip32Max : uint32_t(v); }

}  // namespace

void appendZipLocalHeader(std::string& out, const ZipEntryFields& e, bool zip64) {
    put32(out, 0x04034B50);
    put16(out, zip64 ? kZipVersionZip64 : e.needed);
    put16(out, e.flags);
    put16(out, e.method);
    put16(out, e.dosDateTime & 0xFFFF);
    put16(out, e.dosDateTime >> 16);
    put32(out, e.crc);
    put32(out, zip64 ? kZip32Max : uint32_t(e.packed));
    put32(out, zip64 ? kZip32Max : uint32_t(e.size));
    put16(out, uint32_t(e.name.size()));
    put16(out, zip64 ? 20 : 0);
    out += e.name;
    if (zip64) {
        put16(out, 0x0001);
        put16(out, 16);
        put64(out, e.size);
        put64(out, e.packed);
    }
}

void zipPatchLocalSizes(uint8_t* h, size_t headerSize, const ZipEntryFields& e, bool zip64) {
    set16(h + 6, e.flags);
    set16(h + 8, e.method);
    set32(h + 14, e.crc);
    if (!zip64) {
        set32(h + 18, uint32_t(e.packed));
        set32(h + 22, uint32_t(e.size));
        return;
    }
    uint8_t* x = h + headerSize - 16;
    set64(x, e.size);
    set64(x + 8, e.packed);
}

void appendZipCentralHeader(std::string& out, const ZipEntryFields& e) {
    std::string z64;
    if (e.size >= kZip32Max) put64(z64, e.size);
    if (e.packed >= kZip32Max) put64(z64, e.packed);
    if (e.localOffset >= kZip32Max) put64(z64, e.localOffset);
    std::string extra;
    if (!z64.empty()) {
        put16(extra, 0x0001);
        put16(extra, uint32_t(z64.size()));
        extra += z64;
    }
    extra += e.extra;
    if (extra.size() > 0xFFFF) extra.resize(z64.empty() ? 0 : z64.size() + 4);
    const uint16_t needed = z64.empty() ? e.needed : std::max<uint16_t>(e.needed, kZipVersionZip64);
    put32(out, 0x02014B50);
    put16(out, e.madeBy);
    put16(out, needed);
    put16(out, e.flags);
    put16(out, e.method);
    put16(out, e.dosDateTime & 0xFFFF);
    put16(out, e.dosDateTime >> 16);
    put32(out, e.crc);
    put32(out, clamp32(e.packed));
    put32(out, clamp32(e.size));
    put16(out, uint32_t(e.name.size()));
    put16(out, uint32_t(extra.size()));
    put16(out, uint32_t(e.comment.size()));
    put16(out, 0);  // disk
    put16(out, e.internalAttr);
    put32(out, e.externalAttr);
    put32(out, clamp32(e.localOffset));
    out += e.name;
    out += extra;
    out += e.comment;
}

void appendZipEnd(std::string& out, uint64_t entries, uint64_t cdSize, uint64_t cdOffset,
                  std::string_view comment) {
    const bool zip64 = entries >= 0xFFFF || cdSize >= kZip32Max || cdOffset >= kZip32Max;
    if (zip64) {
        const uint64_t end64 = cdOffset + cdSize;
        put32(out, 0x06064B50);
        put64(out, 44);  // the record's size after this field
        put16(out, kZipMadeByUnix | kZipVersionZip64);
        put16(out, kZipVersionZip64);
        put32(out, 0);
        put32(out, 0);
        put64(out, entries);
        put64(out, entries);
        put64(out, cdSize);
        put64(out, cdOffset);
        put32(out, 0x07064B50);  // locator
        put32(out, 0);
        put64(out, end64);
        put32(out, 1);
    }
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, entries >= 0xFFFF ? 0xFFFF : uint32_t(entries));
    put16(out, entries >= 0xFFFF ? 0xFFFF : uint32_t(entries));
    put32(out, clamp32(cdSize));
    put32(out, clamp32(cdOffset));
    const size_t n = std::min<size_t>(comment.size(), 0xFFFF);
    put16(out, uint32_t(n));
    out.append(comment.substr(0, n));
}

std::string zipExtraWithoutZip64(std::string_view x) {
    std::string kept;
    for (size_t q = 0; q + 4 <= x.size();) {
        const auto* p = reinterpret_cast<const uint8_t*>(x.data() + q);
        const size_t len = le16(p + 2);
        if (q + 4 + len > x.size()) break;  // a damaged tail is dropped, never copied
        if (le16(p) != 0x0001) kept.append(x.substr(q, 4 + len));
        q += 4 + len;
    }
    return kept;
}

}  // namespace kv
