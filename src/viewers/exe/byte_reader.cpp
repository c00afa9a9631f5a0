#include "viewers/exe/byte_reader.h"

#include "platform/text_codec.h"

namespace kv::exe {

std::string utf16ToUtf8(const std::vector<std::uint16_t>& units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            platform::AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            platform::AppendUtf8(out, 0xFFFD);
        } else {
            platform::AppendUtf8(out, u);
        }
    }
    return out;
}

std::optional<std::string> utf16At(Bytes b, std::uint64_t at, std::uint64_t count) {
    Bytes s = sliceOf(b, at, count * 2);
    if (s.size() != count * 2) return std::nullopt;
    std::vector<std::uint16_t> units(count);
    for (std::size_t i = 0; i < count; ++i) units[i] = std::uint16_t(s[2 * i] | (s[2 * i + 1] << 8));
    return utf16ToUtf8(units);
}

std::string Cursor::zeroTerminatedUtf16() {
    std::vector<std::uint16_t> units;
    while (true) {
        auto c = readU16(b_, at_);
        if (!c) {
            fail();
            break;
        }
        at_ += 2;
        if (*c == 0) break;
        units.push_back(*c);
    }
    return utf16ToUtf8(units);
}

}  // namespace kv::exe
