#include "archive/unarj/un_arj.h"

#include "archive/base/crc.h"
#include "archive/base/entry_input.h"
#include "archive/base/names.h"
#include "archive/base/util.h"
#include "archive/codec/arj_decode.h"
#include "archive/codec/output_window.h"

namespace kv {

void TUnARJ::openArchive() {
    cursor_ = 0;
    setBroken_ = 0;
    volumeCounter_ = 0;
    pendingContinuation_ = false;
    volumesSeen_.clear();
    if (!fileExists(ArchiveFile())) {
        // The first volume is not where it was named: asked for like any other volume.
        std::string name = ArchiveFile();
        if (!requestVolume(name, "1")) throw E_RAISE(msg::UserAborted);
        setArchiveFile(name);
    }
    if (ArcType() != atARJ && ArcType() != atArjExe) reportAndRaise(msg::UnsupportedArcType, ArchiveFile());
    if (!file_.open(ArchiveFile())) reportAndRaise(msg::OpenError, ArchiveFile());
    opened_ = true;
    volumesSeen_.push_back({file_.device(), file_.inode()});
    volumePath_ = ArchiveFile();
    reader_ = std::make_unique<BlockReader>(file_);
    ArjHeader main;
    if (!findArjMainHeader(*reader_, ArcStart - 1, ArcType() == atArjExe, main))
        reportAndRaise(msg::UnsupportedArcType, ArchiveFile());
    cursor_ = main.dataPos;
}

void TUnARJ::closeArchive() {
    window_ = {};
    reader_.reset();
    if (opened_) {
        opened_ = false;
        file_.close();
        if (OnDeactivate) OnDeactivate(*this);
    }
}

bool TUnARJ::nextEntry(TArcEntry& e, int& stopId) {
    if (setBroken_) {
        stopId = setBroken_ == msg::UserAborted ? 0 : setBroken_;
        return false;
    }
    if (pendingContinuation_) {
        if ((stopId = skipContinuation())) {
            if (stopId == msg::UserAborted) stopId = 0;  // the user gave up the set: no damage
            return false;
        }
    }
    for (;;) {
        ArjHeader h;
        int bad = 0;
        if (!readArjHeader(*reader_, cursor_, h, bad)) {
            stopId = bad;  // 0 at the end marker
            return false;
        }
        // Past the end of the file when the data is cut short: the next read reports it.
        arjDataEnd(h, cursor_);
        if (h.fileType == kArjLabel) continue;  // a volume label is no entry
        current_ = h;
        pendingContinuation_ = h.continues();
        e.name = presentName(h.name, NameCodePage);
        e.rawNameSize = h.name.size();
        e.packed = h.packed;
        e.size = h.size;
        e.crc = h.crc;
        if (h.unixTime())
            e.unixMtime = h.stamp;
        else
            e.dosDateTime = h.stamp;
        if (h.hostOs == kArjHostUnix) {
            // Only the permission bits: whatever else the mode says, the entry is a plain file.
            e.unixMode = 0100000 | (h.accessMode & 0777);
        } else {
            e.extAttr = h.accessMode & 0xFF;
        }
        e.method = h.method;
        e.encrypted = h.garbled();
        e.isDir = h.fileType == kArjFolder;
        return true;
    }
}

int TUnARJ::decodeEntry(TArcEntry& e, const std::string& outPath, const Emit& emit, bool& endJob) {
    ArjHeader part = current_;
    if (part.minVersion >= 4) return msg::VersionError;
    if (part.garbled()) {
        // Garbled entries are not decoded: the job ends here.
        report(msg::PasswordProtected, outPath);
        endJob = true;
        return msg::PasswordProtected;
    }
    if (part.method > 4 || (part.method == 4 && part.version == 1)) return msg::UnsupportedMethod;
    if (part.fileType != kArjBinary && part.fileType != kArjText) return msg::UnknownFileType;
    if (!part.continues()) return decodePart(part, emit);

    // A file split over volumes: every part carries the CRC-32 of its own bytes. Each is
    // checked here; the frame checks the whole against the CRC of all of them.
    uint32_t whole = 0;
    bool partsGood = true;
    for (;;) {
        uint32_t partCrc = 0;
        const Emit partEmit = [&](const uint8_t* p, size_t n) {
            partCrc = crc32Update(partCrc, std::span<const uint8_t>(p, n));
            whole = crc32Update(whole, std::span<const uint8_t>(p, n));
            return emit(p, n);
        };
        if (int id = decodePart(part, partEmit)) return id;
        if (partCrc != part.crc) partsGood = false;
        if (!part.continues()) break;
        if (part.method != current_.method || part.minVersion >= 4 || part.garbled())
            return msg::BadFileHeader;
        if (int id = openNextVolume(part)) {
            // The entries after this file are in volumes that cannot be reached.
            pendingContinuation_ = false;
            setBroken_ = id;
            return id;
        }
        if (!checkedAdd(e.size, part.size, e.size)) return msg::BadFileHeader;
        arjDataEnd(part, cursor_);
    }
    pendingContinuation_ = false;
    e.crc = partsGood ? whole : ~whole;
    return 0;
}

int TUnARJ::decodePart(const ArjHeader& h, const Emit& emit) {
    if (!rangeInside(h.dataPos, h.packed, file_.size())) return msg::ReadError;
    codec::InputSource in = entryInput(*this, file_, h.dataPos, h.packed, (int(ProgressNotify) + 1) * 5);
    codec::OutputWindow out(emit, h.size, window_, codec::kArjHistory);
    return decodeResultId(codec::arjDecode(in, out, h.method), Cancel());
}

int TUnARJ::openNextVolume(ArjHeader& part) {
    std::string next = nextArjVolumeName(volumePath_, volumeCounter_);
    if (next.empty()) return msg::MaxVolumes;
    if (!requestVolume(next, std::to_string(volumeCounter_ + 1))) return msg::UserAborted;
    ArcFile f;
    if (!f.open(next)) return msg::OpenError;
    for (const auto& seen : volumesSeen_)
        if (seen.first == f.device() && seen.second == f.inode()) return msg::InvalidFileName;
    volumesSeen_.push_back({f.device(), f.inode()});
    file_ = std::move(f);
    reader_->invalidate();
    volumePath_ = next;
    VolumeName = std::string(fileNamePart(volumePath_));
    ArjHeader main;
    int bad = 0;
    if (!readArjHeader(*reader_, 0, main, bad) || main.fileType != kArjMainHeader ||
        !readArjHeader(*reader_, main.dataPos, part, bad))
        return msg::BadFileHeader;
    return 0;
}

int TUnARJ::skipContinuation() {
    pendingContinuation_ = false;
    ArjHeader part = current_;
    while (part.continues()) {
        if (int id = openNextVolume(part)) return id;
        arjDataEnd(part, cursor_);
    }
    return 0;
}

}  // namespace kv
