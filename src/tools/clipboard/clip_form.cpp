#include "tools/clipboard/clip_form.h"

#include <QPushButton>
#include <QResizeEvent>

#include "tools/clipboard/clipboard_view.h"

namespace kv {

TFormClip::TFormClip(QRect bounds, ToolTexts texts, QWidget* parent) : QDialog(parent) {
    setWindowTitle(texts("Caption", "Clipboard viewer"));
    setSizeGripEnabled(true);
    View = new ClipboardView(texts, QClipboard::Clipboard, this);
    OkButton = new QPushButton(QStringLiteral("&OK"), this);
    OkButton->setDefault(true);
    OkButton->resize(75, 25);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);

    const int left = bounds.left() < 1 ? 50 : bounds.left();
    const int top = bounds.top() < 1 ? 50 : bounds.top();
    const int width = bounds.width() < 1 ? 300 : bounds.width();
    const int height = bounds.height() < 1 ? 300 : bounds.height();
    setMinimumSize(OkButton->width() + 20, kStripHeight + 40);
    resize(width, height);
    move(left, top);
}

void TFormClip::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int w = width(), h = height();
    View->setGeometry(0, 0, w, std::max(0, h - kStripHeight));
    OkButton->move((w - OkButton->width()) / 2, h - kStripHeight + (kStripHeight - OkButton->height()) / 2);
}

}  // namespace kv
