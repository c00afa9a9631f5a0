// LHA/LZH archives, header levels 0 to 3.
#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/formats/lha/lha_header.h"
#include "archive/kelmo/block_reader.h"
#include "archive/kelmo/kelmo.h"

namespace kv {

void TKelmo::listLha() {
    LhaCursor cursor(*reader_, ArcStart - 1);
    LhaHeader h;
    int stopId = 0;
    while (!Cancel()) {
        if (!cursor.next(h, stopId)) {
            if (stopId && !Cancel()) report(stopId, ArchiveFile());
            return;
        }
        clearEntry();
        ExternalAttr = h.attr;
        InternalAttr = 32;
        VersionMadeBy = VersionNeeded = 0;
        MethodNo = uint8_t(h.method[3]);
        UnpackedSize = h.size;
        PackedSize = h.packed;
        FileCRC = h.crc;
        FileName = presentName(h.name, NameCodePage);
        FileDate = h.unixTime ? unixTimeToDateTime(h.stamp) : convertDate(h.stamp);
        IsDirectory = h.isDir();
        const char* m = h.method;
        if (IsDirectory)
            MethodName = "Dir";
        else if (m[1] == 'l' && m[2] == 'h' && m[3] == '0')
            MethodName = "Stored";
        else if (m[1] == 'l' && m[2] == 'h' && m[3] >= '1' && m[3] <= '6')
            MethodName = std::string("Frozen-") + m[3];
        else
            MethodName = "Unknown";
        listEntry(int64_t(h.pos));
    }
}

}  // namespace kv
