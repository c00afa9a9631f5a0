// Cabinet files, following a set into the next cabinet.
#include <string_view>
#include <vector>

#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/kelmo/block_reader.h"
#include "archive/kelmo/kelmo.h"

namespace kv {
namespace {

// A zero-terminated string of at most 255 bytes at pos; pos moves past it.
bool readCString(BlockReader& r, uint64_t& pos, std::string& out) {
    out.clear();
    for (int i = 0; i < 256; ++i) {
        const uint8_t* c = r.get(pos, 1);
        if (!c) return false;
        ++pos;
        if (*c == 0) return true;
        out += char(*c);
    }
    return false;
}

// A next-cabinet name is a plain file name beside the current cabinet: a path in it could
// send the listing anywhere on the disk.
bool plainFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string_view::npos;
}

}  // namespace

void TKelmo::listCab() {
    BlockReader& r = *reader_;
    std::string cabPath = ArchiveFile();
    static constexpr const char* kNames[] = {"Stored", "MsZIP", "Quantum", "Lzx"};
    for (int cabinet = 0; !Cancel(); ++cabinet) {
        const uint8_t* h = r.get(0, 36);
        if (!h || le32(h) != 0x4643534Du) {  // "MSCF"
            report(msg::BadFileHeader, cabPath);
            return;
        }
        const uint64_t size = file_.size();
        // The cabinet's own size: larger than the file means the cabinet was cut short.
        if (le32(h + 8) > size) {
            report(msg::ReadError, cabPath);
            return;
        }
        uint32_t filesPos = le32(h + 16);
        uint8_t verMinor = h[24], verMajor = h[25];
        uint16_t nFolders = le16(h + 26), nFiles = le16(h + 28), flags = le16(h + 30);
        uint64_t p = 36;
        uint8_t folderReserve = 0;
        if (flags & 4) {
            const uint8_t* res = r.get(p, 4);
            if (!res) {
                report(msg::ReadError, cabPath);
                return;
            }
            folderReserve = res[2];
            p += 4 + uint64_t(le16(res));
        }
        std::string prevCab, prevDisk, nextCab, nextDisk;
        if ((flags & 1) && !(readCString(r, p, prevCab) && readCString(r, p, prevDisk))) {
            report(msg::BadFileHeader, cabPath);
            return;
        }
        if ((flags & 2) && !(readCString(r, p, nextCab) && readCString(r, p, nextDisk))) {
            report(msg::BadFileHeader, cabPath);
            return;
        }
        std::vector<uint16_t> folderTypes;
        // The file records end where the first folder's data begins: a count that promises
        // more records would read compressed data as names.
        uint64_t recordsEnd = size;
        for (uint16_t i = 0; i < nFolders; ++i) {
            const uint8_t* f = r.get(p, 8);
            if (!f) {
                report(msg::ReadError, cabPath);
                return;
            }
            folderTypes.push_back(le16(f + 6));
            if (le32(f) > filesPos && le32(f) < recordsEnd) recordsEnd = le32(f);
            p += 8 + folderReserve;
        }
        VolumeName = (flags & 3) ? std::string(fileNamePart(cabPath)) : std::string();
        p = filesPos;
        for (uint16_t i = 0; i < nFiles && !Cancel(); ++i) {
            const uint8_t* f = rangeInside(p, 16, recordsEnd) ? r.get(p, 16) : nullptr;
            if (!f) {
                report(msg::ReadError, cabPath);
                return;
            }
            uint64_t entryPos = p;
            uint32_t fileSize = le32(f);
            uint16_t folder = le16(f + 8), date = le16(f + 10), time = le16(f + 12), attr = le16(f + 14);
            p += 16;
            std::string name;
            if (!readCString(r, p, name) || p > recordsEnd) {
                report(msg::BadFileHeader, cabPath);
                return;
            }
            // 0xFFFD and 0xFFFF: continued from the previous cabinet, listed there already.
            if (folder == 0xFFFD || folder == 0xFFFF) continue;
            clearEntry();
            uint16_t folderIndex =
                folder == 0xFFFE ? uint16_t(folderTypes.empty() ? 0 : folderTypes.size() - 1) : folder;
            uint16_t ctype = folderIndex < folderTypes.size() ? folderTypes[folderIndex] : 0;
            PackedSize = UnpackedSize = fileSize;
            FileDate = convertDate(uint32_t(date) << 16 | time);
            VersionMadeBy = verMajor;
            VersionNeeded = verMinor;
            MethodNo = ctype & 0x0F;
            MethodName = MethodNo < 4 ? kNames[MethodNo] : "Unknown";
            ExternalAttr = InternalAttr = attr;
            FileName = presentName(name, NameCodePage, attr & 0x80);
            listEntry(int64_t(entryPos));
        }
        if (nextCab.empty()) return;
        if (!plainFileName(nextCab)) {
            report(msg::InvalidFileName, cabPath, nextCab);
            return;
        }
        std::string next = std::string(folderPart(cabPath)) + nextCab;
        // Each cabinet is read once: one that names itself or an earlier one ends the set.
        if (!openNextVolume(next, std::to_string(cabinet + 2), msg::CabWrongSet)) return;
        cabPath = next;
    }
}

}  // namespace kv
