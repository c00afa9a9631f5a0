#pragma once
// LHA/LZH headers of levels 0 to 3, read the same way by the lister and the extractor, so
// what lists also extracts: the fixed part, the name, the extended headers (folder name,
// Unix time and mode), where the data starts and how long it is.
#include <cstdint>
#include <string>

#include "archive/kelmo/block_reader.h"

namespace kv {

struct LhaHeader {
    uint64_t pos = 0;       // where the header starts
    uint64_t dataPos = 0;   // where the packed data starts (after every extended header)
    uint64_t packed = 0;    // bytes of packed data (extended headers of level 1 taken off)
    uint64_t size = 0;      // original size
    uint64_t next = 0;      // where the next header is (valid when nextFits)
    bool nextFits = false;  // the data ends inside the file
    char method[6] = {};    // "-lh5-" and a NUL
    uint8_t level = 0, attr = 0;
    uint16_t crc = 0;    // CRC-16 of the original data
    uint32_t stamp = 0;  // DOS date and time, or Unix seconds when unixTime
    bool unixTime = false;
    int unixMode = -1;  // st_mode from a Unix extended header, else -1
    std::string name;   // folder and name as stored, 0xFF turned into "/"

    bool isDir() const { return method[1] == 'l' && method[2] == 'h' && method[3] == 'd'; }
};

// Reads the headers of one archive, one by one from start (ArcStart - 1; a self-extractor's
// 128-byte gap is passed over). next answers true with the next header; false at the end,
// with stopId 0 when the archive ended where it should (an end mark, or the file's end
// right after the last entry), else the message id of why it stopped short: a damaged
// header, a header or data cut short by the end of the file. A header whose data does not
// fit the file is still answered (its nextFits is false); the walk stops after it.
class LhaCursor {
public:
    LhaCursor(BlockReader& r, uint64_t start);
    bool next(LhaHeader& h, int& stopId);

private:
    BlockReader& r_;
    uint64_t cursor_;
    bool done_ = false;
    int pendingStop_ = 0;  // the walk ended after the header just answered
};

}  // namespace kv
