#include "archive/untar/un_tar.h"

#include <algorithm>

#include "archive/base/crc.h"
#include "archive/base/extract_target.h"
#include "archive/base/names.h"
#include "archive/base/util.h"

namespace kv {

void TUnTAR::openArchive() {
    if (ArcType() != atTAR) reportAndRaise(msg::UnsupportedArcType, ArchiveFile());
    if (!file_.open(ArchiveFile())) reportAndRaise(msg::OpenError, ArchiveFile());
    opened_ = true;
    walker_.emplace(file_, ArcStart - 1);
    sources_.clear();
}

void TUnTAR::closeArchive() {
    buf_ = {};
    walker_.reset();
    sources_ = {};
    if (opened_) {
        opened_ = false;
        file_.close();
        if (OnDeactivate) OnDeactivate(*this);
    }
}

namespace {

// A name that can be looked up as it stands: held whole, no NUL, not too long.
bool usableName(const TarLongName& n) {
    return !n.hasNul && n.fullSize <= kMaxNameBytes && n.bytes.size() == n.fullSize;
}

}  // namespace

bool TUnTAR::nextEntry(TArcEntry& e, int& stopId) {
    TarEntry t;
    while (true) {
        switch (walker_->next(t, [this] { return Cancel(); })) {
            case TarWalker::Step::End: return false;
            case TarWalker::Step::BadChecksum: stopId = msg::HeaderCrcError; return false;
            case TarWalker::Step::Damaged: stopId = msg::BadFileHeader; return false;
            case TarWalker::Step::Truncated:
            case TarWalker::Step::CutEntry: stopId = msg::ReadError; return false;
            case TarWalker::Step::Entry: break;
        }
        // Devices and fifos have no data to test or search; written out, they are named as
        // not extracted.
        if (t.kind != TarKind::Other || Sink.selector == TOutputSink::ToFile) break;
    }
    const TarHeader& h = t.header;
    const bool bad = t.badExtension;
    // Its name, link or size record was damaged; or it is no file, folder or link (a device,
    // a fifo, a type this reader does not know), which is never made.
    refusal_ = bad ? msg::BadFileHeader : t.kind == TarKind::Other ? msg::UnknownFileType : 0;
    fromInline_ = false;
    inlineData_.clear();
    dataPos_ = h.dataPos;
    dataSize_ = h.size;
    bool symlink = t.kind == TarKind::SymLink;
    bool linksToFile = false;
    if (t.kind == TarKind::SymLink) {
        fromInline_ = true;
        if (!usableName(t.link) && !refusal_) refusal_ = msg::InvalidFileName;
        inlineData_ = t.link.bytes;
    } else if (t.kind == TarKind::HardLink && !refusal_) {
        // Only a name this archive stored before the link counts; one that could lead out of
        // the target is never looked up.
        const bool lookable = usableName(t.link) && !refusedEntryName(t.link.bytes);
        const auto found = lookable ? sources_.find(t.link.bytes) : sources_.end();
        if (!lookable) {
            refusal_ = msg::InvalidFileName;
        } else if (found == sources_.end()) {
            refusal_ = msg::FileNotFound;
        } else {
            const LinkSource src = found->second;  // the map may change below
            symlink = src.symlink;
            linksToFile = !src.symlink;
            fromInline_ = src.symlink;
            inlineData_ = src.target;
            dataPos_ = src.dataPos;
            dataSize_ = src.size;
        }
    }
    if (fromInline_) dataSize_ = inlineData_.size();

    // What a later hard link to this name will stand for.
    if (!bad && usableName(t.name)) {
        if (t.kind == TarKind::File)
            sources_[t.name.bytes] = {false, h.dataPos, h.size, {}};
        else if (symlink && !refusal_)
            sources_[t.name.bytes] = {true, 0, 0, inlineData_};
        else if (t.kind == TarKind::HardLink && !refusal_)
            sources_[t.name.bytes] = {false, dataPos_, dataSize_, {}};
        else
            sources_.erase(t.name.bytes);
    }

    const bool dir = t.kind == TarKind::Folder;
    e = TArcEntry{};
    e.name = presentName(t.name.bytes, NameCodePage);
    e.rawNameSize = std::size_t(std::min<std::uint64_t>(t.name.fullSize, SIZE_MAX));
    e.rawNameHasNul = t.name.hasNul;
    e.packed = e.size = dataSize_;
    // A folder whose records were damaged fails like a file, rather than being made under
    // a name it may not have.
    e.isDir = dir && !bad;
    if (dir && bad)
        while (!e.name.empty() && e.name.back() == '/') e.name.pop_back();
    const unsigned kind = e.isDir ? 040000u : symlink ? 0120000u : 0100000u;
    e.unixMode = int(kind | (symlink ? 0777u : h.mode & 0777));
    e.unixMtime = h.mtime ? std::int64_t(h.mtime) : -1;
    e.method = std::uint16_t(std::uint8_t(h.type));
    // Not listed, so none of its bytes count among those a job may write.
    if (t.kind == TarKind::Other) e.ownBytes = 0;
    // A label names the archive: the frame leaves it out, and says so.
    if (t.kind == TarKind::Label) {
        e.isVolumeLabel = true;
        e.packed = e.size = 0;
    }
    // The frame makes it a second name of the file it wrote for that entry, if it did; the
    // link's own record carries none of that entry's bytes.
    if (linksToFile) {
        e.hardLinkOf = presentName(t.link.bytes, NameCodePage);
        e.hardLinkData = dataPos_;
        e.ownBytes = 0;
    }
    return true;
}

bool TUnTAR::readData(const std::function<bool(const std::uint8_t*, std::size_t)>& take) {
    if (fromInline_)
        return take(reinterpret_cast<const std::uint8_t*>(inlineData_.data()), inlineData_.size());
    buf_.resize(64 * 1024);
    for (std::uint64_t done = 0; done < dataSize_;) {
        if (Cancel()) return false;
        const std::size_t n = std::size_t(std::min<std::uint64_t>(buf_.size(), dataSize_ - done));
        if (!file_.readExact(dataPos_ + done, std::span<std::uint8_t>(buf_.data(), n))) return false;
        if (!take(buf_.data(), n)) return false;
        done += n;
        reportProgress(done, dataSize_);
    }
    return true;
}

int TUnTAR::locateEntry(TArcEntry& e) {
    if (refusal_) return refusal_;
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
