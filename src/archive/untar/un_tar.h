// TUnTAR: extracts the files of a TAR archive. TAR keeps no checksum of the data, so the
// frame's CRC check is given one taken in a first read of each entry's data; what ends up
// on disk is then checked against the archive as it was read. Long names come from the
// ustar prefix, GNU long-name records and pax headers (through the TAR walker the lister
// uses too). Symbolic links go to the frame, which makes them only when they stay inside
// the target. A hard link names an earlier file or symbolic link of this archive: it becomes
// a second name of the file this job wrote for that entry, or, when there is none (the
// entry was not selected, the file system has no hard links), a copy read again from the
// archive, so it never depends on what else is on disk. A name not met before it fails the
// link alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/base/arc_file.h"
#include "archive/base/un_base.h"
#include "archive/formats/tar/tar_walker.h"

namespace kv {

class TUnTAR : public TUnBase {
protected:
    void openArchive() override;
    bool nextEntry(TArcEntry& e, int& stopId) override;
    int locateEntry(TArcEntry& e) override;
    int decodeEntry(TArcEntry& e, const std::string& outPath, const Emit& emit, bool& endJob) override;
    void closeArchive() override;
    bool mayHardLink() const override { return true; }

private:
    // Reads the current entry's data in chunks; false when the archive ends early.
    bool readData(const std::function<bool(const std::uint8_t*, std::size_t)>& take);

    // What a hard link may stand for: an earlier file (its data in the archive) or an
    // earlier symbolic link (its target).
    struct LinkSource {
        bool symlink = false;
        std::uint64_t dataPos = 0, size = 0;
        std::string target;
    };

    ArcFile file_;
    bool opened_ = false;
    std::optional<TarWalker> walker_;
    // The entries met so far by their stored names, the later of two with one name winning.
    std::unordered_map<std::string, LinkSource> sources_;
    // The current entry: where its bytes come from, and why it cannot be had (0: it can).
    std::uint64_t dataPos_ = 0, dataSize_ = 0;
    std::string inlineData_;  // a link target, emitted in place of archive data
    bool fromInline_ = false;
    int refusal_ = 0;
    std::vector<std::uint8_t> buf_;
};

}  // namespace kv
