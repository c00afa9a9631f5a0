#pragma once
// TZip: creates and updates ZIP archives. Adds files found by masks (optionally through
// subfolders), moves them, deletes entries or lists the archive. New data is stored or
// deflated with our own deflate, optionally with the traditional PKWARE encryption. The new
// archive is built in a temporary file beside the old one and renamed over it in one step,
// so every failure before that leaves the old archive as it was.
// What goes in: never the archive itself or its temporary (told apart by device and inode,
// whatever path leads there), and no file past the size it had when opened (a file that
// changed while read is reported). Under which names: the path below the folder a source
// was named in ("docs" gives "docs/a.txt"; ".", ".." and "x/.." give what they hold by its
// path below them), always a plain relative path; a name an extractor would refuse or read
// as another path (a backslash, a drive prefix) is refused with InvalidFileName.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/base/comp_base.h"

namespace kv {

class TZip;

using TNonWriteableArchiveEvent =
    std::function<void(TZip& Sender, const std::string& ArchiveFile, bool& WriteToFile)>;
using TRecurseDirEvent = std::function<void(TZip& Sender, const std::string& Directory)>;
using TReplaceFileEvent = std::function<void(
    TZip& Sender, const std::string& FN, const TDateTime& OldDate, const TDateTime& NewDate,
    uint64_t OldFileSize, uint64_t NewFileSize, uint32_t OldAttr, uint32_t NewAttr, bool& Replace)>;

class TZip : public TCompBase {
public:
    TZip();
    ~TZip() override;

    // Runs the job set by Switch; true when a new archive was put in place (or, for swRead,
    // when the archive was listed; for a delete that removed every entry, when the archive
    // file was removed).
    bool Activate();

    // A name without an extension gets "." + DefaultExt (in lower case). No detection runs:
    // the type is always atZIP.
    void setArchiveFile(const std::string& name) override;
    void setArcType(TArcType) override { arcType_ = atZIP; }

    const std::string& DefaultDir() const { return defaultDir_; }
    // Trimmed; empty or missing means the current directory.
    void setDefaultDir(const std::string& dir);
    const std::string& DefaultExt() const { return defaultExt_; }
    // The part after the first dot, at most 3 characters; empty becomes "ZIP".
    void setDefaultExt(const std::string& ext);

    TDeflateType DeflateType() const { return deflateType_; }
    // dtDeflateF level 2, dtDeflateN 7, dtDeflateX 9; dtDeflateS keeps the level.
    void setDeflateType(TDeflateType t);
    int Level() const { return level_; }
    // Any level 1..9 directly (the command line's -1..-9).
    void setLevel(int level);
    TCompressMethod CompressMethod() const { return method_; }
    // Only cmStore and cmDeflate are taken.
    void setCompressMethod(TCompressMethod m);

    std::string Password;
    std::vector<std::string> Passwords;  // tried after Password when deleting encrypted entries
    TProgressNotify ProgressNotify = TProgressNotify::Ten;
    bool RecurseDirs = false;

    // Put before every new entry's stored name: the folder inside the archive the files
    // go into ("docs/"), when it is not the top.
    std::string StoredPrefix;
    // Folder entries to add ("docs/new/"); one the archive has already stays as it is.
    std::vector<std::string> NewFolders;
    // For a delete: the entries of exactly these names go too, whatever the masks say
    // (a name may hold "*" or "?", which a mask would read as wildcards).
    std::vector<std::string> ExactNames;

    TNonWriteableArchiveEvent OnNonWriteableArchive;
    TRecurseDirEvent OnRecurseDir;
    TReplaceFileEvent OnReplaceFile;

    // Results of the last job: the source files written into the archive, and (for a move)
    // the ones then deleted from the disk.
    std::vector<std::string> WrittenFiles, DeletedFiles;
    // The path of a new archive kept because it could not be moved into place ("" normally).
    std::string KeptTempArchive;

protected:
    bool mainJob() override;

private:
    struct Impl;
    std::string defaultDir_, defaultExt_ = "ZIP";
    TDeflateType deflateType_ = TDeflateType::dtDeflateN;
    int level_ = 7;
    TCompressMethod method_ = TCompressMethod::cmDeflate;
};

}  // namespace kv
