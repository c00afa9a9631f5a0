// TUnZIP: extracts the entries of a ZIP archive (plain, self-extracting or ZIP64) to files.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive/base/arc_file.h"
#include "archive/base/extract_target.h"
#include "archive/base/un_base.h"
#include "archive/formats/zip/zip_directory.h"

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
  // Entries left out on purpose (empty DOS volume labels), named for the summary.
  std::vector<Failure> Skipped;
  // The directory could not be read whole (a damaged record, fewer records than the end
  // record announces): the entries after the damage were never seen.
  bool DirectoryIncomplete = false;

  // Checks every selected entry's data and CRC without writing anything.
  void Test();

  // How paths beneath the target are resolved; NoLinks is how kernels without openat2
  // are served, and tests choose it to cover that path too.
  void setPathResolve(ExtractTarget::Resolve r) { target_.setResolve(r); }

 protected:
  void mainJob() override;

 private:
  struct Entry;
  // Answers false when the walk must stop after this entry.
  bool visitEntry(const ZipCentralRecord& rec, bool wildcard);
  bool extractEntry(Entry& e, const std::string& outPath);
  // The declared bytes of every entry the job will write, for one free-space check.
  uint64_t declaredJobBytes(BlockReader& r, bool wildcard);
  bool findPassword(const std::string& outPath, const uint8_t* header12, bool& endJob,
                    std::string& fitting);
  bool decode(Entry& e, uint64_t dataPos, uint64_t packed, const std::string* password,
              const uint8_t* header12, int fd, std::string* capture, uint32_t& crc,
              uint64_t& written, int& errorId);
  void noteFailure(const std::string& name, int id);

  ArcFile file_;
  std::string currentPassword_;
  uint8_t checkByte_ = 0;
  ExtractTarget target_;
  std::string root_;  // ExtractDir as output names begin with it
  ZipDirectory dir_;
  std::map<uint64_t, uint64_t> usedRanges_;  // local header start -> data end, for overlaps
  std::vector<uint8_t> window_;              // the decoders' output window, kept for the job
};

}  // namespace kv
