#pragma once
// The item kinds that need more than raw bytes: bitmaps (saved as complete .bmp files),
// icon and cursor groups (folders of their images), icon and cursor images (saved as
// .ico and .cur files), string tables and menus (text lines).
#include <array>
#include <optional>

#include "viewers/exe/exe_image.h"

namespace kv::exe {

// One 14-byte entry of an icon or cursor group: the image's size, colours and number.
struct GroupEntry {
    std::array<std::uint8_t, 14> bytes{};
    std::uint16_t imageNumber() const { return std::uint16_t(bytes[12] | (bytes[13] << 8)); }
};

class TBitMapResource : public TResourceItem {
public:
    using TResourceItem::TResourceItem;
    // The 14-byte file header, then the raw bytes.
    std::vector<std::uint8_t> fileContents() const override;
};

// An icon group: a folder of the icon images it lists, named by size and colours.
class TIconResource : public TResourceItem {
public:
    using TResourceItem::TResourceItem;
    bool isList() const override { return true; }

protected:
    std::unique_ptr<TResourceList> makeSubList() override;
};

class TCursorResource : public TIconResource {
public:
    using TIconResource::TIconResource;

protected:
    std::unique_ptr<TResourceList> makeSubList() override;
};

// The images a group lists, found by number in the icon (or cursor) image folder. Each row
// is an item of its own with the group's entry, so an image that two groups share carries
// each group's name.
class TIconResourceList : public TResourceList {
public:
    TIconResourceList(TExeImage& image, TResourceItem* group, Bytes groupData, bool cursors);

protected:
    void build() override;

private:
    Bytes groupData_;
    bool cursors_;
};

class TCursorResourceList : public TIconResourceList {
public:
    TCursorResourceList(TExeImage& image, TResourceItem* group, Bytes groupData)
        : TIconResourceList(image, group, groupData, true) {}
};

// One icon image; saved as an .ico file holding that image.
class TIconResEntry : public TResourceItem {
public:
    TIconResEntry(TResourceList& owner, DirEntry entry, std::optional<GroupEntry> group = std::nullopt)
        : TResourceItem(owner, entry), group_(group) {}
    std::string name() const override;
    std::vector<std::uint8_t> fileContents() const override;
    // The image as an .ico file, which picture decoders read (cursors too).
    virtual std::vector<std::uint8_t> iconFile() const;
    const std::optional<GroupEntry>& groupEntry() const { return group_; }

private:
    std::optional<GroupEntry> group_;
};

// One cursor image (a hot spot, then the image); saved as a .cur file.
class TCursorResEntry : public TIconResEntry {
public:
    using TIconResEntry::TIconResEntry;
    std::string name() const override;
    std::vector<std::uint8_t> fileContents() const override;
    std::vector<std::uint8_t> iconFile() const override;
};

class TStringResource : public TResourceItem {
public:
    using TResourceItem::TResourceItem;
    std::optional<std::vector<std::string>> textLines() const override;
};

class TMenuResource : public TResourceItem {
public:
    using TResourceItem::TResourceItem;
    std::optional<std::vector<std::string>> textLines() const override;
};

}  // namespace kv::exe
