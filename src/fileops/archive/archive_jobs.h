#pragma once
// The archive commands' work as file jobs, so they run on the worker of the file-operations
// engine like copy and delete: the window stays responsive, Cancel stops the job at the next
// block, overwrite questions go through the Decider and what failed comes back in the
// result for one summary. No Qt here.
#include <set>
#include <string>
#include <string_view>
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
    // Only these entries of the folder `innerBase` inside the archive ("" its top), folders
    // with everything beneath them; each lands in targetDir by its path below innerBase.
    // Empty: every entry, by its stored path.
    std::string innerBase;
    std::set<std::string> innerNames;

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
    // The folder inside the archive the names go into ("docs/"), "" for its top.
    std::string storedPrefix;
    // An entry the archive has already is replaced only after the Decider said so.
    bool askBeforeReplacing = false;

    JobResult run(Decider& decider, Progress& progress) override;

    bool written = false;  // a new archive was put in place
};

// Changes a ZIP in place of its entries: deletes the entries of exactly these stored names
// and adds empty folder entries. The writer builds the new archive beside the old one and
// renames it over it, so a failure leaves the archive as it was.
class EditZipJob : public Job {
public:
    std::string archive;
    std::vector<std::string> deleteNames;  // stored names, taken as they are (no masks)
    std::vector<std::string> newFolders;   // "docs/new/"
    std::string password;                  // for deleting encrypted entries

    JobResult run(Decider& decider, Progress& progress) override;

    bool written = false;  // the archive was rewritten (or removed: its last entry went)
};

// The path below `base` that an entry of an archive stands for when the entry is one of
// `names` in the folder `base` or lies beneath one of them ("docs/a/b.txt", base "docs",
// names {"a"}: "a/b.txt"; a folder keeps its trailing "/"). False for every other entry and
// for a stored name that has no place in the archive's folders (a ".." part, a NUL byte), so
// a chosen name never reaches outside the folder it is extracted into.
bool chosenEntryPath(std::string_view stored, const std::string& base, const std::set<std::string>& names,
                     std::string& out);

}  // namespace kv::fileops
