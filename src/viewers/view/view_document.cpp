#include "viewers/view/view_document.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>

#include "platform/display_text.h"
#include "platform/text_codec.h"

namespace kv::view {

namespace {

// Characters that would act instead of show: C0 and C1 controls, and the invisible format
// characters (direction marks, embeddings, overrides and isolates, zero widths, BOM).
bool actsInvisibly(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0xAD || cp == 0x061C || cp == 0x180E ||
           (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2060 && cp <= 0x206F) ||
           cp == 0xFEFF || (cp >= 0xFFF9 && cp <= 0xFFFB);
}

std::size_t countCodePoints(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

char hexDigit(unsigned v) { return "0123456789ABCDEF"[v & 15]; }

}  // namespace

bool ViewDocument::open(const std::string& path, std::string* error) {
    if (!file_.open(path, error)) return false;
    std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min<std::uint64_t>(kDetectBytes, file_.size())));
    head.resize(file_.readAt(0, head));
    detected_ = detect(head, head.size() == file_.size());
    mode_ = detected_.mode;
    encoding_ = detected_.encoding;
    bom_ = detected_.bom;
    top_ = dataStart();
    hscroll_ = 0;
    lineMarks_.clear();
    indexedTo_ = indexedLines_ = 0;
    return true;
}

void ViewDocument::setMode(ViewMode m) {
    if (m == mode_) return;
    mode_ = m;
    top_ = rowStartFor(std::max(top_, dataStart()));
}

void ViewDocument::setEncoding(Encoding e) {
    if (e == encoding_) return;
    encoding_ = e;
    std::vector<std::uint8_t> head(4);
    head.resize(file_.readAt(0, head));
    bom_ = bomLength(e, head);
    lineMarks_.clear();
    indexedTo_ = indexedLines_ = 0;
    top_ = rowStartFor(std::max(top_, dataStart()));
}

void ViewDocument::setWrap(bool on) {
    if (on == wrap_) return;
    wrap_ = on;
    hscroll_ = 0;
    top_ = rowStartFor(top_);
}

void ViewDocument::setFollow(bool on) {
    follow_ = on;
    if (on) {
        file_.refresh();
        end();
    }
}

void ViewDocument::setPageSize(int columns, int rows) {
    columns = std::max(columns, 1);
    rows = std::max(rows, 1);
    if (columns == columns_ && rows == rows_) return;
    const bool relayout = columns != columns_;
    columns_ = columns;
    rows_ = rows;
    if (relayout) top_ = rowStartFor(top_);
}

void ViewDocument::setHscroll(int cells) {
    hscroll_ = mode_ == ViewMode::Text && !wrap_ ? std::clamp(cells, 0, static_cast<int>(kMaxLineBytes)) : 0;
}

std::uint64_t ViewDocument::alignDown(std::uint64_t p) const {
    const std::uint64_t start = dataStart();
    if (p <= start) return start;
    return start + (p - start) / unit() * unit();
}

bool ViewDocument::isLineFeed(std::span<const std::uint8_t> b, std::size_t at) const {
    if (unit() == 1) return b[at] == '\n';
    if (at + 1 >= b.size()) return false;
    return encoding_ == Encoding::Utf16Le ? b[at] == '\n' && b[at + 1] == 0 : b[at] == 0 && b[at + 1] == '\n';
}

std::uint64_t ViewDocument::lineStartOf(std::uint64_t at) {
    const std::uint64_t start = dataStart();
    at = alignDown(at);
    if (at <= start) return start;
    const std::uint64_t limit = at > start + kBackScan ? alignDown(at - kBackScan) : start;
    const unsigned u = unit();
    // The byte that is '\n' in a line feed unit: its first byte, but the second in UTF-16BE.
    const unsigned lfByte = encoding_ == Encoding::Utf16Be && u == 2 ? 1 : 0;
    std::vector<std::uint8_t> buf(FileWindow::kBlock + 2);
    std::uint64_t hi = at;  // units before `hi` are still to look at
    while (hi > limit) {
        const std::uint64_t lo = std::max(limit, hi > FileWindow::kBlock ? alignDown(hi - FileWindow::kBlock) : start);
        const std::size_t n = static_cast<std::size_t>(hi - lo);
        const std::size_t got = file_.readAt(lo, std::span(buf.data(), n + (u - 1)));
        std::size_t end = std::min(n, got);
        while (end > 0) {
            const void* p = ::memrchr(buf.data(), '\n', end);
            if (!p) break;
            const std::size_t i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(p) - buf.data());
            end = i;
            if (i < lfByte) break;
            const std::size_t unitAt = i - lfByte;
            if ((lo + unitAt - start) % u == 0 && isLineFeed(std::span(buf.data(), got), unitAt))
                return lo + unitAt + u;
        }
        hi = lo;
    }
    return limit;
}

