#include "viewers/exe/resource_items.h"

#include <cstdio>

#include "viewers/exe/picture_files.h"
#include "viewers/exe/readable_forms.h"
#include "viewers/exe/resource_types.h"

namespace kv::exe {

std::unique_ptr<TResourceItem> makeResourceItem(TResourceList& owner, DirEntry entry) {
    if (owner.isRoot()) return std::make_unique<TResourceItem>(owner, entry);
    switch (owner.resourceType()) {
        case kCursorImage: return std::make_unique<TCursorResEntry>(owner, entry);
        case kBitmap: return std::make_unique<TBitMapResource>(owner, entry);
        case kIconImage: return std::make_unique<TIconResEntry>(owner, entry);
        case kMenu: return std::make_unique<TMenuResource>(owner, entry);
        case kStringTable: return std::make_unique<TStringResource>(owner, entry);
        case kCursorGroup: return std::make_unique<TCursorResource>(owner, entry);
        case kIconGroup: return std::make_unique<TIconResource>(owner, entry);
        default: return std::make_unique<TResourceItem>(owner, entry);
    }
}

// ---------------------------------------------------------------- bitmaps

std::vector<std::uint8_t> TBitMapResource::fileContents() const { return bitmapFile(rawData()); }

// ---------------------------------------------------------------- groups

std::unique_ptr<TResourceList> TIconResource::makeSubList() {
    return std::make_unique<TIconResourceList>(image(), this, dataBytes(), false);
}

std::unique_ptr<TResourceList> TCursorResource::makeSubList() {
    return std::make_unique<TCursorResourceList>(image(), this, dataBytes());
}

namespace {

// The images a group lists live below the image folder, so loops are looked for along
// that folder's path.
std::vector<std::uint32_t> imageFolderPath(TExeImage& image, bool cursors) {
    TResourceItem* folder = cursors ? image.cursorImages() : image.iconImages();
    if (folder && folder->isList()) return folder->subList()->path();
    return {0};
}

}  // namespace

TIconResourceList::TIconResourceList(TExeImage& image, TResourceItem* group, Bytes groupData, bool cursors)
    : TResourceList(image, group, 0, cursors ? kCursorImage : kIconImage, imageFolderPath(image, cursors)),
      groupData_(groupData),
      cursors_(cursors) {}

void TIconResourceList::build() {
    TExeImage& img = image();
    const auto declared = readU16(groupData_, 4);
    if (!declared) {
        if (!groupData_.empty()) img.noteProblem("an icon or cursor group is shorter than its header");
        return;
    }
    const std::uint64_t fits = groupData_.size() >= 6 ? (groupData_.size() - 6) / 14 : 0;
    std::uint64_t count = *declared;
    if (count > fits) {
        img.noteProblem("an icon or cursor group claims " + std::to_string(*declared) + " images, only " +
                        std::to_string(fits) + " are there");
        count = fits;
    }
    const auto& byNumber = img.imagesByNumber(cursors_);
    for (std::uint64_t i = 0; i < count; ++i) {
        GroupEntry g;
        const Bytes raw = sliceOf(groupData_, 6 + i * 14, 14);
        std::copy(raw.begin(), raw.end(), g.bytes.begin());
        const auto [from, to] = byNumber.equal_range(g.imageNumber());
        for (auto it = from; it != to; ++it) {
            if (!img.takeItem()) return;
            if (cursors_)
                items_.push_back(std::make_unique<TCursorResEntry>(*this, it->second->entry(), g));
            else
                items_.push_back(std::make_unique<TIconResEntry>(*this, it->second->entry(), g));
        }
    }
}

// ---------------------------------------------------------------- icon and cursor images

std::string TIconResEntry::name() const {
    if (!group_) return plainName();
    const auto& b = group_->bytes;
    char buf[64];
    // A width or height byte of 0 stands for 256 pixels.
    std::snprintf(buf, sizeof buf, "%d X %d %d Colors", b[0] ? b[0] : 256, b[1] ? b[1] : 256, b[2]);
    return buf;
}

std::vector<std::uint8_t> TIconResEntry::iconFile() const {
    IconDirEntry e = entryFromImage(rawData()).value_or(IconDirEntry{});
    if (group_) {
        // The group keeps the directory entry of the icon file the image came from.
        const auto& b = group_->bytes;
        e = IconDirEntry{
            b[0], b[1], b[2], b[3], std::uint16_t(b[4] | b[5] << 8), std::uint16_t(b[6] | b[7] << 8)};
    }
    return exe::iconFile(1, e, rawData());
}

std::vector<std::uint8_t> TIconResEntry::fileContents() const { return iconFile(); }

std::string TCursorResEntry::name() const {
    if (!groupEntry()) return plainName();
    const auto& b = groupEntry()->bytes;
    const int width = b[0] | b[1] << 8, bits = b[6] | b[7] << 8;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d X %d %d Bit(s)", width, width, bits);
    return buf;
}

namespace {

// A stored cursor: the hot spot (two 16-bit values), then the image.
struct CursorParts {
    std::uint16_t hotX = 0, hotY = 0;
    Bytes image;
};
CursorParts splitCursor(Bytes raw) {
    if (raw.size() < 4) return {};
    return {std::uint16_t(raw[0] | raw[1] << 8), std::uint16_t(raw[2] | raw[3] << 8), raw.subspan(4)};
}

}  // namespace

std::vector<std::uint8_t> TCursorResEntry::fileContents() const {
    const CursorParts c = splitCursor(rawData());
    IconDirEntry e = entryFromImage(c.image).value_or(IconDirEntry{});
    if (!entryFromImage(c.image) && groupEntry()) {
        const auto& b = groupEntry()->bytes;
        e.width = b[0];
        e.height = std::uint8_t((b[2] | b[3] << 8) / 2);
    }
    e.planesOrHotX = c.hotX;
    e.bitsOrHotY = c.hotY;
    return exe::iconFile(2, e, c.image);
}

std::vector<std::uint8_t> TCursorResEntry::iconFile() const {
    const CursorParts c = splitCursor(rawData());
    return exe::iconFile(1, entryFromImage(c.image).value_or(IconDirEntry{}), c.image);
}

// ---------------------------------------------------------------- text kinds

std::optional<std::vector<std::string>> TStringResource::textLines() const {
    if (isList()) return std::nullopt;
    // Named blocks have no number to count from; their strings count from 0.
    return stringTableLines(named() ? 1 : number(), rawData());
}

std::optional<std::vector<std::string>> TMenuResource::textLines() const {
    if (isList()) return std::nullopt;
    return menuLines(rawData());
}

}  // namespace kv::exe
