#pragma once
// Common base of the extractors.
#include <string>
#include <vector>

#include "archive/base/output_sink.h"
#include "archive/base/zip_common.h"

namespace kv {

class TUnBase : public TZipCommon {
 public:
  std::vector<std::string> Passwords;
  bool UseStoredDirs = true;
  TProgressNotify ProgressNotify = TProgressNotify::Ten;
  TCpuType CpuType = TCpuType::cptAuto;  // kept for stored settings; selects nothing

  const std::string& ExtractDir() const { return extractDir_; }
  // A non-empty folder keeps a trailing "/"; an empty one becomes the archive's folder.
  void setExtractDir(const std::string& dir);
  TSetDate SetDateTo() const { return setDateTo_; }
  void setSetDateTo(TSetDate v) { setDateTo_ = v; }

  // Every decoder writes through this sink (ToFile while extracting, TestOnly for a test).
  TOutputSink Sink;

  // Runs the extraction job: output to files, then the class's main job.
  void Activate();

  // Where the current entry goes, by ExtractDir and UseStoredDirs (empty: refused).
  std::string outputName(const std::string& storedName) const {
    return composeOutputName(storedName, extractDir_, UseStoredDirs);
  }

  // Copies size bytes at pos of file to the sink in chunks of at most 32 KiB, keeping the
  // CRC-32 (or CRC-16 when useCrc16) in crc and reporting progress; stops early on Cancel.
  // Answers false when the archive ended early or the sink refused the bytes.
  bool storedCopy(const ArcFile& file, uint64_t pos, uint64_t size, bool useCrc16,
                  uint32_t& crc);

 protected:
  virtual void mainJob() {}

 private:
  std::string extractDir_;
  TSetDate setDateTo_ = TSetDate::sdOrigDate;
};

}  // namespace kv
