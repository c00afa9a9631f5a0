#pragma once
// Common base of the extractors, and the one extraction frame they share: the job loop,
// name refusal, the target folder held open (nothing made outside it), the overwrite
// question, the temporary file, mode and times, links, the final rename and the tallies.
// An extractor supplies only where its entries are ("next entry") and how one entry's
// bytes come out ("decode this entry into this sink").
#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "archive/base/extract_target.h"
#include "archive/base/file_placer.h"
#include "archive/base/output_sink.h"
#include "archive/base/zip_common.h"

namespace kv {

// One entry as an extractor presents it to the frame.
struct TArcEntry {
    std::string name;        // presented: UTF-8, "/" separated
    size_t rawNameSize = 0;  // the stored name's length in bytes (capped by the frame)
    bool rawNameHasNul = false;
    uint64_t packed = 0, size = 0;
    uint32_t crc = 0;
    uint32_t dosDateTime = 0;       // the directory's stamp, shown by the events
    uint32_t localDosDateTime = 0;  // the entry's own header's stamp, for the overwrite question
    int64_t unixMtime = -1;         // a Unix time that overrides dosDateTime when set
    uint32_t extAttr = 0;           // DOS attributes in the low byte
    int unixMode = -1;              // st_mode of an entry made on Unix, else -1
    uint16_t method = 0;
    bool encrypted = false;
    bool isDir = false;
    bool isVolumeLabel = false;
    uint64_t cookie = 0, cookie2 = 0;  // the extractor's own position data
    // A hard link: the name of an earlier entry whose file it shares. Made as a second name
    // of the file this job wrote for that entry; from its own data when there is none.
    std::string hardLinkOf;
    // For such a link: which stored data it stands for (the extractor's own non-zero id), so
    // that a copy made for one link serves every later link to the same data.
    uint64_t hardLinkData = 0;
    // The bytes the entry's own record carries, when fewer than size (a hard link carries
    // none of the bytes it stands for). What a job writes never exceeds what its entries
    // carry: see withinDeclared.
    std::optional<uint64_t> ownBytes;

    bool isSymlink() const { return unixMode >= 0 && (unixMode & 0170000) == 0120000; }
};

class TUnBase : public TZipCommon {
public:
    std::vector<std::string> Passwords;
    bool UseStoredDirs = true;
    TProgressNotify ProgressNotify = TProgressNotify::Ten;
    TCpuType CpuType = TCpuType::cptAuto;  // kept for stored settings; selects nothing
    // A damaged entry (CRC or size mismatch) is kept under its name only when this is set;
    // otherwise its temporary file is deleted and an existing file of that name stays.
    bool KeepDamaged = false;

    const std::string& ExtractDir() const { return extractDir_; }
    // A non-empty folder keeps a trailing "/"; an empty one becomes the archive's folder.
    void setExtractDir(const std::string& dir);
    TSetDate SetDateTo() const { return setDateTo_; }
    void setSetDateTo(TSetDate v) { setDateTo_ = v; }

    // Called with each entry's presented name before anything is done with it: false passes
    // the entry by unseen (not counted, not reported). It may rewrite the name (to take off
    // a folder inside the archive); the refusal rules below apply to the new name.
    std::function<bool(std::string& name)> SelectEntry;

    // Threads that create and fill the files while the next entries decode: -1 as many as
    // the machine suggests (FilePlacer::threadsForThisMachine, on the cores the extractor's
    // own threads leave), 0 none. With threads, an entry whose file then cannot be written
    // has had its OnEnd already (its bytes were good); the failure is reported and counted
    // as soon as it is known.
    int PlacerThreads = -1;
    // With PlacerThreads set: files declared smaller than this are placed on the job's thread
    // (as the machine's own choice does for all but large files when no core is spare).
    uint64_t PlacerThreadsFrom = 0;

    // Every decoder writes through this sink (ToFile while extracting, TestOnly for a test).
    TOutputSink Sink;

