// TUnTAR: extracts the files of a TAR archive. TAR keeps no checksum of the data, so the
// frame's CRC check is given one taken in a first read of each entry's data; what ends up
// on disk is then checked against the archive as it was read. Long names come from the
// ustar prefix, GNU long-name records and pax headers; hard and symbolic links are not made.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/base/arc_file.h"
#include "archive/base/un_base.h"
#include "archive/formats/tar/tar_header.h"

namespace kv {

class TUnTAR : public TUnBase {
protected:
    void openArchive() override;
    bool nextEntry(TArcEntry& e, int& stopId) override;
    int locateEntry(TArcEntry& e) override;
    int decodeEntry(TArcEntry& e, const std::string& outPath, const Emit& emit, bool& endJob) override;
    void closeArchive() override;

private:
    // Reads the current entry's data in chunks; false when the archive ends early.
    bool readData(const std::function<bool(const std::uint8_t*, std::size_t)>& take);

    ArcFile file_;
    bool opened_ = false;
    std::uint64_t cursor_ = 0;
    TarHeader current_;
    // What the extension records before the next header said about it.
    struct Pending {
        std::optional<TarLongName> gnuName, paxPath;
        std::optional<std::uint64_t> size;
        bool bad = false;
    };
    Pending pending_;
    bool badExtension_ = false;  // the current entry's extension records were damaged
    std::vector<std::uint8_t> buf_;
};

}  // namespace kv
