#include "test_legacy_archives.h"

#include "archive/base/crc.h"
#include "archive/codec/crc32.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kv::codec::test {
namespace {

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); }

void need(const std::vector<uint8_t>& f, size_t at, size_t n) {
    if (at > f.size() || n > f.size() - at) throw std::runtime_error("archive cut short");
}

std::vector<uint8_t> slice(const std::vector<uint8_t>& f, size_t at, size_t n) {
    need(f, at, n);
    return {f.begin() + ptrdiff_t(at), f.begin() + ptrdiff_t(at + n)};
}

}  // namespace

std::vector<RawEntry> rawArjEntries(const std::vector<uint8_t>& f) {
    std::vector<RawEntry> out;
    size_t at = 0;
    bool mainHeader = true;
    for (;;) {
        need(f, at, 4);
        if (le16(&f[at]) != 0xEA60) throw std::runtime_error("no ARJ header");
        size_t size = le16(&f[at + 2]);
        if (size == 0) break;
        const size_t basic = at + 4;
        need(f, basic, size + 4);
        size_t next = basic + size + 4;
        for (;;) {  // extended headers
            need(f, next, 2);
            size_t ext = le16(&f[next]);
            next += 2;
            if (ext == 0) break;
            next += ext + 4;
        }
        if (!mainHeader) {
            const uint8_t* h = &f[basic];
            RawEntry e;
            e.method = std::to_string(h[5]);
            uint32_t packed = le32(h + 12);
            e.size = le32(h + 16);
            e.crc = le32(h + 20);
            e.name = reinterpret_cast<const char*>(h + h[0]);
            if (h[6] != 3) {  // folders carry no data
                e.data = slice(f, next, packed);
                out.push_back(std::move(e));
            }
            next += packed;
        }
        mainHeader = false;
        at = next;
    }
    return out;
}

std::vector<RawEntry> rawLhaEntries(const std::vector<uint8_t>& f) {
    std::vector<RawEntry> out;
    size_t at = 0;
    while (at < f.size() && f[at] != 0) {
        need(f, at, 24);
        const uint8_t* h = &f[at];
        RawEntry e;
        e.method.assign(reinterpret_cast<const char*>(h + 2), 5);
        uint64_t packed = le32(h + 7);
        e.size = le32(h + 11);
        unsigned level = h[20];
        size_t dataAt;
        if (level == 0 || level == 1) {
            size_t headerSize = h[0];
            unsigned nameLen = h[21];
            need(f, at, 22 + nameLen + 2);
            e.name.assign(reinterpret_cast<const char*>(h + 22), nameLen);
            e.crc = le16(h + 22 + nameLen);
            dataAt = at + 2 + headerSize;
            if (level == 1) {  // extended headers follow and count in the packed size
                size_t ext = le16(&f[dataAt - 2]);
                while (ext != 0) {
                    need(f, dataAt, ext);
                    if (packed < ext) throw std::runtime_error("bad extended header");
                    packed -= ext;
                    dataAt += ext;
                    ext = le16(&f[dataAt - 2]);
                }
            }
        } else if (level == 2) {
            e.crc = le16(h + 21);
            size_t ext = le16(h + 24);
            size_t p = at + 26;
            while (ext != 0) {
                need(f, p, ext);
                if (f[p] == 1) e.name.assign(reinterpret_cast<const char*>(&f[p + 1]), ext - 3);
                p += ext;
                ext = le16(&f[p - 2]);
            }
            dataAt = at + le16(h);
        } else {
            throw std::runtime_error("header level " + std::to_string(level));
        }
        e.data = slice(f, dataAt, packed);
        at = dataAt + packed;
        if (e.method != "-lhd-") out.push_back(std::move(e));
    }
    return out;
}

std::vector<RawEntry> rawArcEntries(const std::vector<uint8_t>& f) {
    std::vector<RawEntry> out;
    size_t at = 0;
    for (;;) {
        need(f, at, 2);
        if (f[at] != 0x1A) throw std::runtime_error("no ARC marker");
        unsigned method = f[at + 1];
        if (method == 0) break;
        size_t headerSize = method == 1 ? 25 : 29;
        need(f, at, headerSize);
        const uint8_t* h = &f[at];
        RawEntry e;
        e.method = std::to_string(method);
        e.name.assign(reinterpret_cast<const char*>(h + 2),
                      strnlen(reinterpret_cast<const char*>(h + 2), 13));
        uint32_t packed = le32(h + 15);
        e.crc = le16(h + 23);
        e.size = method == 1 ? packed : le32(h + 25);
        e.data = slice(f, at + headerSize, packed);
        at += headerSize + packed;
        out.push_back(std::move(e));
    }
    return out;
}

Decoded decodeWhole(const Decode& decode, const std::vector<uint8_t>& in, size_t size) {
    Decoded d;
    d.bytes.resize(size);
    InputSource src(std::span<const uint8_t>(in.data(), in.size()));
    OutputWindow win(std::span<uint8_t>(d.bytes.data(), d.bytes.size()));
    d.result = decode(src, win);
    d.bytes.resize(size_t(win.total()));
    return d;
}

Decoded decodeStreamed(const Decode& decode, const std::vector<uint8_t>& in, uint64_t size, size_t history,
                       size_t chunk) {
    Decoded d;
    size_t at = 0;
    InputSource src(
        [&](uint8_t* dst, size_t cap) -> long {
            size_t n = std::min({cap, chunk, in.size() - at});
            std::memcpy(dst, in.data() + at, n);
            at += n;
            return long(n);
        },
        chunk);
    OutputWindow win(
        [&](const uint8_t* p, size_t n) {
            d.bytes.insert(d.bytes.end(), p, p + n);
            return true;
        },
        size, history, history * 2 + 4096);
    d.result = decode(src, win);
    return d;
}

uint16_t crc16Of(const std::vector<uint8_t>& data) { return kv::crc16(data); }
uint32_t crc32Of(const std::vector<uint8_t>& data) { return crc32Update(0, data.data(), data.size()); }

}  // namespace kv::codec::test
