#include "archive/base/detect.h"

#include <sys/stat.h>

#include <array>
#include <cctype>
#include <charconv>
#include <cstring>
#include <vector>

#include "archive/base/arc_file.h"
#include "archive/base/util.h"

namespace kv {

Classified classifySignature(const uint8_t* b, SignatureMode mode) {
    const bool exe = mode == SignatureMode::InsideExe;
    auto pick = [&](TArcType start, TArcType inside) { return Classified{exe ? inside : start}; };
    if (b[0] == 'P' && b[1] == 'K' && !(b[2] == 'G' && b[3] == '4')) return pick(atZIP, atZipExe);
    if (le32(b) == 0x50000000u) return pick(atZip250, atZip250Exe);
    if (std::memcmp(b, "MSCF", 4) == 0) return pick(atCAB, atUnsupported);
    if (b[0] == 'B' && b[1] == 'H' && b[2] == 5 && b[3] == 7) return pick(atBH, atBHExe);
    if (b[0] == 'H' && b[1] == 'A') return pick(atHA, atUnsupported);
    if (b[0] == 0x1F && (b[1] == 0x1E || b[1] == 0x8B || b[1] == 0x9D || b[1] == 0x9E || b[1] == 0xA0))
        return pick(atGZip, atUnsupported);
    if (b[0] == 0x60 && b[1] == 0xEA) return pick(atARJ, atArjExe);
    if (b[0] == 'Z' && b[1] == 'O') return pick(atZOO, atUnsupported);
    if (b[2] == '-' && b[3] == 'l') return pick(atLHA, atLhaExe);
    if (b[0] == 'R' && b[1] == 'a') return pick(atRAR, atRarExe);
    if (b[0] == 0x1A && (b[1] == 0x0A || b[1] == 0x0B)) return pick(atPAK, atPakExe);
    if (b[0] == 0x1A && b[1] == 0x1E) return pick(atARC, atUnsupported);
    if (b[0] == 0x1A && (b[1] == 0x08 || b[1] == 0x09)) return pick(atARC, atArcExe);
    if (b[0] == 0xB7 && (b[1] == 0x92 || b[1] == 0xDF)) return Classified{atArcExe, true};
    return Classified{atUnknown};
}

namespace {

std::string upper(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

// The sum rule of a TAR header: the octal checksum equals the byte sum with the checksum
// field counted as blanks.
bool tarHeaderSumOk(const uint8_t* h) {
    uint32_t stored = 0;
    bool any = false;
    for (int i = 148; i < 156; ++i) {
        if (h[i] >= '0' && h[i] <= '7') {
            stored = stored * 8 + uint32_t(h[i] - '0');
            any = true;
        }
    }
    uint32_t sum = 0;
    for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : h[i];
    return any && sum == stored;
}

// TAR check: the first header (or the one after a volume header) must carry a right sum.
bool tarCheck(const ArcFile& f, uint64_t& arcStart) {
    if (f.size() <= 512) return false;
    std::array<uint8_t, 512> h{};
    if (!f.readExact(0, h)) return false;
    uint64_t pos = 0;
    if (h[156] == 'V') {
        pos = 512;
        if (f.size() < pos + 513) return false;
        if (!f.readExact(pos, h)) return false;
    }
    if (!tarHeaderSumOk(h.data())) return false;
    arcStart = pos + 1;
    return true;
}

// Search (a): string resources 1..4 of a PE executable may hold the decimal offset of the
// archive inside it. Only the resource table is read, no code is loaded.
bool readPeStringResources(const ArcFile& f, std::array<std::string, 5>& out) {
    uint8_t mz[64];
    if (!f.readExact(0, mz)) return false;
    uint32_t peOff = le32(mz + 0x3C);
    uint8_t pe[24];
    if (!f.readExact(peOff, pe) || std::memcmp(pe, "PE\0\0", 4) != 0) return false;
    uint16_t nSections = le16(pe + 6), optSize = le16(pe + 20);
    uint64_t optPos = uint64_t(peOff) + 24;
    std::vector<uint8_t> opt(optSize);
    if (optSize < 2 || !f.readExact(optPos, opt)) return false;
    uint16_t magic = le16(opt.data());
    size_t dirBase = magic == 0x20B ? 112 : magic == 0x10B ? 96 : 0;
    if (dirBase == 0 || opt.size() < dirBase + 3 * 8) return false;
    uint32_t resRva = le32(opt.data() + dirBase + 16);
    if (resRva == 0 || nSections > 96) return false;
    std::vector<uint8_t> sect(size_t(nSections) * 40);
    if (!f.readExact(optPos + optSize, sect)) return false;
    auto rvaToFile = [&](uint32_t rva, uint64_t& pos) {
        for (size_t i = 0; i < nSections; ++i) {
            const uint8_t* s = sect.data() + i * 40;
            uint32_t va = le32(s + 12), vsize = le32(s + 8), raw = le32(s + 20), rawSize = le32(s + 16);
            uint32_t span = vsize > rawSize ? vsize : rawSize;
            if (rva >= va && rva - va < span) {
                pos = uint64_t(raw) + (rva - va);
                return true;
            }
        }
        return false;
    };
    uint64_t resBase;
    if (!rvaToFile(resRva, resBase)) return false;
    // One level of the resource tree: the entry with the given id, or the first one (id < 0).
    auto findEntry = [&](uint64_t dirPos, long id, uint32_t& target) {
        uint8_t dir[16];
        if (!f.readExact(dirPos, dir)) return false;
        uint32_t n = uint32_t(le16(dir + 12)) + le16(dir + 14);
        for (uint32_t i = 0; i < n && i < 4096; ++i) {
            uint8_t e[8];
            if (!f.readExact(dirPos + 16 + uint64_t(i) * 8, e)) return false;
            uint32_t name = le32(e);
            if (id < 0 || (!(name & 0x80000000u) && name == uint32_t(id))) {
                target = le32(e + 4);
                return true;
            }
        }
        return false;
    };
    uint32_t t1, t2, t3;
    if (!findEntry(resBase, 6, t1) || !(t1 & 0x80000000u)) return false;  // RT_STRING
    if (!findEntry(resBase + (t1 & 0x7FFFFFFF), 1, t2) || !(t2 & 0x80000000u)) return false;
    if (!findEntry(resBase + (t2 & 0x7FFFFFFF), -1, t3) || (t3 & 0x80000000u)) return false;
    uint8_t data[16];
    if (!f.readExact(resBase + t3, data)) return false;
    uint32_t dataRva = le32(data), dataSize = le32(data + 4);
    uint64_t dataPos;
    if (dataSize > 65536 || !rvaToFile(dataRva, dataPos)) return false;
    std::vector<uint8_t> block(dataSize);
    if (!f.readExact(dataPos, block)) return false;
    // A block holds 16 strings (ids 0..15), each a 16-bit length and UTF-16 units.
    size_t p = 0;
    for (int idx = 0; idx < 16 && p + 2 <= block.size(); ++idx) {
        uint16_t len = le16(block.data() + p);
        p += 2;
        if (p + size_t(len) * 2 > block.size()) break;
        if (idx >= 1 && idx <= 4) {
            std::string s;
            for (uint16_t k = 0; k < len && k < 5; ++k) {
                uint16_t u = le16(block.data() + p + size_t(k) * 2);
                s += u < 0x80 ? char(u) : '?';
            }
            out[idx] = s;
        }
        p += size_t(len) * 2;
    }
    return true;
}

void searchStringResources(const ArcFile& f, DetectResult& r) {
    std::array<std::string, 5> strs;
    if (!readPeStringResources(f, strs)) return;
    for (int i = 1; i <= 4 && r.type == atUnknown; ++i) {
        const std::string& s = strs[i];
        uint64_t off = 0;
        auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), off);
        if (s.empty() || ec != std::errc{} || end != s.data() + s.size() || off >= f.size()) return;
        uint8_t b[4];
        if (!f.readExact(off, b)) continue;
        Classified c = classifySignature(b, SignatureMode::InsideExe);
        if (c.type == atUnknown) continue;
        r.type = c.type;
        r.arcStart = c.forcedStart ? 7717 : off + 1;
        if (r.type == atZipExe || r.type == atZip250Exe || r.type == atZIP || r.type == atZip250)
            r.sfxOffset = off;
    }
}

// Search (b): the archive right after the DOS load image.
void searchLoadImage(const ArcFile& f, const uint8_t* mz, DetectResult& r) {
    int64_t end = 512 * int64_t(le16(mz + 4)) + int64_t(le16(mz + 2)) - 512;
    if (end <= 0 || uint64_t(end) + 4 > f.size()) return;
    uint64_t pos = uint64_t(end);
    uint8_t b[4];
    if (!f.readExact(pos, b)) return;
    if ((le32(b) >> 16) == 0xEA60) pos += 2;  // an ARJ marker two bytes on
    r.arcStart = pos + 1;
    if (pos + 5 <= f.size() && f.readExact(pos, b)) {
        Classified c = classifySignature(b, SignatureMode::InsideExe);
        r.type = c.type;
        if (c.forcedStart) r.arcStart = 7717;
    }
}

// Search (c): a ZIP end record near the end of the file.
void searchZipEnd(const ArcFile& f, int zipCmntBufSize, DetectResult& r) {
    uint64_t size = f.size();
    if (size <= 76) return;
    uint64_t window = uint64_t(zipCmntBufSize) + 23;
    if (size < window) window = size - 76;
    std::vector<uint8_t> buf(window);
    uint64_t base = size - window;
    if (!f.readExact(base, buf) || buf.size() < 22) return;
    for (size_t i = buf.size() - 22 + 1; i-- > 0;) {
        if (le32(buf.data() + i) != 0x06054B50u) continue;
        uint8_t eocd[22];
        if (!f.readExact(base + i, eocd)) return;
        uint32_t cdOff = le32(eocd + 16);
        uint8_t cd[46];
        if (cdOff < size && f.readExact(cdOff, cd) && le32(cd) == 0x02014B50u) {
            r.arcStart = le32(cd + 42);
            r.type = atZipExe;
        }
        return;
    }
}

// Beyond the old searches: a Windows self-extractor keeps its RAR archive after the
// extraction program, where none of the searches above look. The RAR marker is seven bytes
// and unambiguous, so the file is scanned for it.
void searchRarMarker(const ArcFile& f, DetectResult& r) {
    static constexpr uint8_t kMarker[] = {'R', 'a', 'r', '!', 0x1A, 0x07};
    std::vector<uint8_t> buf(1 << 16);
    uint64_t limit = f.size() < (uint64_t(16) << 20) ? f.size() : (uint64_t(16) << 20);
    for (uint64_t pos = 0; pos < limit;) {
        size_t n = f.readAt(pos, buf);
        if (n < sizeof kMarker) return;
        for (size_t i = 0; i + sizeof kMarker <= n; ++i) {
            if (buf[i] == 'R' && std::memcmp(buf.data() + i, kMarker, sizeof kMarker) == 0) {
                r.type = atRarExe;
                r.arcStart = pos + i + 1;
                return;
            }
        }
        pos += n - (sizeof kMarker - 1);
    }
}

}  // namespace

