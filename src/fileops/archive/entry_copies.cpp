#include "fileops/archive/entry_copies.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "panel/model/archive_folder.h"

namespace kv {

namespace {

// $XDG_RUNTIME_DIR when it is an absolute folder, else /tmp.
std::string runtimeFolder() {
    const char* r = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (r && *r == '/' && ::stat(r, &st) == 0 && S_ISDIR(st.st_mode)) return r;
    return "/tmp";
}

std::string folderOf(const std::string& copy) {
    const std::size_t slash = copy.rfind('/');
    return slash == std::string::npos ? std::string() : copy.substr(0, slash);
}

}  // namespace

TEntryCopies::~TEntryCopies() {
    if (root_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);  // links inside are removed, never followed
}

std::string TEntryCopies::make(TArchiveFolders& folders, const std::string& inner, std::string& error) {
    if (root_.empty()) {
        std::string pattern = runtimeFolder() + "/kv-view-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            error = "no private temporary folder could be made";
            return {};
        }
        root_ = pattern;
    }
    std::string out;
    if (!folders.extractEntry(inner, out, error, root_)) {
        // The empty private folder made for the entry goes again.
        std::error_code ec;
        if (!out.empty()) std::filesystem::remove_all(folderOf(out), ec);
        return {};
    }
    copies_.push_back(out);
    return out;
}

void TEntryCopies::release(const std::string& copy) {
    const auto it = std::find(copies_.begin(), copies_.end(), copy);
    if (it == copies_.end()) return;
    copies_.erase(it);
    std::error_code ec;
    std::filesystem::remove_all(folderOf(copy), ec);
}

}  // namespace kv
