#pragma once
// TViewPane: paints the rows a ViewDocument lays out and turns keys, wheel, scroll bar and
// mouse into the document's moves and a selection of bytes. It holds no text of its own.
#include <QAbstractScrollArea>

#include <cstdint>
#include <vector>

#include "viewers/view/view_document.h"

namespace kv {

class TViewPane : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TViewPane(view::ViewDocument& doc, QWidget* parent = nullptr);

    // The selection as bytes [from, to); empty when from == to.
    std::uint64_t selectionFrom() const { return std::min(anchor_, caret_); }
    std::uint64_t selectionTo() const { return std::max(anchor_, caret_); }
    void select(std::uint64_t from, std::uint64_t to);
    // Brings a byte into view (a search's match) unless it already shows.
    void reveal(std::uint64_t offset);
    // Lays out again after the document changed its mode, encoding, wrap or size.
    void relayout();
    // The painted rows, for tests.
    const std::vector<view::ViewRow>& rows() const { return rows_; }

signals:
    void moved();  // the top, the selection or the layout changed

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void scrollContentsBy(int, int) override {}

private:
    void refill();
    std::uint64_t offsetAt(QPoint p) const;
    void syncScrollBar();

    view::ViewDocument& doc_;
    std::vector<view::ViewRow> rows_;
    std::uint64_t anchor_ = 0, caret_ = 0;
    int cellWidth_ = 8, rowHeight_ = 16, ascent_ = 12;
    bool syncing_ = false;
};

}  // namespace kv
