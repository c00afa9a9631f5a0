#pragma once
// ViewDocument: what the viewer shows of one file, worked out without Qt. It keeps the
// offset of the top row and lays out, on demand, only the rows on screen: text (wrapped or
// with a horizontal scroll), hex (16 bytes a row) or a dump of characters. Lines are found
// where they are needed, looking back from a place for the line feed before it, so the end
// of a 10 GB file is reached without reading what comes before; line numbers come from a
// lazy index that grows only as far as a jump to a line asks.
//   ViewDocument d;
//   d.open(path, &error);
//   d.setPageSize(80, 25);
//   d.end();
//   for (const ViewRow& r : d.page()) paint(r.text);
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "viewers/view/file_window.h"
#include "viewers/view/text_encoding.h"

namespace kv::view {

struct ViewRow {
    std::uint64_t offset = 0;  // the row's first byte
    std::uint64_t end = 0;     // the next row's first byte
    std::string text;          // UTF-8, as painted; controls and invalid bytes as visible marks
    // Text and dump: the file offset of the character in each painted cell (so a mouse
    // position becomes a byte), then `end` of the last character.
    std::vector<std::uint64_t> cells;
};

class ViewDocument {
public:
    static constexpr std::size_t kMaxLineBytes = 64 * 1024;  // a longer line shows as several
    static constexpr std::uint64_t kBackScan = 16 << 20;      // how far back a line start is looked for
    static constexpr int kTabWidth = 8;
    static constexpr int kHexBytes = 16;
    static constexpr std::size_t kDetectBytes = 64 * 1024;

    // Opens the file and picks mode and encoding from its first bytes.
    bool open(const std::string& path, std::string* error);
    FileWindow& file() { return file_; }
    std::uint64_t size() const { return file_.size(); }
    const Detection& detected() const { return detected_; }

    ViewMode mode() const { return mode_; }
    void setMode(ViewMode m);
    Encoding encoding() const { return encoding_; }
    void setEncoding(Encoding e);
    bool wrap() const { return wrap_; }
    void setWrap(bool on);
    bool follow() const { return follow_; }
    void setFollow(bool on);

    // Cells across and rows down of the text area.
    void setPageSize(int columns, int rows);
    int columns() const { return columns_; }
    int rows() const { return rows_; }

    std::uint64_t top() const { return top_; }
    int hscroll() const { return hscroll_; }
    void setHscroll(int cells);

    // Moves by rows (down when positive); never past the page that shows the last row.
    void scroll(int rows);
    void home();
    void end();
    // The row holding the offset (a percentage of the size) comes to the top.
    void gotoOffset(std::uint64_t offset);
    void gotoPercent(double percent);
    // Line numbers count from 1; false when the file has fewer lines (or it was cancelled).
    bool gotoLine(std::uint64_t line, const std::atomic<bool>* cancel = nullptr);
    // The line number of the line holding the offset, 0 when finding it would mean a long
    // read (the index reaches only as far as it was asked to).
    std::uint64_t lineNumberAt(std::uint64_t offset);
    // Whether the page shows the file's last byte.
    bool atEnd();

    // The rows on screen, from the top.
    std::vector<ViewRow> page();
    // The one row that starts at `start` (a row start, such as the previous row's end).
    ViewRow row(std::uint64_t start);
    // The first byte of the row that holds `offset`.
    std::uint64_t rowStartFor(std::uint64_t offset);

    // Looks at the file's size again; true when it changed. Following, the view goes to
    // the end; a file cut below the top shows its end.
    bool refresh();

    // The text of bytes [from, to) in the encoding (at most `maxBytes` of them): what a copy
    // puts on the clipboard. In hex mode: the bytes as hex pairs.
    std::string copyText(std::uint64_t from, std::uint64_t to, std::size_t maxBytes = 16 << 20);

    // Hex and dump rows: digits of the offset column, and the layout of a hex row's text.
    int offsetDigits() const;
    int dumpWidth() const;
    int hexColumnOf(int byteInRow) const;   // where a byte's two hex digits start
    int charColumnOf(int byteInRow) const;  // where its character is
    // The byte under a cell of a painted row (clamped to the row).
    std::uint64_t offsetAtCell(const ViewRow& row, int column) const;

    std::uint64_t dataStart() const { return mode_ == ViewMode::Text ? bom_ : 0; }

private:
    unsigned unit() const { return mode_ == ViewMode::Text ? unitBytes(encoding_) : 1; }
    std::uint64_t alignDown(std::uint64_t p) const;
    bool isLineFeed(std::span<const std::uint8_t> b, std::size_t at) const;
    // The start of the text line holding the unit at `at` (found by looking back).
    std::uint64_t lineStartOf(std::uint64_t at);
    // Lays out the text row from `start`: its end, and (when `row`) what it paints.
    std::uint64_t textRow(std::uint64_t start, ViewRow* row);
    std::uint64_t nextRow(std::uint64_t start);
    // Up to `n` row starts before `before`, nearest last.
    std::vector<std::uint64_t> rowsBefore(std::uint64_t before, std::size_t n);
    ViewRow byteRow(std::uint64_t start);
    void appendVisible(std::string& out, std::vector<std::uint64_t>& cells, char32_t cp, bool valid,
                       std::uint64_t at);
    // Extends the line index until it holds `line` or reaches `offset`.
    void indexLines(std::uint64_t line, std::uint64_t offset, const std::atomic<bool>* cancel);

    FileWindow file_;
    Detection detected_;
    ViewMode mode_ = ViewMode::Text;
    Encoding encoding_ = Encoding::Utf8;
    std::size_t bom_ = 0;
    bool wrap_ = true, follow_ = false;
    int columns_ = 80, rows_ = 25, hscroll_ = 0;
    std::uint64_t top_ = 0;

    // The lazy line index: the start of every kLinesPerMark-th line, as far as counted.
    static constexpr std::uint64_t kLinesPerMark = 4096;
    std::vector<std::uint64_t> lineMarks_;  // [k] = start of line k * kLinesPerMark + 1
    std::uint64_t indexedTo_ = 0;           // bytes counted
    std::uint64_t indexedLines_ = 0;        // line feeds before indexedTo_
};

}  // namespace kv::view
