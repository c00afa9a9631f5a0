#include "main/frame3d.h"

#include <QPainter>

namespace kv {

void Frame3D(QPainter& canvas, QRect& rect, int width, const QColor& top, const QColor& bottom) {
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; i < width && rect.width() > 0 && rect.height() > 0; ++i) {
        const int l = rect.left(), t = rect.top(), r = rect.right(), b = rect.bottom();
        canvas.fillRect(QRect(QPoint(l, t), QPoint(l, b)), top);
        canvas.fillRect(QRect(QPoint(l, t), QPoint(r, t)), top);
        canvas.fillRect(QRect(QPoint(r, t), QPoint(r, b)), bottom);
        canvas.fillRect(QRect(QPoint(l, b), QPoint(r, b)), bottom);
        rect.adjust(1, 1, -1, -1);
    }
    canvas.restore();
}

}  // namespace kv
