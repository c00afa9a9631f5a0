// Names in their cells: the kind mark, shortening with "…", and the tooltip that shows a
// shortened name whole.
#include <QHelpEvent>
#include <QToolTip>

#include "panel/fpanel.h"
#include "panel/model/file_kinds.h"
#include "panel/model/panel_format.h"

namespace kv {

QString TFPanel::CellName(const TDirEntry& e, const QFontMetrics& fm, int room, bool* shortened) {
    const QString name = QString::fromStdString(shownName(e.FileName));
    const std::string_view markText = kindMark(e);
    const QString mark = QString::fromUtf8(markText.data(), static_cast<qsizetype>(markText.size()));
    const bool fits = fm.horizontalAdvance(name + mark) <= room;
    if (shortened) *shortened = !fits;
    if (fits) return name + mark;
    // The mark tells what the entry is, so the name gives way, not the mark.
    return fm.elidedText(name, Qt::ElideRight, std::max(0, room - fm.horizontalAdvance(mark))) + mark;
}

void TFPanel::noteName(int cell, int index, const QRect& rect, bool shortened) {
    if (cell < 0) return;
    const auto at = static_cast<std::size_t>(cell);
    if (shortened_.size() <= at) {
        if (!shortened) return;
        shortened_.resize(at + 1);
    }
    shortened_[at] = shortened ? ShortenedName{index, rect} : ShortenedName{};
}

QString TFPanel::NameToolTip(const QPoint& at) const {
    if (Style == 2 || ListingPending) return {};
    const int cell = controller_.cellAt(at.x(), at.y());
    if (cell < 0 || static_cast<std::size_t>(cell) >= shortened_.size()) return {};
    const ShortenedName& n = shortened_[static_cast<std::size_t>(cell)];
    // A record from before a scroll or a re-read names another entry: no tooltip.
    const int index = PosList + cell + 1;
    if (n.index != index || !n.rect.contains(at) || !FL.valid(index)) return {};
    const TDirEntry& e = FL.entry(index);
    QString tip = QString::fromStdString(shownName(e.FileName));
    if (e.IsLink)
        tip += QStringLiteral(" \u2192 ") + QString::fromStdString(shownName(linkTarget(pathOf(e.FileName))));
    return tip;
}

bool TFPanel::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const QString tip = NameToolTip(help->pos());
        if (tip.isEmpty()) {
            QToolTip::hideText();
            e->ignore();
        } else {
            QToolTip::showText(help->globalPos(), tip, this);
        }
        return true;
    }
    return QWidget::event(e);
}

}  // namespace kv
