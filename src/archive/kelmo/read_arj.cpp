// ARJ archives, following a file that continues into the next volume.
#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/formats/arj/arj_header.h"
#include "archive/kelmo/block_reader.h"
#include "archive/kelmo/kelmo.h"

namespace kv {
namespace {

constexpr const char* kArjMethods[] = {"Stored", "Most", "2nd Most", "2nd Fast", "Fastest"};

}  // namespace

void TKelmo::listArj() {
    BlockReader& r = *reader_;
    ArjHeader main;
    int bad = 0;
    if (!readArjHeader(r, ArcStart - 1, main, bad))
        reportAndRaise(bad == msg::HeaderCrcError ? bad : msg::HeaderIdError, ArchiveFile());
    ArchiveComment = presentText(main.comment, NameCodePage);
    const bool volumeSet = main.continues();
    std::string volumePath = ArchiveFile();
    if (volumeSet) VolumeName = std::string(fileNamePart(volumePath));
    int volumeCounter = 0;
    uint64_t cursor = main.dataPos;

    while (!Cancel()) {
        ArjHeader h;
        if (!readArjHeader(r, cursor, h, bad)) {
            if (bad) report(bad, ArchiveFile());
            return;
        }
        clearEntry();
        VersionMadeBy = h.version;
        VersionNeeded = h.minVersion;
        Encrypted = h.garbled();
        MethodNo = h.method;
        FileDate = h.unixTime() ? unixTimeToDateTime(h.stamp) : convertDate(h.stamp);
        PackedSize = h.packed;
        UnpackedSize = h.size;
        FileCRC = h.crc;
        InternalAttr = h.accessMode;
        ExternalAttr = h.accessMode;
        IsDirectory = h.fileType == kArjFolder;
        FileName = presentName(h.name, NameCodePage);
        FileComment = presentText(h.comment, NameCodePage);
        MethodName = IsDirectory ? "Dir" : MethodNo < 5 ? kArjMethods[MethodNo] : "Unknown";
        // Every header starts past the one before (dataPos > pos), so the walk always advances.
        const bool pastEnd = !checkedAdd(h.dataPos, h.packed, cursor) || cursor > file_.size();
        if (h.fileType == kArjLabel && !pastEnd) continue;  // a volume label is no entry
        uint64_t entryPos = h.pos;
        if (pastEnd) {
            if (h.fileType != kArjLabel) listEntry(int64_t(entryPos));
            report(msg::ReadError, ArchiveFile());
            return;
        }
        // A file that goes on in the next volume: sum its parts, then list on from there.
        bool continues = h.continues();
        bool volumeFailed = false;
        while (continues && !Cancel()) {
            std::string next = nextArjVolumeName(volumePath, volumeCounter);
            if (next.empty()) {
                listEntry(int64_t(entryPos));
                reportAndRaise(msg::MaxVolumes, ArchiveFile());
            }
            if (!openNextVolume(next, std::to_string(volumeCounter + 1), msg::InvalidFileName)) {
                volumeFailed = true;
                break;
            }
            volumePath = next;
            VolumeName = std::string(fileNamePart(volumePath));
            ArjHeader vmain, part;
            if (!readArjHeader(r, 0, vmain, bad) || !readArjHeader(r, vmain.dataPos, part, bad)) {
                report(msg::BadFileHeader, next);
                volumeFailed = true;
                break;
            }
            PackedSize += part.packed;
            UnpackedSize += part.size;
            continues = part.continues();
            cursor = part.dataPos + uint64_t(part.packed);
        }
        listEntry(int64_t(entryPos));
        if (volumeFailed) return;
    }
}

}  // namespace kv