void ViewDocument::appendVisible(std::string& out, std::vector<std::uint64_t>& cells, char32_t cp, bool valid,
                                 std::uint64_t at) {
    if (!valid) {
        platform::AppendUtf8(out, 0xFFFD);
        cells.push_back(at);
        return;
    }
    if (actsInvisibly(cp)) {
        std::string one;
        platform::AppendUtf8(one, cp);
        const std::string mark = platform::visibleControls(one);
        out += mark;
        cells.insert(cells.end(), countCodePoints(mark), at);
        return;
    }
    platform::AppendUtf8(out, cp);
    cells.push_back(at);
}

std::uint64_t ViewDocument::textRow(std::uint64_t start, ViewRow* row) {
    const std::uint64_t size = file_.size();
    if (start >= size) return size;
    // A wrapped row holds at most `columns_` characters of at most 4 bytes each.
    const std::size_t want =
        wrap_ ? std::min<std::size_t>(kMaxLineBytes, static_cast<std::size_t>(columns_) * 4) + 8 : kMaxLineBytes + 8;
    const std::span<const std::uint8_t> b = file_.bytes(start, want);
    const unsigned u = unit();
    const std::size_t limit = std::min<std::size_t>(b.size(), kMaxLineBytes);
    const int firstCell = wrap_ ? 0 : hscroll_;
    const int lastCell = firstCell + columns_;
    if (row) {
        row->offset = start;
        row->text.clear();
        row->cells.clear();
    }
    std::size_t pos = 0;
    int cell = 0;
    while (pos < limit) {
        if (pos + u > b.size()) {  // a unit cut by the end of the file
            if (row && cell >= firstCell && cell < lastCell) appendVisible(row->text, row->cells, 0, false, start + pos);
            pos = b.size();
            break;
        }
        if (isLineFeed(b, pos)) {
            pos += u;
            break;
        }
        const Decoded d = decodeAt(encoding_, b, pos);
        // Carriage return before a line feed belongs to the line end.
        if (d.cp == '\r' && pos + u + u <= b.size() && isLineFeed(b, pos + u)) {
            pos += 2 * u;
            break;
        }
        const int width = d.cp == '\t' && d.valid ? kTabWidth - cell % kTabWidth : 1;
        if (wrap_ && cell > 0 && cell + width > columns_) {
            // A full row swallows the line end that follows it, so no empty row shows.
            if (isLineFeed(b, pos)) pos += u;
            break;
        }
        if (row) {
            if (d.cp == '\t' && d.valid) {
                for (int i = 0; i < width; ++i)
                    if (cell + i >= firstCell && cell + i < lastCell) {
                        row->text += ' ';
                        row->cells.push_back(start + pos);
                    }
            } else if (cell >= firstCell && cell < lastCell) {
                appendVisible(row->text, row->cells, d.cp, d.valid, start + pos);
            }
        }
        cell += width;
        pos += std::min<std::size_t>(std::max(d.length, u), b.size() - pos);
        if (wrap_ && cell >= columns_ && pos < b.size()) {
            if (isLineFeed(b, pos)) pos += u;
            else if (pos + 2 * u <= b.size() && decodeAt(encoding_, b, pos).cp == '\r' && isLineFeed(b, pos + u))
                pos += 2 * u;
            break;
        }
    }
    if (pos == 0) pos = std::min<std::size_t>(u, size - start);  // always move on
    const std::uint64_t end = start + pos;
    if (row) {
        row->end = end;
        row->cells.push_back(end);
    }
    return end;
}

