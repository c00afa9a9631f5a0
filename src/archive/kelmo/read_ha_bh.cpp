// HA and BH archives.
#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/kelmo/block_reader.h"
#include "archive/kelmo/kelmo.h"

namespace kv {

void TKelmo::listHa() {
    BlockReader& r = *reader_;
    const uint64_t size = file_.size();
    const uint8_t* a = r.get(0, 4);
    if (!a) return;
    uint32_t left = le16(a + 2);
    uint64_t cursor = 4;
    // Entry: type, packed size, original size, CRC-32, Unix time, then the zero-terminated
    // path and name, then the machine-specific bytes (a length byte and its data).
    for (; left > 0 && !Cancel(); --left) {
        const uint8_t* h = r.get(cursor, 17);
        if (!h) {  // the header promised more entries than the file holds
            report(msg::ReadError, ArchiveFile());
            return;
        }
        clearEntry();
        uint8_t type = h[0];
        MethodNo = type & 0x0F;
        VersionMadeBy = VersionNeeded = type >> 4;
        PackedSize = le32(h + 1);
        UnpackedSize = le32(h + 5);
        FileCRC = le32(h + 9);
        FileDate = unixTimeToDateTime(le32(h + 13));
        uint64_t p = cursor + 17;
        std::string parts[2];
        for (auto& part : parts) {
            for (;;) {
                const uint8_t* c = r.get(p, 1);
                if (!c) {
                    report(msg::ReadError, ArchiveFile());
                    return;
                }
                ++p;
                if (*c == 0) break;
                if (part.size() >= kMaxNameBytes) reportAndRaise(msg::InvalidFileName, ArchiveFile());
                part += char(*c == 0xFF ? '/' : *c);
            }
        }
        const uint8_t* md = r.get(p, 1);
        if (!md) {
            report(msg::ReadError, ArchiveFile());
            return;
        }
        p += 1 + uint64_t(*md);
        if (!parts[0].empty() && parts[0].back() != '/') parts[0] += '/';
        FileName = presentName(parts[0] + parts[1], NameCodePage);
        ExternalAttr = 32;
        IsDirectory = MethodNo == 14;
        static constexpr const char* kNames[] = {"Cpy", "Asc", "HSC"};
        MethodName = MethodNo < 3     ? kNames[MethodNo]
                     : MethodNo == 14 ? "Dir"
                     : MethodNo == 15 ? "Special"
                                      : "Unknown";
        uint64_t entryPos = cursor;
        listEntry(int64_t(entryPos));
        if (!checkedAdd(p, PackedSize, cursor) || cursor > size) {
            report(msg::ReadError, ArchiveFile());
            return;
        }
    }
}

void TKelmo::listBh() {
    BlockReader& r = *reader_;
    const uint64_t size = file_.size();
    uint64_t cursor = ArcStart - 1;
    while (cursor < size && !Cancel()) {
        const uint8_t* h = r.get(cursor, 37);
        if (!h) {  // bytes left that cannot hold a header: the archive was cut short
            report(msg::ReadError, ArchiveFile());
            return;
        }
        if (h[0] != 'B' || h[1] != 'H' || h[2] != 5 || h[3] != 7 || h[4] == 0) return;
        uint16_t nameLen = le16(h + 33);
        h = r.get(cursor, 37 + size_t(nameLen));
        if (!h) {
            report(msg::ReadError, ArchiveFile());
            return;
        }
        clearEntry();
        VersionMadeBy = h[7];
        VersionNeeded = h[8];
        Encrypted = h[9] & 1;
        MethodNo = h[10];
        FileDate = convertDate(le32(h + 11));
        PackedSize = le32(h + 15);
        UnpackedSize = le32(h + 19);
        FileCRC = le32(h + 23);
        ExternalAttr = le32(h + 27);
        InternalAttr = 0;
        FileName =
            presentName(std::string_view(reinterpret_cast<const char*>(h + 37), nameLen), NameCodePage);
        IsDirectory = ExternalAttr & 0x10;
        static constexpr const char* kNames[] = {"Stored", "Fused", "Deflate"};
        MethodName = IsDirectory ? "Dir" : MethodNo < 3 ? kNames[MethodNo] : "Unknown";
        uint64_t entryPos = cursor;
        listEntry(int64_t(entryPos));
        if (!checkedAdd(cursor, 37 + uint64_t(nameLen) + PackedSize, cursor) || cursor > size) {
            report(msg::ReadError, ArchiveFile());
            return;
        }
    }
}

}  // namespace kv
