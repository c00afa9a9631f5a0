#pragma once
// The archive commands' work as file jobs, so they run on the worker of the file-operations
// engine like copy and delete: the window stays responsive, Cancel stops the job at the next
// block, overwrite questions go through the Decider and what failed comes back in the
// result for one summary. No Qt here.
#include <string>
#include <vector>

#include "fileops/engine/job.h"

namespace kv::fileops {

// What happens to a file the archive would write over.
enum class OverwriteMode { Ask, All, None };

// Extracts every entry of one archive into a folder. The extractor is chosen by the type
// the file's bytes show (an ".exe" that carries a ZIP, an ".lha", an ".a01"), not by its
// extension alone.
class ExtractJob : public Job {
public:
    std::string archive;
    std::string targetDir;
    std::string password;  // tried on every encrypted entry, whatever the format
    OverwriteMode overwrite = OverwriteMode::Ask;

    JobResult run(Decider& decider, Progress& progress) override;

    int extracted = 0;  // entries written and found good by the last run
};

// Adds files and folders (with everything beneath them) to a ZIP, creating it or updating
// it. Names are stored relative to baseDir; with deleteAfter the sources written into the
// archive are deleted once the archive is in place, and only those.
class AddToZipJob : public Job {
public:
    std::string archive;
    std::string baseDir;
    std::vector<std::string> sources;  // absolute paths
    std::string password;
    bool deleteAfter = false;

    JobResult run(Decider& decider, Progress& progress) override;

    bool written = false;  // a new archive was put in place
};

}  // namespace kv::fileops
