#pragma once
// The freedesktop.org Trash: a file goes to files/ of the trash on its own file system with
// an info/<name>.trashinfo beside it (its original path and the deletion time), so any
// desktop's Trash can show and restore it.
//   home trash: $XDG_DATA_HOME/Trash (~/.local/share/Trash), for the home's file system;
//   elsewhere:  $topdir/.Trash/$uid when an administrator made $topdir/.Trash (sticky, no
//               link), else $topdir/.Trash-$uid, made on first use.
#include <string>

namespace kv::fileops {

struct TrashResult {
    bool ok = false;
    int error = 0;            // errno when !ok
    std::string trashDir;     // the trash used (its files/ and info/ are below)
    std::string trashedName;  // the name under files/ and info/ (without ".trashinfo")
};

class Trash {
public:
    // homeTrash: empty for $XDG_DATA_HOME/Trash (or ~/.local/share/Trash).
    explicit Trash(std::string homeTrash = {});

    // Moves `path` (absolute; a file, link or whole folder) into the trash of its file system.
    TrashResult put(const std::string& path) const;

    // Puts a trashed entry back where it came from; fails with EEXIST when something is there.
    static bool restore(const std::string& trashDir, const std::string& trashedName, int& error);
    // The original path an info file records (percent escapes undone), "" when unreadable.
    static std::string originalPath(const std::string& trashDir, const std::string& trashedName);

    const std::string& homeTrash() const { return home_; }

private:
    std::string trashFor(const std::string& path, std::string& topdir, int& error) const;
    std::string home_;
};

// Percent-escapes what is not allowed bare in a trashinfo Path (RFC 2396 style, "/" kept).
std::string escapeTrashPath(const std::string& path);
std::string unescapeTrashPath(const std::string& text);

}  // namespace kv::fileops
