// TUnZIP: extracts the entries of a ZIP archive (plain, self-extracting or ZIP64) to files.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive/base/arc_file.h"
#include "archive/base/un_base.h"

namespace kv {

class TUnZIP : public TUnBase {
 public:
  // A damaged entry (CRC or size mismatch) is kept under its name only when this is set;
  // otherwise its temporary file is deleted and an existing file of that name stays.
  bool KeepDamaged = false;

  // Job results for callers that show a summary (kvarc, the extraction window).
  int ExtractedCount = 0;  // entries written (or tested) and found good
  int FailedCount = 0;     // entries that failed: damaged, wrong password, refused name
  // Every failed entry with the message id that says why, for one summary at the end.
  struct Failure {
    std::string name;
    int id;
  };
  std::vector<Failure> Failures;

  // Checks every selected entry's data and CRC without writing anything.
  void Test();

 protected:
  void mainJob() override;

 private:
  struct Entry;
  void walk(uint64_t cdPos, uint64_t cdEnd, int64_t localDelta);
  // Answers false when the walk must stop after this entry.
  bool extractEntry(Entry& e, const std::string& outPath);
  bool findPassword(const std::string& outPath, const uint8_t* header12, bool& endJob,
                    std::string& fitting);
  bool decode(Entry& e, uint64_t dataPos, uint64_t packed, const std::string* password,
              const uint8_t* header12, int fd, std::string* capture, uint32_t& crc,
              uint64_t& written, int& errorId);
  bool safeTarget(const std::string& outPath);
  void noteFailure(const std::string& name, int id);

  ArcFile file_;
  std::string currentPassword_;
  uint8_t checkByte_ = 0;
  std::string realExtractRoot_;
  std::string lastCheckedFolder_;
  std::map<uint64_t, uint64_t> usedRanges_;  // local header start -> data end, for overlaps
  std::vector<uint8_t> window_;              // the decoders' output window, kept for the job
};

}  // namespace kv
