#include "main/about_form.h"

#include <QFrame>
#include <QLabel>
#include <QScreen>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv {

TAboutForm::TAboutForm(QWidget* parent, const QString& caption) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(caption);
    setFixedSize(347, 211);

    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    frame->setGeometry(8, 8, 331, 156);
    auto* box = new QVBoxLayout(frame);
    auto* kind = new QLabel(QStringLiteral("Filemanager"), frame);
    kind->setAlignment(Qt::AlignCenter);
    auto* name = new QLabel(QStringLiteral("Korvalen"), frame);
    name->setObjectName(QStringLiteral("ProgramName"));
    QFont big = name->font();
    big.setPointSize(28);
    big.setBold(true);
    name->setFont(big);
    name->setAlignment(Qt::AlignCenter);
    auto* version = new QLabel(QStringLiteral("Version 1.00 pre-release"), frame);
    version->setAlignment(Qt::AlignCenter);
    box->addStretch();
    box->addWidget(kind);
    box->addWidget(name);
    box->addWidget(version);
    box->addStretch();

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(136, 174, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

// Centred on the screen, not on the main window.
void TAboutForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
}

}  // namespace kv