ViewRow ViewDocument::byteRow(std::uint64_t start) {
    ViewRow r;
    const int width = mode_ == ViewMode::Hex ? kHexBytes : dumpWidth();
    const std::span<const std::uint8_t> b = file_.bytes(start, static_cast<std::size_t>(width));
    r.offset = start;
    r.end = start + b.size();
    const int digits = offsetDigits();
    char offset[24];
    std::snprintf(offset, sizeof offset, "%0*llX: ", digits, static_cast<unsigned long long>(start));
    r.text = offset;
    auto glyph = [this](std::uint8_t byte) -> char32_t {
        const char32_t cp = isSingleByte(encoding_) ? singleByteChar(encoding_, byte) : (byte < 0x80 ? byte : '.');
        return cp < 0x20 || (cp >= 0x7F && cp <= 0xA0) || cp == 0xAD || cp == 0xFFFD ? U'.' : cp;
    };
    if (mode_ == ViewMode::Hex) {
        for (int i = 0; i < kHexBytes; ++i) {
            if (i == 8) r.text += ' ';
            if (static_cast<std::size_t>(i) < b.size()) {
                r.text += hexDigit(b[i] >> 4);
                r.text += hexDigit(b[i]);
                r.text += ' ';
            } else {
                r.text += "   ";
            }
        }
        r.text += ' ';
    }
    for (std::size_t i = 0; i < b.size(); ++i) {
        platform::AppendUtf8(r.text, glyph(b[i]));
        r.cells.push_back(start + i);
    }
    r.cells.push_back(r.end);
    return r;
}

int ViewDocument::offsetDigits() const {
    int digits = 8;
    for (std::uint64_t s = (file_.size() == 0 ? 0 : file_.size() - 1) >> 32; s; s >>= 4) ++digits;
    return digits;
}

int ViewDocument::dumpWidth() const { return std::max(16, columns_ - offsetDigits() - 2); }

int ViewDocument::hexColumnOf(int i) const { return offsetDigits() + 2 + i * 3 + (i >= 8 ? 1 : 0); }

int ViewDocument::charColumnOf(int i) const { return offsetDigits() + 2 + kHexBytes * 3 + 2 + i; }

std::uint64_t ViewDocument::offsetAtCell(const ViewRow& row, int column) const {
    if (row.end <= row.offset) return row.offset;
    const std::uint64_t last = row.end - 1;
    if (mode_ == ViewMode::Text) {
        if (row.cells.size() <= 1) return row.offset;
        const std::size_t i = static_cast<std::size_t>(std::clamp(column, 0, static_cast<int>(row.cells.size()) - 1));
        return std::min(row.cells[i], last);
    }
    int i;
    if (mode_ == ViewMode::Dump) {
        i = column - offsetDigits() - 2;
    } else if (column >= charColumnOf(0)) {
        i = column - charColumnOf(0);
    } else {
        const int rel = column - offsetDigits() - 2;
        i = rel < 24 ? rel / 3 : (rel - 1) / 3;
    }
    return std::min(row.offset + static_cast<std::uint64_t>(std::max(i, 0)), last);
}

std::uint64_t ViewDocument::nextRow(std::uint64_t start) {
    const std::uint64_t size = file_.size();
    if (start >= size) return size;
    if (mode_ == ViewMode::Text) return textRow(start, nullptr);
    const std::uint64_t width = mode_ == ViewMode::Hex ? kHexBytes : static_cast<std::uint64_t>(dumpWidth());
    return std::min(size, start + width);
}

std::uint64_t ViewDocument::rowStartFor(std::uint64_t offset) {
    const std::uint64_t size = file_.size();
    if (size == 0) return 0;
    offset = std::min(offset, size - 1);
    if (mode_ != ViewMode::Text) {
        const std::uint64_t width = mode_ == ViewMode::Hex ? kHexBytes : static_cast<std::uint64_t>(dumpWidth());
        return offset / width * width;
    }
    if (offset < dataStart()) return dataStart();
    std::uint64_t r = lineStartOf(offset);
    for (std::uint64_t next; (next = textRow(r, nullptr)) <= offset && next < size;) r = next;
    return r;
}

