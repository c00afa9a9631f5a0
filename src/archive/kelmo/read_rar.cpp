// RAR archives: our own reader of the block headers of RAR 1.5 to 4.x and of RAR 5.
#include <cctype>
#include <cstring>

#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/kelmo/block_reader.h"
#include "archive/kelmo/kelmo.h"

namespace kv {
namespace {

constexpr const char* kRarMethods[] = {"Stored", "Fastest", "Fast", "Normal", "Good", "Best"};

std::string rarMethodName(uint16_t code) {
    return code >= 0x30 && code <= 0x35 ? kRarMethods[code - 0x30] : "Unknown";
}

// The Unicode form of a RAR 2.x-4.x name: after the zero ending the plain name comes a
// compact encoding whose 2-bit opcodes either take bytes of their own or copy runs of the
// plain name, both against one stored high byte. Surrogate pairs are not formed; such a
// name keeps the plain form.
std::string decodeRarUnicodeName(const uint8_t* name, size_t nameLen, size_t zero) {
    const uint8_t* enc = name + zero + 1;
    size_t encLen = nameLen - zero - 1;
    std::u16string out;
    size_t ep = 0;
    if (encLen == 0) return {};
    uint8_t high = enc[ep++];
    uint8_t flags = 0;
    int flagBits = 0;
    const size_t maxOut = zero;  // the plain name has one byte per character
    while (ep < encLen && out.size() < maxOut) {
        if (flagBits == 0) {
            flags = enc[ep++];
            flagBits = 8;
        }
        flagBits -= 2;
        switch ((flags >> flagBits) & 3) {
            case 0:
                if (ep >= encLen) return {};
                out += char16_t(enc[ep++]);
                break;
            case 1:
                if (ep >= encLen) return {};
                out += char16_t(enc[ep++] | (high << 8));
                break;
            case 2:
                if (ep + 1 >= encLen) return {};
                out += char16_t(enc[ep] | (enc[ep + 1] << 8));
                ep += 2;
                break;
            default: {
                if (ep >= encLen) return {};
                uint8_t len = enc[ep++];
                if (len & 0x80) {
                    if (ep >= encLen) return {};
                    uint8_t correction = enc[ep++];
                    for (int k = (len & 0x7F) + 2; k > 0 && out.size() < maxOut; --k)
                        out += char16_t(((name[out.size()] + correction) & 0xFF) | (high << 8));
                } else {
                    for (int k = len + 2; k > 0 && out.size() < maxOut; --k)
                        out += char16_t(name[out.size()]);
                }
            }
        }
    }
    std::string utf8;
    for (char16_t c : out) {
        if (c >= 0xD800 && c <= 0xDFFF) return {};
        appendUtf8(utf8, c);
    }
    return utf8;
}

// RAR 5 numbers: 7 bits a byte, low groups first.
bool readVint(const uint8_t* p, size_t len, size_t& pos, uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 70 && pos < len; shift += 7) {
        uint8_t b = p[pos++];
        if (shift < 64) v |= uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80)) return true;
    }
    return false;
}

// The next volume of a set: "x.part1.rar" -> "x.part2.rar" (digits keep their width), or
// in the old style "x.rar" -> "x.r00" -> "x.r01" ... "x.r99" -> "x.s00".
std::string nextRarVolumeName(const std::string& path, bool newNumbering) {
    std::string name = path;
    size_t dot = name.rfind('.');
    size_t slash = name.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = name.substr(dot + 1);
    bool partStyle = newNumbering;
    size_t digitsEnd = dot, digitsStart = dot;
    while (digitsStart > 0 && std::isdigit(static_cast<unsigned char>(name[digitsStart - 1]))) --digitsStart;
    if (digitsStart < digitsEnd && digitsStart >= 5) {
        std::string before = name.substr(digitsStart - 5, 5);
        for (char& c : before) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (before == ".part") partStyle = true;
    }
    if (partStyle && digitsStart < digitsEnd) {
        // Increment the number in place, carrying into a new leading digit when needed.
        size_t i = digitsEnd;
        while (i > digitsStart) {
            --i;
            if (name[i] == '9') {
                name[i] = '0';
            } else {
                ++name[i];
                return name;
            }
        }
        name.insert(digitsStart, "1");
        return name;
    }
    if (ext.size() != 3) return {};
    bool upper = std::isupper(static_cast<unsigned char>(ext[0]));
    std::string lowerExt = ext;
    for (char& c : lowerExt) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string nextExt;
    if (lowerExt == "rar") {
        nextExt = "r00";
    } else if (std::isdigit(static_cast<unsigned char>(ext[1])) &&
               std::isdigit(static_cast<unsigned char>(ext[2]))) {
        int n = (ext[1] - '0') * 10 + (ext[2] - '0') + 1;
        char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(ext[0])));
        if (n == 100) {
            n = 0;
            if (letter == 'z') return {};
            ++letter;
        }
        nextExt = std::string(1, letter) + char('0' + n / 10) + char('0' + n % 10);
    } else {
        return {};
    }
    if (upper) nextExt[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(nextExt[0])));
    return name.substr(0, dot + 1) + nextExt;
}

}  // namespace

