#pragma once
// Empties a freedesktop.org Trash folder: every entry of files/ (folders with all they
// hold, links as links, never what they point to), its info/*.trashinfo record, orphaned
// records, and the expunged/ and directorysizes leftovers some desktops keep. An entry
// that cannot be removed keeps its record, so the Trash still shows and restores it.
#include <cstddef>
#include <string>
#include <vector>

namespace kv::platform {

struct TrashEmptyResult {
    std::size_t removed = 0;            // entries of files/ removed
    std::vector<std::string> failures;  // "<path>: <reason>" for each entry left behind
    bool ok() const { return failures.empty(); }
};

// The home Trash: dataHome() + "/Trash".
std::string homeTrashFolder();

// Empties trashDir (a missing folder is already empty).
TrashEmptyResult emptyTrash(const std::string& trashDir);

}  // namespace kv::platform
