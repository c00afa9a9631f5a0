#include "archive/unrar/un_rar.h"

#include "archive/base/crc.h"
#include "archive/base/names.h"
#include "archive/base/util.h"

namespace kv {

void TUnRAR::openArchive() {
    archive_.reset();
    if (!rar::libraryAvailable()) reportAndRaise(msg::UnrarNotFound, ArchiveFile());
    if (ArcType() != atRAR && ArcType() != atRarExe) reportAndRaise(msg::UnsupportedArcType, ArchiveFile());
    rar::OpenData d;
    d.arcName = ArchiveFile();
    // A volume the set announces but that is not where expected is asked for.
    const rar::VolumeProc volumes = [this](std::string& name, rar::VolumeEvent ev) {
        return ev == rar::VolumeEvent::Notify || requestVolume(name, "0");
    };
    archive_ = rar::openArchive(d, volumes);
    if (!archive_) {
        const int id = rar::messageId(d.openResult);
        reportAndRaise(id ? id : msg::OpenError, ArchiveFile());
    }
    if (!d.comment.empty()) ArchiveComment = presentText(d.comment, NameCodePage);
}

void TUnRAR::closeArchive() {
    if (archive_) {
        if (rar::closeArchive(std::move(archive_)) != rar::Success) report(msg::CloseError, ArchiveFile());
        if (OnDeactivate) OnDeactivate(*this);
    }
}

bool TUnRAR::nextEntry(TArcEntry& e, int& stopId) {
    if (!archive_) return false;
    rar::HeaderData h;
    const int code = rar::readHeader(*archive_, h);
    if (code != rar::Success) {
        stopId = code == rar::EndArchive ? 0 : rar::messageId(code);
        if (code != rar::EndArchive && !stopId) stopId = msg::BadFileHeader;
        return false;
    }
    current_ = h;
    e.name = presentName(h.fileName, NameCodePage, h.nameIsUtf8);
    e.rawNameSize = h.fileName.size();
    e.rawNameHasNul = h.fileName.find('\0') != std::string::npos;
    e.packed = h.packSize;
    e.size = h.unpSize;
    e.crc = h.fileCrc;
    e.dosDateTime = h.fileTime;
    if (h.unixTime >= 0) e.unixMtime = h.unixTime;
    e.method = uint16_t(h.method);
    e.encrypted = h.encrypted();
    bool dir = h.directory();
    if (h.hostOs == rar::kHostUnix) {
        const uint32_t type = h.fileAttr & 0170000;
        dir = dir || type == 0040000;
        // A link's target is its data; anything else is a plain file with its permission bits.
        e.unixMode = type == 0120000 ? int(0120777) : int(0100000 | (h.fileAttr & 0777));
    } else {
        e.extAttr = h.fileAttr & 0xFF;
        dir = dir || (h.fileAttr & 0x10);
    }
    e.isDir = dir;
    return true;
}

int TUnRAR::decodeEntry(TArcEntry& e, const std::string& outPath, const Emit& emit, bool& endJob) {
    if (e.encrypted) {
        // Neither library decrypts RAR: an encrypted entry ends the job with the password error.
        report(msg::PasswordProtected, outPath);
        endJob = true;
        return msg::PasswordProtected;
    }
    const int step = (int(ProgressNotify) + 1) * 5;
    int lastPercent = -1;
    uint32_t crc = 0;
    uint64_t written = 0;
    rar::setDataProc(*archive_, [&](const uint8_t* p, size_t n) {
        if (Cancel()) return false;
        crc = crc32Update(crc, std::span<const uint8_t>(p, n));
        written += n;
        const int percent = Percent(written, e.size);
        if (percent / step != lastPercent / step) {
            lastPercent = percent;
            reportProgress(written, e.size);
        }
        return emit(p, n);
    });
    const int code = rar::processFile(*archive_, rar::Operation::Test);
    rar::setDataProc(*archive_, {});
    if (Cancel()) return msg::UserAborted;
    const bool whole = written == e.size;
    if (!current_.crcKnown) {
        // The library checked the data against its own checksum: its verdict becomes the CRC
        // the frame compares with.
        e.crc = code == rar::Success ? crc : ~crc;
    }
    if (code == rar::Success) return 0;
    // Every byte arrived and only the check failed: the frame's CRC comparison says so.
    if (code == rar::BadData && whole) {
        if (current_.crcKnown && crc == current_.fileCrc) e.crc = ~crc;
        return 0;
    }
    const int id = rar::messageId(code);
    return id ? id : msg::BadFileHeader;
}

}  // namespace kv
