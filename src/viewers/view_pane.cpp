#include "viewers/view_pane.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace kv {

namespace {
constexpr int kScrollSteps = 10000;  // the scroll bar maps its range onto the file's bytes
}

TViewPane::TViewPane(view::ViewDocument& doc, QWidget* parent) : QAbstractScrollArea(parent), doc_(doc) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    verticalScrollBar()->setRange(0, kScrollSteps);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
        if (syncing_) return;
        if (v >= kScrollSteps) doc_.end();
        else doc_.gotoPercent(100.0 * v / kScrollSteps);
        refill();
    });
    relayout();
}

void TViewPane::relayout() {
    const QFontMetrics fm(font());
    cellWidth_ = std::max(1, fm.horizontalAdvance(QLatin1Char('M')));
    rowHeight_ = std::max(1, fm.height());
    ascent_ = fm.ascent();
    doc_.setPageSize(viewport()->width() / cellWidth_, std::max(1, viewport()->height() / rowHeight_));
    refill();
}

void TViewPane::refill() {
    rows_ = doc_.page();
    syncScrollBar();
    viewport()->update();
    emit moved();
}

void TViewPane::syncScrollBar() {
    syncing_ = true;
    const std::uint64_t size = doc_.size();
    verticalScrollBar()->setValue(size == 0 ? 0
                                  : doc_.atEnd()
                                      ? kScrollSteps
                                      : static_cast<int>(static_cast<double>(doc_.top()) * kScrollSteps /
                                                         static_cast<double>(size)));
    verticalScrollBar()->setPageStep(std::max(1, kScrollSteps / 50));
    syncing_ = false;
}

void TViewPane::select(std::uint64_t from, std::uint64_t to) {
    anchor_ = from;
    caret_ = to;
    viewport()->update();
    emit moved();
}

void TViewPane::reveal(std::uint64_t offset) {
    const bool shown = !rows_.empty() && offset >= rows_.front().offset && offset < rows_.back().end &&
                       rows_.size() >= static_cast<std::size_t>(doc_.rows()) - 1;
    if (!shown) {
        doc_.gotoOffset(offset);
        doc_.scroll(-std::min(3, doc_.rows() / 3));  // a few rows of what leads to it
    }
    refill();
}

void TViewPane::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().base());
    p.setFont(font());
    const std::uint64_t selFrom = selectionFrom(), selTo = selectionTo();
    const QColor selColor = palette().highlight().color();
    const bool text = doc_.mode() == view::ViewMode::Text;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const view::ViewRow& r = rows_[i];
        const int y = static_cast<int>(i) * rowHeight_;
        if (selFrom < selTo && r.offset < selTo && r.end > selFrom) {
            auto fill = [&](int column, int cells) {
                p.fillRect(column * cellWidth_, y, cells * cellWidth_, rowHeight_, selColor);
            };
            if (text) {
                for (std::size_t c = 0; c + 1 < r.cells.size(); ++c)
                    if (r.cells[c] >= selFrom && r.cells[c] < selTo) fill(static_cast<int>(c), 1);
            } else {
                for (std::uint64_t b = std::max(selFrom, r.offset); b < std::min(selTo, r.end); ++b) {
                    const int k = static_cast<int>(b - r.offset);
                    if (doc_.mode() == view::ViewMode::Hex) {
                        fill(doc_.hexColumnOf(k), 2);
                        fill(doc_.charColumnOf(k), 1);
                    } else {
                        fill(doc_.offsetDigits() + 2 + k, 1);
                    }
                }
            }
        }
        p.setPen(palette().text().color());
        p.drawText(0, y + ascent_, QString::fromUtf8(r.text.data(), static_cast<qsizetype>(r.text.size())));
    }
}

void TViewPane::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    relayout();
}

void TViewPane::keyPressEvent(QKeyEvent* e) {
    const int page = std::max(1, doc_.rows() - 1);
    switch (e->key()) {
        case Qt::Key_Up: doc_.scroll(-1); break;
        case Qt::Key_Down: doc_.scroll(1); break;
        case Qt::Key_PageUp: doc_.scroll(-page); break;
        case Qt::Key_PageDown: case Qt::Key_Space: doc_.scroll(page); break;
        case Qt::Key_Home: doc_.home(); break;
        case Qt::Key_End: doc_.end(); break;
        case Qt::Key_Left: doc_.setHscroll(doc_.hscroll() - (e->modifiers() & Qt::ControlModifier ? 20 : 1)); break;
        case Qt::Key_Right: doc_.setHscroll(doc_.hscroll() + (e->modifiers() & Qt::ControlModifier ? 20 : 1)); break;
        default: QAbstractScrollArea::keyPressEvent(e); return;
    }
    refill();
}

void TViewPane::wheelEvent(QWheelEvent* e) {
    const int steps = e->angleDelta().y() / 40;
    if (steps == 0) return;
    doc_.scroll(-steps);
    refill();
}

std::uint64_t TViewPane::offsetAt(QPoint pos) const {
    if (rows_.empty()) return 0;
    const int i = std::clamp(pos.y() / rowHeight_, 0, static_cast<int>(rows_.size()) - 1);
    const view::ViewRow& r = rows_[static_cast<std::size_t>(i)];
    const int column = pos.x() / cellWidth_;
    // Past the end of a text row: the line's end.
    if (doc_.mode() == view::ViewMode::Text && column >= static_cast<int>(r.cells.size()) - 1) return r.cells.back();
    return doc_.offsetAtCell(r, column);
}

void TViewPane::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    anchor_ = caret_ = offsetAt(e->position().toPoint());
    viewport()->update();
    emit moved();
}

void TViewPane::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton)) return;
    const std::uint64_t at = offsetAt(e->position().toPoint());
    // The byte under the mouse is part of what is selected when dragging forward.
    caret_ = at >= anchor_ ? std::min(at + 1, doc_.size()) : at;
    viewport()->update();
    emit moved();
}

}  // namespace kv
