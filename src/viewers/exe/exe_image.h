#pragma once
// The resources of a Windows executable or library (PE32 and PE32+): TExeImage is one
// opened file, TResourceList the entries of one resource directory, TResourceItem one entry.
// Lists are built when first asked for and kept until the image goes; the image owns every
// list and item (through the root list and the two image folders it keeps apart).
//
// The whole file is read into memory once (up to kMaxFileSize), so a file that another
// program truncates while it is open cannot fault us. Every offset, count and size the file
// declares is checked against the bytes that are there; what does not fit is left out and
// noted in problems(), so a damaged file shows what can be read and says what could not.
#include <algorithm>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "viewers/exe/byte_reader.h"

namespace kv::exe {

class EExeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TResourceItem;
class TResourceList;

// One resource directory entry as stored (8 bytes).
struct DirEntry {
    std::uint32_t nameOrNumber = 0;
    std::uint32_t dataOffset = 0;
    bool named() const { return (nameOrNumber & 0x80000000u) != 0; }
    bool leadsToDirectory() const { return (dataOffset & 0x80000000u) != 0; }
    std::uint32_t target() const { return dataOffset & 0x7FFFFFFFu; }
};

class TExeImage {
public:
    enum Status { kReady = 0, kNotPE = 2, kNoResources = 3 };
    static constexpr std::uint64_t kMaxFileSize = std::uint64_t(512) << 20;
    // More items than any real program has; a directory that shares sub-directories to
    // multiply itself stops here instead of eating the memory.
    static constexpr std::size_t kMaxItems = 200000;
    static constexpr std::size_t kMaxProblems = 50;

    // Reads the file; EExeError "Couldn't open: <name>" when it cannot be read (or is no
    // regular file, or is larger than kMaxFileSize), "unrecognized file format" when it does
    // not start with "MZ". A file without valid NT headers opens with status kNotPE.
    explicit TExeImage(const std::string& fileName);
    // The same checks on bytes already in memory (tests and the fuzzer).
    TExeImage(std::string fileName, std::vector<std::uint8_t> bytes);
    ~TExeImage();
    TExeImage(const TExeImage&) = delete;
    TExeImage& operator=(const TExeImage&) = delete;

    int status() const { return status_; }
    // The root list (resource types), or nullptr with status kNoResources. The status is
    // reset to kReady first on every call, as before.
    TResourceList* resources();
    const std::string& fileName() const { return fileName_; }
    bool isPe32Plus() const { return pe32Plus_; }

    // What could not be read, in the order met ("directory at 0x40 claims 900 entries ...").
    const std::vector<std::string>& problems() const { return problems_; }

    // ---- for the lists and items ----
    Bytes fileBytes() const { return data_; }
    Bytes section() const { return section_; }
    std::uint32_t sectionVirtualAddress() const { return sectionVa_; }
    // The file bytes of a resource given by its address relative to the image base, or
    // nothing when they do not lie wholly inside the file.
    std::optional<Bytes> dataAt(std::uint32_t rva, std::uint32_t size) const;
    void noteProblem(std::string text);
    // Counts one more item; false (noted once) when the limit is reached.
    bool takeItem();
    // A lower limit than kMaxItems (the fuzzer keeps each run short with it).
    void setItemLimit(std::size_t limit) { itemLimit_ = std::min(limit, kMaxItems); }
    // The type folders of the icon images (3) and cursor images (1), kept out of the root
    // list for the groups to look their images up in; nullptr when the file has none.
    TResourceItem* iconImages() const { return iconImages_.get(); }
    TResourceItem* cursorImages() const { return cursorImages_.get(); }
    void keepApart(std::unique_ptr<TResourceItem> item);
    // The numbered images of those folders by number, built once for all groups.
    const std::multimap<std::uint32_t, TResourceItem*>& imagesByNumber(bool cursors);

private:
    void readFile();
    void checkHeaders();
    bool findResourceSection();

