#include "viewers/exe/exe_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "platform/atomic_file.h"
#include "viewers/exe/readable_forms.h"
#include "viewers/exe/resource_items.h"
#include "viewers/exe/resource_types.h"

namespace kv::exe {

namespace {

std::string hex(std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"

}  // namespace

// ---------------------------------------------------------------- TExeImage

TExeImage::TExeImage(const std::string& fileName) : fileName_(fileName) {
    readFile();
    checkHeaders();
}

TExeImage::TExeImage(std::string fileName, std::vector<std::uint8_t> bytes)
    : fileName_(std::move(fileName)), data_(std::move(bytes)) {
    checkHeaders();
}

TExeImage::~TExeImage() = default;

void TExeImage::readFile() {
    const std::string failed = "Couldn't open: " + fileName_;
    // Non-blocking, so a FIFO given as a file name cannot hang us; it is refused below.
    const int fd = ::open(fileName_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) throw EExeError(failed);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || std::uint64_t(st.st_size) > kMaxFileSize) {
        ::close(fd);
        throw EExeError(failed);
    }
    // The size may change while we read: take what is there, never more than the limit.
    data_.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < data_.size()) {
        const ssize_t n = ::read(fd, data_.data() + got, data_.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            throw EExeError(failed);
        }
        if (n == 0) break;
        got += std::size_t(n);
    }
    ::close(fd);
    data_.resize(got);
}

void TExeImage::checkHeaders() {
    if (data_.size() < 2 || data_[0] != 'M' || data_[1] != 'Z') throw EExeError("unrecognized file format");
    const Bytes file = data_;
    const auto nt = readU32(file, 0x3C);
    // The signature and the 20-byte file header must be there; the optional header is
    // skipped by its own size field, so PE32+ files with their longer header work too.
    if (!nt || readU32(file, *nt) != kPeSignature || !rangeInside(*nt, 24, file.size())) {
        status_ = kNotPE;
        return;
    }
    ntHeaders_ = *nt;
    pe32Plus_ = readU16(file, std::uint64_t(*nt) + 24) == 0x20B;
}

bool TExeImage::findResourceSection() {
    const Bytes file = data_;
    const std::uint64_t nt = ntHeaders_;
    const std::uint16_t declared = *readU16(file, nt + 6);
    const std::uint16_t optionalSize = *readU16(file, nt + 20);
    const std::uint64_t table = nt + 24 + optionalSize;
    std::uint64_t fits = table <= file.size() ? (file.size() - table) / 40 : 0;
    std::uint64_t count = declared;
    if (count > fits) {
        noteProblem("the section table claims " + std::to_string(declared) + " sections, only " +
                    std::to_string(fits) + " fit in the file");
        count = fits;
    }
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t h = table + i * 40;
        char name[9] = {};
        std::memcpy(name, file.data() + h, 8);
        if (strcasecmp(name, ".rsrc") != 0) continue;
        sectionVa_ = *readU32(file, h + 12);
        const std::uint32_t rawSize = *readU32(file, h + 16);
        const std::uint32_t rawStart = *readU32(file, h + 20);
        if (rawStart >= file.size()) {
            noteProblem("the resource section (at " + hex(rawStart) + ") lies outside the file");
            section_ = {};
        } else {
            sectionStart_ = rawStart;
            const std::uint64_t avail = file.size() - rawStart;
            if (rawSize > avail)
                noteProblem("the resource section claims " + hex(rawSize) + " bytes, the file has " +
                            hex(avail) + " of them");
            section_ = file.subspan(rawStart, std::min<std::uint64_t>(rawSize, avail));
        }
        return true;
    }
    return false;
}

TResourceList* TExeImage::resources() {
    if (status_ == kNotPE) return nullptr;
    status_ = kReady;
    if (!sectionLooked_) {
        sectionLooked_ = true;
        sectionFound_ = findResourceSection();
        if (sectionFound_)
            root_ = std::make_unique<TResourceList>(*this, nullptr, 0, 0, std::vector<std::uint32_t>{0});
    }
    if (!sectionFound_) {
        status_ = kNoResources;
        return nullptr;
    }
    return root_.get();
}

std::optional<Bytes> TExeImage::dataAt(std::uint32_t rva, std::uint32_t size) const {
    if (rva < sectionVa_ || !sectionStart_) return std::nullopt;
    std::uint64_t pos;
    if (!checkedAdd(*sectionStart_, rva - sectionVa_, pos) || !rangeInside(pos, size, data_.size()))
        return std::nullopt;
    return Bytes(data_).subspan(static_cast<std::size_t>(pos), size);
}