void TKelmo::listRar() {
    BlockReader& r = *reader_;
    uint64_t start = ArcStart - 1;
    const uint8_t* mark = r.get(start, 8);
    if (!mark || std::memcmp(mark, "Rar!\x1A\x07", 6) != 0) reportAndRaise(msg::HeaderIdError, ArchiveFile());
    if (mark[6] == 0x01 && mark[7] == 0x00) return listRar5(start + 8);
    if (mark[6] != 0x00) reportAndRaise(msg::UnsupportedVersion, ArchiveFile());

    std::string volumePath = ArchiveFile();
    // A file split over volumes is listed once, with its packed parts summed; the last part
    // carries the CRC of the whole file.
    bool pending = false;
    int64_t pendingOffset = 0;
    auto firePending = [&] {
        if (pending) listEntry(pendingOffset);
        pending = false;
    };
    for (int volume = 0; volume < 1000 && !Cancel(); ++volume) {
        const uint64_t size = file_.size();
        const uint8_t* m = r.get(start + 7, 13);
        if (!m) reportAndRaise(msg::ReadError, volumePath);
        uint16_t mainFlags = le16(m + 3), mainSize = le16(m + 5);
        if (m[2] != 0x73 || mainSize < 13) reportAndRaise(msg::BadFileHeader, volumePath);
        if (mainFlags & 0x0080) reportAndRaise(msg::PasswordProtected, volumePath);  // headers encrypted
        if (volume == 0 && (mainFlags & 0x0002)) ArchiveComment = "Archive Comment encrypted...";
        if (mainFlags & 0x0001) VolumeName = std::string(fileNamePart(volumePath));
        uint64_t cursor = start + 7 + mainSize;
        bool moreVolumes = mainFlags & 0x0001;
        bool damaged = false, sawEnd = false;

        while (cursor + 7 <= size && !Cancel()) {
            const uint8_t* h = r.get(cursor, 7);
            if (!h) break;
            uint8_t type = h[2];
            uint16_t flags = le16(h + 3), headSize = le16(h + 5);
            if (type == 0x7B) {  // end of archive; flag 1 says another volume follows
                if (!(flags & 0x0001) && headSize >= 7) moreVolumes = false;
                sawEnd = true;
                break;
            }
            if (headSize < 7) {
                report(msg::BadFileHeader, volumePath);
                damaged = true;
                break;
            }
            uint64_t addSize = 0;
            if (flags & 0x8000) {
                const uint8_t* a = r.get(cursor, 11);
                if (!a || headSize < 11) {
                    report(msg::BadFileHeader, volumePath);
                    damaged = true;
                    break;
                }
                addSize = le32(a + 7);
            }
            uint64_t next = 0;
            bool nextFits = checkedAdd(cursor, uint64_t(headSize) + addSize, next);
            if (type == 0x74) {
                const uint8_t* f = r.get(cursor, headSize);
                if (!f || headSize < 32) {
                    report(f ? msg::BadFileHeader : msg::ReadError, volumePath);
                    damaged = true;
                    break;
                }
                uint64_t packed = le32(f + 7), unpacked = le32(f + 11);
                size_t namePos = 32;
                if (flags & 0x0100) {  // 64-bit sizes
                    if (headSize < 40) {
                        report(msg::BadFileHeader, volumePath);
                        damaged = true;
                        break;
                    }
                    packed |= uint64_t(le32(f + 32)) << 32;
                    unpacked |= uint64_t(le32(f + 36)) << 32;
                    namePos = 40;
                    nextFits = checkedAdd(cursor, headSize, next) && checkedAdd(next, packed, next);
                }
                if (flags & 0x0001) {  // the rest of a file begun in an earlier volume
                    if (pending) {
                        PackedSize += packed;
                        FileCRC = le32(f + 16);
                        if (!(flags & 0x0002)) firePending();
                    }
                } else {
                    firePending();
                    uint16_t nameLen = le16(f + 26);
                    if (namePos + nameLen > headSize) {
                        report(msg::BadFileHeader, volumePath);
                        damaged = true;
                        break;
                    }
                    clearEntry();
                    PackedSize = packed;
                    UnpackedSize = unpacked;
                    FileCRC = le32(f + 16);
                    FileDate = convertDate(le32(f + 20));
                    VersionMadeBy = f[24];
                    VersionNeeded = 0;
                    MethodNo = f[25];
                    ExternalAttr = le32(f + 28);
                    InternalAttr = 32;
                    const uint8_t* name = f + namePos;
                    size_t zero = 0;
                    while (zero < nameLen && name[zero]) ++zero;
                    std::string decoded;
                    if ((flags & 0x0200) && zero < nameLen)
                        decoded = decodeRarUnicodeName(name, nameLen, zero);
                    if (decoded.empty() && (flags & 0x0200) && zero == nameLen)
                        decoded = std::string(reinterpret_cast<const char*>(name), nameLen);  // plain UTF-8
                    FileName = decoded.empty()
                                   ? presentName(std::string_view(reinterpret_cast<const char*>(name), zero),
                                                 NameCodePage)
                                   : presentName(decoded, NameCodePage, true);
                    Encrypted = flags & 0x0004;
                    // Archives made on Unix (host 3) store the file mode, whose 0x10 is a permission
                    // bit: there only the mode's file type says folder.
                    const bool unixHost = f[15] == 3;
                    IsDirectory = (flags & 0x00E0) == 0x00E0 ||
                                  (unixHost ? (ExternalAttr & 0xF000) == 0x4000 : (ExternalAttr & 0x10) != 0);
                    MethodName = IsDirectory ? "Dir" : rarMethodName(MethodNo);
                    pending = true;
                    pendingOffset = int64_t(cursor);
                    if (!(flags & 0x0002)) firePending();
                }
            }
            if (nextFits && next <= cursor) {
                report(msg::BadFileHeader, volumePath);
                damaged = true;
                break;
            }
            if (!nextFits || next > size) {
                firePending();
                report(msg::ReadError, volumePath);
                damaged = true;
                break;
            }
            cursor = next;
        }
        if (!damaged && !sawEnd && cursor < size && !Cancel()) {  // a partial block header
            report(msg::ReadError, volumePath);
            damaged = true;
        }
        // Old writers end volumes without an end block: then only a split file asks for more.
        if (damaged || !moreVolumes || (!sawEnd && !pending)) break;
        std::string nextName = nextRarVolumeName(volumePath, mainFlags & 0x0010);
        if (nextName.empty() || !openNextVolume(nextName, std::to_string(volume + 2), msg::InvalidFileName))
            break;
        volumePath = nextName;
        start = 0;
        const uint8_t* mk = r.get(0, 7);
        if (!mk || std::memcmp(mk, "Rar!\x1A\x07\x00", 7) != 0) {
            report(msg::HeaderIdError, volumePath);
            break;
        }
    }
    firePending();
}