    std::string fileName_;
    std::vector<std::uint8_t> data_;
    int status_ = kReady;
    std::uint32_t ntHeaders_ = 0;
    bool pe32Plus_ = false;
    bool sectionLooked_ = false, sectionFound_ = false;
    Bytes section_;                              // the section's raw data, clipped to the file
    std::optional<std::uint64_t> sectionStart_;  // where it starts in the file
    std::uint32_t sectionVa_ = 0;
    std::unique_ptr<TResourceList> root_;
    std::unique_ptr<TResourceItem> iconImages_, cursorImages_;
    std::optional<std::multimap<std::uint32_t, TResourceItem*>> iconsByNumber_, cursorsByNumber_;
    std::vector<std::string> problems_;
    std::size_t items_ = 0;
    std::size_t itemLimit_ = kMaxItems;
    bool itemLimitNoted_ = false;
};

// The entries of one directory, named first and then numbered, as stored.
class TResourceList {
public:
    // path: the section offsets of the directories from the root down to this one (for
    // loops); type: 0 for the root, the type folder's value below it.
    TResourceList(TExeImage& image, TResourceItem* ownerItem, std::uint32_t dirOffset, std::uint32_t type,
                  std::vector<std::uint32_t> path);
    virtual ~TResourceList();
    TResourceList(const TResourceList&) = delete;
    TResourceList& operator=(const TResourceList&) = delete;

    std::size_t count() { return items().size(); }
    TResourceItem* item(std::size_t i) { return items().at(i).get(); }
    const std::vector<std::unique_ptr<TResourceItem>>& items();

    std::uint32_t resourceType() const { return type_; }
    bool isRoot() const { return ownerItem_ == nullptr; }
    TExeImage& image() const { return image_; }
    TResourceItem* ownerItem() const { return ownerItem_; }
    const std::vector<std::uint32_t>& path() const { return path_; }
    // Levels below the root (0 for the root list).
    int depth() const { return int(path_.size()) - 1; }

protected:
    virtual void build();
    std::vector<std::unique_ptr<TResourceItem>> items_;

private:
    TExeImage& image_;
    TResourceItem* ownerItem_;
    std::uint32_t dirOffset_;
    std::uint32_t type_;
    std::vector<std::uint32_t> path_;
    bool built_ = false;
};

// The entries a directory holds, clipped to what the section has; nothing when even its
// 16-byte header is missing. A count that overstates is noted as a problem.
std::optional<std::vector<DirEntry>> readDirectory(TExeImage& image, std::uint32_t dirOffset);

class TResourceItem {
public:
    // The deepest list: types, names, languages, and one more level for odd files.
    static constexpr int kMaxListDepth = 3;

    TResourceItem(TResourceList& owner, DirEntry entry);
    virtual ~TResourceItem();
    TResourceItem(const TResourceItem&) = delete;
    TResourceItem& operator=(const TResourceItem&) = delete;

    virtual std::string name() const;
    // "#12" for numbered entries, the type name for type folders 0..16, else the name.
    std::string resourceName() const;
    virtual bool isList() const { return list_; }
    // EExeError "ResourceItem is not a list" for a data item.
    TResourceList* subList();

    std::uint32_t resourceType() const { return owner_.resourceType(); }
    // A list: its directory's offset in the section; data: its address from the data entry.
    std::uint32_t offset() const { return isList() ? entry_.target() : dataRva_; }
    // The data's bytes (empty for a list, or when they lie outside the file).
    Bytes rawData() const { return isList() ? Bytes{} : raw_; }
    // The size the data entry declares (0 for a list).
    std::uint32_t rawSize() const { return isList() ? 0 : dataSize_; }

    // The bytes a saved file holds: the raw bytes, or a complete picture file for the
    // kinds that have one.
    virtual std::vector<std::uint8_t> fileContents() const;
    void saveToStream(std::ostream& out) const;
    // Creates or replaces the file in one step; EExeError with the reason on failure.
    void saveToFile(const std::string& path) const;
    // The readable text of string tables, menus, dialogs, accelerators, version information
    // and stored forms; nothing for kinds without one.
    virtual std::optional<std::vector<std::string>> textLines() const;

    const DirEntry& entry() const { return entry_; }
    TResourceList& owner() const { return owner_; }
    TExeImage& image() const { return owner_.image(); }
    bool isTypeItem() const { return owner_.isRoot(); }
    bool named() const { return entry_.named(); }
    std::uint32_t number() const { return entry_.nameOrNumber; }

protected:
    virtual std::unique_ptr<TResourceList> makeSubList();
    // The data bytes whether or not the item counts as a list (groups read their own data).
    Bytes dataBytes() const { return raw_; }
    std::string plainName() const;  // rules 2 and 3: the stored name, or the number

private:
    void locate();
    void locateData(std::uint32_t dataEntryOffset);

    TResourceList& owner_;
    DirEntry entry_;
    bool list_ = false;
    std::uint32_t dataRva_ = 0, dataSize_ = 0;
    Bytes raw_;
    std::unique_ptr<TResourceList> sub_;
};

// The item class the entries below a type get.
std::unique_ptr<TResourceItem> makeResourceItem(TResourceList& owner, DirEntry entry);

}  // namespace kv::exe
