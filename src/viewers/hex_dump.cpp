#include "viewers/hex_dump.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace kv {

namespace {
constexpr int kAddressCells = 10;  // "0000F000: "
}

THexDump::THexDump(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    QPalette p = viewport()->palette();
    p.setColor(QPalette::Base, Qt::white);
    viewport()->setPalette(p);
    viewport()->setBackgroundRole(QPalette::Base);
    relayout();
}

void THexDump::setData(std::span<const std::uint8_t> data, std::uint64_t baseAddress) {
    data_ = data;
    base_ = baseAddress;
    topRow_ = currentRow_ = 0;
    relayout();
}

void THexDump::setShowAddress(bool on) {
    showAddress_ = on;
    relayout();
}
void THexDump::setShowCharacters(bool on) {
    showCharacters_ = on;
    relayout();
}
void THexDump::setAddressColor(const QColor& c) {
    addressColor_ = c;
    viewport()->update();
}
void THexDump::setHexDataColor(const QColor& c) {
    hexColor_ = c;
    viewport()->update();
}
void THexDump::setAnsiCharColor(const QColor& c) {
    charColor_ = c;
    viewport()->update();
}

void THexDump::relayout() {
    const QFontMetrics fm(font());
    rowHeight_ = fm.height() + 2;
    cellWidth_ = fm.horizontalAdvance(QLatin1Char('D')) + 1;
    const QSize client = viewport()->size();
    visibleRows_ = client.height() / rowHeight_ + 1;
    int columns = client.width() / cellWidth_ - (showAddress_ ? kAddressCells : 0);
    bytesPerRow_ = std::clamp(columns / (showCharacters_ ? 4 : 3), 1, 16);
    const std::size_t n = data_.size();
    rowCount_ = int(std::min<std::size_t>(n / bytesPerRow_ + (n % bytesPerRow_ ? 1 : 0), INT32_MAX / 2));
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, std::max(0, rowCount_ - 1));
    bar->setPageStep(std::max(1, visibleRows_ - 1));
    bar->setSingleStep(1);
    topRow_ = std::clamp(topRow_, 0, std::max(0, rowCount_ - 1));
    bar->setValue(topRow_);
    viewport()->update();
}

QString THexDump::rowText(int row) const {
    if (row < 0 || row >= rowCount_) return {};
    const std::size_t first = std::size_t(row) * bytesPerRow_;
    const std::size_t last = std::min(data_.size(), first + bytesPerRow_);
    QString text;
    if (showAddress_) text += QStringLiteral("%1: ").arg(base_ + first, 8, 16, QLatin1Char('0')).toUpper();
    QString chars;
    for (std::size_t i = first; i < last; ++i) {
        text += QStringLiteral("%1 ").arg(data_[i], 2, 16, QLatin1Char('0')).toUpper();
        const std::uint8_t b = data_[i];
        chars += (b < 0x20 || (b >= 0x7F && b < 0xA0)) ? QChar('.') : QChar(b);
    }
    if (showCharacters_)
        text += QString(int(bytesPerRow_ - (last - first)) * 3, QLatin1Char(' ')) + " " + chars;
    return text;
}

void THexDump::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.setFont(font());
    const QColor background = viewport()->palette().color(QPalette::Base);
    const int addressWidth = showAddress_ ? kAddressCells * cellWidth_ : 0;
    for (int r = 0; r < visibleRows_; ++r) {
        const int row = topRow_ + r;
        const QRect band(0, r * rowHeight_, viewport()->width(), rowHeight_);
        p.fillRect(band, background);
        if (row >= rowCount_) continue;
        const std::size_t first = std::size_t(row) * bytesPerRow_;
        const std::size_t last = std::min(data_.size(), first + bytesPerRow_);
        const int y = band.top() + 1;
        if (showAddress_) {
            p.setPen(addressColor_);
            p.drawText(QRect(1, y, addressWidth, rowHeight_), Qt::AlignLeft | Qt::AlignTop,
                       QStringLiteral("%1:").arg(base_ + first, 8, 16, QLatin1Char('0')).toUpper());
        }
        p.setPen(hexColor_);
        for (std::size_t i = first; i < last; ++i)
            p.drawText(
                QRect(1 + addressWidth + int(i - first) * 3 * cellWidth_, y, 3 * cellWidth_, rowHeight_),
                Qt::AlignLeft | Qt::AlignTop,
                QStringLiteral("%1").arg(data_[i], 2, 16, QLatin1Char('0')).toUpper());
        if (showCharacters_) {
            p.setPen(charColor_);
            const int x0 = 1 + addressWidth + bytesPerRow_ * 3 * cellWidth_;
            for (std::size_t i = first; i < last; ++i) {
                const std::uint8_t b = data_[i];
                // The bytes as Latin-1 characters; controls would draw nothing readable.
                const QChar ch = (b < 0x20 || (b >= 0x7F && b < 0xA0)) ? QChar('.') : QChar(b);
                p.drawText(QRect(x0 + int(i - first) * cellWidth_, y, cellWidth_, rowHeight_),
                           Qt::AlignLeft | Qt::AlignTop, QString(ch));
            }
        }
    }
}

void THexDump::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    relayout();
}

void THexDump::changeEvent(QEvent* e) {
    QAbstractScrollArea::changeEvent(e);
    if (e->type() == QEvent::FontChange) relayout();
}

void THexDump::setTopRow(int row) {
    row = std::clamp(row, 0, std::max(0, rowCount_ - 1));
    if (row == topRow_) return;
    verticalScrollBar()->setValue(row);  // scrollContentsBy follows
}

void THexDump::scrollContentsBy(int, int) {
    const int row = verticalScrollBar()->value();
    const int delta = row - topRow_;
    topRow_ = row;
    // One row: move the picture and paint the uncovered row only.
    if (delta == 1 || delta == -1)
        viewport()->scroll(0, -delta * rowHeight_);
    else
        viewport()->update();
}

void THexDump::setCurrentRow(int row) {
    if (data_.empty()) return;
    currentRow_ = std::clamp(row, 0, std::max(0, rowCount_ - 1));
    if (currentRow_ < topRow_)
        setTopRow(currentRow_);
    else if (currentRow_ >= topRow_ + visibleRows_ - 1)
        setTopRow(currentRow_ - visibleRows_ + 2);
}

void THexDump::keyPressEvent(QKeyEvent* e) {
    if (data_.empty()) return QAbstractScrollArea::keyPressEvent(e);
    switch (e->key()) {
        case Qt::Key_Up: setCurrentRow(currentRow_ - 1); break;
        case Qt::Key_Down: setCurrentRow(currentRow_ + 1); break;
        case Qt::Key_PageUp: setCurrentRow(currentRow_ - visibleRows_); break;
        case Qt::Key_PageDown: setCurrentRow(currentRow_ + visibleRows_); break;
        case Qt::Key_Home: setCurrentRow(0); break;
        case Qt::Key_End: setCurrentRow(rowCount_ - 1); break;
        default: return QAbstractScrollArea::keyPressEvent(e);
    }
}

void THexDump::mousePressEvent(QMouseEvent* e) {
    setFocus(Qt::MouseFocusReason);
    if (!data_.empty()) setCurrentRow(int(e->position().y()) / rowHeight_ + topRow_);
}

}  // namespace kv
