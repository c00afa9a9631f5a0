#pragma once
// The attributes command on several entries at once: what they have in common (for boxes
// that show a third state where they differ), and the change the user chose, applied to each.
#include <sys/types.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "fileops/engine/job.h"

namespace kv::fileops {

struct SharedAttributes {
    unsigned allSet = 07777;     // mode bits every entry has
    unsigned anySet = 0;         // mode bits at least one entry has
    std::optional<uid_t> owner;  // set when all have the same
    std::optional<gid_t> group;
    std::optional<timespec> modified;
    timespec firstModified{};  // the first entry's, shown where they differ
    int readable = 0;          // how many entries could be read
};
// Links are followed for the mode (a link has none of its own) and not for owner and time.
SharedAttributes sharedAttributes(const std::vector<std::string>& paths, std::vector<Failure>& unreadable);

struct AttributeChange {
    unsigned setBits = 0, clearBits = 0;  // mode bits within 07777; a bit in neither stays
    std::optional<uid_t> owner;
    std::optional<gid_t> group;
    std::optional<timespec> modified;
    bool empty() const { return !setBits && !clearBits && !owner && !group && !modified; }
};
// Owner and group first (a change of owner clears set-user-ID), then the mode, then the time.
// What failed, with the system's reason; the other entries still change.
std::vector<Failure> applyAttributes(const std::vector<std::string>& paths, const AttributeChange& c);

// "0755" -> 0755; none for anything but one to four octal digits.
std::optional<unsigned> parseOctalMode(const std::string& text);

}  // namespace kv::fileops
