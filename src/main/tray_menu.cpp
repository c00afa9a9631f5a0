#include "main/tray_menu.h"

#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>

namespace kv {

TTrayMenu::TTrayMenu(QWidget* parent) : QMenu(parent) {
    setContentsMargins(kMargin, 0, 0, 0);
    setSeparatorsCollapsible(false);
}

void TTrayMenu::paintEvent(QPaintEvent* event) {
    QMenu::paintEvent(event);
    QPainter p(this);
    const QRect margin(0, 0, kMargin, height());
    // From pure green at the top to a quarter of it at the bottom.
    QLinearGradient g(margin.topLeft(), margin.bottomLeft());
    g.setColorAt(0, QColor(0, 255, 0));
    g.setColorAt(1, QColor(0, 63, 0));
    p.fillRect(margin, g);
    p.setClipRect(margin);
    QFont f(QStringLiteral("Liberation Mono"));
    f.setPointSize(14);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.translate(margin.left(), margin.bottom() - 5);
    p.rotate(-90);
    // Rotated, x runs up the margin and y across it; the text's baseline sits near the right.
    p.drawText(QPoint(0, QFontMetrics(f).ascent() + 2), QStringLiteral("Korvalen"));
}

}  // namespace kv
