// ZIP central directory (also self-extracting and ZIP64 archives).
#include <algorithm>
#include <vector>

#include "archive/base/names.h"
#include "archive/formats/zip/zip_directory.h"
#include "archive/kelmo/block_reader.h"
#include "archive/kelmo/kelmo.h"

namespace kv {

std::string zipMethodName(uint16_t method, uint16_t flags) {
    switch (method) {
        case 0: return "Stored";
        case 1: return "Shrunk";
        case 2:
        case 3:
        case 4:
        case 5: return "Reduce-" + std::to_string(method - 1);
        case 6: return "Imploded";
        case 7: return "Tokened";
        case 8:
            switch ((flags >> 1) & 3) {
                case 0: return "DeflateN";
                case 1: return "DeflateX";
                case 2: return "DeflateF";
                default: return "DeflateS";
            }
        default: return "Unknown";
    }
}

void TKelmo::listZip() {
    BlockReader& r = *reader_;
    ZipEnd end;
    if (!findZipEnd(file_, end)) reportAndRaise(msg::HeaderIdError, ArchiveFile());
    if (!end.comment.empty()) ArchiveComment = presentText(end.comment, NameCodePage);
    const uint64_t sfxShift = SfxOffset > 0 && ArcStart == SfxOffset + 1 ? uint64_t(SfxOffset) : 0;
    ZipDirectory dir;
    if (int id = locateZipDirectory(r, end, sfxShift, dir)) reportAndRaise(id, ArchiveFile());
    if (dir.empty) return;  // an archive with no entries is a complete listing

    auto visit = [&](const ZipCentralRecord& rec) {
        clearEntry();
        VersionMadeBy = uint8_t(rec.madeBy);
        VersionNeeded = uint8_t(rec.needed);
        Encrypted = rec.flags & 1;
        MethodNo = rec.method;
        FileDate = convertDate(rec.dosDateTime);
        FileCRC = rec.crc;
        PackedSize = rec.packed;
        UnpackedSize = rec.size;
        InternalAttr = rec.internalAttr;
        ExternalAttr = rec.extAttr;
        if (rec.flags > 1)
            DeflateOption = (rec.flags & 6) == 6 ? 6 : (rec.flags & 4) ? 4 : (rec.flags & 2) ? 2 : 0;
        FileName = presentName(rec.rawName, NameCodePage, rec.utf8());
        if (!rec.rawComment.empty()) FileComment = presentText(rec.rawComment, NameCodePage, rec.utf8());
        IsDirectory = (ExternalAttr & 0x10) || (!FileName.empty() && FileName.back() == '/');
        MethodName = IsDirectory ? "Dir" : zipMethodName(MethodNo, rec.flags);
        const int64_t offset = int64_t(rec.localOffset) + dir.localDelta;
        if (IsDirectory) {
            // Folders are shown on request but never counted.
            if (ShowBlankDirs) {
                if (OnReadFile) OnReadFile(*this, FileName);
                computeRatio();
                if (OnReadBegin) OnReadBegin(*this);
                if (OnRead) OnRead(*this, offset, Count);
                if (OnReadEnd) OnReadEnd(*this);
            }
        } else {
            fireEntry(offset);
        }
        return !Cancel();
    };
    uint64_t seen = 0;
    const int stop = walkZipDirectory(r, dir, visit, &seen);
    if (stop) {
        // Nothing read at all: the archive is unreadable; some entries read: the listing is
        // incomplete, which is an error too, never a complete listing.
        if (seen == 0) reportAndRaise(stop, ArchiveFile());
        report(stop, ArchiveFile());
    }
}

}  // namespace kv
