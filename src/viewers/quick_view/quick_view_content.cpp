#include "viewers/quick_view/quick_view_content.h"
#include "viewers/view/view_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>

#include "archive/base/arc_types.h"
#include "archive/kelmo/kelmo.h"
#include "panel/model/files_scan.h"
#include "platform/dir_reader.h"
#include "platform/display_text.h"
#include "viewers/exe/resource_tree_text.h"

namespace kv::quickview {

namespace {

// The first `limit` bytes of a regular file. Opened without blocking and checked again
// after opening, so an entry swapped for a fifo after the lstat cannot hang the read.
bool readPrefix(const std::string& path, std::size_t limit, std::string& out, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = "not a regular file";
        return false;
    }
    out.resize(limit);
    std::size_t have = 0;
    while (have < limit) {
        const ssize_t n = ::read(fd, out.data() + have, limit - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    ::close(fd);
    out.resize(have);
    return true;
}

std::string lowerExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext;
}

bool pictureMagic(std::string_view b) {
    auto starts = [&](std::string_view m) { return b.substr(0, m.size()) == m; };
    return starts("\x89PNG\r\n\x1a\n") || starts("\xFF\xD8\xFF") || starts("GIF87a") || starts("GIF89a") ||
           (starts("BM") && b.size() >= 26);
}

// A line as a panel can show it: tabs to the next multiple of eight columns, other controls
// as their pictures, cut at `maxBytes` (never inside a character).
std::string shownLine(std::string_view line, std::size_t maxBytes) {
    std::string expanded;
    std::size_t column = 0;
    for (const char c : line) {
        if (c == '\t') {
            const std::size_t to = (column / 8 + 1) * 8;
            expanded.append(to - column, ' ');
            column = to;
        } else {
            expanded += c;
            if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++column;
        }
        if (expanded.size() > maxBytes + 4) break;
    }
    if (expanded.size() > maxBytes) {
        std::size_t cut = maxBytes;
        while (cut > 0 && (static_cast<unsigned char>(expanded[cut]) & 0xC0) == 0x80) --cut;
        expanded.resize(cut);
    }
    return platform::visibleControls(expanded);
}

// Text through the file viewer's reader: its encodings and marks, and rows up to the end
// of the prefix (one row more at most, so a huge file is never read far).
void describeText(Content& c, view::ViewDocument& doc, const Limits& limits) {
    c.kind = ContentKind::Text;
    c.heading = "Text, " + std::string(view::encodingName(doc.encoding()));
    doc.setWrap(false);
    doc.setPageSize(static_cast<int>(limits.maxLineBytes), static_cast<int>(limits.maxLines));
    std::uint64_t at = doc.dataStart();
    while (at < doc.size() && at < limits.prefixBytes && c.lines.size() < limits.maxLines) {
        view::ViewRow r = doc.row(at);
        std::string& line = r.text;
        if (line.size() > limits.maxLineBytes) {
            std::size_t cut = limits.maxLineBytes;
            while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
            line.resize(cut);
        }
        c.lines.push_back(std::move(line));
        if (r.end <= at) break;
        at = r.end;
    }
    c.bytesRead = std::max<std::uint64_t>(c.bytesRead, std::min<std::uint64_t>(at, doc.size()));
    c.truncated = at < doc.size();
}

void describeHex(Content& c, std::string_view prefix) {
    c.kind = ContentKind::Hex;
    c.heading = "Binary file";
    c.bytes.assign(prefix.begin(), prefix.end());
}

bool describeArchive(Content& c, const Limits& limits, Progress* progress) {
    TKelmo list;
    list.setArchiveFile(c.path);
    if (!isRealArchive(list.ArcType())) return false;
    std::int64_t count = 0;
    std::uint64_t total = 0;
    list.OnRead = [&](TZipCommon& k, int64_t, int) {
        if (progress && progress->cancelled()) {
            k.setCancel(true);
            return;
        }
        ++count;
        total += k.UnpackedSize;
        if (c.lines.size() < limits.archiveNames)
            c.lines.push_back(shownLine(k.FileName, limits.maxLineBytes) + "\t" +
                              (k.IsDirectory ? std::string("<Folder>")
                                             : groupDigits(static_cast<std::int64_t>(
                                                   std::min<std::uint64_t>(k.UnpackedSize, INT64_MAX)))));
    };
    const bool whole = list.Activate();
    // Named like an archive but none: shown for what it is instead.
    if (!whole && count == 0 && !(progress && progress->cancelled())) {
        c.lines.clear();
        return false;
    }
    c.kind = ContentKind::Archive;
    c.files = count;
    c.totalBytes = static_cast<std::int64_t>(std::min<std::uint64_t>(total, INT64_MAX));
    c.truncated = count > static_cast<std::int64_t>(c.lines.size());
    std::string format(arcTypeName(list.ArcType()));
    while (!format.empty() && format.back() == ' ') format.pop_back();
    c.heading = format + " archive, " + groupDigits(count) + (count == 1 ? " entry" : " entries");
    if (!whole && !(progress && progress->cancelled())) {
        std::string why(messageText(list.LastError ? list.LastError : msg::ReadError));
        c.heading += " (listing incomplete: " + platform::visibleControls(why) + ")";
    }
    return true;
}

bool describeExecutable(Content& c, const Limits& limits) {
    std::ostringstream out, err;
    const int status = exe::printResourceTreeOfFile(c.path, out, err);
    if (status == 2) return false;  // "MZ" but no PE: shown as any other file
    c.kind = ContentKind::Executable;
    c.heading = status == 3 ? "Windows executable, no resources" : "Windows executable, resources:";
    std::string_view rest = out.view();
    while (!rest.empty() && c.lines.size() < limits.maxLines) {
        const std::size_t nl = rest.find('\n');
        c.lines.push_back(shownLine(rest.substr(0, nl), limits.maxLineBytes));
        if (nl == std::string_view::npos) break;
        rest.remove_prefix(nl + 1);
    }
    c.truncated = !rest.empty() && c.lines.size() >= limits.maxLines;
    if (status == 1 && !err.view().empty()) {
        const std::string_view e = err.view();
        c.lines.push_back(shownLine(e.substr(0, e.find('\n')), limits.maxLineBytes));
    }
    return true;
}

// Counts what is below a folder the way the folder size does (links not followed, a file
// with several links once, pseudo file systems not entered), telling files from folders.
class FolderCount : public TFilesScan {
public:
    explicit FolderCount(Progress* progress) : progress_(progress) {
        UpdateList = true;
        ScanOptions = TScanOptions::soSpecifiedDir;
        Recursive = true;
        FileMask = "*";
        OnProcess = [this](const std::string&, std::int64_t, std::int64_t) {
            if (progress_ && progress_->cancelled()) Stop();
        };
    }
    std::int64_t files = 0, folders = 0, bytes = 0;

protected:
    void addFound(TFileObject&& item) override {
        if (item.Attr & platform::faDirectory)
            ++folders;
        else
            ++files;
        bytes += item.Size;
        if (progress_) {
            progress_->files.store(files, std::memory_order_relaxed);
            progress_->folders.store(folders, std::memory_order_relaxed);
            progress_->bytes.store(bytes, std::memory_order_relaxed);
        }
    }

private:
    Progress* progress_;
};

void describeFolder(Content& c, Progress* progress) {
    c.kind = ContentKind::Folder;
    if (progress) progress->counting.store(true);
    FolderCount count(progress);
    count.ScanDir = c.path;
    count.Execute();
    c.files = count.files;
    c.folders = count.folders;
    c.totalBytes = count.bytes;
    c.cancelled = count.Stopped();
    c.heading = "Folder";
    c.lines = {"Files: " + groupDigits(c.files), "Folders: " + groupDigits(c.folders),
               "Bytes: " + groupDigits(c.totalBytes)};
    if (count.Unreadable() > 0)
        c.lines.push_back("Folders that could not be read: " + groupDigits(count.Unreadable()));
}

std::string_view specialWord(mode_t mode) {
    if (S_ISFIFO(mode)) return "fifo";
    if (S_ISSOCK(mode)) return "socket";
    if (S_ISCHR(mode)) return "character device";
    if (S_ISBLK(mode)) return "block device";
    return {};
}

}  // namespace

std::string groupDigits(std::int64_t n) {
    const bool negative = n < 0;
    std::string digits = std::to_string(negative ? -(n + 1) + 1ULL : static_cast<unsigned long long>(n));
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return negative ? "-" + out : out;
}

Content describeEntry(const std::string& path, const Limits& limits, Progress* progress,
                      const PictureExtensionTest& isPictureExtension) {
    Content c;
    c.path = path;
    if (path.empty()) return c;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        c.kind = ContentKind::Error;
        c.heading = std::string("Cannot read: ") + std::strerror(errno);
        return c;
    }
    if (S_ISLNK(st.st_mode)) {
        // Links are shown as what they point to, as the panel opens them.
        struct stat target {};
        if (::stat(path.c_str(), &target) != 0) {
            c.kind = ContentKind::Error;
            c.heading = "Link to a missing entry";
            return c;
        }
        st = target;
    }
    if (const std::string_view word = specialWord(st.st_mode); !word.empty()) {
        c.kind = ContentKind::Special;
        c.heading = std::string(word);
        c.lines = {"A " + std::string(word) + " is not opened."};
        return c;
    }
    if (S_ISDIR(st.st_mode)) {
        describeFolder(c, progress);
        return c;
    }
    c.fileSize = static_cast<std::uint64_t>(st.st_size);
    std::string prefix, error;
    if (!readPrefix(path, limits.prefixBytes, prefix, error)) {
        c.kind = ContentKind::Error;
        c.heading = "Cannot read: " + error;
        return c;
    }
    c.bytesRead = prefix.size();
    c.truncated = c.fileSize > prefix.size();
    if (progress && progress->cancelled()) {
        c.cancelled = true;
        return c;
    }
    const std::string ext = lowerExtension(path);
    if (pictureMagic(prefix) || (isPictureExtension && !ext.empty() && isPictureExtension(ext))) {
        if (c.fileSize <= limits.maxPictureBytes) {
            c.kind = ContentKind::Picture;
            c.heading = "Picture";
            c.truncated = false;
            return c;
        }
        describeHex(c, prefix);
        c.heading = "Picture too large for the quick view";
        return c;
    }
    if (describeArchive(c, limits, progress)) return c;
    c.lines.clear();
    if (prefix.starts_with("MZ") && describeExecutable(c, limits)) return c;
    c.lines.clear();
    if (const std::uint8_t* head = reinterpret_cast<const std::uint8_t*>(prefix.data());
        view::detect({head, prefix.size()}, !c.truncated).mode == view::ViewMode::Text) {
        view::ViewDocument doc;
        std::string why;
        if (doc.open(path, &why)) {
            describeText(c, doc, limits);
            return c;
        }
    }
    describeHex(c, prefix);
    return c;
}

}  // namespace kv::quickview