void TExeImage::noteProblem(std::string text) {
    if (problems_.size() >= kMaxProblems) return;
    if (std::find(problems_.begin(), problems_.end(), text) != problems_.end()) return;
    problems_.push_back(std::move(text));
}

bool TExeImage::takeItem() {
    if (items_ < itemLimit_) {
        ++items_;
        return true;
    }
    if (!itemLimitNoted_) {
        itemLimitNoted_ = true;
        noteProblem("more than " + std::to_string(itemLimit_) + " resources; the rest are left out");
    }
    return false;
}

void TExeImage::keepApart(std::unique_ptr<TResourceItem> item) {
    auto& slot = item->number() == kIconImage ? iconImages_ : cursorImages_;
    if (!slot) slot = std::move(item);  // a second folder of the same type is not shown
}

const std::multimap<std::uint32_t, TResourceItem*>& TExeImage::imagesByNumber(bool cursors) {
    auto& cache = cursors ? cursorsByNumber_ : iconsByNumber_;
    if (!cache) {
        cache.emplace();
        TResourceItem* folder = cursors ? cursorImages_.get() : iconImages_.get();
        if (folder && folder->isList())
            for (const auto& item : folder->subList()->items())
                if (!item->named()) cache->emplace(item->number(), item.get());
    }
    return *cache;
}

// ---------------------------------------------------------------- directories

namespace {

struct DirectoryHead {
    std::uint64_t count;  // entries that fit
    std::uint64_t declared;
};

std::optional<DirectoryHead> directoryHead(Bytes section, std::uint32_t dirOffset) {
    const auto named = readU16(section, std::uint64_t(dirOffset) + 12);
    const auto numbered = readU16(section, std::uint64_t(dirOffset) + 14);
    if (!named || !numbered) return std::nullopt;
    const std::uint64_t first = std::uint64_t(dirOffset) + 16;
    const std::uint64_t fits = first <= section.size() ? (section.size() - first) / 8 : 0;
    const std::uint64_t declared = std::uint64_t(*named) + *numbered;
    return DirectoryHead{std::min(declared, fits), declared};
}

DirEntry entryAt(Bytes section, std::uint32_t dirOffset, std::uint64_t i) {
    const std::uint64_t at = std::uint64_t(dirOffset) + 16 + i * 8;
    return DirEntry{*readU32(section, at), *readU32(section, at + 4)};
}

}  // namespace

std::optional<std::vector<DirEntry>> readDirectory(TExeImage& image, std::uint32_t dirOffset) {
    const Bytes section = image.section();
    const auto head = directoryHead(section, dirOffset);
    if (!head) {
        image.noteProblem("the resource directory at " + hex(dirOffset) +
                          " lies outside the resource section");
        return std::nullopt;
    }
    if (head->count < head->declared)
        image.noteProblem("the resource directory at " + hex(dirOffset) + " claims " +
                          std::to_string(head->declared) + " entries, only " + std::to_string(head->count) +
                          " fit in the section");
    std::vector<DirEntry> out;
    out.reserve(static_cast<std::size_t>(head->count));
    for (std::uint64_t i = 0; i < head->count; ++i) out.push_back(entryAt(section, dirOffset, i));
    return out;
}

// ---------------------------------------------------------------- TResourceList

TResourceList::TResourceList(TExeImage& image, TResourceItem* ownerItem, std::uint32_t dirOffset,
                             std::uint32_t type, std::vector<std::uint32_t> path)
    : image_(image), ownerItem_(ownerItem), dirOffset_(dirOffset), type_(type), path_(std::move(path)) {}

TResourceList::~TResourceList() = default;

const std::vector<std::unique_ptr<TResourceItem>>& TResourceList::items() {
    if (!built_) {
        built_ = true;
        build();
    }
    return items_;
}

void TResourceList::build() {
    const auto entries = readDirectory(image_, dirOffset_);
    if (!entries) return;
    for (const DirEntry& e : *entries) {
        if (!image_.takeItem()) break;
        auto item = makeResourceItem(*this, e);
        // The image folders are looked up by the groups that use them and shown only there.
        if (isRoot() && !e.named() && (e.nameOrNumber == kIconImage || e.nameOrNumber == kCursorImage)) {
            image_.keepApart(std::move(item));
            continue;
        }
        items_.push_back(std::move(item));
    }
}

// ---------------------------------------------------------------- TResourceItem

TResourceItem::TResourceItem(TResourceList& owner, DirEntry entry) : owner_(owner), entry_(entry) {
    locate();
}

