#pragma once
// The desktop's list of recently used documents: $XDG_DATA_HOME/recently-used.xbel, the
// file GTK and other toolkits read and append to.
#include <string>

namespace kv::platform {

std::string recentDocsFile();  // dataHome() + "/recently-used.xbel"

struct ClearResult {
    bool ok = true;
    std::string message;  // "<file>: <reason>" when !ok
};

// Replaces the list with an empty one, in one step (a reader never sees half a file, and
// the toolkits that share it keep finding a valid document). A missing file stays missing.
ClearResult clearRecentDocs(const std::string& file);

}  // namespace kv::platform
