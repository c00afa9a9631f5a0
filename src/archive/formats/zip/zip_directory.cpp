#include "archive/formats/zip/zip_directory.h"

#include "archive/base/messages.h"
#include "archive/base/util.h"

namespace kv {

namespace {

bool sigAt(BlockReader& r, uint64_t pos, uint32_t sig) {
    const uint8_t* p = r.get(pos, 4);
    return p && le32(p) == sig;
}

bool localAt(BlockReader& r, uint64_t pos) {
    const uint8_t* p = r.get(pos, 4);
    return p && (le32(p) == kZipLocalSig || le32(p) == kZipLocalSigOld);
}

}  // namespace

int locateZipDirectory(BlockReader& r, const ZipEnd& end, uint64_t sfxShift, ZipDirectory& out) {
    out = ZipDirectory{};
    out.entries = end.entries;
    out.zip64 = end.dirEnd != end.endPos;
    out.cdEnd = end.dirEnd;
    if (end.entries == 0 && end.cdSize == 0) {
        out.empty = true;
        return 0;
    }
    // A directory never lies after the end records that announce it.
    uint64_t stored;
    if (checkedAdd(end.cdOffset, sfxShift, stored) && stored < end.dirEnd &&
        sigAt(r, stored, kZipCentralSig)) {
        out.cdPos = stored;
        out.localDelta = int64_t(sfxShift);
        return 0;
    }
    // Right before the end records: offsets short by a stub, or junk before the directory.
    if (end.cdSize > end.dirEnd || !sigAt(r, end.dirEnd - end.cdSize, kZipCentralSig))
        return msg::HeaderIdError;
    out.cdPos = end.dirEnd - end.cdSize;
    const int64_t shift = int64_t(out.cdPos) - int64_t(end.cdOffset);
    out.localDelta = shift;
    // The shift is only a guess: when the first entry's local header is where its stored
    // offset says and not at the shifted place, the directory offset itself was what was
    // damaged, and the stored local offsets stay as they are.
    if (const uint8_t* h = r.get(out.cdPos, 46)) {
        const uint64_t first = le32(h + 42);
        if (!localAt(r, first + uint64_t(shift)) && localAt(r, first)) out.localDelta = 0;
    }
    return 0;
}

size_t zipCentralRecordSize(const uint8_t* h) {
    return 46 + size_t(le16(h + 28)) + le16(h + 30) + le16(h + 32);
}

void parseZipCentralRecord(const uint8_t* h, ZipCentralRecord& e) {
    e.madeBy = le16(h + 4);
    e.needed = le16(h + 6);
    e.flags = le16(h + 8);
    e.method = le16(h + 10);
    e.dosDateTime = uint32_t(le16(h + 14)) << 16 | le16(h + 12);
    e.crc = le32(h + 16);
    e.packed = le32(h + 20);
    e.size = le32(h + 24);
    e.internalAttr = le16(h + 36);
    e.extAttr = le32(h + 38);
    e.localOffset = le32(h + 42);
    const size_t nameLen = le16(h + 28), extraLen = le16(h + 30), commentLen = le16(h + 32);
    e.recordSize = 46 + nameLen + extraLen + commentLen;
    e.rawName = std::string_view(reinterpret_cast<const char*>(h + 46), nameLen);
    e.rawComment = std::string_view(reinterpret_cast<const char*>(h + 46 + nameLen + extraLen), commentLen);
    const uint8_t* x = h + 46 + nameLen;
    for (size_t q = 0; q + 4 <= extraLen;) {
        const uint16_t id = le16(x + q), len = le16(x + q + 2);
        const uint8_t* d = x + q + 4;
        if (q + 4 + len > extraLen) break;
        if (id == 0x0001) {  // ZIP64: the fields that hold all ones follow, in this order
            size_t k = 0;
            auto take = [&](uint64_t& field) {
                if (field != 0xFFFFFFFFu || k + 8 > len) return;
                field = le64(d + k);
                k += 8;
            };
            take(e.size);
            take(e.packed);
            take(e.localOffset);
        } else if (id == 0x5455 && len >= 5 && (d[0] & 1)) {  // "UT": modification time
            e.utMtime = int32_t(le32(d + 1));
        }
        q += 4 + size_t(len);
    }
}

namespace {

bool zipCountMet(const ZipDirectory& dir, uint64_t count) {
    // Writers without ZIP64 keep only the low 16 bits of a count past 65535.
    return dir.zip64 ? count >= dir.entries : count >= dir.entries || (count & 0xFFFF) == dir.entries;
}

}  // namespace

bool ZipDirectoryCursor::next(BlockReader& r, ZipCentralRecord& rec, int& stopId) {
    stopId = 0;
    if (done_) return false;
    done_ = true;
    const uint8_t* h = cursor_ + 46 <= dir_.cdEnd ? r.get(cursor_, 46) : nullptr;
    if (!h || le32(h) != kZipCentralSig) {
        // The records ran out: fine only when the announced count was met.
        if (!zipCountMet(dir_, count_)) stopId = msg::BadFileHeader;
        return false;
    }
    const size_t total = zipCentralRecordSize(h);
    uint64_t recEnd;
    if (!checkedAdd(cursor_, total, recEnd) || recEnd > r.size()) {
        stopId = msg::ReadError;  // the file ends inside the record
        return false;
    }
    if (recEnd > dir_.cdEnd || !(h = r.get(cursor_, total))) {
        stopId = msg::BadFileHeader;
        return false;
    }
    parseZipCentralRecord(h, rec);
    ++count_;
    cursor_ = recEnd;
    done_ = false;
    return true;
}

bool zipLocalDataStart(const ArcFile& f, uint64_t localPos, uint64_t& dataPos, uint8_t (&lh)[30]) {
    if (!f.readExact(localPos, lh) || (le32(lh) != kZipLocalSig && le32(lh) != kZipLocalSigOld)) return false;
    uint64_t start;
    if (!checkedAdd(localPos, 30 + uint64_t(le16(lh + 26)) + le16(lh + 28), start) || start > f.size())
        return false;
    dataPos = start;
    return true;
}

}  // namespace kv