TResourceItem::~TResourceItem() = default;

void TResourceItem::locate() {
    TExeImage& img = image();
    if (!entry_.leadsToDirectory()) {
        // No language level: the entry names its data entry itself.
        locateData(entry_.target());
        return;
    }
    const std::uint32_t dir = entry_.target();
    const auto& path = owner_.path();
    if (std::find(path.begin(), path.end(), dir) != path.end()) {
        img.noteProblem("the resource directory at " + hex(dir) + " contains itself");
        return;
    }
    if (owner_.depth() + 1 > kMaxListDepth) {
        img.noteProblem("resource directories nested deeper than " + std::to_string(kMaxListDepth + 1) +
                        " levels");
        return;
    }
    const auto head = directoryHead(img.section(), dir);
    if (!head) {
        img.noteProblem("the resource directory at " + hex(dir) + " lies outside the resource section");
        return;
    }
    if (head->count == 0) {
        // An empty directory: a folder with nothing in it.
        list_ = head->declared == 0;
        if (!list_)
            img.noteProblem("the resource directory at " + hex(dir) + " claims " +
                            std::to_string(head->declared) + " entries, none fit in the section");
        return;
    }
    const DirEntry first = entryAt(img.section(), dir, 0);
    if (first.leadsToDirectory()) {
        list_ = true;
        return;
    }
    locateData(first.target());
}

void TResourceItem::locateData(std::uint32_t dataEntryOffset) {
    TExeImage& img = image();
    const auto rva = readU32(img.section(), dataEntryOffset);
    const auto size = readU32(img.section(), std::uint64_t(dataEntryOffset) + 4);
    if (!rva || !size || !rangeInside(dataEntryOffset, 16, img.section().size())) {
        img.noteProblem("the resource data entry at " + hex(dataEntryOffset) +
                        " lies outside the resource section");
        return;
    }
    dataRva_ = *rva;
    dataSize_ = *size;
    if (auto bytes = img.dataAt(*rva, *size)) {
        raw_ = *bytes;
    } else {
        img.noteProblem("the data of a resource (address " + hex(*rva) + ", " + hex(*size) +
                        " bytes) lies outside the file");
    }
}

std::string TResourceItem::plainName() const {
    if (!entry_.named()) return std::to_string(entry_.nameOrNumber);
    const std::uint32_t at = entry_.nameOrNumber & 0x7FFFFFFFu;
    const Bytes section = image().section();
    const auto count = readU16(section, at);
    if (count) {
        if (auto text = utf16At(section, std::uint64_t(at) + 2, *count)) return *text;
    }
    return "?" + hex(at);  // the name lies outside the section
}

std::string TResourceItem::name() const {
    if (isTypeItem() && !entry_.named() && isKnownType(entry_.nameOrNumber))
        return typeName(entry_.nameOrNumber);
    return plainName();
}

std::string TResourceItem::resourceName() const {
    if (entry_.named()) return plainName();
    if (isTypeItem() && isKnownType(entry_.nameOrNumber)) return typeName(entry_.nameOrNumber);
    return "#" + std::to_string(entry_.nameOrNumber);
}

TResourceList* TResourceItem::subList() {
    if (!isList()) throw EExeError("ResourceItem is not a list");
    if (!sub_) sub_ = makeSubList();
    return sub_.get();
}

std::unique_ptr<TResourceList> TResourceItem::makeSubList() {
    if (!list_) return std::make_unique<TResourceList>(image(), this, 0, resourceType(), owner_.path());
    auto path = owner_.path();
    path.push_back(entry_.target());
    const std::uint32_t type = isTypeItem() ? entry_.nameOrNumber : resourceType();
    return std::make_unique<TResourceList>(image(), this, entry_.target(), type, std::move(path));
}

std::vector<std::uint8_t> TResourceItem::fileContents() const {
    const Bytes b = rawData();
    return {b.begin(), b.end()};
}

void TResourceItem::saveToStream(std::ostream& out) const {
    const auto bytes = fileContents();
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void TResourceItem::saveToFile(const std::string& path) const {
    const auto bytes = fileContents();
    platform::AtomicFile file;
    if (!file.begin(AT_FDCWD, path) || !file.write(bytes.data(), bytes.size()) || !file.commit())
        throw EExeError("Couldn't write: " + path + ": " + std::strerror(file.error()));
}

std::optional<std::vector<std::string>> TResourceItem::textLines() const {
    if (isList()) return std::nullopt;
    return readableText(resourceType(), rawData());
}

}  // namespace kv::exe
