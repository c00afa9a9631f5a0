#include "archive/formats/tar/tar_header.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "archive/base/util.h"
#include "archive/kelmo/block_reader.h"

namespace kv {

namespace {

// An octal field (or the base-256 form of large values); ok is false when it holds no digit
// or a negative base-256 number (negative is then set, when asked for).
std::uint64_t octal(const std::uint8_t* p, std::size_t len, bool& ok, bool* negative = nullptr) {
    ok = false;
    if (negative) *negative = false;
    if (len > 0 && (p[0] & 0x80)) {
        if (p[0] & 0x40) {  // two's complement below zero: no size, time or mode
            if (negative) *negative = true;
            return 0;
        }
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

std::string field(const std::uint8_t* p, std::size_t len) {
    std::size_t n = 0;
    while (n < len && p[n]) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

// A pax record's value is held up to this many bytes; a longer path is refused by its length.
constexpr std::size_t kMaxPaxValue = kMaxNameBytes + 1;

}  // namespace

TarStep parseTarHeader(const std::uint8_t* h, std::uint64_t pos, std::uint64_t archiveSize, TarHeader& out,
                       std::optional<std::uint64_t> sizeOverride) {
    out.name = field(h, 100);
    while (!out.name.empty() && out.name.back() == ' ') out.name.pop_back();
    if (out.name.empty()) return TarStep::End;
    bool ok = false;
    const std::uint64_t stored = octal(h + 148, 8, ok);
    std::uint64_t sum = 0;
    for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : h[i];
    if (!ok || sum != stored) return TarStep::BadChecksum;
    out.checksum = static_cast<std::uint32_t>(stored);
    out.type = static_cast<char>(h[156]);
    out.linkName = field(h + 157, 100);
    // POSIX ustar keeps the start of a long path in a prefix field (GNU's own magic,
    // "ustar  ", has other fields there).
    if (std::memcmp(h + 257, "ustar\0", 6) == 0 && h[345]) out.name = field(h + 345, 155) + "/" + out.name;
    bool negative = false;
    const std::uint64_t declared = octal(h + 124, 12, ok, &negative);
    // Links, folders and special files carry no data but may say they do.
    const bool noData = out.type >= '1' && out.type <= '6';
    out.declaredSize = ok ? declared : 0;
    out.size = noData || !ok ? 0 : declared;
    if (sizeOverride && !noData && !isTarExtension(out.type)) out.size = *sizeOverride;
    // A size below zero, beyond any file's, or (where no data follows to be cut short) larger
    // than the whole archive is no size at all: the header is damaged, never shown.
    if (negative || out.size > kMaxTarSize || out.declaredSize > kMaxTarSize ||
        (noData && out.declaredSize > archiveSize))
        return TarStep::Damaged;
    bool timeOk = false;
    out.mtime = octal(h + 136, 12, timeOk);
    if (!timeOk || out.mtime > std::uint64_t(INT64_MAX)) out.mtime = 0;
    out.mode = static_cast<std::uint32_t>(octal(h + 100, 8, ok) & 07777);
    const std::uint64_t blocks = out.size / 512 + (out.size % 512 != 0);
    if (!checkedAdd(pos, 512, out.dataPos) || blocks > UINT64_MAX / 512 ||
        !checkedAdd(out.dataPos, blocks * 512, out.next) || out.next > archiveSize ||
        !rangeInside(out.dataPos, out.size, archiveSize))
        return TarStep::Truncated;
    return TarStep::Entry;
}

bool readPaxFields(const ArcFile& file, std::uint64_t pos, std::uint64_t size, PaxFields& out) {
    // Records may be as short as 5 bytes: they are served from buffered blocks, never read
    // one by one from the file.
    BlockReader reader(file, std::size_t(std::min<std::uint64_t>(size, 1 << 16)));
    std::vector<std::uint8_t> rec;
    for (std::uint64_t at = 0; at < size;) {
        // "<length> <key>=<value>\n", the length counting the whole record in decimal.
        const std::size_t got = std::size_t(std::min<std::uint64_t>(24, size - at));
        const std::uint8_t* head = reader.get(pos + at, got);
        if (!head) return false;
        if (head[0] == 0) return true;  // padding after the last record
        std::size_t i = 0;
        std::uint64_t len = 0;
        for (; i < got && head[i] >= '0' && head[i] <= '9'; ++i) {
            if (len > (UINT64_MAX - 9) / 10) return false;
            len = len * 10 + std::uint64_t(head[i] - '0');
        }
        if (i == 0 || i >= got || head[i] != ' ' || len < i + 4 || len > size - at) return false;
        const std::size_t keep = std::size_t(std::min<std::uint64_t>(len, kMaxPaxValue + 64));
        const std::uint8_t* whole = reader.get(pos + at, keep);
        if (!whole) return false;
        rec.assign(whole, whole + keep);
        const std::uint8_t* last = reader.get(pos + at + len - 1, 1);
        if (!last || *last != '\n') return false;
        const auto keyStart = rec.begin() + std::ptrdiff_t(i + 1);
        const auto eq = std::find(keyStart, rec.end(), std::uint8_t('='));
        if (eq == rec.end()) return false;
        const std::string key(keyStart, eq);
        const std::uint64_t valueStart = std::uint64_t(eq - rec.begin()) + 1;
        const std::uint64_t valueSize = len - 1 - valueStart;  // the newline is no part of it
        const auto valueEnd = rec.begin() + std::ptrdiff_t(std::min<std::uint64_t>(len - 1, rec.size()));
        if (key == "path" || key == "linkpath") {
            std::optional<TarLongName>& slot = key == "path" ? out.path : out.linkPath;
            TarLongName p;
            p.bytes.assign(eq + 1, std::max(eq + 1, valueEnd));
            p.fullSize = valueSize;
            p.hasNul = p.bytes.find('\0') != std::string::npos;
            if (valueSize == 0)
                slot.reset();  // an empty value takes the record back
            else
                slot = std::move(p);
        } else if (key == "size") {
            if (valueSize == 0 || valueSize > 20) return false;
            std::uint64_t v = 0;
            for (auto c = eq + 1; c != valueEnd; ++c) {
                if (*c < '0' || *c > '9' || v > (UINT64_MAX - 9) / 10) return false;
                v = v * 10 + std::uint64_t(*c - '0');
            }
            out.size = v;
        }
        at += len;
    }
    return true;
}

bool readGnuLongName(const ArcFile& file, std::uint64_t pos, std::uint64_t size, TarLongName& out) {
    out = {};
    out.bytes.resize(std::size_t(std::min<std::uint64_t>(size, kMaxNameBytes + 1)));
    if (!file.readExact(pos, std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(out.bytes.data()),
                                                     out.bytes.size())))
        return false;
    const std::size_t nul = out.bytes.find('\0');
    if (nul != std::string::npos) {
        out.bytes.resize(nul);
        out.fullSize = nul;
    } else {
        out.fullSize = size;  // no end within what was read: as long as the record says
    }
    return true;
}

}  // namespace kv