TArcType typeByExtension(std::string_view fileName, bool tarCheckPassed) {
    std::string_view file = fileNamePart(fileName);
    size_t dot = file.rfind('.');
    std::string ext = dot == std::string_view::npos ? std::string() : upper(file.substr(dot));
    if (ext.empty() || ext == ".TAR") return tarCheckPassed ? atTAR : atUnknown;
    if (ext == ".Z" || ext == ".GZ") return atGZip;
    if (ext == ".ZIP") return atZIP;
    if (ext == ".ZOO") return atZOO;
    if (ext == ".LHA" || ext == ".LZH") return atLHA;
    if (ext == ".ARC") return atARC;
    if (ext == ".ARJ") return atARJ;
    if (ext == ".BH") return atBH;
    if (ext == ".PAK") return atPAK;
    if (ext == ".CAB") return atCAB;
    if (ext == ".RAR") return atRAR;
    if (ext == ".UUE" || ext == ".XXE" || ext == ".ENC") return atUUE;
    return atUnknown;
}

DetectResult detectArchive(const std::string& path, int zipCmntBufSize) {
    DetectResult r;
    if (path.empty()) return r;
    ArcFile f;
    if (!f.open(path)) return r;
    r.size = f.size();
    r.arcStart = 1;
    r.type = atNA;
    uint8_t head[6];
    if (r.size > 5 && f.readExact(0, head)) {
        if (head[0] == 'M' && head[1] == 'Z') {
            r.type = atUnknown;
            searchStringResources(f, r);
            uint8_t mz[64] = {};
            if (r.type == atUnknown && f.readAt(0, mz) >= 6) searchLoadImage(f, mz, r);
            if (r.type == atUnknown) searchZipEnd(f, zipCmntBufSize, r);
            if (r.type == atUnknown) searchRarMarker(f, r);
            if (r.type == atUnknown) r.arcStart = 1;
        } else {
            Classified c = classifySignature(head, SignatureMode::StartOfFile);
            r.type = c.type;
            if (c.forcedStart) r.arcStart = 7717;
            if (r.type == atUnknown) {
                uint64_t tarStart = 1;
                std::string_view file = fileNamePart(path);
                size_t dot = file.rfind('.');
                bool mayBeTar = dot == std::string_view::npos || upper(file.substr(dot)) == ".TAR";
                bool tarOk = mayBeTar && tarCheck(f, tarStart);
                r.type = typeByExtension(path, tarOk);
                if (r.type == atTAR) r.arcStart = tarStart;
            }
        }
    }
    if (isRealArchive(r.type)) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) r.date = unixTimeToDateTime(st.st_mtime);
    }
    r.closeFailed = !f.close();
    return r;
}

}  // namespace kv
