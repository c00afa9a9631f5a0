#include "main/app_icon.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace kv {

QImage korvalenIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    const qreal u = size / 16.0;
    p.fillRect(QRectF(0, 1 * u, 16 * u, 14 * u), QColor(192, 192, 192));
    for (int i = 0; i < 2; ++i) {
        QRectF panel((1 + 7.5 * i) * u, 2 * u, 6.5 * u, 12 * u);
        p.fillRect(panel, QColor(0, 0, 128));
        p.setPen(QPen(Qt::white, std::max<qreal>(1, u / 2)));
        for (int row = 0; row < 4; ++row)
            p.drawLine(QPointF(panel.left() + u, panel.top() + (2.5 + 2.5 * row) * u),
                       QPointF(panel.right() - u, panel.top() + (2.5 + 2.5 * row) * u));
    }
    p.fillRect(QRectF(2 * u, 6.5 * u, 4.5 * u, 1.5 * u), QColor(0, 168, 168));
    return image;
}

QIcon korvalenIcon() {
    QIcon icon;
    for (int size : {16, 32, 64}) icon.addPixmap(QPixmap::fromImage(korvalenIconImage(size)));
    return icon;
}

}  // namespace kv
