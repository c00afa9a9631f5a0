// TUnRAR: extracts the entries of a RAR archive (RAR 1.5 to 5, plain, self-extracting or a
// volume set) to files through the RAR layer. The job frame is TUnBase's: the layer only
// hands over each entry's bytes, and the frame makes every file, folder and link.
#pragma once

#include <cstdint>
#include <string>

#include "archive/base/un_base.h"
#include "archive/unrar/rar_layer.h"

namespace kv {

class TUnRAR : public TUnBase {
protected:
    void openArchive() override;
    bool nextEntry(TArcEntry& e, int& stopId) override;
    int decodeEntry(TArcEntry& e, const std::string& outPath, const Emit& emit, bool& endJob) override;
    void closeArchive() override;

private:
    rar::ArchivePtr archive_;
    rar::HeaderData current_;
};

}  // namespace kv