    // Job results for callers that show a summary (kvarc, the extraction window).
    int ExtractedCount = 0;  // entries written (or tested) and found good
    int FailedCount = 0;     // entries that failed: damaged, wrong password, refused name
    int FilesSeen = 0;       // entries met that are not folders, whatever became of them
    struct Failure {
        std::string name;
        int id;
    };
    // Every failed entry with the message id that says why, for one summary at the end.
    std::vector<Failure> Failures;
    // Entries left out on purpose (empty DOS volume labels), named for the summary.
    std::vector<Failure> Skipped;
    // The directory could not be read whole: the entries after the damage were never seen.
    bool DirectoryIncomplete = false;
    // The directory was found and walked to its end (or the job stopped on purpose).
    bool DirectoryComplete = false;

    // Runs the extraction job: output to files.
    void Activate();
    // Checks every selected entry's data and CRC without writing anything.
    void Test();
    // Decodes every selected entry into Sink.scanner, one after another, writing nothing
    // (a search through the entries' text). The scanner taking fewer bytes than offered ends
    // that entry early (it counts as failed); the next entry still comes.
    void Scan();

    // How paths beneath the target are resolved; NoLinks is how kernels without openat2
    // are served, and tests choose it to cover that path too.
    void setPathResolve(ExtractTarget::Resolve r) { target_.setResolve(r); }

    // Where the current entry goes, by ExtractDir and UseStoredDirs (empty: refused).
    std::string outputName(const std::string& storedName) const {
        return composeOutputName(storedName, extractDir_, UseStoredDirs);
    }

    // Copies size bytes at pos of file to the sink in chunks of at most 32 KiB, keeping the
    // CRC-32 (or CRC-16 when useCrc16) in crc and reporting progress; stops early on Cancel.
    // Answers false when the archive ended early or the sink refused the bytes.
    bool storedCopy(const ArcFile& file, uint64_t pos, uint64_t size, bool useCrc16, uint32_t& crc);

protected:
    // --- What an extractor supplies ---------------------------------------------------------
    // Opens the archive and finds its entries; reports and raises E_RAISE when it cannot.
    virtual void openArchive() = 0;
    // The next entry, or false at the end. On damage that ends the walk, set stopId to the
    // message id (the frame reports it and marks the directory incomplete).
    virtual bool nextEntry(TArcEntry& e, int& stopId) = 0;
    // Bytes every selected entry declares, for one free-space check before anything is
    // written; UINT64_MAX when they overflow, 0 when unknown.
    virtual uint64_t declaredBytes(bool wildcard) {
        (void)wildcard;
        return 0;
    }
    // Checks that the entry's data can be reached (its own header); 0 or a message id. May
    // set e.localDosDateTime, the date the overwrite question shows.
    virtual int locateEntry(TArcEntry& e) {
        (void)e;
        return 0;
    }
    // Decodes the entry: every byte goes to emit (false from emit: stop, SinkFailed). Answers
    // 0 when the data decoded to its end, else a message id (msg::UserAborted on Cancel).
    // Set endJob when no further entry should be tried (the password question was given up).
    using Emit = std::function<bool(const uint8_t*, size_t)>;
    virtual int decodeEntry(TArcEntry& e, const std::string& outPath, const Emit& emit, bool& endJob) = 0;
    // Within decodeEntry, for an extractor that holds the entry's bytes whole in a buffer of
    // its own: gives the first n of them as emit would, taking the buffer over instead of
    // copying it when the bytes go to a file. crcOfThem, when given, is the CRC-32 of those
    // n bytes, worked out by the thread that decoded them (while they were in its cache), so
    // the job need not read them again. Answers as emit would.
    bool emitOwned(BufferPool::Buffer&& data, size_t n, const uint32_t* crcOfThem = nullptr);
    // The job's buffers, for an extractor that holds entries whole (given back once written).
    BufferPool& bufferPool() { return pool_; }
    // Threads the extractor runs beside the job's own once the archive is open (decoding
    // ahead): the files are then placed on the cores those leave.
    virtual unsigned threadsOfItsOwn() const { return 0; }
    // Called once the job ends, opened or not.
    virtual void closeArchive() {}

