#include "archive/formats/tar/tar_walker.h"

#include <optional>
#include <utility>

namespace kv {

namespace {

TarLongName plainName(const std::string& bytes) {
    TarLongName n;
    n.bytes = bytes;
    n.fullSize = bytes.size();
    return n;
}

// A GNU long name that is empty says nothing; a pax value that is empty was taken back.
const TarLongName* firstOf(const std::optional<TarLongName>& pax, const std::optional<TarLongName>& gnu) {
    if (pax) return &*pax;
    if (gnu && !gnu->bytes.empty()) return &*gnu;
    return nullptr;
}

}  // namespace

// Headers are 512 bytes apart at most a data block away: one buffered read serves many.
TarWalker::TarWalker(const ArcFile& file, std::uint64_t start)
    : file_(file), headers_(file, 1 << 16), cursor_(start) {}

TarWalker::Step TarWalker::next(TarEntry& out, const std::function<bool()>& cancelled) {
    // What the extension records before the next header said about it.
    std::optional<TarLongName> gnuName, gnuLink, paxPath, paxLink;
    std::optional<std::uint64_t> paxSize;
    bool bad = false;
    while (!(cancelled && cancelled())) {
        const std::uint64_t size = file_.size();
        if (cursor_ >= size) return Step::End;
        const std::uint8_t* h = headers_.get(cursor_, 512);
        if (!h) return Step::Truncated;  // a partial header, or the file could not be read
        TarHeader t;
        bool cut = false;
        switch (parseTarHeader(h, cursor_, size, t, paxSize)) {
            case TarStep::End: return Step::End;
            case TarStep::BadChecksum: return Step::BadChecksum;
            case TarStep::Damaged: return Step::Damaged;
            case TarStep::Truncated:
                if (isTarExtension(t.type)) return Step::Truncated;
                cut = true;  // its header is whole: it is still told, with the walk's end
                break;
            case TarStep::Entry: break;
        }
        const std::uint64_t at = cursor_;
        cursor_ = t.next;
        // Extension records describe the next header only (a global pax header is not
        // followed); one that cannot be read spoils that entry, not the walk.
        if (t.type == 'L' || t.type == 'K') {
            TarLongName n;
            if (readGnuLongName(file_, t.dataPos, t.size, n))
                (t.type == 'L' ? gnuName : gnuLink) = std::move(n);
            else
                bad = true;
            continue;
        }
        if (t.type == 'x') {
            PaxFields pax;
            if (!readPaxFields(file_, t.dataPos, t.size, pax)) {
                bad = true;
            } else {
                if (pax.path) paxPath = std::move(pax.path);
                if (pax.linkPath) paxLink = std::move(pax.linkPath);
                if (pax.size) paxSize = pax.size;
            }
            continue;
        }
        if (isTarExtension(t.type)) continue;

        out = TarEntry{};
        const TarLongName* name = firstOf(paxPath, gnuName);
        const TarLongName* link = firstOf(paxLink, gnuLink);
        out.name = name ? *name : plainName(t.name);
        out.link = link ? *link : plainName(t.linkName);
        out.badExtension = bad;
        out.headerPos = at;
        // Old archives mark a folder by a "/" at the end of a file's name alone.
        const bool file = t.type == 0 || t.type == '0' || t.type == '7';
        const std::string& n = out.name.bytes;
        // 'D' is a GNU folder record that also lists the folder's names (of no use here).
        if (t.type == '5' || t.type == 'D' || (file && t.size == 0 && !n.empty() && n.back() == '/'))
            out.kind = TarKind::Folder;
        else if (file)
            out.kind = TarKind::File;
        else if (t.type == '1')
            out.kind = TarKind::HardLink;
        else if (t.type == '2')
            out.kind = TarKind::SymLink;
        else if (t.type == 'V')
            out.kind = TarKind::Label;
        else
            out.kind = TarKind::Other;
        out.header = std::move(t);
        if (cut) {
            cursor_ = size;
            return Step::CutEntry;
        }
        return Step::Entry;
    }
    return Step::End;
}

}  // namespace kv
