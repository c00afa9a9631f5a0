#pragma once
// An archive shown in a panel as folders. The archive's listing (TKelmo, any format it
// reads) is turned once into a tree of folders; each folder then lists like one on disk.
// A panel inside an archive has CurDir "/home/u/x.zip/docs": the archive's own path, then
// the folder inside it. Archives inside archives open the same way: the inner archive is
// extracted into a private folder first and its level sits on top of the outer one.
//
// Names from the archive are hostile: drive prefixes, leading slashes, "." and empty parts
// are dropped, and a name with a ".." part or a NUL byte is never placed in the tree, so no
// entry can stand for a way out of the archive.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/base/arc_types.h"
#include "platform/dir_reader.h"

namespace kv {

// The path inside the archive an entry's stored name stands for ("docs/a.txt"), "/"
// separated, without a trailing "/"; `isDir` is set when the name ends in "/". False for
// a name that has no place: empty after cleaning, a ".." part, a NUL byte.
bool archiveInnerPath(std::string_view stored, std::string& inner, bool& isDir);

// The archive types whose listing opens as folders, by the file's bytes (an archive with
// another extension, or none, opens too). atUnknown when the file is none of them.
TArcType folderArchiveType(const std::string& file);
// Whether the name's extension is one of an archive that opens as folders; cheap, so Enter
// on any other file never opens it to look.
bool archiveExtension(std::string_view name);
// "ZIP", "LHA", ...: the type's name for messages.
std::string_view trimmedTypeName(TArcType t);

class TArchiveTree {
public:
    struct Item {
        std::string stored;  // the name as the listing gave it
        std::int64_t size = 0;
        platform::LocalTime written;
        bool isDir = false;
    };
    // Builds the folders from the listing in one pass. Later entries of one name replace
    // earlier ones (an archive updated by appending); a folder and a file of one name in
    // one folder: the folder stays, as it holds the other entries.
    void build(std::vector<Item>&& items);
    // Lists the archive with TKelmo. False (error says why) when the archive could not be
    // listed at all; a listing that broke off keeps the entries before the damage.
    bool read(const std::string& file, std::string& error);

    // Node of the folder at `inner` ("" the top), or -1.
    int folder(std::string_view inner) const;
    // Node at `inner`, folder or file, or -1.
    int find(std::string_view inner) const;
    bool isFolder(int node) const { return node >= 0 && nodes_[static_cast<std::size_t>(node)].isDir; }
    // The entries of a folder node, as a folder read from disk gives them.
    std::vector<platform::DirItem> items(int folderNode) const;
    // The stored names of the node and, for a folder, of everything beneath it.
    void storedNames(int node, std::vector<std::string>& out) const;

    std::size_t entries() const { return nodes_.empty() ? 0 : nodes_.size() - 1; }
    // Entries left out because their names have no place in the tree.
    std::size_t refused() const { return refused_; }
    // The listing broke off before its end (damage); what was read is shown.
    bool incomplete() const { return incomplete_; }

private:
    struct Node {
        std::string name;
        std::string stored;  // empty for a folder only implied by the names under it
        std::int64_t size = 0;
        platform::LocalTime written;
        std::int32_t parent = -1;
        bool isDir = false;
        std::vector<std::uint32_t> children;
    };
    // The child of `parent` called `name`, or kNone.
    std::uint32_t child(std::uint32_t parent, std::string_view name) const;
    // The folder `name` in `parent`, made when missing (a file of that name becomes it).
    std::uint32_t subfolder(std::uint32_t parent, std::string_view name);
    std::uint32_t addNode(Node&& n);
    void indexInsert(std::uint32_t node);
    std::vector<Node> nodes_;  // node 0 is the top
    // Open addressing over node numbers by (parent, name), at most 70% full: no key strings,
    // so a listing of 100 000 names makes no allocation per name for its index.
    std::vector<std::uint32_t> index_;
    std::size_t refused_ = 0;
    bool incomplete_ = false;
};

// The archives a panel is inside, outermost first.
class TArchiveFolders {
public:
    struct Level {
        std::string shown;  // the archive's path as the panel shows it
        std::string file;   // the file read: the archive itself, or an inner one extracted
        TArcType type = atUnknown;
        TArchiveTree tree;
        std::string scratch;  // a private folder for extracted entries; made on demand
    };
    TArchiveFolders() = default;
    ~TArchiveFolders();
    TArchiveFolders(const TArchiveFolders&) = delete;
    TArchiveFolders& operator=(const TArchiveFolders&) = delete;

    bool inside() const { return !levels_.empty(); }
    const Level* innermost() const { return levels_.empty() ? nullptr : levels_.back().get(); }
    Level* innermost() { return levels_.empty() ? nullptr : levels_.back().get(); }
    const Level* outermost() const { return levels_.empty() ? nullptr : levels_.front().get(); }
    std::size_t depth() const { return levels_.size(); }
    // True when `dir` is the innermost archive itself or a folder in it.
    bool holds(const std::string& dir) const;
    // The folder inside the innermost archive that `dir` names ("" its top).
    std::string innerOf(const std::string& dir) const;
    // Leaves every level `dir` is not inside (their private folders go).
    void follow(const std::string& dir);
    void leaveAll();

    // Opens `file` (on disk) as a new level shown at `shown`. False, nothing opened, with
    // the reason, when it cannot be listed.
    bool open(const std::string& file, const std::string& shown, std::string& error);
    // Enters an archive that is an entry of the innermost level (inner path `inner`): it is
    // extracted into the level's private folder, then opened.
    bool openNested(const std::string& inner, const std::string& shown, std::string& error);
    // Extracts the innermost level's file entry `inner` into a folder of its own under the
    // level's private folder (or under `under`, a private folder of the caller's); `out` is
    // the extracted file's path.
    bool extractEntry(const std::string& inner, std::string& out, std::string& error,
                      const std::string& under = {});
    // Lists the innermost archive again (after it changed). False when it is gone or
    // unreadable; the level stays so the caller can leave it.
    bool reload(std::string& error);

private:
    static void dropLevel(Level& l);
    std::vector<std::unique_ptr<Level>> levels_;
};

}  // namespace kv