    // The CRC the frame keeps of an entry's bytes: CRC-32, or CRC-16 (LHA, ARC).
    enum class CrcKind { Crc32, Crc16 };
    virtual CrcKind crcKind() const { return CrcKind::Crc32; }
    // Whether entries may be hard links to earlier ones: the frame then keeps track of the
    // files it writes.
    virtual bool mayHardLink() const { return false; }
    // Counts a failed entry for the summary.
    void noteFailure(const std::string& name, int id);

private:
    void runJob();
    bool visit(TArcEntry& e, bool wildcard);
    bool extract(TArcEntry& e, const std::string& outPath, const std::string& rel);
    // Makes rel a second name of the file this job wrote for entry `of` (or, failing that,
    // of the copy it made for an earlier link to the same data), when that file is still the
    // one written; false (nothing made) otherwise.
    bool linkToWritten(const TArcEntry& e, const std::string& rel);
    // Whether writing e's size in bytes keeps the job within the bytes its entries carry:
    // the one place where a link, whatever it points to, is kept from multiplying data.
    bool withinDeclared(const TArcEntry& e) const { return e.size <= unwrittenDeclared_; }
    // Bytes the entries met so far carry (selected or not) less the bytes the job wrote.
    uint64_t unwrittenDeclared_ = 0;

    // The files this job wrote, by entry name, while mayHardLink() says links may follow.
    struct WrittenFile {
        std::string rel;
        dev_t dev = 0;
        ino_t ino = 0;
    };
    std::unordered_map<std::string, WrittenFile> written_;
    // Every file this job placed, by its path beneath the target: a later entry of that
    // name replaces the job's own file, with nothing of the user's at stake.
    std::unordered_map<std::string, std::pair<dev_t, ino_t>> ownFiles_;
    // rel as a second name of src, when src is still that file (taken by value: the maps
    // may grow meanwhile); the new name is recorded as written for entry `name`.
    bool linkToFile(WrittenFile src, const std::string& rel, const std::string& name);
    // Copies made for links whose entry was not written, by the data they stand for.
    std::unordered_map<uint64_t, WrittenFile> linkCopies_;

    // Files handed to the placer whose outcome is not known yet, in the order given, and
    // their names (folded to lower case) so that a later entry of the same name, or one
    // beneath it, waits for them: it must find them on disk as the serial job would.
    struct Placed {
        uint64_t ticket;
        std::string name, outPath, rel, key;
        uint64_t linkData;  // a link's copy: the data it stands for (0: none)
        bool linkable;      // later entries may link to it
        bool keep;  // meant to be kept: a failure to place it is reported
        bool good;  // decoded and checked: counted as extracted once placed
    };
    std::unique_ptr<FilePlacer> placer_;
    std::function<bool(BufferPool::Buffer&, size_t, const uint32_t*)> ownedEmit_;  // set within extract
    BufferPool pool_;
    std::deque<Placed> placed_;
    std::unordered_set<std::string> placedKeys_;
    std::shared_ptr<const FilePlacer::Folder> placeFolder_;  // the folder of placeFolderRel_
    std::string placeFolderRel_;
    mode_t umask_ = 022;  // read once per job
    // Takes the outcomes known (all, waiting for them, when wait is set): reports and counts
    // the files that could not be placed, counts and records those that were.
    void settlePlaced(bool wait);
    // The job's one durability step, once every file is placed.
    void finishDurably();
    bool replacedFiles_ = false;  // a file was placed over one that was there
    // Whether rel, or a folder on its way, is a file still being placed.
    bool waitsForPlaced(const std::string& rel) const;

    std::string extractDir_;
    TSetDate setDateTo_ = TSetDate::sdOrigDate;
    ExtractTarget target_;
    std::string root_;  // ExtractDir as output names begin with it
};

}  // namespace kv
