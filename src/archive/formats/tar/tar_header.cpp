#include "archive/formats/tar/tar_header.h"

#include "archive/base/util.h"

namespace kv {

namespace {

// An octal field (or the base-256 form of large values); ok is false when it holds no digit.
std::uint64_t octal(const std::uint8_t* p, std::size_t len, bool& ok) {
    ok = false;
    if (len > 0 && (p[0] & 0x80)) {
        std::uint64_t v = p[0] & 0x3F;
        for (std::size_t i = 1; i < len; ++i) v = v >> 56 ? UINT64_MAX : (v << 8) | p[i];
        ok = true;
        return v;
    }
    std::uint64_t v = 0;
    std::size_t i = 0;
    while (i < len && p[i] == ' ') ++i;
    for (; i < len && p[i] >= '0' && p[i] <= '7'; ++i) {
        v = v >> 61 ? UINT64_MAX : (v << 3) | std::uint64_t(p[i] - '0');
        ok = true;
    }
    return v;
}

}  // namespace

TarStep parseTarHeader(const std::uint8_t* h, std::uint64_t pos, std::uint64_t archiveSize, TarHeader& out) {
    std::size_t n = 0;
    while (n < 100 && h[n]) ++n;
    out.name.assign(reinterpret_cast<const char*>(h), n);
    while (!out.name.empty() && out.name.back() == ' ') out.name.pop_back();
    if (out.name.empty()) return TarStep::End;
    bool ok = false;
    const std::uint64_t stored = octal(h + 148, 8, ok);
    std::uint64_t sum = 0;
    for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : h[i];
    if (!ok || sum != stored) return TarStep::BadChecksum;
    out.type = static_cast<char>(h[156]);
    const std::uint64_t declared = octal(h + 124, 12, ok);
    // Links, folders and special files carry no data but may say they do.
    const bool noData = out.type >= '1' && out.type <= '6';
    out.size = noData || !ok ? 0 : declared;
    bool timeOk = false;
    out.mtime = octal(h + 136, 12, timeOk);
    if (!timeOk) out.mtime = 0;
    out.mode = static_cast<std::uint32_t>(octal(h + 100, 8, ok) & 07777);
    const std::uint64_t blocks = out.size / 512 + (out.size % 512 != 0);
    if (!checkedAdd(pos, 512, out.dataPos) || blocks > UINT64_MAX / 512 ||
        !checkedAdd(out.dataPos, blocks * 512, out.next) || out.next > archiveSize ||
        !rangeInside(out.dataPos, out.size, archiveSize))
        return TarStep::Truncated;
    return TarStep::Entry;
}

}  // namespace kv
