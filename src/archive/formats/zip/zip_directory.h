#pragma once
// The ZIP central directory: where it starts (one locator with one set of recovery rules)
// and its records, read the same way by the lister and the extractor, so what lists also
// extracts and nothing found inside another entry's data is ever taken for the directory.
#include <cstdint>
#include <string>
#include <string_view>

#include "archive/base/arc_file.h"
#include "archive/base/messages.h"
#include "archive/base/util.h"
#include "archive/formats/zip/zip_end.h"
#include "archive/kelmo/block_reader.h"

namespace kv {

inline constexpr uint32_t kZipCentralSig = 0x02014B50, kZipLocalSig = 0x04034B50;
inline constexpr uint32_t kZipLocalSigOld = 0x50000000;  // accepted as a local header too

struct ZipDirectory {
    uint64_t cdPos = 0;      // where the first central record starts
    uint64_t cdEnd = 0;      // no central record reaches past this
    int64_t localDelta = 0;  // added to every stored local-header offset
    uint64_t entries = 0;    // the count the end record announces
    bool zip64 = false;      // the count came from a ZIP64 end record (no 16-bit wrap)
    bool empty = false;      // an archive with no entries at all
};

// Finds the central directory announced by end. sfxShift is the distance by which the
// offsets of a self-extractor are known to be short (0 for a plain ZIP). Rules, in order:
// the stored offset (plus sfxShift); else right before the end records (an archive appended
// to a stub without fixing its offsets, or junk before the directory): there the first
// record's local header decides whether the stored local offsets move too. Answers 0, or
// the message id why no directory was found.
int locateZipDirectory(BlockReader& r, const ZipEnd& end, uint64_t sfxShift, ZipDirectory& out);

// One central record, parsed from a buffer that holds at least its fixed 46 bytes.
struct ZipCentralRecord {
    uint16_t madeBy = 0, needed = 0, flags = 0, method = 0, internalAttr = 0;
    uint32_t dosDateTime = 0, crc = 0, extAttr = 0;
    uint64_t packed = 0, size = 0, localOffset = 0;
    int64_t utMtime = -1;                  // from the "UT" extra field, when present
    std::string_view rawName, rawComment;  // point into the record's buffer
    size_t recordSize = 0;                 // 46 + name + extra + comment

    bool utf8() const { return (flags & 0x800) != 0; }
    bool madeOnUnix() const { return (madeBy >> 8) == 3 && (extAttr >> 16) != 0; }
    bool isSymlink() const { return madeOnUnix() && ((extAttr >> 16) & 0170000) == 0120000; }
};

// The bytes a record at h needs in all (its fixed part must be available), for a second
// read that covers the whole record.
size_t zipCentralRecordSize(const uint8_t* h);
// Parses the whole record at h (recordSize bytes available; signature checked by the caller).
void parseZipCentralRecord(const uint8_t* h, ZipCentralRecord& out);

// Reads the central records one by one from dir.cdPos. next answers true with the next
// record; false at the end, with stopId 0 when the directory ended where it should (the
// count the end record announced was met), else the message id of why it stopped short (a
// damaged record, a cut-short directory, fewer records than announced). The record's
// views point into the reader's buffer: valid until its next read.
class ZipDirectoryCursor {
public:
    explicit ZipDirectoryCursor(const ZipDirectory& dir) : dir_(dir), cursor_(dir.cdPos) {}
    bool next(BlockReader& r, ZipCentralRecord& rec, int& stopId);
    uint64_t count() const { return count_; }

private:
    const ZipDirectory& dir_;
    uint64_t cursor_;
    uint64_t count_ = 0;
    bool done_ = false;
};

// Walks every record with visit (answering false stops); answers the cursor's stopId.
template <class Visit>
int walkZipDirectory(BlockReader& r, const ZipDirectory& dir, Visit&& visit, uint64_t* seen = nullptr) {
    ZipDirectoryCursor c(dir);
    ZipCentralRecord rec;
    int stopId = 0;
    while (c.next(r, rec, stopId))
        if (!visit(rec)) break;
    if (seen) *seen = c.count();
    return stopId;
}

// Where a local header's data starts (after its name and extra field), checked against the
// file: false for a missing signature or a header that reaches past the end.
bool zipLocalDataStart(const ArcFile& f, uint64_t localPos, uint64_t& dataPos, uint8_t (&header)[30]);

}  // namespace kv
