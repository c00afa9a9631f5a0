#include "archive/base/un_base.h"

#include <vector>

#include "archive/base/crc.h"
#include "archive/base/util.h"

namespace kv {

void TUnBase::setExtractDir(const std::string& dir) {
  if (!dir.empty()) {
    extractDir_ = dir;
    if (extractDir_.back() != '/') extractDir_ += '/';
  } else {
    extractDir_ = std::string(folderPart(ArchiveFile()));
  }
}

void TUnBase::Activate() {
  Sink.selector = TOutputSink::ToFile;
  if (CpuType == TCpuType::cpt80486) CpuType = TCpuType::cptAuto;
  mainJob();
}

bool TUnBase::storedCopy(const ArcFile& file, uint64_t pos, uint64_t size, bool useCrc16,
                         uint32_t& crc) {
  std::vector<uint8_t> buf(static_cast<size_t>(size < 32768 ? size : 32768));
  uint64_t done = 0;
  while (done < size) {
    if (Cancel()) return false;
    size_t want = static_cast<size_t>(size - done < buf.size() ? size - done : buf.size());
    std::span<uint8_t> chunk(buf.data(), want);
    if (!file.readExact(pos + done, chunk)) return false;
    if (useCrc16) crc = crc16Update(static_cast<uint16_t>(crc), chunk);
    else crc = crc32Update(crc, chunk);
    if (!Sink.write(chunk)) return false;
    done += want;
    reportProgress(done, size);
  }
  return true;
}

}  // namespace kv
