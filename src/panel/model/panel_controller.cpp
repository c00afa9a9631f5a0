#include "panel/model/panel_controller.h"

#include <algorithm>

namespace kv {

Repaint TPanelController::finish(Repaint r) {
    m_.locateCursor();
    cursorShown();
    return r;
}

void TPanelController::cursorShown() {
    m_.publishCurrent();
    const int i = m_.cursorIndex();
    if (dragMode_ == 2 && m_.FL.valid(i) && !m_.FL.entry(i).isParent()) {
        if (paintMode_ == 0) paintMode_ = m_.FL.selected(i) ? 1 : 2;
        m_.FL.setSelected(i, paintMode_ == 2);
    }
    if (i >= 1 && m_.OnChangePos) m_.OnChangePos(m_.CurIndex);
}

Repaint TPanelController::moveBarTo(int barPos) {
    previous_ = m_.cursorIndex();
    m_.Bar_Pos = barPos;
    return finish(Repaint::Cursor);
}

Repaint TPanelController::CursorUp() {
    previous_ = m_.cursorIndex();
    if (m_.Bar_Pos > 0) return moveBarTo(m_.Bar_Pos - 1);
    if (m_.PosList > 0) {
        --m_.PosList;
        return finish(Repaint::List);
    }
    return Repaint::None;
}

Repaint TPanelController::CursorDown() {
    previous_ = m_.cursorIndex();
    const int page = m_.pageSize();
    if (m_.Bar_Pos < page - 1 && m_.Bar_Pos < m_.FilesCount - 1 - m_.PosList)
        return moveBarTo(m_.Bar_Pos + 1);
    if (m_.Bar_Pos >= page - 1 && m_.Bar_Pos + m_.PosList < m_.FilesCount - 1) {
        ++m_.PosList;
        m_.Bar_Pos = page - 1;
        return finish(Repaint::List);
    }
    return Repaint::None;
}

Repaint TPanelController::PageRight() {
    previous_ = m_.cursorIndex();
    const int rows = m_.rows(), page = m_.pageSize();
    const int last = m_.FilesCount - 1 - m_.PosList;  // Bar_Pos of the last entry
    if (m_.FilesCount <= 0) return Repaint::None;
    const int col = m_.Bar_Pos / rows + 1;
    if (col < m_.columns()) return moveBarTo(std::min(m_.Bar_Pos + rows, last));
    if (m_.Bar_Pos < page - 1) return moveBarTo(std::min(page - 1, last));
    if (m_.Bar_Pos >= last) return Repaint::None;
    m_.PosList += rows;
    if (m_.PosList + page - 1 > m_.FilesCount - 1) m_.PosList = m_.FilesCount - page;
    m_.Bar_Pos = page - 1;
    return finish(Repaint::List);
}

Repaint TPanelController::PageLeft() {
    previous_ = m_.cursorIndex();
    const int rows = m_.rows();
    if (m_.Bar_Pos >= rows) return moveBarTo(m_.Bar_Pos - rows);
    if (m_.Bar_Pos > 0) return moveBarTo(0);
    if (m_.PosList == 0) return Repaint::None;
    m_.PosList = std::max(0, m_.PosList - rows);
    return finish(Repaint::List);
}

Repaint TPanelController::CursorHome() {
    previous_ = m_.cursorIndex();
    if (m_.Bar_Pos + m_.PosList == 0) return Repaint::None;
    m_.PosList = 0;
    m_.Bar_Pos = 0;
    return finish(Repaint::List);
}

Repaint TPanelController::CursorEnd() {
    previous_ = m_.cursorIndex();
    const int page = m_.pageSize();
    if (m_.FilesCount <= 0) return Repaint::None;
    if (m_.FilesCount < page) {
        m_.PosList = 0;
        m_.Bar_Pos = m_.FilesCount - 1;
    } else {
        m_.Bar_Pos = page - 1;
        m_.PosList = m_.FilesCount - page;
    }
    return finish(Repaint::List);
}

Repaint TPanelController::EnterItem() {
    previous_ = m_.cursorIndex();
    const bool changed = m_.EnterItem();
    return finish(changed ? Repaint::List : Repaint::Cursor);
}

Repaint TPanelController::GoParent() {
    previous_ = m_.cursorIndex();
    const bool changed = m_.GoParent();
    return finish(changed ? Repaint::List : Repaint::Cursor);
}

Repaint TPanelController::ToggleSelect() {
    const int i = m_.cursorIndex();
    if (m_.FL.valid(i) && !m_.FL.entry(i).isParent()) m_.FL.setSelected(i, !m_.FL.selected(i));
    const Repaint moved = CursorDown();
    previous_ = i;
    // The entry left behind changed colour even when the cursor could not move.
    return moved == Repaint::None ? finish(Repaint::Cursor) : moved;
}

Repaint TPanelController::InvertSelection() {
    for (int i = 1; i <= m_.FilesCount; ++i) {
        const TDirEntry& e = m_.FL.entry(i);
        if (e.isParent() || e.isDir()) continue;
        m_.FL.setSelected(i, !e.Selected);
    }
    return finish(Repaint::List);
}

Repaint TPanelController::ToggleHidden() {
    m_.PosList = m_.Bar_Pos = 0;
    m_.CurCol = m_.CurRow = 1;
    m_.Show_FileHide = m_.Show_FileHide ? 0 : 1;
    m_.ReadDir();
    return finish(Repaint::List);
}

Repaint TPanelController::Refresh() {
    m_.ReadDir();
    if (m_.FilesCount < 2) m_.Bar_Pos = 0;
    m_.clampCursor();
    return finish(Repaint::List);
}

int TPanelController::cellAt(int x, int y) const {
    const int ox = x - m_.X0, oy = y - m_.Y0;
    int c = (ox + m_.ColWidth - 1) / std::max(1, m_.ColWidth);
    int r = (oy - 2 + m_.LineHeight - 1) / std::max(1, m_.LineHeight);
    c = std::clamp(c, 1, m_.columns());
    r = std::clamp(r, 1, m_.rows());
    return std::max(0, (c - 1) * m_.rows() + r - 1);
}

Repaint TPanelController::clickToCursor() {
    if (dblHandled_) {
        dblHandled_ = false;
        cursorShown();
        return Repaint::Cursor;
    }
    previous_ = m_.cursorIndex();
    int bar = cellAt(offX_ + m_.X0, offY_ + m_.Y0);
    bar = std::min(bar, std::max(0, m_.FilesCount - 1 - m_.PosList));
    if (bar == m_.Bar_Pos && !force_) return Repaint::None;
    force_ = false;
    return moveBarTo(bar);
}

Repaint TPanelController::mousePress(MouseButton b, int x, int y) {
    const bool inHeader = y < m_.HeaderHeight;
    if ((inHeader && dragMode_ != 2) || m_.Style == 2) {
        if (b == MouseButton::Right) {
            if (m_.OnChangeDrive) m_.OnChangeDrive(m_.Side);
        } else if (!m_.Active && m_.OnChangeActive) {
            m_.OnChangeActive("Active");
        }
        if (inHeader || m_.Style == 2) return Repaint::None;
    }
    if (!(y > m_.HeaderHeight && y < m_.HeaderHeight + m_.ListHeight && x < m_.X1)) return Repaint::None;
    // A drag re-runs the press at every move; the folder has not changed then, so
    // the folder event (which restarts the folder monitor) fires on the real press only.
    if (!dragging_) {
        if (!m_.Active && m_.OnChangeActive) m_.OnChangeActive("Active");
        if (m_.OnChangeFolder) m_.OnChangeFolder(m_.Side);
    }
    if (m_.Style == 2) return Repaint::None;
    offX_ = x - m_.X0;
    offY_ = y - m_.Y0;
    if (b == MouseButton::Left) dragMode_ = 1;
    if (b == MouseButton::Right) {
        dragMode_ = 2;
        force_ = true;
    }
    Repaint r = clickToCursor();
    if (b == MouseButton::Middle && m_.OnFileEnter) m_.OnFileEnter(m_.CurPath);
    return r;
}

Repaint TPanelController::mouseMove(int x, int y) {
    if (skipMove_) {
        skipMove_ = false;
        return Repaint::None;
    }
    if (dragMode_ == 0) return Repaint::None;
    Repaint r = Repaint::None;
    // Outside the list the cursor does not follow; the timers do the scrolling.
    if (y > m_.HeaderHeight && y < m_.HeaderHeight + m_.ListHeight) {
        dragging_ = true;
        r = mousePress(dragMode_ == 1 ? MouseButton::Left : MouseButton::Right, x, y);
        dragging_ = false;
    }
    scrollDown_ = y > m_.HeaderHeight + m_.ListHeight + 1;
    scrollUp_ = y < m_.HeaderHeight;
    return r;
}

Repaint TPanelController::mouseRelease() {
    dragMode_ = paintMode_ = 0;
    force_ = false;
    scrollDown_ = scrollUp_ = false;
    return Repaint::None;
}

Repaint TPanelController::doubleClick() {
    if (m_.Style == 2) return Repaint::None;
    skipMove_ = true;
    if (offY_ == 0) return Repaint::None;
    dblHandled_ = true;
    return EnterItem();
}

Repaint TPanelController::scrollDownTick() {
    Repaint r = Repaint::None;
    for (int i = 0; i < StepsPerTick; ++i) r = r | CursorDown();
    return r;
}

Repaint TPanelController::scrollUpTick() {
    Repaint r = Repaint::None;
    for (int i = 0; i < StepsPerTick; ++i) r = r | CursorUp();
    return r;
}

}  // namespace kv
