#pragma once
// TKelmo: lists an archive's entries without extracting anything.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "archive/base/zip_common.h"

namespace kv {

class BlockReader;

class TKelmo : public TZipCommon {
public:
    bool ShowBlankDirs = false;
    TNotifyEvent OnReadBegin, OnReadEnd;
    std::function<void(TZipCommon& Sender, const std::string& Filename)> OnReadFile;
    std::function<void(TZipCommon& Sender, int NumFiles)> OnTotals;

    int OverallRatio = 0;
    // The listing job. True when the whole directory was read without an error.
    bool Activate();

private:
    // Per-format listings; each fires entries and returns at the end of the directory.
    void listZip();
    void listArj();
    void listLha();
    void listRar();
    void listRar5(uint64_t start);
    void listArc(bool pak);
    void listZoo();
    void listHa();
    void listBh();
    void listCab();
    void listGzip();
    void listTar();
    void listUue();

    // OnReadFile, the FileSpec match, totals and the OnRead events for the current entry.
    // nameOnly=false matches the whole path (TAR with ShowBlankDirs).
    void fireEntry(int64_t offset, bool nameOnly = true);
    // fireEntry after refusing a FileName longer than kMaxNameBytes: such a name ends the
    // listing with InvalidFileName (raised), so names built from nested records stay bounded.
    void listEntry(int64_t offset, bool nameOnly = true);
    void clearEntry();
    // The next volume (or cabinet) of a set: asked for through requestVolume, opened and put
    // in place of file_. A file already read in this listing is refused with loopId, so a set
    // that names itself or an earlier part ends. False when the listing cannot go on (the
    // reason was reported, or the user cancelled).
    bool openNextVolume(std::string& name, const std::string& volumeId, int loopId);

    ArcFile file_;
    BlockReader* reader_ = nullptr;
    // (device, inode) of every file of the set read so far.
    std::vector<std::pair<uint64_t, uint64_t>> filesRead_;
};

// MethodName of a format's method code.
std::string zipMethodName(uint16_t method, uint16_t flags);

}  // namespace kv