void TKelmo::listRar5(uint64_t start) {
    BlockReader& r = *reader_;
    const uint64_t size = file_.size();
    uint64_t cursor = start;
    while (cursor + 7 <= size && !Cancel()) {
        // CRC32, then the header size as a number, then the header.
        const uint8_t* p = r.get(cursor, std::min<uint64_t>(size - cursor, 16));
        if (!p) break;
        size_t pos = 4;
        uint64_t headSize;
        size_t avail = static_cast<size_t>(std::min<uint64_t>(size - cursor, 16));
        if (!readVint(p, avail, pos, headSize) || headSize == 0 || headSize > (1u << 21) ||
            cursor + pos + headSize > size) {
            report(msg::BadFileHeader, ArchiveFile());
            return;
        }
        const size_t headStart = pos;
        const uint8_t* h = r.get(cursor, pos + static_cast<size_t>(headSize));
        if (!h) {
            report(msg::ReadError, ArchiveFile());
            return;
        }
        const size_t end = headStart + static_cast<size_t>(headSize);
        uint64_t type, hflags, extraSize = 0, dataSize = 0;
        if (!readVint(h, end, pos, type) || !readVint(h, end, pos, hflags) ||
            ((hflags & 1) && !readVint(h, end, pos, extraSize)) ||
            ((hflags & 2) && !readVint(h, end, pos, dataSize)) || extraSize > headSize) {
            report(msg::BadFileHeader, ArchiveFile());
            return;
        }
        // A data size near 2^64 would wrap the position around: no real header says so.
        uint64_t next;
        if (!checkedAdd(cursor, end, next) || !checkedAdd(next, dataSize, next)) {
            report(msg::BadFileHeader, ArchiveFile());
            return;
        }
        if (type == 4) reportAndRaise(msg::PasswordProtected, ArchiveFile());  // headers encrypted
        if (type == 5) return;
        if (type == 2) {
            uint64_t fflags, unpSize, attr, compInfo, hostOs, nameLen;
            uint32_t mtime = 0, crc = 0;
            bool ok = readVint(h, end, pos, fflags) && readVint(h, end, pos, unpSize) &&
                      readVint(h, end, pos, attr);
            if (ok && (fflags & 2)) {
                ok = pos + 4 <= end;
                if (ok) {
                    mtime = le32(h + pos);
                    pos += 4;
                }
            }
            if (ok && (fflags & 4)) {
                ok = pos + 4 <= end;
                if (ok) {
                    crc = le32(h + pos);
                    pos += 4;
                }
            }
            ok = ok && readVint(h, end, pos, compInfo) && readVint(h, end, pos, hostOs) &&
                 readVint(h, end, pos, nameLen) && nameLen <= end - pos;
            if (!ok) {
                report(msg::BadFileHeader, ArchiveFile());
                return;
            }
            clearEntry();
            FileName = presentName(std::string_view(reinterpret_cast<const char*>(h + pos), nameLen),
                                   NameCodePage, true);
            pos += static_cast<size_t>(nameLen);
            // Extra records: an encryption record marks the file encrypted.
            size_t extraPos = end - static_cast<size_t>(extraSize);
            while (extraPos < end) {
                uint64_t recSize, recType;
                size_t recStart = extraPos;
                if (!readVint(h, end, extraPos, recSize) || recSize > end - extraPos) break;
                size_t recEnd = extraPos + static_cast<size_t>(recSize);
                if (!readVint(h, recEnd, extraPos, recType)) break;
                if (recType == 1) Encrypted = true;
                if (recType == 3) {  // file times: flags, then mtime first if present
                    // Flag 1 says the times are Unix seconds (4 bytes each); without it they are
                    // Windows file times (8 bytes, 100 ns since 1601).
                    uint64_t tflags;
                    if (readVint(h, recEnd, extraPos, tflags) && (tflags & 2)) {
                        if (tflags & 1) {
                            if (extraPos + 4 <= recEnd) {
                                mtime = le32(h + extraPos);
                                fflags |= 2;
                            }
                        } else if (extraPos + 8 <= recEnd) {
                            uint64_t ft = le64(h + extraPos);
                            constexpr uint64_t kUnixEpochIn1601 = 11644473600ull;
                            uint64_t secs = ft / 10000000;
                            if (secs >= kUnixEpochIn1601 && secs - kUnixEpochIn1601 <= UINT32_MAX) {
                                mtime = static_cast<uint32_t>(secs - kUnixEpochIn1601);
                                fflags |= 2;
                            }
                        }
                    }
                }
                extraPos = recEnd;
                if (recEnd <= recStart) break;
            }
            PackedSize = dataSize;
            UnpackedSize = (fflags & 8) ? 0 : unpSize;
            FileCRC = crc;
            FileDate = (fflags & 2) ? unixTimeToDateTime(mtime) : kDosEpoch;
            VersionMadeBy = 50;
            VersionNeeded = static_cast<uint8_t>(compInfo & 0x3F);
            MethodNo = static_cast<uint16_t>(0x30 + ((compInfo >> 7) & 7));
            ExternalAttr = static_cast<uint32_t>(attr);
            InternalAttr = 32;
            IsDirectory = fflags & 1;
            MethodName = IsDirectory ? "Dir" : rarMethodName(MethodNo);
            // A file continued from the previous volume was listed there.
            if (!(hflags & 0x08)) listEntry(int64_t(cursor));
        }
        if (next <= cursor) {
            report(msg::BadFileHeader, ArchiveFile());
            return;
        }
        if (next > size) {
            report(msg::ReadError, ArchiveFile());
            return;
        }
        cursor = next;
    }
    // Every RAR 5 archive (and volume) closes with an end-of-archive header.
    if (!Cancel()) report(msg::ReadError, ArchiveFile());
}

}  // namespace kv
