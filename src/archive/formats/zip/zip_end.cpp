#include "archive/formats/zip/zip_end.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace kv {
namespace {

constexpr uint32_t kEnd = 0x06054B50, kEnd64 = 0x06064B50, kEnd64Locator = 0x07064B50;

}  // namespace

bool findZipEnd(const ArcFile& file, ZipEnd& out) {
    const uint64_t size = file.size();
    const uint64_t window = std::min<uint64_t>(size, kZipEndSearch);
    if (window < 22) return false;
    std::vector<uint8_t> tail(static_cast<size_t>(window));
    if (!file.readExact(size - window, tail)) return false;
    size_t hit = SIZE_MAX;
    for (size_t i = tail.size() - 22 + 1; i-- > 0;) {
        if (le32(&tail[i]) == kEnd) {
            hit = i;
            break;
        }
    }
    if (hit == SIZE_MAX) return false;

    const uint8_t* e = &tail[hit];
    out = ZipEnd{};
    out.endPos = size - window + hit;
    out.dirEnd = out.endPos;
    out.entries = le16(e + 10);
    out.cdSize = le32(e + 12);
    out.cdOffset = le32(e + 16);
    const size_t commentLen = std::min<size_t>(le16(e + 20), tail.size() - hit - 22);
    out.comment.assign(reinterpret_cast<const char*>(e + 22), commentLen);

    uint8_t loc[20], rec[56];
    if (out.endPos >= 20 && file.readExact(out.endPos - 20, loc) && le32(loc) == kEnd64Locator) {
        const uint64_t recPos = le64(loc + 8);
        if (recPos < out.endPos && file.readExact(recPos, rec) && le32(rec) == kEnd64) {
            out.entries = le64(rec + 32);
            out.cdSize = le64(rec + 40);
            out.cdOffset = le64(rec + 48);
            out.dirEnd = recPos;
        }
    }
    return true;
}

}  // namespace kv
