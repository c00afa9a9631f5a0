#include "archive/untar/un_tar.h"

#include <algorithm>

#include "archive/base/crc.h"
#include "archive/base/names.h"

namespace kv {

void TUnTAR::openArchive() {
    if (ArcType() != atTAR) reportAndRaise(msg::UnsupportedArcType, ArchiveFile());
    if (!file_.open(ArchiveFile())) reportAndRaise(msg::OpenError, ArchiveFile());
    opened_ = true;
    cursor_ = ArcStart - 1;
    pending_ = {};
}

void TUnTAR::closeArchive() {
    buf_ = {};
    if (opened_) {
        opened_ = false;
        file_.close();
        if (OnDeactivate) OnDeactivate(*this);
    }
}

bool TUnTAR::nextEntry(TArcEntry& e, int& stopId) {
    std::uint8_t h[512];
    while (!Cancel()) {
        if (cursor_ + 512 > file_.size() || !file_.readExact(cursor_, h)) {
            if (cursor_ < file_.size()) stopId = msg::ReadError;  // a partial header
            return false;
        }
        TarHeader t;
        switch (parseTarHeader(h, cursor_, file_.size(), t, pending_.size)) {
            case TarStep::End: return false;
            case TarStep::BadChecksum: stopId = msg::HeaderCrcError; return false;
            case TarStep::Truncated: stopId = msg::ReadError; return false;
            case TarStep::Entry: break;
        }
        cursor_ = t.next;
        // Extension records describe the next header only (a global pax header is not
        // followed); one that cannot be read spoils that entry, not the walk.
        if (t.type == 'L') {
            TarLongName n;
            if (readGnuLongName(file_, t.dataPos, t.size, n))
                pending_.gnuName = std::move(n);
            else
                pending_.bad = true;
            continue;
        }
        if (t.type == 'x') {
            PaxFields pax;
            if (!readPaxFields(file_, t.dataPos, t.size, pax)) {
                pending_.bad = true;
            } else {
                if (pax.path) pending_.paxPath = std::move(pax.path);
                if (pax.size) pending_.size = pax.size;
            }
            continue;
        }
        if (isTarExtension(t.type)) continue;
        Pending extra = std::move(pending_);
        pending_ = {};
        // A pax path outranks a GNU long name; either outranks the header's own name.
        const TarLongName* longName = extra.paxPath                                    ? &*extra.paxPath
                                      : extra.gnuName && !extra.gnuName->bytes.empty() ? &*extra.gnuName
                                                                                       : nullptr;
        // Files, hard links (which the listing shows too) and folders; links to elsewhere,
        // devices and the extension records are not entries of their own here. Old archives
        // mark a folder by a "/" at the end of a file's name alone.
        const std::string& name = longName ? longName->bytes : t.name;
        const bool file = t.type == 0 || t.type == '0' || t.type == '7';
        const bool dir = t.type == '5' || (file && t.size == 0 && !name.empty() && name.back() == '/');
        if (!file && t.type != '1' && !dir) continue;
        current_ = t;
        badExtension_ = extra.bad;
        e = TArcEntry{};
        e.name = presentName(name, NameCodePage);
        e.rawNameSize =
            longName ? std::size_t(std::min<std::uint64_t>(longName->fullSize, SIZE_MAX)) : name.size();
        e.rawNameHasNul = longName && longName->hasNul;
        e.packed = e.size = t.size;
        // A folder whose records were damaged fails like a file, rather than being made under
        // a name it may not have.
        e.isDir = dir && !extra.bad;
        if (dir && extra.bad)
            while (!e.name.empty() && e.name.back() == '/') e.name.pop_back();
        e.unixMode = int((e.isDir ? 040000u : 0100000u) | (t.mode & 0777));
        e.unixMtime = t.mtime ? std::int64_t(t.mtime) : -1;
        e.method = std::uint16_t(std::uint8_t(t.type));
        return true;
    }
    return false;
}

bool TUnTAR::readData(const std::function<bool(const std::uint8_t*, std::size_t)>& take) {
    buf_.resize(64 * 1024);
    for (std::uint64_t done = 0; done < current_.size;) {
        if (Cancel()) return false;
        const std::size_t n = std::size_t(std::min<std::uint64_t>(buf_.size(), current_.size - done));
        if (!file_.readExact(current_.dataPos + done, std::span<std::uint8_t>(buf_.data(), n))) return false;
        if (!take(buf_.data(), n)) return false;
        done += n;
        reportProgress(done, current_.size);
    }
    return true;
}

int TUnTAR::locateEntry(TArcEntry& e) {
    if (badExtension_) return msg::BadFileHeader;             // its name or size record was damaged
    if (current_.type == '1') return msg::UnsupportedMethod;  // a hard link names another entry
    std::uint32_t crc = 0;
    if (!readData([&crc](const std::uint8_t* p, std::size_t n) {
            crc = crc32Update(crc, std::span<const std::uint8_t>(p, n));
            return true;
        }))
        return Cancel() ? msg::UserAborted : msg::ReadError;
    e.crc = crc;
    return 0;
}

int TUnTAR::decodeEntry(TArcEntry&, const std::string&, const Emit& emit, bool&) {
    if (readData(emit)) return 0;
    return Cancel() ? msg::UserAborted : msg::ReadError;
}

}  // namespace kv
