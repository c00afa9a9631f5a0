// TUnARC: extracts the entries of an ARC or PAK archive (plain or self-extracting, with the
// folder records of the later ARC variants) to files. The job frame is TUnBase's; this
// class supplies the header walk (through the shared ARC header parser) and the decoding
// of one entry.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/base/arc_file.h"
#include "archive/base/un_base.h"
#include "archive/formats/arc/arc_header.h"
#include "archive/kelmo/block_reader.h"

namespace kv {

class TUnARC : public TUnBase {
protected:
    void openArchive() override;
    bool nextEntry(TArcEntry& e, int& stopId) override;
    int decodeEntry(TArcEntry& e, const std::string& outPath, const Emit& emit, bool& endJob) override;
    void closeArchive() override;
    CrcKind crcKind() const override { return CrcKind::Crc16; }

private:
    ArcFile file_;
    bool opened_ = false;
    bool pak_ = false;
    std::unique_ptr<BlockReader> reader_;
    std::optional<ArcCursor> cursor_;
    ArcHeader current_;  // the header of the entry nextEntry answered
    std::vector<uint8_t> window_;
};

}  // namespace kv
