#pragma once
// The folder an extraction writes into, held open by a descriptor: every folder, file and
// link an extractor makes is created relative to it, and every path is resolved by the
// kernel so that it stays beneath it (openat2 with RESOLVE_BENEATH; where the kernel lacks
// that call, component by component without following any link). No link, from the archive
// being extracted or already on disk, can lead a write outside.
#include <string>
#include <string_view>

namespace kv {

class ExtractTarget {
public:
    enum class Resolve { Beneath, NoLinks };  // NoLinks: how kernels without openat2 are served

    ExtractTarget();
    ~ExtractTarget();
    ExtractTarget(const ExtractTarget&) = delete;
    ExtractTarget& operator=(const ExtractTarget&) = delete;

    // Makes root (with missing parents) and opens it; false with errno set.
    bool open(const std::string& root);
    void close();
    bool isOpen() const { return rootFd_ >= 0; }
    int rootFd() const { return rootFd_; }
    // For tests: resolve as a kernel without openat2 would be served.
    void setResolve(Resolve r) { resolve_ = r; }
    Resolve resolve() const { return resolve_; }

    // Why a folder could not be had: its path leads outside (a link on the way), or the
    // system refused (errno tells).
    enum class Failure { None, Outside, System };

    // The folder rel ("a/b"; "" is the root) beneath the root, made when create is set and
    // it is missing. Answers a descriptor that stays owned by this object (valid until the
    // next call), or -1 with why.
    int folder(std::string_view rel, bool create, Failure& why);

    // Whether a symbolic link to target, placed in folder rel, keeps every path through it
    // beneath the root: target is relative, has no NUL, climbs (leading "..") no higher than
    // rel's depth and never climbs after descending, rel is reached without any link, and
    // the part of target that exists already resolves beneath the root.
    bool linkStaysInside(std::string_view rel, std::string_view target);

    // A link named leaf in dirFd pointing to target, made under a fresh temporary name and
    // moved over leaf in one step; false with errno set.
    static bool placeLink(int dirFd, const std::string& leaf, const std::string& target);
    // A second name leaf in dirFd for the file open as fileFd (O_PATH will do), made and moved
    // the same way; false with errno set (a file system without hard links: EPERM).
    static bool placeHardLink(int dirFd, const std::string& leaf, int fileFd);

private:
    int openBeneath(const std::string& rel, bool noLinks) const;
    int rootFd_ = -1;
    Resolve resolve_;
    std::string cachedRel_;
    int cachedFd_ = -1;
};

// Stored names that must never be written: absolute paths, drive prefixes, any ".." step
// (backslashes count as separators), NUL bytes, and names with nothing left to create.
bool refusedEntryName(std::string_view name);

}  // namespace kv
