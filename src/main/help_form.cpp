#include "main/help_form.h"

#include <QLabel>
#include <QScreen>
#include <QPushButton>

#include "platform/launcher.h"

namespace kv {

TFormHelp::TFormHelp(QWidget* parent, const QString& caption, const QString& build) : QDialog(parent) {
    setObjectName(QStringLiteral("FormHelp"));
    setWindowTitle(caption);
    setFixedSize(404, 210);

    auto* name = new QLabel(QStringLiteral("Korvalen"), this);
    QFont big = name->font();
    big.setPointSize(22);
    big.setBold(true);
    name->setFont(big);
    name->setGeometry(16, 16, 372, 44);
    name->setAlignment(Qt::AlignCenter);

    auto* version = new QLabel(QStringLiteral("Version 1.00 pre-release") + build, this);
    version->setObjectName(QStringLiteral("VersionLabel"));
    version->setGeometry(16, 64, 372, 20);
    version->setAlignment(Qt::AlignCenter);

    auto* homeCaption = new QLabel(QStringLiteral("Homepage:"), this);
    homeCaption->setGeometry(40, 104, 80, 20);
    auto* link = new QLabel(this);
    link->setObjectName(QStringLiteral("HomePageLink"));
    link->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(QLatin1String(kHomePage)));
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setGeometry(124, 104, 264, 20);
    // Opened by the desktop, as a click on any link would.
    connect(link, &QLabel::linkActivated, this, [](const QString& url) {
        platform::runDetached({"xdg-open", url.toStdString()}, {});
    });

    auto* about = new QPushButton(QStringLiteral("&About"), this);
    about->setObjectName(QStringLiteral("AboutButton"));
    about->setGeometry(112, 164, 80, 27);
    connect(about, &QPushButton::clicked, this, &TFormHelp::aboutRequested);
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(212, 164, 80, 27);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

// Centred on the screen, not on the main window.
void TFormHelp::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
}

}  // namespace kv
