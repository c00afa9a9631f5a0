#include "archive/formats/arc/arc_header.h"

#include "archive/base/arc_file.h"
#include "archive/base/messages.h"
#include "archive/base/util.h"

namespace kv {

bool ArcCursor::next(ArcHeader& h, int& stopId) {
    stopId = 0;
    if (done_) {
        stopId = pendingStop_;
        pendingStop_ = 0;
        return false;
    }
    const uint64_t size = r_.size();
    auto stop = [&](int id) {
        done_ = true;
        stopId = id;
        return false;
    };
    while (cursor_ < size && size - cursor_ >= 2) {
        const uint8_t* p = r_.get(cursor_, 2);
        if (!p) break;
        if (p[0] != 0x1A) return stop(msg::BadFileHeader);
        const uint8_t method = p[1];
        if (method == 0) return stop(0);  // the end mark
        if (!pak_ && method == 31) {      // the end of a folder: a two-byte record
            // Back to the prefix the matching folder record found: the names' own bytes
            // (a "\\" or "/" inside one) never decide how far a folder reaches.
            if (!opened_.empty()) {
                prefix_.resize(opened_.back());
                opened_.pop_back();
            }
            cursor_ += 2;
            continue;
        }
        // Method 1 is the oldest form, without the original-size field.
        const size_t headerLen = method == 1 ? 25 : 29;
        p = r_.get(cursor_, headerLen);
        if (!p) return stop(msg::ReadError);
        h = ArcHeader{};
        size_t n = 0;
        while (n < 13 && p[2 + n]) ++n;  // bytes after the zero may be left-over garbage
        const std::string name(reinterpret_cast<const char*>(p + 2), n);
        h.pos = cursor_;
        h.dataPos = cursor_ + headerLen;
        h.method = method;
        h.packed = le32(p + 15);
        h.dosDateTime = uint32_t(le16(p + 19)) << 16 | le16(p + 21);
        h.crc = le16(p + 23);
        h.size = method == 1 ? h.packed : le32(p + 25);
        if (!pak_ && method == 30) {  // a folder: its entries follow at once
            if (opened_.size() >= size_t(kMaxArcDepth)) return stop(msg::TooManyNestedDirs);
            h.packed = h.size = 0;
            h.isDir = true;
            h.name = prefix_ + name + "/";
            opened_.push_back(prefix_.size());
            prefix_ += name + "/";
            cursor_ += headerLen;
            return true;
        }
        h.name = prefix_ + name;
        uint64_t next;
        if (!checkedAdd(h.dataPos, h.packed, next) || next > size) {
            h.dataFits = false;
            done_ = true;
            pendingStop_ = msg::ReadError;
            return true;
        }
        cursor_ = next;
        return true;
    }
    // No end mark (1A 00) before the end of the file: the archive was cut short.
    return stop(msg::ReadError);
}

}  // namespace kv
