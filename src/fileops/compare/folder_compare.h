#pragma once
// Compares two folder listings: which entries each side has that the other side lacks or
// holds older. No Qt; the panels hand in their listings, the command selects the result.
//
// Rules, entry by entry, matched by exact name (Linux names are case-sensitive):
//   - on one side only: selected on that side (files and folders alike);
//   - two folders: equal (folders are compared by presence only);
//   - a file and a folder of one name: a clash, selected on neither side (copying either
//     way could not replace the other kind) and counted in the summary;
//   - two files: the one whose modification time is later by more than `dateSlack`
//     seconds is selected; times within the slack count as equal, which covers a copy on
//     a FAT medium (its times go in 2-second steps, so a copy differs by at most 1 s);
//   - two files of equal time but different size: both selected (they differ and neither
//     is newer);
//   - with `contents`, two files of equal size are compared byte for byte: equal bytes
//     make them equal whatever their times; different bytes select the newer one, or both
//     at equal times. A file that cannot be read is reported and selected on neither side.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kv::fileops {

struct CompareItem {
    std::string name;
    std::int64_t size = 0;
    std::int64_t mtime = 0;  // seconds
    bool isDir = false;
    bool regular = true;  // a regular file (or a link to one): only these are read for contents
};

struct CompareOptions {
    bool contents = false;
    int dateSlack = 1;
    // The two folders, for reading contents.
    std::string leftDir, rightDir;
    // Called between blocks while contents are read: bytes read of both sides so far and
    // of all the pairs to read. Returning false stops the compare (CompareResult::cancelled).
    std::function<bool(std::int64_t done, std::int64_t total)> progress;
};

struct CompareResult {
    std::vector<std::string> left, right;  // names to select on each side
    int leftOnly = 0, rightOnly = 0;       // entries missing from the other side
    int leftNewer = 0, rightNewer = 0;
    int differ = 0;   // same time, different size or bytes: selected on both sides
    int clashes = 0;  // a file against a folder
    int same = 0;
    std::vector<std::string> errors;  // "name: reason" for files that could not be read
    bool cancelled = false;           // the progress callback stopped it; the lists are partial

    // One line for the user, e.g. "Left: 2 to copy, right: 1 to copy; 5 the same".
    std::string summary() const;
};

CompareResult compareFolders(const std::vector<CompareItem>& left, const std::vector<CompareItem>& right,
                             const CompareOptions& options);

}  // namespace kv::fileops