std::vector<std::uint64_t> ViewDocument::rowsBefore(std::uint64_t before, std::size_t n) {
    std::deque<std::uint64_t> found;
    const std::uint64_t start = dataStart();
    if (mode_ != ViewMode::Text) {
        const std::uint64_t width = mode_ == ViewMode::Hex ? kHexBytes : static_cast<std::uint64_t>(dumpWidth());
        std::uint64_t r = before == 0 ? 0 : (before - 1) / width * width;
        for (; found.size() < n; r -= width) {
            found.push_front(r);
            if (r == 0) break;
        }
        return {found.begin(), found.end()};
    }
    std::uint64_t limit = before;
    while (found.size() < n && limit > start) {
        // The unit before `limit` (a file may end in half a unit); each round must go back.
        const std::uint64_t line = lineStartOf(limit - std::min<std::uint64_t>(unit(), limit - start));
        if (line >= limit) break;
        std::deque<std::uint64_t> here;
        const std::size_t need = n - found.size();
        for (std::uint64_t r = line; r < limit; r = textRow(r, nullptr)) {
            here.push_back(r);
            if (here.size() > need) here.pop_front();
        }
        found.insert(found.begin(), here.begin(), here.end());
        limit = line;
    }
    return {found.begin(), found.end()};
}

void ViewDocument::scroll(int rows) {
    if (rows < 0) {
        const auto before = rowsBefore(top_, static_cast<std::size_t>(-rows));
        if (!before.empty()) top_ = before.front();
        return;
    }
    // The top may go down only while a full page still follows it.
    std::vector<std::uint64_t> starts;
    const std::uint64_t size = file_.size();
    for (std::uint64_t r = top_; r < size && starts.size() < static_cast<std::size_t>(rows + rows_); r = nextRow(r))
        starts.push_back(r);
    const std::size_t room = starts.size() > static_cast<std::size_t>(rows_) ? starts.size() - rows_ : 0;
    const std::size_t step = std::min<std::size_t>(static_cast<std::size_t>(rows), room);
    if (step > 0) top_ = starts[step];
}

void ViewDocument::home() {
    top_ = dataStart();
    hscroll_ = 0;
}

void ViewDocument::end() {
    const auto last = rowsBefore(file_.size(), static_cast<std::size_t>(rows_));
    top_ = last.empty() ? dataStart() : last.front();
}

bool ViewDocument::atEnd() {
    std::uint64_t r = top_;
    for (int i = 0; i < rows_ && r < file_.size(); ++i) r = nextRow(r);
    return r >= file_.size();
}

void ViewDocument::gotoOffset(std::uint64_t offset) {
    top_ = std::max(rowStartFor(offset), dataStart());
}

void ViewDocument::gotoPercent(double percent) {
    percent = std::clamp(percent, 0.0, 100.0);
    if (percent >= 100.0) return end();
    gotoOffset(static_cast<std::uint64_t>(std::floor(static_cast<double>(file_.size()) * percent / 100.0)));
}

void ViewDocument::indexLines(std::uint64_t line, std::uint64_t offset, const std::atomic<bool>* cancel) {
    const std::uint64_t size = file_.size();
    const unsigned u = unit();
    const unsigned lfByte = encoding_ == Encoding::Utf16Be && u == 2 ? 1 : 0;
    if (lineMarks_.empty()) {
        lineMarks_.push_back(dataStart());
        indexedTo_ = dataStart();
        indexedLines_ = 0;
    }
    std::vector<std::uint8_t> buf(1 << 20);
    while (indexedTo_ < size && indexedLines_ + 1 < line && indexedTo_ < offset) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return;
        const std::size_t got = file_.readAt(indexedTo_, buf);
        if (got == 0) break;
        // Whole units only: the next read starts on a unit.
        const std::size_t usable = got < u ? got : got - got % u;
        std::size_t i = 0;
        std::size_t stop = usable;
        while (i < usable) {
            const void* p = std::memchr(buf.data() + i, '\n', usable - i);
            if (!p) break;
            const std::size_t at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(p) - buf.data());
            i = at + 1;
            if (at < lfByte || (at - lfByte) % u != 0 || !isLineFeed(std::span(buf.data(), usable), at - lfByte))
                continue;
            ++indexedLines_;
            if (indexedLines_ % kLinesPerMark == 0) lineMarks_.push_back(indexedTo_ + at - lfByte + u);
            if (indexedLines_ + 1 >= line) {
                stop = at - lfByte + u;
                break;
            }
        }
        indexedTo_ += stop;
    }
}

