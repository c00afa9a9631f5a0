// TUnARJ: extracts the entries of an ARJ archive (plain, self-extracting, or split into
// volumes .arj, .a01, ...) to files. The job frame is TUnBase's; this class supplies the
// header walk (through the shared ARJ header parser) and the decoding of one entry, which
// follows a file continued into the next volumes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "archive/base/arc_file.h"
#include "archive/base/un_base.h"
#include "archive/formats/arj/arj_header.h"
#include "archive/kelmo/block_reader.h"

namespace kv {

class TUnARJ : public TUnBase {
protected:
    void openArchive() override;
    bool nextEntry(TArcEntry& e, int& stopId) override;
    int decodeEntry(TArcEntry& e, const std::string& outPath, const Emit& emit, bool& endJob) override;
    void closeArchive() override;

private:
    // The part of the current volume that h describes, decoded to emit.
    int decodePart(const ArjHeader& h, const Emit& emit);
    // Opens the volume after the current one and reads the continuation header of the file
    // that goes on there into part; 0 or a message id (UserAborted when the user refused).
    int openNextVolume(ArjHeader& part);
    // Passes over the parts of a continued file that was not decoded, so the walk goes on
    // in the volume where that file ends.
    int skipContinuation();

    ArcFile file_;
    bool opened_ = false;
    std::unique_ptr<BlockReader> reader_;
    uint64_t cursor_ = 0;
    std::string volumePath_;
    int volumeCounter_ = 0;
    std::vector<std::pair<uint64_t, uint64_t>> volumesSeen_;  // (device, inode) of every volume
    ArjHeader current_;                                       // the header of the entry nextEntry answered
    bool pendingContinuation_ = false;  // current_ goes on in the next volume, not followed yet
    int setBroken_ = 0;            // a volume of the set could not be followed: the walk ends with this id
    std::vector<uint8_t> window_;  // the decoders' output window, kept for the job
};

}  // namespace kv
