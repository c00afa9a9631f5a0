#pragma once
// One sorted folder listing: the entries, their sort keys and the selection totals.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/dir_reader.h"

namespace kv {

using platform::LocalTime;

// Sort types of a listing. The panel passes its SortMethod, so it uses 0..4 only.
enum TSortType : std::uint8_t {
    stArrival = 0, stName = 1, stExt = 2, stSize = 3, stCreated = 4, stAccessed = 5, stWritten = 6,
};

struct TDirEntry {
    std::string FileName;  // the name on disk, shown and used for paths
    std::string Name;      // up to, not including, the last dot
    std::string Ext;       // after the last dot; empty without a dot
    std::int64_t Size = 0;  // 0 for folders until a folder-size scan sets it
    LocalTime Created, Accessed, Written;
    std::uint16_t Attr = 0;
    std::uint8_t Selected = 0;
    bool IsLink = false;
    bool IsExec = false;  // a regular file with an execute bit

    bool isDir() const { return Attr & platform::faDirectory; }
    bool isParent() const { return FileName == ".."; }
    bool isHidden() const { return Attr & platform::faHidden; }
};

// Splits a file name at its last dot into Name and Ext.
void splitName(const std::string& fileName, std::string& name, std::string& ext);

// The key that orders one entry. `arrival` is its 1-based arrival number.
std::string buildSortKey(const TDirEntry& e, std::uint8_t sortType, bool foldersFirst,
                         bool programsFirst, std::uint32_t arrival);

class TDirectory {
public:
    std::uint8_t SortType = stExt;
    std::string Path;  // the folder, with a trailing "/"
    bool IsRoot = false;
    bool FoldersFirst = true;
    bool ProgramsFirst = true;
    bool ShowHidden = true;

    std::vector<TDirEntry> Items;  // display order
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

    int FilesCount() const { return static_cast<int>(Items.size()); }
    bool valid(int i) const { return i >= 1 && i <= FilesCount(); }
    // 1-based access, as the panel's index fields count.
    const TDirEntry& entry(int i) const { return Items[static_cast<std::size_t>(i - 1)]; }
    TDirEntry& entry(int i) { return Items[static_cast<std::size_t>(i - 1)]; }
    const std::string& name(int i) const { return entry(i).Name; }
    const std::string& ext(int i) const { return entry(i).Ext; }
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
    // Index of the last entry whose shown name equals `text` (case-sensitive), or 0.
    int findByName(const std::string& text) const;
};

}  // namespace kv
