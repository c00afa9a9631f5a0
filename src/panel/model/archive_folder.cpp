#include "panel/model/archive_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <system_error>

#include "archive/base/detect.h"
#include "archive/base/extractor_factory.h"
#include "archive/base/messages.h"
#include "archive/base/util.h"
#include "archive/kelmo/kelmo.h"

namespace kv {

namespace {

constexpr std::uint32_t kNoNode = 0xFFFFFFFFu;

platform::LocalTime localTimeOf(const TDateTime& d) {
    platform::LocalTime t;
    t.Year = static_cast<std::uint64_t>(std::max(0, d.Year));
    t.Month = static_cast<std::uint64_t>(d.Month);
    t.Day = static_cast<std::uint64_t>(d.Day);
    t.Hour = static_cast<std::uint64_t>(d.Hour);
    t.Minute = static_cast<std::uint64_t>(d.Minute);
    t.Second = static_cast<std::uint64_t>(d.Second);
    return t;
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

// A folder of our own, readable by us alone, for entries taken out of an archive.
bool makePrivateFolder(const std::string& under, std::string& out) {
    std::string pattern = under + "/kv-archive-XXXXXX";
    if (!::mkdtemp(pattern.data())) return false;
    out = pattern;
    return true;
}

std::string tempRoot() {
    const char* t = std::getenv("TMPDIR");
    std::string root = t && *t == '/' ? t : "/tmp";
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root;
}

}  // namespace

bool archiveInnerPath(std::string_view s, std::string& inner, bool& isDir) {
    inner.clear();
    isDir = !s.empty() && (s.back() == '/' || s.back() == '\\');
    if (s.find('\0') != std::string_view::npos) return false;
    // A drive prefix never makes a name absolute here, as extraction drops it too.
    if (s.size() >= 2 && s[1] == ':') s.remove_prefix(2);
    std::size_t at = 0;
    while (at <= s.size()) {
        std::size_t end = s.find_first_of("/\\", at);
        if (end == std::string_view::npos) end = s.size();
        const std::string_view part = s.substr(at, end - at);
        if (part == "..") return false;
        if (!part.empty() && part != ".") {
            if (!inner.empty()) inner.push_back('/');
            inner.append(part);
        }
        at = end + 1;
    }
    return !inner.empty();
}

TArcType folderArchiveType(const std::string& file) {
    TZipCommon typed;
    typed.setArchiveFile(file);
    return isRealArchive(typed.ArcType()) ? typed.ArcType() : atUnknown;
}

bool archiveExtension(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.find('/', dot) != std::string_view::npos) return false;
    const std::string ext = lowerAscii(name.substr(dot));
    if (ext == ".tar" || ext == ".tgz") return true;
    return typeByExtension(name, false) != atUnknown;
}

// ---- the tree --------------------------------------------------------------------------

namespace {
std::size_t keyHash(std::uint32_t parent, std::string_view name) {
    return std::hash<std::string_view>{}(name) ^ (std::size_t(parent) * 0x9E3779B97F4A7C15ull);
}
}  // namespace

std::uint32_t TArchiveTree::child(std::uint32_t parent, std::string_view name) const {
    if (index_.empty()) return kNoNode;
    const std::size_t mask = index_.size() - 1;
    for (std::size_t i = keyHash(parent, name) & mask;; i = (i + 1) & mask) {
        const std::uint32_t n = index_[i];
        if (n == kNoNode) return kNoNode;
        if (nodes_[n].parent == std::int32_t(parent) && nodes_[n].name == name) return n;
    }
}

void TArchiveTree::indexInsert(std::uint32_t node) {
    if ((nodes_.size() + 1) * 10 > index_.size() * 7) {
        std::size_t cap = 16;
        while (cap * 7 < (nodes_.size() + 1) * 20) cap *= 2;
        index_.assign(cap, kNoNode);
        for (std::uint32_t k = 1; k < nodes_.size(); ++k)
            if (k != node) indexInsert(k);
    }
    const std::size_t mask = index_.size() - 1;
    const Node& n = nodes_[node];
    for (std::size_t i = keyHash(std::uint32_t(n.parent), n.name) & mask;; i = (i + 1) & mask)
        if (index_[i] == kNoNode) {
            index_[i] = node;
            return;
        }
}

std::uint32_t TArchiveTree::addNode(Node&& n) {
    const auto index = static_cast<std::uint32_t>(nodes_.size());
    const auto parent = static_cast<std::uint32_t>(n.parent);
    nodes_.push_back(std::move(n));
    nodes_[parent].children.push_back(index);
    indexInsert(index);
    return index;
}

std::uint32_t TArchiveTree::subfolder(std::uint32_t parent, std::string_view name) {
    const std::uint32_t found = child(parent, name);
    if (found != kNoNode) {
        Node& n = nodes_[found];
        if (!n.isDir) {
            // A file where the names below need a folder: the folder wins, it holds them.
            n.isDir = true;
            n.size = 0;
        }
        return found;
    }
    Node n;
    n.name = std::string(name);
    n.parent = static_cast<std::int32_t>(parent);
    n.isDir = true;
    n.written = nodes_[parent].written;
    return addNode(std::move(n));
}

void TArchiveTree::build(std::vector<Item>&& items) {
    nodes_.clear();
    index_.clear();
    refused_ = 0;
    nodes_.reserve(items.size() + 1);
    nodes_.emplace_back();
    nodes_[0].isDir = true;
    std::string inner;
    for (Item& it : items) {
        bool dirMark = false;
        if (!archiveInnerPath(it.stored, inner, dirMark)) {
            ++refused_;
            continue;
        }
        const bool isDir = it.isDir || dirMark;
        // The folders on the way, then the entry itself.
        std::uint32_t parent = 0;
        std::size_t at = 0;
        for (std::size_t slash; (slash = inner.find('/', at)) != std::string::npos; at = slash + 1) {
            const std::uint32_t before = static_cast<std::uint32_t>(nodes_.size());
            parent = subfolder(parent, std::string_view(inner).substr(at, slash - at));
            if (parent >= before) nodes_[parent].written = it.written;
        }
        const std::string_view leaf = std::string_view(inner).substr(at);
        if (const std::uint32_t found = child(parent, leaf); found != kNoNode) {
            Node& n = nodes_[found];
            if (isDir) {
                n.isDir = true;
                n.size = 0;
                if (n.stored.empty()) n.stored = std::move(it.stored);
                n.written = it.written;
            } else if (!n.isDir) {
                n.stored = std::move(it.stored);
                n.size = it.size;
                n.written = it.written;
            }  // else: the folder stays; the file of its name is not shown
            continue;
        }
        Node n;
        n.name = std::string(leaf);
        n.stored = std::move(it.stored);
        n.size = isDir ? 0 : std::max<std::int64_t>(0, it.size);
        n.written = it.written;
        n.parent = static_cast<std::int32_t>(parent);
        n.isDir = isDir;
        addNode(std::move(n));
    }
    std::vector<Item>().swap(items);
}

bool TArchiveTree::read(const std::string& file, std::string& error) {
    TKelmo list;
    list.ShowBlankDirs = true;
    list.setArchiveFile(file);
    if (!isRealArchive(list.ArcType())) {
        error = "not an archive that can be listed";
        return false;
    }
    std::vector<Item> items;
    list.OnRead = [&items](TZipCommon& k, int64_t, int) {
        Item it;
        it.stored = k.FileName;
        it.size = static_cast<std::int64_t>(std::min<std::uint64_t>(k.UnpackedSize, INT64_MAX));
        it.written = localTimeOf(k.FileDate);
        it.isDir = k.IsDirectory;
        items.push_back(std::move(it));
    };
    const bool whole = list.Activate();
    if (!whole && items.empty()) {
        error = std::string(messageText(list.LastError ? list.LastError : msg::ReadError));
        if (!list.LastErrorExtra.empty()) error += ": " + list.LastErrorExtra;
        return false;
    }
    build(std::move(items));
    incomplete_ = !whole;
    return true;
}

int TArchiveTree::find(std::string_view inner) const {
    if (nodes_.empty()) return -1;
    std::uint32_t node = 0;
    std::size_t at = 0;
    while (at <= inner.size() && !inner.empty()) {
        std::size_t slash = inner.find('/', at);
        if (slash == std::string_view::npos) slash = inner.size();
        node = child(node, inner.substr(at, slash - at));
        if (node == kNoNode) return -1;
        at = slash + 1;
    }
    return static_cast<int>(node);
}

int TArchiveTree::folder(std::string_view inner) const {
    const int n = find(inner);
    return isFolder(n) ? n : -1;
}

std::vector<platform::DirItem> TArchiveTree::items(int folderNode) const {
    std::vector<platform::DirItem> out;
    if (!isFolder(folderNode)) return out;
    const Node& f = nodes_[static_cast<std::size_t>(folderNode)];
    out.reserve(f.children.size());
    for (const std::uint32_t c : f.children) {
        const Node& n = nodes_[c];
        platform::DirItem d;
        d.name = n.name;
        d.size = n.isDir ? 0 : n.size;
        d.attr = n.isDir ? platform::faDirectory : platform::faArchive;
        if (n.name[0] == '.') d.attr |= platform::faHidden;
        d.created = d.accessed = d.written = n.written;
        out.push_back(std::move(d));
    }
    return out;
}

void TArchiveTree::storedNames(int node, std::vector<std::string>& out) const {
    if (node < 0 || static_cast<std::size_t>(node) >= nodes_.size()) return;
    std::vector<std::uint32_t> todo{static_cast<std::uint32_t>(node)};
    while (!todo.empty()) {
        const Node& n = nodes_[todo.back()];
        todo.pop_back();
        if (!n.stored.empty()) out.push_back(n.stored);
        todo.insert(todo.end(), n.children.begin(), n.children.end());
    }
}

// ---- the levels ------------------------------------------------------------------------

TArchiveFolders::~TArchiveFolders() { leaveAll(); }

void TArchiveFolders::dropLevel(Level& l) {
    if (l.scratch.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(l.scratch, ec);  // links inside are removed, never followed
    l.scratch.clear();
}

void TArchiveFolders::leaveAll() {
    while (!levels_.empty()) {
        dropLevel(*levels_.back());
        levels_.pop_back();
    }
}

bool TArchiveFolders::holds(const std::string& dir) const {
    const Level* l = innermost();
    if (!l) return false;
    return dir == l->shown || (dir.size() > l->shown.size() &&
                               dir.compare(0, l->shown.size(), l->shown) == 0 && dir[l->shown.size()] == '/');
}

std::string TArchiveFolders::innerOf(const std::string& dir) const {
    if (!holds(dir)) return {};
    const std::size_t n = innermost()->shown.size();
    return dir.size() > n ? dir.substr(n + 1) : std::string();
}

void TArchiveFolders::follow(const std::string& dir) {
    while (!levels_.empty() && !holds(dir)) {
        dropLevel(*levels_.back());
        levels_.pop_back();
    }
}

bool TArchiveFolders::open(const std::string& file, const std::string& shown, std::string& error) {
    auto l = std::make_unique<Level>();
    l->type = folderArchiveType(file);
    if (l->type == atUnknown) {
        error = "not an archive that can be listed";
        return false;
    }
    if (!l->tree.read(file, error)) return false;
    l->file = file;
    l->shown = shown;
    levels_.push_back(std::move(l));
    return true;
}

bool TArchiveFolders::extractEntry(const std::string& inner, std::string& out, std::string& error,
                                   const std::string& under) {
    Level* l = innermost();
    if (!l) return false;
    std::unique_ptr<TUnBase> x = makeExtractor(l->type);
    if (!x) {
        error = std::string("entries of ") + std::string(trimmedTypeName(l->type)) +
                " archives can be listed here, but not extracted";
        return false;
    }
    if (under.empty() && l->scratch.empty() && !makePrivateFolder(tempRoot(), l->scratch)) {
        error = "no private temporary folder could be made";
        return false;
    }
    std::string folder;
    if (!makePrivateFolder(under.empty() ? l->scratch : under, folder)) {
        error = "no private temporary folder could be made";
        return false;
    }
    const std::size_t slash = inner.rfind('/');
    const std::string leaf = slash == std::string::npos ? inner : inner.substr(slash + 1);
    x->setArchiveFile(l->file);
    x->setExtractDir(folder);
    x->SelectEntry = [&inner, &leaf](std::string& name) {
        std::string path;
        bool isDir = false;
        if (!archiveInnerPath(name, path, isDir) || isDir || path != inner) return false;
        name = leaf;
        return true;
    };
    x->Activate();
    out = folder + "/" + leaf;
    struct stat st {};
    if (x->ExtractedCount > 0 && ::lstat(out.c_str(), &st) == 0) return true;
    const int id = !x->Failures.empty() ? x->Failures.front().id
                   : x->LastError       ? x->LastError
                                        : msg::ReadError;
    error = std::string(messageText(id));
    return false;
}

bool TArchiveFolders::openNested(const std::string& inner, const std::string& shown, std::string& error) {
    std::string file;
    if (!extractEntry(inner, file, error)) return false;
    return open(file, shown, error);
}

bool TArchiveFolders::reload(std::string& error) {
    Level* l = innermost();
    if (!l) return false;
    TArchiveTree fresh;
    if (!fresh.read(l->file, error)) return false;
    l->tree = std::move(fresh);
    return true;
}

std::string_view trimmedTypeName(TArcType t) {
    std::string_view n = arcTypeName(t);
    while (!n.empty() && n.back() == ' ') n.remove_suffix(1);
    return n;
}

}  // namespace kv
