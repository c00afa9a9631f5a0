// GZip (and compress/pack) files, TAR archives and UUE files.
#include <algorithm>
#include <cstdint>
#include <sys/stat.h>

#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/kelmo/block_reader.h"
#include "archive/kelmo/kelmo.h"

namespace kv {
namespace {

// An octal field: digits after optional blanks, up to a blank or NUL. GNU's base-256 form
// (top bit of the first byte) holds large sizes. ok is false when no digit was found.
uint64_t octalField(const uint8_t* p, size_t len, bool& ok) {
    ok = false;
    if (len > 0 && (p[0] & 0x80)) {
        // A value past 64 bits stays at the largest one, which no file can hold.
        uint64_t v = p[0] & 0x3F;
        for (size_t i = 1; i < len; ++i) v = v >> 56 ? UINT64_MAX : (v << 8) | p[i];
        ok = true;
        return v;
    }
    uint64_t v = 0;
    size_t i = 0;
    while (i < len && p[i] == ' ') ++i;
    for (; i < len && p[i] >= '0' && p[i] <= '7'; ++i) {
        v = (v << 3) | uint64_t(p[i] - '0');
        ok = true;
    }
    return v;
}

}  // namespace

void TKelmo::listGzip() {
    BlockReader& r = *reader_;
    const uint64_t size = file_.size();
    const uint8_t* h = r.get(0, 10 <= size ? 10 : size);
    if (!h || size < 4) return;
    clearEntry();
    uint16_t magic = le16(h);
    MethodNo = magic;
    const bool deflate = h[1] == 0x8B || h[1] == 0x9E;
    struct stat st {};
    ExternalAttr = ::stat(ArchiveFile().c_str(), &st) == 0 ? static_cast<uint32_t>(st.st_mode) : 0;
    FileDate = ArchiveDate;
    std::string stored;
    if (deflate && size < 18) {  // no room for a header and the trailer
        report(msg::UnexpectedEof, ArchiveFile());
        return;
    }
    if (deflate) {
        uint8_t flags = h[3];
        uint32_t mtime = le32(h + 4);
        if (mtime) FileDate = unixTimeToDateTime(mtime);
        uint64_t p = 10;
        if (flags & 0x04) {
            const uint8_t* x = r.get(p, 2);
            p += 2 + (x ? le16(x) : 0);
        }
        if (flags & 0x08) {
            for (int i = 0; i < 255; ++i) {
                const uint8_t* c = r.get(p, 1);
                if (!c || *c == 0) break;
                stored += char(*c);
                ++p;
            }
        }
        const uint8_t* t = r.get(size - 8, 8);
        FileCRC = t ? le32(t) : 0;
        UnpackedSize = t ? le32(t + 4) : 0;
        Encrypted = flags & 0x20;
        // The compressed stream lies between the header and the 8-byte trailer.
        uint64_t headerEnd = p;
        if (flags & 0x08) ++headerEnd;  // the name's zero
        PackedSize = headerEnd + 8 <= size ? size - headerEnd - 8 : 0;
        MethodName = "Deflate";
    } else {
        PackedSize = UnpackedSize = size;
        FileCRC = 0;
        MethodName = h[1] == 0x1E   ? "PackMAGIC"
                     : h[1] == 0x9D ? "LzwMAGIC"
                     : h[1] == 0xA0 ? "LzhMAGIC"
                                    : "Unknown";
    }
    if (stored.empty()) {
        std::string_view base = fileNamePart(ArchiveFile());
        stored = std::string(base.substr(0, base.find('.')));
    }
    FileName = presentName(stored, NameCodePage);
    listEntry(0);
}

void TKelmo::listTar() {
    BlockReader& r = *reader_;
    const uint64_t size = file_.size();
    uint64_t cursor = ArcStart - 1;
    while (cursor + 512 <= size && !Cancel()) {
        const uint8_t* h = r.get(cursor, 512);
        if (!h) break;
        size_t n = 0;
        while (n < 100 && h[n]) ++n;
        std::string name(reinterpret_cast<const char*>(h), n);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (name.empty()) return;  // the end blocks
        bool ok;
        uint64_t stored = octalField(h + 148, 8, ok);
        uint64_t sum = 0;
        for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : h[i];
        if (!ok || sum != stored) {
            report(msg::HeaderCrcError, ArchiveFile());
            return;
        }
        clearEntry();
        uint64_t dataSize = octalField(h + 124, 12, ok);
        bool timeOk;
        uint64_t mtime = octalField(h + 136, 12, timeOk);
        char type = char(h[156]);
        // Links, folders and special files carry no data but may say they do.
        uint64_t data =
            (type == '1' || type == '2' || type == '3' || type == '4' || type == '5' || type == '6')
                ? 0
                : dataSize;
        FileName = presentName(name, NameCodePage);
        PackedSize = UnpackedSize = dataSize;
        FileDate = timeOk && mtime ? unixTimeToDateTime(int64_t(mtime)) : kDosEpoch;
        FileCRC = static_cast<uint32_t>(stored);
        MethodNo = 0;
        MethodName = "Stored";
        ExternalAttr = InternalAttr = 0;
        IsDirectory = type == '5';
        uint64_t entryPos = cursor;
        // The data fills whole 512-byte blocks after the header. A size near 2^64 must not wrap
        // the next header back onto this one.
        const uint64_t blocks = data / 512 + (data % 512 != 0);
        uint64_t next = 0;
        const bool nextFits = blocks <= UINT64_MAX / 512 && checkedAdd(cursor, 512, next) &&
                              checkedAdd(next, blocks * 512, next);
        if (type == 0 || type == '0' || type == '1') listEntry(int64_t(entryPos), !ShowBlankDirs);
        if (!nextFits || next > size) {
            report(msg::ReadError, ArchiveFile());
            return;
        }
        cursor = next;
    }
    if (!Cancel() && cursor < size) report(msg::ReadError, ArchiveFile());  // a partial header
}

void TKelmo::listUue() {
    BlockReader& r = *reader_;
    const uint64_t size = file_.size();
    size_t n = static_cast<size_t>(std::min<uint64_t>(size, 32768));
    const uint8_t* p = r.get(0, n);
    if (!p) return;
    std::string_view text(reinterpret_cast<const char*>(p), n);
    for (size_t pos = 0; pos < text.size();) {
        if (text.compare(pos, 6, "begin ") == 0) {
            size_t eol = text.find_first_of("\r\n", pos);
            if (eol == std::string_view::npos) eol = text.size();
            std::string_view rest = text.substr(pos + 6, eol - pos - 6);
            size_t blank = rest.find(' ');
            std::string_view name =
                blank == std::string_view::npos ? std::string_view{} : rest.substr(blank + 1);
            name = name.substr(0, 255);
            while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
            while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
            clearEntry();
            FileName = presentName(name, NameCodePage);
            FileDate = ArchiveDate;
            PackedSize = UnpackedSize = size;
            ExternalAttr = InternalAttr = 32;
            MethodNo = 0;
            MethodName.clear();
            VersionMadeBy = VersionNeeded = 0;
            listEntry(0);
            return;
        }
        size_t lf = text.find('\n', pos);
        if (lf == std::string_view::npos) break;
        pos = lf + 1;
    }
    report(msg::NoBeginLine, ArchiveFile());
}

}  // namespace kv
