#pragma once
// One sorted folder listing: the entries, their sort keys and the selection totals.
//
// Storage, for folders of a million entries: the entries live in one pool (72 bytes each,
// names of up to 15 bytes inline in the entry, longer ones in their own block), the
// display order is a separate array of 4-byte pool slots, and a name index of 4-byte
// slots (kept at most 70% full) finds an entry by name. An entry keeps its slot for the
// life of the listing, so a change on disk moves only 4-byte slots, never entries.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "panel/model/chunked_vector.h"
#include "platform/dir_reader.h"

namespace kv {

using platform::LocalTime;

// Sort types of a listing. The panel passes its SortMethod, so it uses 0..4 only.
enum TSortType : std::uint8_t {
    stArrival = 0,
    stName = 1,
    stExt = 2,
    stSize = 3,
    stCreated = 4,
    stAccessed = 5,
    stWritten = 6,
};

struct TDirEntry {
    std::string FileName;   // the name on disk, shown and used for paths
    std::int64_t Size = 0;  // 0 for folders until a folder-size scan sets it
    LocalTime Created, Accessed, Written;
    std::uint32_t Arrival = 0;  // 1-based place in the read that listed it ("..": 1)
    std::uint16_t Attr = 0;
    std::uint8_t Selected = 0;
    bool IsLink : 1 = false;
    bool IsExec : 1 = false;       // a regular file with an execute bit
    bool IsBroken : 1 = false;     // a link whose target is missing
    bool SizeCounted : 1 = false;  // a folder whose size a folder-size count has set
    platform::FileKind Kind : 3 = platform::FileKind::Regular;  // a link's target's kind

    // Up to, not including, the last dot; after the last dot (empty without a dot).
    std::string_view Name() const;
    std::string_view Ext() const;
    bool isDir() const { return Attr & platform::faDirectory; }
    bool isParent() const { return FileName == ".."; }
    bool isHidden() const { return Attr & platform::faHidden; }
    // A fifo, socket or device: never opened for reading.
    bool isSpecial() const {
        using K = platform::FileKind;
        return Kind == K::Fifo || Kind == K::Socket || Kind == K::CharDevice || Kind == K::BlockDevice;
    }
};
static_assert(sizeof(TDirEntry) <= 72, "a million entries must stay small");

// Splits a file name at its last dot into Name and Ext.
void splitName(const std::string& fileName, std::string& name, std::string& ext);

// The key that orders one entry. `arrival` is its 1-based arrival number.
std::string buildSortKey(const TDirEntry& e, std::uint8_t sortType, bool foldersFirst, bool programsFirst,
                         std::uint32_t arrival);

class TDirectory {
public:
    // From this many entries on, Build sorts on two threads.
    static constexpr std::size_t kParallelSortMin = 65536;

    std::uint8_t SortType = stExt;
    std::string Path;  // the folder, with a trailing "/"
    bool IsRoot = false;
    bool FoldersFirst = true;
    bool ProgramsFirst = true;
    bool ShowHidden = true;

    std::int64_t TotalSize = 0;
    std::int32_t SelectedCount = 0;
    std::int64_t SelectedSize = 0;

    // Lists `folder` ("/" is the root, which has no ".." entry) and sorts it. Returns
    // false when the folder could not be read; the listing then holds ".." alone
    // (nothing at the root).
    bool Read(const std::string& folder);
    // Builds the listing from items already read (arrival order), as Read does.
    void Build(const std::string& folder, std::vector<platform::DirItem>&& items);
    void Clear();

    int FilesCount() const { return static_cast<int>(order_.size()); }
    bool valid(int i) const { return i >= 1 && i <= FilesCount(); }
    // 1-based access, as the panel's index fields count.
    const TDirEntry& entry(int i) const { return pool_[order_[static_cast<std::size_t>(i - 1)]]; }
    TDirEntry& entry(int i) { return pool_[order_[static_cast<std::size_t>(i - 1)]]; }
    std::string name(int i) const { return std::string(entry(i).Name()); }
    std::string ext(int i) const { return std::string(entry(i).Ext()); }
    const std::string& displayName(int i) const { return entry(i).FileName; }
    std::int64_t size(int i) const { return entry(i).Size; }
    const LocalTime& written(int i) const { return entry(i).Written; }
    std::uint16_t attr(int i) const { return entry(i).Attr; }
    bool isFolder(int i) const { return entry(i).isDir(); }
    bool selected(int i) const { return entry(i).Selected; }

    // The key entry i was sorted by (recomputed; the listing does not keep keys).
    std::string sortKey(int i) const;

    void setSize(int i, std::int64_t size);
    // Changes the totals only when the state really changes; ".." is never selected.
    void setSelected(int i, bool flag);
    // Index of the entry whose shown name equals `text` (case-sensitive), or 0. Names
    // in one folder are unique, so this is the last (and only) such entry.
    int findByName(const std::string& text) const;

    // Brings the listing up to date with changes on disk without reading the folder:
    // `present` are entries as they are now (new or changed), `absent` names that are no
    // longer there. Each finds its place by its key in O(log n); one batch moves the order
    // array once. Entries keep their selection. Returns false, leaving the listing as it
    // was, when only a full read can give the exact order: a new entry whose key equals
    // another's (ties are ordered by the file system's reading order) or any new entry in
    // arrival order.
    bool Apply(std::vector<platform::DirItem>&& present, const std::vector<std::string>& absent);

    // Bytes the listing holds, its entries' long names included.
    std::size_t memoryBytes() const;

private:
    std::uint32_t slotOf(std::string_view name) const;  // kNone when absent
    void indexInsert(std::uint32_t slot);
    void indexErase(std::uint32_t slot);
    void rebuildIndex(std::size_t capacity);
    void keyOf(std::uint32_t slot, std::string& key) const;
    // Position in order_ of a slot, found by its key.
    std::size_t positionOf(std::uint32_t slot) const;
    // First position whose key is greater than `key`; `tie` tells whether a neighbour's
    // key equals it.
    std::size_t upperBound(const std::string& key, const std::vector<std::uint32_t>& order, bool& tie) const;
    TDirEntry fromItem(platform::DirItem&& it, std::uint32_t arrival) const;

    ChunkedVector<TDirEntry> pool_;
    std::vector<std::uint32_t> order_;  // display order of pool slots
    std::vector<std::uint32_t> free_;   // pool slots of removed entries
    std::vector<std::uint32_t> index_;  // open addressing over pool slots by name
    std::size_t indexUsed_ = 0;         // live and deleted marks in index_
    std::uint32_t lastArrival_ = 0;
};

}  // namespace kv
