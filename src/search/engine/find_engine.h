#pragma once
// The file search: walks a folder tree on the calling thread (the window runs it on a
// worker), matching names against masks and, when asked, the text inside files and the
// names and text inside archives. Results come in batches; counts are live for the window.
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace kv::search {

struct TFindQuery {
    std::string startDir;
    std::string masks = "*";  // TMask syntax, several separated by ","
    std::string text;         // UTF-8; empty: names only
    bool ignoreCase = false;
    std::int64_t minSize = -1, maxSize = -1;  // bytes; -1: no limit
    // Modified time in Unix seconds, both ends included.
    std::int64_t fromTime = std::numeric_limits<std::int64_t>::min();
    std::int64_t toTime = std::numeric_limits<std::int64_t>::max();
    bool inArchives = false;
    // Off: a link is matched as itself and never followed, into a folder or a file's text.
    bool followLinks = false;
    // Bytes decoded per archive entry when searching its text.
    std::uint64_t entryTextCap = 64u << 20;
    // Off: a search by names alone, without size or date limits, makes no stat call and
    // leaves size and mtime of disk results at -1, for the window to fill in for the rows it
    // shows (a stat per result was most of such a search's time).
    bool withSizes = true;
};

struct TFindResult {
    std::string path;  // a disk file's full path; inside an archive: archive + "/" + inner
    std::int64_t size = 0;   // -1: not known (TFindQuery::withSizes)
    std::int64_t mtime = 0;  // Unix seconds; -1: not known
    bool isDir = false;
    std::string archive;  // the archive's path when the result is one of its entries
    std::string inner;    // the entry's path inside it ("docs/a.txt")
    bool inArchive() const { return !archive.empty(); }
};

struct TFindCounts {
    std::atomic<std::uint64_t> folders{0};
    std::atomic<std::uint64_t> matched{0};
};

class TFindEngine {
public:
    using Batch = std::function<void(std::vector<TFindResult>&&)>;
    // Throws EMaskError for a mask that cannot be used.
    explicit TFindEngine(TFindQuery query);
    ~TFindEngine();
    TFindEngine(const TFindEngine&) = delete;
    TFindEngine& operator=(const TFindEngine&) = delete;

    // Runs the search to its end or until `cancel` is set; results go to onBatch in groups
    // (the last one when the walk ends). False when the start folder could not be opened.
    bool run(const std::atomic<bool>& cancel, TFindCounts& counts, const Batch& onBatch);

private:
    struct Impl;
    Impl* impl_;
};

// Runs a search to its end and answers every result (tests, the bench).
std::vector<TFindResult> findAll(const TFindQuery& query);

}  // namespace kv::search
