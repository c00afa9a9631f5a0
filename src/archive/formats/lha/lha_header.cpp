#include "archive/formats/lha/lha_header.h"

#include <cstring>
#include <string_view>

#include "archive/base/arc_file.h"
#include "archive/base/messages.h"
#include "archive/base/util.h"

namespace kv {

namespace {

// Folder names use 0xFF (and some programs "\") as separators.
std::string lhaPath(std::string_view raw) {
    std::string s(raw);
    for (char& c : s)
        if (uint8_t(c) == 0xFF) c = '/';
    return s;
}

// Reads the header at pos into h: 0, or the message id of why it cannot be read.
int readLhaHeader(BlockReader& r, uint64_t pos, const uint8_t (&fixed)[22], LhaHeader& h) {
    const uint64_t size = r.size();
    const uint8_t level = fixed[20];
    h = LhaHeader{};
    h.pos = pos;
    h.level = level;
    std::memcpy(h.method, fixed + 2, 5);
    h.packed = le32(fixed + 7);
    h.size = le32(fixed + 11);
    h.stamp = le32(fixed + 15);
    h.attr = fixed[19];
    h.unixTime = level >= 2;
    std::string dir, name;
    // Extended headers: a chain of (size, type, data) whose size field has sizeWidth bytes
    // and sits at the end of the previous header.
    bool shortRead = false;
    auto walk = [&](uint64_t at, uint64_t firstSize, int sizeWidth, uint64_t& total) -> bool {
        uint64_t extSize = firstSize;
        for (int guard = 0; extSize != 0; ++guard) {
            // Real extended headers are small; a huge size is damage, not a reason to read it.
            if (guard > 4096 || extSize < uint64_t(1 + sizeWidth) || extSize > (1u << 20)) return false;
            const uint8_t* x = r.get(at, static_cast<size_t>(extSize));
            if (!x) {
                shortRead = true;
                return false;
            }
            const uint8_t type = x[0];
            std::string_view data(reinterpret_cast<const char*>(x + 1), extSize - 1 - sizeWidth);
            if (type == 0x01)
                name = std::string(data);
            else if (type == 0x02)
                dir = lhaPath(data);
            else if (type == 0x50 && data.size() >= 2)
                h.unixMode = le16(x + 1);
            else if (type == 0x54 && data.size() >= 4) {
                h.stamp = le32(x + 1);
                h.unixTime = true;
            }
            total += extSize;
            at += extSize;
            const uint8_t* s = x + extSize - sizeWidth;
            extSize = sizeWidth == 2 ? le16(s) : le32(s);
        }
        return true;
    };
    uint64_t headerLen;  // bytes before the data, extended headers included
    bool ok = true;
    if (level <= 1) {
        const uint64_t hsize = uint64_t(fixed[0]) + 2;
        const uint8_t nameLen = fixed[21];
        const uint8_t* full = r.get(pos, static_cast<size_t>(hsize));
        if (!full) return msg::ReadError;
        if (22 + uint64_t(nameLen) + 2 > hsize) return msg::BadFileHeader;
        name = std::string(reinterpret_cast<const char*>(full + 22), nameLen);
        h.crc = le16(full + 22 + nameLen);
        headerLen = hsize;
        if (level == 1 && hsize >= 22 + uint64_t(nameLen) + 5) {
            uint64_t extTotal = 0;
            ok = walk(pos + hsize, le16(full + hsize - 2), 2, extTotal);
            // In level 1 the stored size counts the extended headers too.
            h.packed = extTotal <= h.packed ? h.packed - extTotal : 0;
            headerLen += extTotal;
        }
        for (char& c : name)
            if (uint8_t(c) == 0xFF) c = '/';
    } else {
        const int width = level == 2 ? 2 : 4;
        uint64_t hsize = level == 2 ? le16(fixed) : 0;
        const uint8_t* full = r.get(pos, level == 2 ? 26 : 32);
        if (!full) return msg::ReadError;
        h.crc = le16(full + 21);
        const uint64_t firstExt = level == 2 ? le16(full + 24) : le32(full + 28);
        const uint64_t base = level == 2 ? 26 : 32;
        if (level == 3) hsize = le32(full + 24);
        uint64_t extTotal = 0;
        ok = walk(pos + base, firstExt, width, extTotal);
        if (hsize < base) hsize = base + extTotal;
        headerLen = hsize;
    }
    if (!ok) return shortRead ? msg::ReadError : msg::BadFileHeader;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    h.name = dir + name;
    // headerLen is at most 4 GiB plus 4096 MiB of extended headers: no wrap with pos.
    h.dataPos = pos + headerLen;
    h.nextFits = checkedAdd(h.dataPos, h.packed, h.next) && h.next <= size;
    return 0;
}

}  // namespace

LhaCursor::LhaCursor(BlockReader& r, uint64_t start) : r_(r), cursor_(start) {
    if (const uint8_t* p = r_.get(cursor_, 1); p && p[0] == 0) cursor_ += 128;
}

bool LhaCursor::next(LhaHeader& h, int& stopId) {
    stopId = 0;
    if (done_) {
        stopId = pendingStop_;
        pendingStop_ = 0;
        return false;
    }
    done_ = true;
    const uint64_t size = r_.size();
    if (cursor_ > size || size - cursor_ < 22) {
        // Bytes left that hold neither a header nor the end mark: the archive was cut short.
        if (cursor_ < size) {
            const uint8_t* t = r_.get(cursor_, 1);
            if (t && t[0] != 0) stopId = msg::ReadError;
        }
        return false;
    }
    const uint8_t* first = r_.get(cursor_, 22);
    if (!first || first[0] == 0) return false;  // a zero header size is the end mark
    // A copy: the reads of the extended headers may refill the reader's buffer.
    uint8_t fixed[22];
    std::memcpy(fixed, first, sizeof fixed);
    const uint8_t level = fixed[20];
    if (level > 3 || fixed[2] != '-' || fixed[6] != '-') {
        stopId = msg::BadFileHeader;
        return false;
    }
    if (level <= 1) {
        // Level 0 and 1 headers carry a byte sum of themselves: a damaged one would give
        // made-up names and sizes. (A header cut short is reported as a short read.)
        if (const uint8_t* whole = r_.get(cursor_, size_t(fixed[0]) + 2)) {
            uint8_t sum = 0;
            for (size_t i = 2; i < size_t(fixed[0]) + 2; ++i) sum = uint8_t(sum + whole[i]);
            if (sum != fixed[1]) {
                stopId = msg::HeaderCrcError;
                return false;
            }
        }
    }
    if (int id = readLhaHeader(r_, cursor_, fixed, h)) {
        stopId = id;
        return false;
    }
    if (h.nextFits && h.next <= cursor_) {
        stopId = msg::BadFileHeader;
        return false;
    }
    if (!h.nextFits) {
        pendingStop_ = msg::ReadError;
        return true;
    }
    cursor_ = h.next;
    done_ = false;
    return true;
}

}  // namespace kv
