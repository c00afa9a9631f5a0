// TUnLHA: extracts the entries of an LHA/LZH archive (header levels 0 to 3, plain or
// self-extracting) to files. The job frame is TUnBase's; this class supplies the header
// walk (through the shared LHA header parser) and the decoding of one entry.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/base/arc_file.h"
#include "archive/base/un_base.h"
#include "archive/formats/lha/lha_header.h"
#include "archive/kelmo/block_reader.h"

namespace kv {

class TUnLHA : public TUnBase {
protected:
    void openArchive() override;
    bool nextEntry(TArcEntry& e, int& stopId) override;
    int decodeEntry(TArcEntry& e, const std::string& outPath, const Emit& emit, bool& endJob) override;
    void closeArchive() override;
    CrcKind crcKind() const override { return CrcKind::Crc16; }

private:
    ArcFile file_;
    bool opened_ = false;
    std::unique_ptr<BlockReader> reader_;
    std::optional<LhaCursor> cursor_;
    LhaHeader current_;            // the header of the entry nextEntry answered
    std::vector<uint8_t> window_;  // the decoders' output window, kept for the job
};

}  // namespace kv
