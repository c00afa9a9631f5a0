#pragma once
// Temporary copies of archive entries for the viewer and the editor: each entry is extracted
// into a private folder of its own (0700) under one private folder in $XDG_RUNTIME_DIR (or
// /tmp). A copy goes when its window closes; whatever is left goes with this object.
#include <string>
#include <vector>

namespace kv {

class TArchiveFolders;

class TEntryCopies {
public:
    TEntryCopies() = default;
    ~TEntryCopies();
    TEntryCopies(const TEntryCopies&) = delete;
    TEntryCopies& operator=(const TEntryCopies&) = delete;

    // Extracts the file entry `inner` of the innermost archive of `folders`; the copy's
    // path, or "" with `error` saying why.
    std::string make(TArchiveFolders& folders, const std::string& inner, std::string& error);
    // Removes a copy made here, with its private folder; other paths are left alone.
    void release(const std::string& copy);
    // The private folder all copies are made under ("" before the first copy).
    const std::string& root() const { return root_; }
    std::size_t count() const { return copies_.size(); }

private:
    std::string root_;
    std::vector<std::string> copies_;
};

}  // namespace kv
