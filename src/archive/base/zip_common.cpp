#include "archive/base/zip_common.h"

#include <unistd.h>

#include <filesystem>

#include "archive/base/detect.h"
#include "archive/base/util.h"

namespace kv {

void TZipCommon::setArchiveFile(const std::string& name) {
    TotalPacked = TotalUnpacked = 0;
    if (name.empty()) {
        archiveFile_.clear();
        arcType_ = atNA;
        return;
    }
    ArcStart = 1;
    Count = 0;
    archiveFile_ = name;
    setArcType(atNA);
}

void TZipCommon::setArcType(TArcType) { detect(); }

void TZipCommon::detect() {
    DetectResult r = detectArchive(archiveFile_, zipCmntBufSize_);
    arcType_ = r.type;
    ArcStart = r.arcStart;
    SfxOffset = r.sfxOffset;
    ArchiveSize = r.size;
    if (isRealArchive(r.type)) ArchiveDate = r.date;
    if (r.closeFailed) reportAndRaise(msg::CloseError, archiveFile_);
}

void TZipCommon::report(int id, const std::string& path, const std::string& extra,
                        const std::string& volumeId) {
    if (LastError == 0) {
        LastError = id;
        LastErrorExtra = extra;
    }
    if (Cancel() || !OnError) return;
    OnError(*this, std::string(fileNamePart(path)), extra, volumeId, id);
}

void TZipCommon::reportAndRaise(int id, const std::string& path, const std::string& extra,
                                const std::string& volumeId) {
    report(id, path, extra, volumeId);
    throw E_RAISE(id, extra);
}

std::string TZipCommon::composeOutputName(const std::string& storedName, const std::string& extractDir,
                                          bool useStoredDirs) const {
    if (storedName.empty()) return {};
    std::string name = storedName;
    for (char& c : name)
        if (c == '\\') c = '/';
    std::string dir = extractDir;
    if (dir.empty()) dir = std::string(folderPart(archiveFile_));
    if (dir.empty()) {
        std::error_code ec;
        dir = std::filesystem::current_path(ec).string();
    }
    if (!dir.empty() && dir.back() != '/') dir += '/';

    // A drive prefix ("C:/" or "C:") and leading slashes never make a name absolute here.
    if (name.size() >= 3 && name[1] == ':' && name[2] == '/')
        name.erase(0, 3);
    else if (name.size() >= 2 && name[1] == ':')
        name.erase(0, 2);
    while (!name.empty() && name[0] == '/') name.erase(0, 1);

    std::string folder(folderPart(name));
    std::string file(fileNamePart(name));
    if (file.empty() || file == "." || file == "..") return {};
    if (!useStoredDirs) return dir + file;
    // Any ".." step could leave the target folder: such names are refused whole.
    size_t start = 0;
    while (start < folder.size()) {
        size_t end = folder.find('/', start);
        if (folder.compare(start, end - start, "..") == 0) return {};
        start = end + 1;
    }
    return dir + folder + file;
}

bool TZipCommon::requestVolume(std::string& fullName, const std::string& volumeId) {
    if (!OnNextVolume) {
        if (fileExists(fullName)) return true;
        report(msg::FileNotFound, fullName);
        return false;
    }
    std::string dir(folderPart(fullName));
    std::string fn(fileNamePart(fullName));
    if (dir.empty()) {
        std::error_code ec;
        dir = std::filesystem::current_path(ec).string() + "/";
    }
    for (int guard = 0; guard < 1000; ++guard) {
        if (fileExists(dir + fn)) {
            fullName = dir + fn;
            return true;
        }
        std::string prevDir = dir;
        bool cancel = false;
        OnNextVolume(*this, dir, fn, volumeId, cancel);
        if (cancel) {
            // The user's choice, not a fault: nothing is reported, but the job is known incomplete.
            if (LastError == 0) LastError = msg::UserAborted;
            return false;
        }
        if (!folderPart(fn).empty()) {
            dir = std::string(folderPart(fn));
            fn = std::string(fileNamePart(fn));
        }
        if (dir.empty()) dir = prevDir;
        if (dir.empty()) dir = std::string(folderPart(archiveFile_));
        if (dir.empty()) {
            std::error_code ec;
            dir = std::filesystem::current_path(ec).string();
        }
        if (dir.back() != '/') dir += '/';
    }
    return false;
}

void TZipCommon::reportProgress(uint64_t done, uint64_t total) {
    if (OnProgress) OnProgress(*this, FileName, static_cast<uint8_t>(Percent(done, total)));
    processMessages();
}

void TZipCommon::computeRatio() { Ratio = kv::Ratio(PackedSize, UnpackedSize); }

}  // namespace kv
