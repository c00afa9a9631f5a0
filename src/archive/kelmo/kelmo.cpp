#include "archive/kelmo/kelmo.h"

#include "archive/base/util.h"
#include "archive/kelmo/block_reader.h"

namespace kv {

void TKelmo::clearEntry() {
    FileName.clear();
    FileComment.clear();
    PackedSize = UnpackedSize = 0;
    FileCRC = 0;
    Encrypted = false;
    IsDirectory = false;
    DeflateOption = 0;
}

void TKelmo::fireEntry(int64_t offset, bool nameOnly) {
    if (OnReadFile && !FileName.empty()) OnReadFile(*this, FileName);
    bool matches = wildcardMatch(FileSpec(), FileName, nameOnly);
    if (!matches && !(IsDirectory && ShowBlankDirs)) return;
    ++Count;
    TotalPacked += PackedSize;
    TotalUnpacked += UnpackedSize;
    computeRatio();
    if (OnReadBegin) OnReadBegin(*this);
    if (OnRead) OnRead(*this, offset, Count);
    if (OnReadEnd) OnReadEnd(*this);
}

void TKelmo::listEntry(int64_t offset, bool nameOnly) {
    if (FileName.size() > kMaxNameBytes) reportAndRaise(msg::InvalidFileName, ArchiveFile());
    fireEntry(offset, nameOnly);
}

bool TKelmo::openNextVolume(std::string& name, const std::string& volumeId, int loopId) {
    if (!requestVolume(name, volumeId)) return false;
    ArcFile next;
    if (!next.open(name)) {
        report(msg::ReadError, name);
        return false;
    }
    const std::pair<uint64_t, uint64_t> id{next.device(), next.inode()};
    for (const auto& seen : filesRead_) {
        if (seen == id) {
            report(loopId, name);
            return false;
        }
    }
    filesRead_.push_back(id);
    file_ = std::move(next);
    if (reader_) reader_->invalidate();
    return true;
}

bool TKelmo::Activate() {
    setCancel(false);
    clearErrors();
    if (ArchiveFile().empty()) return true;
    Count = 0;
    TotalPacked = TotalUnpacked = 0;
    bool opened = false;
    try {
        if (!OnRead) reportAndRaise(msg::EventNotAssigned, ArchiveFile(), "OnRead");
        if (ArcType() == atNA || ArcType() == atUnknown || ArcType() == atUnsupported)
            reportAndRaise(msg::UnknownFileType, ArchiveFile());
        if (ArcType() == atFileOpenErr) reportAndRaise(msg::HeaderIdError, ArchiveFile());
        if ((ArcType() == atARJ || ArcType() == atArjExe || ArcType() == atCAB) &&
            !fileExists(ArchiveFile())) {
            std::string name = ArchiveFile();
            if (!requestVolume(name, "1")) {
                if (OnDeactivate) OnDeactivate(*this);
                return false;
            }
            archiveFile_ = name;
        }
        if (!file_.open(ArchiveFile())) reportAndRaise(msg::ReadError, ArchiveFile());
        opened = true;
        filesRead_.assign(1, {file_.device(), file_.inode()});
        ArchiveSize = file_.size();
        if (OnActivate) OnActivate(*this);
        ArchiveComment.clear();
        if (OnElaspedTime) startStopwatch();
        BlockReader reader(file_);
        reader_ = &reader;
        VolumeName.clear();
        switch (ArcType()) {
            case atZIP:
            case atZipExe:
            case atZip250:
            case atZip250Exe: listZip(); break;
            case atARJ:
            case atArjExe: listArj(); break;
            case atLHA:
            case atLhaExe:
            case atLZH:
            case atLzhExe: listLha(); break;
            case atRAR:
            case atRarExe: listRar(); break;
            case atARC:
            case atArcExe: listArc(false); break;
            case atPAK:
            case atPakExe: listArc(true); break;
            case atZOO: listZoo(); break;
            case atHA: listHa(); break;
            case atBH:
            case atBHExe: listBh(); break;
            case atCAB: listCab(); break;
            case atGZip: listGzip(); break;
            case atTAR: listTar(); break;
            case atUUE: listUue(); break;
            default: reportAndRaise(msg::UnknownFileType, ArchiveFile());
        }
        reader_ = nullptr;
    } catch (const E_RAISE&) {
        reader_ = nullptr;
    }
    if (Cancel() && LastError == 0) LastError = msg::UserAborted;
    OverallRatio = kv::Ratio(TotalPacked, TotalUnpacked);
    if (OnTotals) OnTotals(*this, Count);
    if (opened) {
        if (OnDeactivate) OnDeactivate(*this);
        if (!file_.close()) report(msg::CloseError, ArchiveFile());
    }
    if (OnElaspedTime) OnElaspedTime(*this, elapsedSeconds());
    return LastError == 0;
}

}  // namespace kv