bool ViewDocument::gotoLine(std::uint64_t line, const std::atomic<bool>* cancel) {
    if (line == 0) line = 1;
    if (lineMarks_.empty() || indexedLines_ + 1 < line) indexLines(line, UINT64_MAX, cancel);
    if (indexedLines_ + 1 < line) return false;
    // From the mark at or before the line, count the rest.
    const std::uint64_t k = (line - 1) / kLinesPerMark;
    std::uint64_t at = lineMarks_[static_cast<std::size_t>(std::min<std::uint64_t>(k, lineMarks_.size() - 1))];
    for (std::uint64_t n = k * kLinesPerMark + 1; n < line; ++n) {
        // The next line starts after the next line feed.
        std::uint64_t p = at;
        const unsigned u = unit();
        for (;;) {
            const auto b = file_.bytes(p, FileWindow::kBlock);
            if (b.size() < u) return false;
            std::size_t i = 0;
            bool found = false;
            for (; i + u <= b.size(); i += u)
                if (isLineFeed(b, i)) {
                    found = true;
                    break;
                }
            if (found) {
                p += i + u;
                break;
            }
            p += b.size() - b.size() % u;
        }
        at = p;
    }
    top_ = rowStartFor(at);
    return true;
}

std::uint64_t ViewDocument::lineNumberAt(std::uint64_t offset) {
    if (mode_ != ViewMode::Text) return 0;
    offset = std::max(offset, dataStart());
    constexpr std::uint64_t kCheapRead = 8 << 20;
    if (lineMarks_.empty() || offset > indexedTo_) {
        const std::uint64_t from = lineMarks_.empty() ? 0 : indexedTo_;
        if (offset - std::min(offset, from) > kCheapRead) return 0;
        indexLines(UINT64_MAX, offset, nullptr);
        if (offset > indexedTo_ && indexedTo_ < file_.size()) return 0;
    }
    // The last mark at or before the offset, then the line feeds between.
    const auto it = std::upper_bound(lineMarks_.begin(), lineMarks_.end(), offset);
    const std::size_t k = static_cast<std::size_t>(it - lineMarks_.begin()) - 1;
    std::uint64_t line = k * kLinesPerMark + 1;
    const unsigned u = unit();
    for (std::uint64_t p = lineMarks_[k]; p < offset;) {
        const auto b = file_.bytes(p, static_cast<std::size_t>(std::min<std::uint64_t>(offset - p, FileWindow::kBlock)));
        if (b.size() < u) break;
        std::size_t i = 0;
        for (; i + u <= b.size(); i += u)
            if (isLineFeed(b, i)) ++line;
        p += i;
    }
    return line;
}

ViewRow ViewDocument::row(std::uint64_t start) {
    if (mode_ != ViewMode::Text) return byteRow(start);
    ViewRow r;
    textRow(start, &r);
    return r;
}

std::vector<ViewRow> ViewDocument::page() {
    std::vector<ViewRow> out;
    const std::uint64_t size = file_.size();
    std::uint64_t r = top_;
    for (int i = 0; i < rows_ && r < size; ++i) {
        if (mode_ == ViewMode::Text) {
            ViewRow row;
            textRow(r, &row);
            out.push_back(std::move(row));
        } else {
            out.push_back(byteRow(r));
        }
        r = out.back().end;
        if (r <= out.back().offset) break;
    }
    return out;
}

bool ViewDocument::refresh() {
    const std::uint64_t old = file_.size();
    if (!file_.refresh()) return false;
    if (file_.size() < old) {  // cut: the index may count lines that are gone
        lineMarks_.clear();
        indexedTo_ = indexedLines_ = 0;
    }
    if (follow_ || top_ >= file_.size()) end();
    return true;
}

std::string ViewDocument::copyText(std::uint64_t from, std::uint64_t to, std::size_t maxBytes) {
    to = std::min({to, file_.size(), from + maxBytes});
    std::string out;
    if (from >= to) return out;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(to - from));
    bytes.resize(file_.readAt(from, bytes));
    if (mode_ == ViewMode::Hex) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (i) out += (i % kHexBytes == 0) ? '\n' : ' ';
            out += hexDigit(bytes[i] >> 4);
            out += hexDigit(bytes[i]);
        }
        return out;
    }
    for (std::size_t i = 0; i < bytes.size();) {
        const Decoded d = decodeAt(encoding_, bytes, i);
        platform::AppendUtf8(out, d.valid ? d.cp : 0xFFFD);
        i += std::max(d.length, 1u);
    }
    return out;
}

}  // namespace kv::view
