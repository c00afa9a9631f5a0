// ARC and PAK archives.
#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/formats/arc/arc_header.h"
#include "archive/kelmo/block_reader.h"
#include "archive/kelmo/kelmo.h"

namespace kv {
namespace {

std::string arcMethodName(uint16_t m, bool pak) {
    if (pak) {
        switch (m) {
            case 1:
            case 2: return "Stored";
            case 3: return "RLE";
            case 4: return "Squeezed";
            case 5:
            case 6:
            case 7: return "FIXEDLEN";
            case 8:
            case 9: return "VARIBLE";
            case 10: return "Crushed";
            case 11: return "Distill";
            default: return "Unknown";
        }
    }
    switch (m) {
        case 1:
        case 2: return "Stored";
        case 3: return "Packed";
        case 4: return "Squeezed";
        case 5:
        case 6:
        case 7: return "crunched";
        case 8: return "Crunched";
        case 9: return "Squashed";
        case 10: return "Pack10";
        case 11: return "Pack11";
        case 12: return "Pack12";
        default: return "Unknown";
    }
}

}  // namespace

void TKelmo::listArc(bool pak) {
    ArcCursor cursor(*reader_, ArcStart - 1, pak);
    ArcHeader h;
    int stopId = 0;
    while (!Cancel()) {
        if (!cursor.next(h, stopId)) {
            if (stopId == msg::TooManyNestedDirs) reportAndRaise(stopId, ArchiveFile());
            if (stopId && !Cancel()) report(stopId, ArchiveFile());
            return;
        }
        clearEntry();
        FileDate = convertDate(h.dosDateTime);
        FileCRC = h.crc;
        UnpackedSize = h.size;
        PackedSize = h.packed;
        MethodNo = h.method;
        FileName = presentName(h.name, NameCodePage);
        if (h.isDir) {
            IsDirectory = true;
            MethodName = "Dir";
            ExternalAttr = 16;
            InternalAttr = 16;
            if (ShowBlankDirs) listEntry(int64_t(h.pos));
            continue;
        }
        ExternalAttr = InternalAttr = 32;
        MethodName = arcMethodName(h.method, pak);
        listEntry(int64_t(h.pos));
    }
}

}  // namespace kv
