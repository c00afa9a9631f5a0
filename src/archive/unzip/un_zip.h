// TUnZIP: extracts the entries of a ZIP archive (plain, self-extracting or ZIP64) to files.
// The job frame (names, target folder, temporary files, tallies) is TUnBase's; this class
// supplies the ZIP directory walk and the decoding of one entry.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/base/arc_file.h"
#include "archive/base/un_base.h"
#include "archive/formats/zip/zip_directory.h"
#include "archive/unzip/zip_decode_ahead.h"

namespace kv {

class TUnZIP : public TUnBase {
public:
    // Workers that decode entries ahead of the job: -1 as many as the machine suits, 0 none.
    int DecodeAheadWorkers = -1;

protected:
    void openArchive() override;
    bool nextEntry(TArcEntry& e, int& stopId) override;
    uint64_t declaredBytes(bool wildcard) override;
    int locateEntry(TArcEntry& e) override;
    int decodeEntry(TArcEntry& e, const std::string& outPath, const Emit& emit, bool& endJob) override;
    void closeArchive() override;
    unsigned threadsOfItsOwn() const override { return ahead_ ? ahead_->workers() : 0; }

private:
    void fillEntry(const ZipCentralRecord& rec, TArcEntry& e) const;
    bool findPassword(const std::string& outPath, const uint8_t* header12, bool& endJob,
                      std::string& fitting);
    int decode(const TArcEntry& e, uint64_t dataPos, uint64_t packed, const std::string* password,
               const uint8_t* header12, const Emit& emit);
    int emitDecoded(const TArcEntry& e, ZipDecodeAhead::Decoded& d);

    ArcFile file_;
    bool opened_ = false;
    std::unique_ptr<BlockReader> dirReader_;  // the directory is read in blocks, never whole
    ZipDirectory dir_;
    std::optional<ZipDirectoryCursor> cursor_;
    std::string currentPassword_;
    uint8_t checkByte_ = 0;
    // Per entry, between locateEntry and decodeEntry: its local header.
    uint8_t localHeader_[30] = {};
    uint64_t localPos_ = 0, dataPos_ = 0;
    std::map<uint64_t, uint64_t> usedRanges_;   // local header start -> data end, for overlaps
    std::vector<uint8_t> window_;               // the decoders' output window, kept for the job
    std::vector<uint8_t> input_;                // their input chunk, kept for the job too
    uint64_t entryIndex_ = 0, entriesMet_ = 0;  // the current entry's directory position
    // Declared last: its workers read file_ and dir_, so it goes before them.
    std::unique_ptr<ZipDecodeAhead> ahead_;
};

}  // namespace kv
