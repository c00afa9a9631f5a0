// ZOO archives.
#include "archive/base/names.h"
#include "archive/kelmo/block_reader.h"
#include "archive/kelmo/kelmo.h"

namespace kv {

void TKelmo::listZoo() {
    BlockReader& r = *reader_;
    const uint64_t size = file_.size();
    const uint8_t* a = r.get(ArcStart - 1, 42);
    if (!a || le32(a + 20) != 0xFDC4A7DCu || static_cast<int32_t>(le32(a + 24) + le32(a + 28)) != 0) {
        report(msg::BadFileHeader, ArchiveFile());
        return;
    }
    uint64_t cursor = le32(a + 24);
    uint32_t commentPos = le32(a + 35);
    uint16_t commentLen = le16(a + 39);
    if (a[32] >= 2 && commentPos && commentLen) {
        if (const uint8_t* c = r.get(commentPos, commentLen))
            ArchiveComment =
                presentText(std::string_view(reinterpret_cast<const char*>(c), commentLen), NameCodePage);
    }
    while (cursor + 56 <= size && !Cancel()) {
        const uint8_t* h = r.get(cursor, 58 <= size - cursor ? 58 : 56);
        if (!h || le32(h) != 0xFDC4A7DCu) {
            report(msg::BadFileHeader, ArchiveFile());
            return;
        }
        uint64_t next = le32(h + 6);
        if (next < 1) return;  // the closing entry
        // Entries must move forward, or a crafted chain would loop.
        if (next <= cursor) {
            report(msg::BadFileHeader, ArchiveFile());
            return;
        }
        clearEntry();
        uint8_t type = h[4];
        MethodNo = h[5];
        FileDate = convertDate(uint32_t(le16(h + 14)) << 16 | le16(h + 16));
        FileCRC = le16(h + 18);
        UnpackedSize = le32(h + 20);
        PackedSize = le32(h + 24);
        VersionMadeBy = h[28];
        VersionNeeded = h[29];
        bool deleted = h[30] != 0;
        size_t n = 0;
        while (n < 13 && h[38 + n]) ++n;
        std::string name(reinterpret_cast<const char*>(h + 38), n);
        std::string dir;
        if (type == 2 && size - cursor >= 58) {
            uint8_t longLen = h[56], dirLen = h[57];
            if (const uint8_t* v = r.get(cursor + 58, size_t(longLen) + dirLen)) {
                if (longLen) name.assign(reinterpret_cast<const char*>(v), longLen);
                if (dirLen) {
                    size_t d = 0;
                    while (d < dirLen && v[longLen + d]) ++d;
                    dir.assign(reinterpret_cast<const char*>(v + longLen), d);
                }
            }
        }
        if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
        FileName = presentName(dir + name, NameCodePage);
        MethodName = MethodNo == 0   ? "Stored"
                     : MethodNo == 1 ? "Fastest"
                     : MethodNo == 2 ? "Greatest"
                                     : "Unknown";
        if (!deleted) listEntry(int64_t(cursor));
        cursor = next;
    }
    if (cursor + 56 > size) report(msg::ReadError, ArchiveFile());
}

}  // namespace kv
