// GZip (and compress/pack) files, TAR archives and UUE files.
#include <algorithm>
#include <cstdint>
#include <sys/stat.h>

#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/formats/tar/tar_walker.h"
#include "archive/kelmo/block_reader.h"
#include "archive/kelmo/kelmo.h"

namespace kv {

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
    // The extractor's walk: the same entries under the same names (long names included).
    TarWalker walker(file_, ArcStart - 1);
    TarEntry t;
    for (;;) {
        switch (walker.next(t, [this] { return Cancel(); })) {
            case TarWalker::Step::End: return;
            case TarWalker::Step::BadChecksum: report(msg::HeaderCrcError, ArchiveFile()); return;
            case TarWalker::Step::Damaged: report(msg::BadFileHeader, ArchiveFile()); return;
            // An entry whose data runs past the archive's end is not shown: its size is no
            // size this archive holds, and nothing of it can be extracted.
            case TarWalker::Step::Truncated:
            case TarWalker::Step::CutEntry: report(msg::ReadError, ArchiveFile()); return;
            case TarWalker::Step::Entry: break;
        }
        // Files and links are listed; folders, labels and special files are not.
        if (t.kind == TarKind::Folder || t.kind == TarKind::Label || t.kind == TarKind::Other) continue;
        const TarHeader& h = t.header;
        clearEntry();
        FileName = presentName(t.name.bytes, NameCodePage);
        // A pax size stands for the size field; links show their field as it is.
        PackedSize = UnpackedSize = t.kind == TarKind::File ? h.size : h.declaredSize;
        FileDate = h.mtime ? unixTimeToDateTime(int64_t(h.mtime)) : kDosEpoch;
        FileCRC = h.checksum;
        MethodNo = 0;
        MethodName = "Stored";
        ExternalAttr = InternalAttr = 0;
        listEntry(int64_t(t.headerPos), !ShowBlankDirs);
    }
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
