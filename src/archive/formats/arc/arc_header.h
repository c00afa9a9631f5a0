#pragma once
// ARC and PAK entry headers, read the same way by the lister and the extractor, so what
// lists also extracts: the 29-byte header (25 bytes for the oldest method 1), the folder
// records of the later ARC variants (30 opens a folder, 31 closes it) and the data span.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/kelmo/block_reader.h"

namespace kv {

struct ArcHeader {
    uint64_t pos = 0;      // where the 1A marker is
    uint64_t dataPos = 0;  // right after the header
    uint64_t packed = 0, size = 0;
    uint8_t method = 0;
    uint16_t crc = 0;          // CRC-16 of the original data
    uint32_t dosDateTime = 0;  // date in the high half: the file stores the date word first
    std::string name;          // folder prefix and name as stored ("/" between folders)
    bool isDir = false;        // a folder record (its name ends in "/")
    bool dataFits = true;      // the data ends inside the file
};

// Folders deeper than this end the walk (TooManyNestedDirs): every entry repeats the
// whole folder path, so deep nesting would multiply the names; DOS paths never held more
// than a few dozen levels.
inline constexpr int kMaxArcDepth = 64;

// Walks the headers from start. next answers true with the next entry (folders included);
// false at the end, with stopId 0 at the end mark (1A 00), else the message id of why the
// walk stopped: a missing marker, a header cut short, an archive without its end mark, or
// folders nested too deep. An entry whose data reaches past the end is still answered
// (dataFits false); the walk stops after it.
class ArcCursor {
public:
    ArcCursor(BlockReader& r, uint64_t start, bool pak) : r_(r), cursor_(start), pak_(pak) {}
    bool next(ArcHeader& h, int& stopId);

private:
    BlockReader& r_;
    uint64_t cursor_;
    bool pak_;
    std::string prefix_;
    std::vector<size_t> opened_;  // the prefix's length before each open folder record
    bool done_ = false;
    int pendingStop_ = 0;
};

}  // namespace kv
