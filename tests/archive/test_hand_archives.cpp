#include "hand_archives.h"

#include <algorithm>
#include <span>
#include <string>

#include "archive/base/crc.h"

namespace kv::unzip_test {

namespace {

using Bytes = std::vector<uint8_t>;

void put8(Bytes& b, uint8_t v) { b.push_back(v); }
void put16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
    put16(b, uint16_t(v));
    put16(b, uint16_t(v >> 16));
}
void putStr(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
void putBytes(Bytes& b, const Bytes& d) { b.insert(b.end(), d.begin(), d.end()); }

constexpr uint32_t kStamp = (uint32_t(21) << 25 | 2u << 21 | 3u << 16) | (4u << 11 | 5u << 5 | 3u);

bool isFolder(const HandEntry& e) { return !e.name.empty() && e.name.back() == '/'; }
uint64_t declared(const HandEntry& e) {
    return e.declaredSize >= 0 ? uint64_t(e.declaredSize) : e.data.size();
}

// ARJ: a basic header (first part of 30 bytes, name, comment), its CRC-32, no extended headers.
void arjHeader(Bytes& out, uint8_t type, const std::string& name, const HandEntry* e) {
    Bytes h;
    put8(h, 30);
    put8(h, 11);  // archiver version
    put8(h, 1);   // version needed
    put8(h, 0);   // host: DOS
    put8(h, 0);   // flags
    put8(h, 0);   // method: stored
    put8(h, type);
    put8(h, 0);
    put32(h, kStamp);
    const uint32_t size = e ? uint32_t(e->data.size()) : 0;
    uint32_t crc = e ? crc32(e->data) : 0;
    if (e && e->badCrc) crc ^= 0x5A5A5A5A;
    put32(h, size);
    put32(h, e ? uint32_t(declared(*e)) : 0);
    put32(h, crc);
    put16(h, 0);
    put16(h, 0);
    put16(h, 0);
    putStr(h, name);
    put8(h, 0);
    put8(h, 0);  // no comment
    put16(out, 0xEA60);
    put16(out, uint16_t(h.size()));
    putBytes(out, h);
    put32(out, crc32(h));
    put16(out, 0);  // no extended header
}

// ARC: a 29-byte header of the method, the name cut to 12 bytes.
void arcHeader(Bytes& out, uint8_t method, const std::string& name, const HandEntry* e) {
    put8(out, 0x1A);
    put8(out, method);
    std::string n = name.substr(0, 12);
    n.resize(13, '\0');
    putStr(out, n);
    uint16_t crc = e ? crc16(e->data) : 0;
    if (e && e->badCrc) crc ^= 0x5A5A;
    put32(out, e ? uint32_t(e->data.size()) : 0);
    put16(out, uint16_t(kStamp >> 16));  // the date word first
    put16(out, uint16_t(kStamp));
    put16(out, crc);
    put32(out, e ? uint32_t(declared(*e)) : 0);
}

void rarBlock(Bytes& out, const Bytes& fromType) {
    put16(out, uint16_t(crc32(fromType)));
    putBytes(out, fromType);
}

}  // namespace

std::vector<uint8_t> makeArj(const std::vector<HandEntry>& entries) {
    Bytes out;
    arjHeader(out, 2, "hand.arj", nullptr);
    for (const HandEntry& e : entries) {
        if (isFolder(e)) {
            arjHeader(out, 3, e.name.substr(0, e.name.size() - 1), nullptr);
            continue;
        }
        arjHeader(out, 0, e.name, &e);
        putBytes(out, e.data);
    }
    put16(out, 0xEA60);
    put16(out, 0);
    return out;
}

std::vector<uint8_t> makeLha(const std::vector<HandEntry>& entries) {
    Bytes out;
    for (const HandEntry& e : entries) {
        // Level 2: the folder (0xFF between its parts) and the leaf in extended headers.
        std::string dir, leaf = e.name;
        if (const size_t slash = e.name.rfind('/'); slash != std::string::npos) {
            dir = e.name.substr(0, slash);
            leaf = e.name.substr(slash + 1);
            for (char& c : dir)
                if (c == '/') c = char(0xFF);
        }
        const bool folder = isFolder(e);
        Bytes ext;
        auto extHeader = [&](uint8_t type, const std::string& data) {
            put16(ext, uint16_t(3 + data.size()));  // the size sits before each header here
            put8(ext, type);
            putStr(ext, data);
        };
        extHeader(0x01, folder ? std::string() : leaf);
        if (!dir.empty()) extHeader(0x02, dir);
        // In the file, each size field ends the header before it: the first one sits in the
        // fixed part (offset 24), the last one is 0.
        Bytes h;
        const uint16_t total = uint16_t(24 + ext.size() + 2);
        put16(h, total);
        putStr(h, folder ? "-lhd-" : "-lh0-");
        put32(h, folder ? 0 : uint32_t(e.data.size()));
        put32(h, folder ? 0 : uint32_t(declared(e)));
        put32(h, 1000000000);  // Unix time
        put8(h, 0x20);
        put8(h, 2);  // level
        uint16_t crc = folder ? 0 : crc16(e.data);
        if (e.badCrc) crc ^= 0x5A5A;
        put16(h, crc);
        put8(h, 'U');
        putBytes(h, ext);
        put16(h, 0);
        putBytes(out, h);
        if (!folder) putBytes(out, e.data);
    }
    put8(out, 0);
    return out;
}

std::vector<uint8_t> makeArc(const std::vector<HandEntry>& entries) {
    Bytes out;
    for (const HandEntry& e : entries) {
        std::vector<std::string> parts;
        std::string rest = e.name;
        for (size_t slash; (slash = rest.find('/')) != std::string::npos; rest = rest.substr(slash + 1))
            parts.push_back(rest.substr(0, slash));
        for (const std::string& p : parts) arcHeader(out, 30, p, nullptr);
        if (!rest.empty()) {
            arcHeader(out, 2, rest, &e);
            putBytes(out, e.data);
        }
        for (size_t i = 0; i < parts.size(); ++i) {
            put8(out, 0x1A);
            put8(out, 31);
        }
    }
    put8(out, 0x1A);
    put8(out, 0);
    return out;
}

std::vector<uint8_t> makeRar(const std::vector<HandEntry>& entries) {
    Bytes out = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
    Bytes main;
    put8(main, 0x73);
    put16(main, 0);
    put16(main, 13);
    put16(main, 0);
    put32(main, 0);
    rarBlock(out, main);
    for (const HandEntry& e : entries) {
        const bool folder = isFolder(e);
        const std::string name = folder ? e.name.substr(0, e.name.size() - 1) : e.name;
        Bytes h;
        put8(h, 0x74);
        put16(h, uint16_t(0x8000 | (folder ? 0xE0 : 0)));
        put16(h, uint16_t(32 + name.size()));
        put32(h, folder ? 0 : uint32_t(e.data.size()));
        put32(h, folder ? 0 : uint32_t(declared(e)));
        put8(h, 3);  // host: Unix
        uint32_t crc = folder ? 0 : crc32(e.data);
        if (e.badCrc) crc ^= 0x5A5A5A5A;
        put32(h, crc);
        put32(h, kStamp);
        put8(h, 29);
        put8(h, 0x30);  // stored
        put16(h, uint16_t(name.size()));
        put32(h, folder ? 040755 : e.unixMode ? e.unixMode : 0100644);
        putStr(h, name);
        rarBlock(out, h);
        if (!folder) putBytes(out, e.data);
    }
    Bytes end;
    put8(end, 0x7B);
    put16(end, 0x4000);
    put16(end, 7);
    rarBlock(out, end);
    return out;
}

std::vector<uint8_t> tarHeader(const std::string& name, char type, uint64_t size,
                               const std::vector<TarField>& raw, bool badSum) {
    Bytes h(512, 0);
    std::copy_n(name.begin(), std::min<size_t>(name.size(), 100), h.begin());
    auto octal = [&](size_t at, size_t width, uint64_t v) {
        for (size_t i = width - 1; i-- > 0; v >>= 3) h[at + i] = uint8_t('0' + (v & 7));
    };
    octal(100, 8, 0644);
    octal(108, 8, 0);
    octal(116, 8, 0);
    octal(124, 12, size);
    octal(136, 12, 1600000000);  // 2020-09-13
    h[156] = uint8_t(type);
    const std::string magic(
        "ustar\0"
        "00",
        8);
    std::copy(magic.begin(), magic.end(), h.begin() + 257);
    for (const TarField& f : raw) std::copy(f.bytes.begin(), f.bytes.end(), h.begin() + f.offset);
    uint64_t sum = 0;
    for (size_t i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : h[i];
    if (badSum) sum += 1;
    octal(148, 7, sum);
    h[155] = ' ';
    return h;
}

void appendTarRecord(std::vector<uint8_t>& out, const std::vector<uint8_t>& header,
                     const std::vector<uint8_t>& data) {
    putBytes(out, header);
    putBytes(out, data);
    out.resize(out.size() + (512 - data.size() % 512) % 512, 0);
}

std::vector<uint8_t> makeTar(const std::vector<HandEntry>& entries) {
    Bytes out;
    for (const HandEntry& e : entries) {
        if (e.unixMode == 0120777) {
            // A target the 100-byte field cannot hold whole (too long, or a NUL inside) goes
            // in a pax "linkpath" record, as tar writes it.
            const bool fits =
                e.data.size() <= 100 && std::find(e.data.begin(), e.data.end(), 0) == e.data.end();
            if (!fits) {
                const std::string body = " linkpath=" + std::string(e.data.begin(), e.data.end()) + "\n";
                size_t len = body.size() + 1;
                while (std::to_string(len).size() + body.size() != len) ++len;
                const std::string rec = std::to_string(len) + body;
                appendTarRecord(out, tarHeader("PaxHeaders/link", 'x', rec.size()),
                                Bytes(rec.begin(), rec.end()));
            }
            std::vector<TarField> link;
            if (fits) link.push_back({157, e.data});
            appendTarRecord(out, tarHeader(e.name, '2', 0, link, e.badCrc), {});
        } else if (isFolder(e)) {
            appendTarRecord(out, tarHeader(e.name, '5', 0, {}, e.badCrc), {});
        } else {
            appendTarRecord(out, tarHeader(e.name, '0', declared(e), {}, e.badCrc), e.data);
        }
    }
    out.resize(out.size() + 1024, 0);  // the two end blocks
    return out;
}

}  // namespace kv::unzip_test
