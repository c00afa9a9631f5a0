#pragma once
// Shared base of the readers, extractors and the writer: the archive file and its detected
// type, the current entry's fields, the events and error reporting.
#include <cstdint>
#include <functional>
#include <string>

#include "archive/base/arc_types.h"
#include "archive/base/arc_file.h"
#include "archive/base/awk_main.h"
#include "archive/base/date_time.h"
#include "archive/base/messages.h"

namespace kv {

class TZipCommon;

using TNotifyEvent = std::function<void(TZipCommon& Sender)>;
using TErrorEvent = std::function<void(TZipCommon& Sender, const std::string& FN, const std::string& MsgEx,
                                       const std::string& VolumeID, int ECode)>;
using TElapsedEvent = std::function<void(TZipCommon& Sender, double ElaspedTime)>;
using TProgressEvent = std::function<void(TZipCommon& Sender, const std::string& FN, uint8_t Progress)>;
using TBeginEvent = std::function<void(TZipCommon& Sender, const std::string& FN, int RecNum, bool& Extract)>;
using TEndEvent = std::function<void(TZipCommon& Sender, const std::string& FN, bool CRC_PASS)>;
using TFileExistsEvent =
    std::function<void(TZipCommon& Sender, const std::string& FN, const TDateTime& FileDate, bool& Accept)>;
using TGetPasswordEvent =
    std::function<void(TZipCommon& Sender, const std::string& FN, std::string& Password, bool& TryAgain)>;
using TNextVolumeEvent = std::function<void(TZipCommon& Sender, std::string& Dir, std::string& FN,
                                            const std::string& VolumeID, bool& Cancel)>;
using TReadEvent = std::function<void(TZipCommon& Sender, int64_t Offset, int Filenum)>;

class TZipCommon : public TAwkMain {
public:
    TZipCommon() = default;
    ~TZipCommon() override = default;

    // --- Properties -------------------------------------------------------------------------
    const std::string& ArchiveFile() const { return archiveFile_; }
    // Clears the totals and runs type detection; an empty name gives atNA.
    virtual void setArchiveFile(const std::string& name);
    TArcType ArcType() const { return arcType_; }
    // Any assignment re-runs detection on ArchiveFile (the value itself is not kept).
    virtual void setArcType(TArcType t);

    const std::string& FileSpec() const { return fileSpec_; }
    void setFileSpec(const std::string& spec) { fileSpec_ = spec.empty() ? "*.*" : spec; }
    int ZipCmntBufSize() const { return zipCmntBufSize_; }
    void setZipCmntBufSize(int n) { zipCmntBufSize_ = n > 32767 ? 32767 : n < 2000 ? 2000 : n; }
    // How names without a UTF-8 mark are decoded (CP866 when the language is not English).
    TNameCodePage NameCodePage = TNameCodePage::cp437;

    // --- Archive state (set by detection and the jobs) --------------------------------------
    uint64_t ArchiveSize = 0;
    uint64_t ArcStart = 1;   // 1-based offset of the first archive byte
    uint64_t SfxOffset = 0;  // offset of an embedded ZIP named by an executable's resources
    TDateTime ArchiveDate{};
    std::string ArchiveComment;
    int Count = 0;
    int RecNum = 0;
    uint64_t TotalPacked = 0, TotalUnpacked = 0;

    // --- The current entry --------------------------------------------------------------------
    std::string FileName;  // UTF-8, "/" as separator
    TDateTime FileDate{};
    uint64_t PackedSize = 0, UnpackedSize = 0;
    int Ratio = 0;
    uint32_t FileCRC = 0;  // CRC-16 formats fill the low half
    bool Encrypted = false;
    uint16_t MethodNo = 0;
    std::string MethodName;
    uint8_t VersionMadeBy = 0, VersionNeeded = 0;
    uint16_t InternalAttr = 0;
    uint32_t ExternalAttr = 0;
    uint8_t DeflateOption = 0;
    std::string FileComment;
    std::string VolumeName;
    bool IsDirectory = false;

    // --- Events -------------------------------------------------------------------------------
    TNotifyEvent OnActivate, OnDeactivate;
    TErrorEvent OnError;
    TElapsedEvent OnElaspedTime;
    TProgressEvent OnProgress;
    TBeginEvent OnBegin;
    TEndEvent OnEnd;
    TFileExistsEvent OnFileExists;
    TGetPasswordEvent OnGetPassword;
    TNextVolumeEvent OnNextVolume;
    TReadEvent OnRead;

    // --- Error reporting ----------------------------------------------------------------------
    // The first id reported since the last clearErrors (0: none) and its extra text; set even
    // when no OnError handler is assigned, so a caller can tell a broken job from a good one.
    int LastError = 0;
    std::string LastErrorExtra;
    void clearErrors() {
        LastError = 0;
        LastErrorExtra.clear();
    }
    // Calls OnError (unless Cancel is set) with the file-name part of path and goes on.
    void report(int id, const std::string& path, const std::string& extra = {},
                const std::string& volumeId = "0");
    // report, then throw E_RAISE with the table text.
    [[noreturn]] void reportAndRaise(int id, const std::string& path, const std::string& extra = {},
                                     const std::string& volumeId = "0");

    // --- Helpers shared by the jobs ------------------------------------------------------------
    // Where an entry goes: extractDir + (with useStoredDirs) the stored folder + the file name.
    // Drive prefixes and leading slashes are dropped; a name that would leave extractDir
    // ("..", or nothing left) gives an empty answer, which callers refuse.
    virtual std::string composeOutputName(const std::string& storedName, const std::string& extractDir,
                                          bool useStoredDirs) const;
    virtual TDateTime convertDate(uint32_t dos) const { return dosDateTimeToDateTime(dos); }
    // Finds a volume that is not where expected: asks OnNextVolume until the file exists or the
    // user cancels (LastError becomes 25300, unreported). fullName is the wanted name on entry
    // and the found one on success.
    bool requestVolume(std::string& fullName, const std::string& volumeId);
    // Progress through OnProgress with the current FileName, then pending input runs.
    void reportProgress(uint64_t done, uint64_t total);
    // Ratio of the current entry's sizes.
    void computeRatio();

protected:
    // Runs the detector on ArchiveFile and stores ArcType, ArcStart, SfxOffset, ArchiveSize
    // and ArchiveDate.
    void detect();

    std::string archiveFile_;
    TArcType arcType_ = atNA;
    std::string fileSpec_ = "*.*";
    int zipCmntBufSize_ = 2000;
};

}  // namespace kv
