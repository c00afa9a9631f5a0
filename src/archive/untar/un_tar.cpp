#include "archive/untar/un_tar.h"

#include "archive/base/crc.h"
#include "archive/base/names.h"

namespace kv {

void TUnTAR::openArchive() {
    if (ArcType() != atTAR) reportAndRaise(msg::UnsupportedArcType, ArchiveFile());
    if (!file_.open(ArchiveFile())) reportAndRaise(msg::OpenError, ArchiveFile());
    opened_ = true;
    cursor_ = ArcStart - 1;
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
        switch (parseTarHeader(h, cursor_, file_.size(), t)) {
            case TarStep::End: return false;
            case TarStep::BadChecksum: stopId = msg::HeaderCrcError; return false;
            case TarStep::Truncated: stopId = msg::ReadError; return false;
            case TarStep::Entry: break;
        }
        cursor_ = t.next;
        // Files, hard links (which the listing shows too) and folders; links to elsewhere,
        // devices and the extension records are not entries of their own here.
        const bool file = t.type == 0 || t.type == '0' || t.type == '7';
        if (!file && t.type != '1' && t.type != '5') continue;
        current_ = t;
        e = TArcEntry{};
        e.name = presentName(t.name, NameCodePage);
        e.rawNameSize = t.name.size();
        e.packed = e.size = t.size;
        e.isDir = t.type == '5';
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
