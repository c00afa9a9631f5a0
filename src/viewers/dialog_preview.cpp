#include "viewers/dialog_preview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTreeWidget>

namespace kv {

namespace {

QString title(const exe::DialogControl& c) {
    QString t = c.title.kind == exe::NameOrNumber::kText ? QString::fromStdString(c.title.text) : QString();
    return t;
}

// The widget for one control; nullptr for a class we do not know.
QWidget* makeControl(const exe::DialogControl& c, QWidget* parent, QDialog* dialog) {
    const QString cls = QString::fromStdString(c.className()).toUpper();
    const std::uint32_t kind = c.style & 0xF;
    if (cls == "BUTTON") {
        switch (kind) {
            case 2:
            case 3:
            case 5:
            case 6: return new QCheckBox(title(c), parent);
            case 4:
            case 9: return new QRadioButton(title(c), parent);
            case 7: return new QGroupBox(title(c), parent);
            default: {
                auto* b = new QPushButton(title(c), parent);
                b->setDefault(kind == 1);
                // OK and Cancel close the preview, as they would close the dialog.
                if (c.id == 1 || c.id == 2)
                    QObject::connect(b, &QPushButton::clicked, dialog, &QDialog::close);
                return b;
            }
        }
    }
    if (cls == "EDIT" || cls.startsWith("RICHEDIT")) {
        if (c.style & 0x4) return new QPlainTextEdit(title(c), parent);  // ES_MULTILINE
        auto* e = new QLineEdit(title(c), parent);
        if (c.style & 0x20) e->setEchoMode(QLineEdit::Password);
        return e;
    }
    if (cls == "STATIC") {
        auto* l = new QLabel(title(c), parent);
        const std::uint32_t ss = c.style & 0x1F;
        if (ss == 1)
            l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        else if (ss == 2)
            l->setAlignment(Qt::AlignRight | Qt::AlignTop);
        else
            l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (ss == 3 || ss == 0xE || (ss >= 4 && ss <= 9))
            l->setFrameShape(QFrame::Box);  // icons, pictures, frames
        l->setWordWrap(ss <= 2);
        return l;
    }
    if (cls == "LISTBOX") return new QListWidget(parent);
    if (cls == "COMBOBOX") {
        auto* box = new QComboBox(parent);
        box->setEditable((c.style & 0x3) != 3);  // CBS_DROPDOWNLIST is not editable
        return box;
    }
    if (cls == "SCROLLBAR") return new QScrollBar((c.style & 1) ? Qt::Vertical : Qt::Horizontal, parent);
    if (cls == "MSCTLS_PROGRESS32") return new QProgressBar(parent);
    if (cls == "MSCTLS_TRACKBAR32") return new QSlider((c.style & 2) ? Qt::Vertical : Qt::Horizontal, parent);
    if (cls == "SYSLISTVIEW32" || cls == "SYSTREEVIEW32") return new QTreeWidget(parent);
    return nullptr;
}

}  // namespace

TDialogPreview::TDialogPreview(const exe::DialogTemplate& t, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromStdString(t.caption));
    setAttribute(Qt::WA_DeleteOnClose);
    if (t.hasFont) {
        QFont f(QString::fromStdString(t.face));
        f.setPointSize(std::max<int>(t.pointSize, 6));
        if (t.weight) f.setWeight(QFont::Weight(std::clamp<int>(t.weight, 100, 900)));
        f.setItalic(t.italic);
        setFont(f);
    }
    // Dialog units: a quarter of the average character width, an eighth of its height.
    const QFontMetrics fm(font());
    const double baseX =
        fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    const double baseY = fm.height();
    auto px = [&](int x) { return int(x * baseX / 4 + 0.5); };
    auto py = [&](int y) { return int(y * baseY / 8 + 0.5); };
    setFixedSize(std::max(px(t.cx), 40), std::max(py(t.cy), 20));
    for (const exe::DialogControl& c : t.controls) {
        QWidget* w = makeControl(c, this, this);
        if (!w) {
            ++unknown_;
            auto* frame = new QLabel(QString::fromStdString(c.className()), this);
            frame->setFrameShape(QFrame::Box);
            frame->setAlignment(Qt::AlignCenter);
            frame->setToolTip(tr("A control of class %1, which only its program knows").arg(frame->text()));
            w = frame;
        }
        w->setGeometry(px(c.x), py(c.y), std::max(px(c.cx), 1), std::max(py(c.cy), 1));
        w->setVisible((c.style & exe::kWsVisible) != 0);
        w->setEnabled((c.style & exe::kWsDisabled) == 0);
    }
}

}  // namespace kv
