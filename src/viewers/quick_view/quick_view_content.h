#pragma once
// What the quick view shows for one path, worked out without Qt and without a window: the
// kind of entry and the lines (or bytes) to show. Runs on a worker thread; a Progress shared
// with the caller carries a cancel flag and the running totals of a folder count.
//
// The entry is examined with lstat first: fifos, sockets and devices are named, never
// opened (a fifo would block the reader until a writer came; a device may never end). A
// file is read only as far as its kind needs: a prefix of `prefixBytes` for text and hex,
// the whole file up to `maxPictureBytes` for pictures (by the caller's decoder), and what
// the archive lister or the resource reader read themselves.
//   Progress progress;
//   Content c = describeEntry("/home/me/notes.txt", {}, &progress);
//   if (c.kind == ContentKind::Text) for (auto& line : c.lines) ...
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::quickview {

enum class ContentKind {
    Nothing,     // nothing to show (an empty path)
    Text,        // lines of text
    Picture,     // a picture: the caller decodes `path` at the size it shows it
    Archive,     // the first names of the listing, with their sizes
    Executable,  // the resource tree of a Windows executable
    Folder,      // files, folders and bytes below a folder
    Hex,         // the first bytes of a file that fits none of the above
    Special,     // a fifo, socket or device: not opened
    Error,       // could not be read; `heading` says why
};

struct Limits {
    std::size_t prefixBytes = 64 * 1024;  // read of a text or binary file
    std::size_t maxLines = 400;           // lines kept (far more than a panel shows)
    std::size_t maxLineBytes = 1024;      // a longer line is cut
    std::size_t archiveNames = 200;       // names of an archive kept; all are counted
    std::uint64_t maxPictureBytes = 64ULL * 1024 * 1024;
};

// Shared between the caller and the worker that describes an entry.
struct Progress {
    std::atomic<bool> cancel{false};
    // A folder count so far (files, folders below the folder, bytes of the files).
    std::atomic<std::int64_t> files{0}, folders{0}, bytes{0};
    std::atomic<bool> counting{false};  // the entry is a folder being counted
    bool cancelled() const { return cancel.load(std::memory_order_relaxed); }
};

struct Content {
    ContentKind kind = ContentKind::Nothing;
    std::string path;
    std::string heading;              // one line: "Text, UTF-8", "ZIP archive, 12 entries", "fifo", ...
    std::vector<std::string> lines;   // UTF-8, controls made visible, tabs expanded
    std::vector<std::uint8_t> bytes;  // Hex: the start of the file
    std::uint64_t fileSize = 0;
    std::uint64_t bytesRead = 0;  // what this module read of the file itself
    bool truncated = false;       // more text, names or bytes exist than are kept
    bool cancelled = false;       // the caller cancelled: the content is partial
    // Folder: the totals. Archive: `files` is the number of entries, `bytes` their size.
    std::int64_t files = 0, folders = 0, totalBytes = 0;
};

// Whether a lower-case extension with its dot (".png") names a picture; the caller's picture
// readers decide. Files are also known as pictures by their first bytes (PNG, JPEG, GIF, BMP).
using PictureExtensionTest = std::function<bool(std::string_view lowerExtension)>;

Content describeEntry(const std::string& path, const Limits& limits = {}, Progress* progress = nullptr,
                      const PictureExtensionTest& isPictureExtension = {});

// "1,234,567": digits in groups of three, as the panels show sizes.
std::string groupDigits(std::int64_t n);

}  // namespace kv::quickview
