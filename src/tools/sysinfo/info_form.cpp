#include "tools/sysinfo/info_form.h"

#include <QDir>
#include <QEvent>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace kv {

QString groupThousands(std::int64_t value) {
    if (value < 0) return QStringLiteral("-1");
    QString digits = QString::number(value);
    for (int at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, QLatin1Char(','));
    return digits;
}

QString colourCountText(int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 4: return QStringLiteral("16");
        case 8: return QStringLiteral("256");
        case 24:
        case 32: return QStringLiteral("16777216");
        default: return QStringLiteral("65536");
    }
}

namespace {

// A caption in bold on the left, its value in navy on the right.
QLabel* addPair(QGridLayout* grid, int row, const QString& caption) {
    auto* name = new QLabel(caption);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    auto* value = new QLabel;
    value->setStyleSheet(QStringLiteral("color: navy;"));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(name, row, 0);
    grid->addWidget(value, row, 1);
    return value;
}

}  // namespace

TFormInfo::TFormInfo(SystemInfoSource source, ToolTexts texts, QWidget* parent)
    : QDialog(parent), source_(std::move(source)) {
    setWindowTitle(texts("Caption", "About system"));
    bytesWord_ = texts("bytes", "bytes");

    auto* outer = new QVBoxLayout(this);
    // The title sits in a fixed-width holder so uncovering it does not move the groups.
    auto* titleHolder = new QWidget;
    titleHolder->setFixedHeight(24);
    Title = new QLabel(QStringLiteral("System Information:"), titleHolder);
    QFont titleFont = Title->font();
    titleFont.setBold(true);
    titleFont.setPointSize(titleFont.pointSize() + 3);
    Title->setFont(titleFont);
    Title->setGeometry(0, 0, 0, 24);
    titleHolder->setMinimumWidth(std::max(kTitleFullWidth, Title->sizeHint().width()));
    outer->addWidget(titleHolder);

    auto* machine = new QGroupBox;
    auto* machineGrid = new QGridLayout(machine);
    Computer = addPair(machineGrid, 0, texts("Label_Computer", "Computer:"));
    Processor = addPair(machineGrid, 1, texts("Label_Processor", "Processor:"));
    Memory = addPair(machineGrid, 2, texts("Label_Memory", "Memory summary:"));
    Video = addPair(machineGrid, 3, texts("Label_Video", "Video mode:"));
    Drive = addPair(machineGrid, 4, texts("Label_Drive", "Current drive:"));
    machineGrid->setColumnStretch(1, 1);
    outer->addWidget(machine);

    auto* system = new QGroupBox;
    auto* systemGrid = new QGridLayout(system);
    OS = addPair(systemGrid, 0, texts("Label_OS", "Operation system:"));
    UserName = addPair(systemGrid, 1, texts("Label_UserName", "Registered on:"));
    systemGrid->setColumnStretch(1, 1);
    outer->addWidget(system);

    auto* buttons = new QHBoxLayout;
    OkButton = new QPushButton(QStringLiteral("&OK"));
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addStretch();
    outer->addLayout(buttons);
    outer->setSizeConstraint(QLayout::SetFixedSize);  // the old fixed border

    titleTimer_.setSingleShot(false);
    connect(&titleTimer_, &QTimer::timeout, this, &TFormInfo::TitleTimerTick);
}

bool TFormInfo::event(QEvent* e) {
    // The first showing fills the values even where the window system never activates it.
    if (e->type() == QEvent::WindowActivate || e->type() == QEvent::Show) FormActivate();
    return QDialog::event(e);
}

void TFormInfo::FormActivate() {
    Title->resize(0, Title->height());
    titleTimer_.start(1000);

    const platform::SystemFigures f = source_.figures ? source_.figures() : platform::SystemFigures{};
    Computer->setText(QString::fromStdString(f.computer));
    Processor->setText(QString::fromStdString(f.processor));
    Memory->setText(groupThousands(static_cast<std::int64_t>(f.totalMemory / 1024)) + QStringLiteral(" Kb"));

    QSize size;
    int depth = 0;
    if (QScreen* s = screen()) {
        size = s->geometry().size() * s->devicePixelRatio();
        depth = s->depth();
    }
    if (source_.screenSize) size = source_.screenSize();
    if (source_.screenDepth) depth = source_.screenDepth();
    Video->setText(
        QStringLiteral("%1x%2x%3").arg(size.width()).arg(size.height()).arg(colourCountText(depth)));

    const std::int64_t drive =
        source_.driveSize ? source_.driveSize() : platform::fileSystemSize(QDir::currentPath().toStdString());
    Drive->setText(groupThousands(drive) + QLatin1Char(' ') + bytesWord_);
    OS->setText(QString::fromStdString(f.operatingSystem));
    UserName->setText(source_.owner ? QString::fromStdString(source_.owner()) : QString());
}

void TFormInfo::TitleTimerTick() {
    titleTimer_.setInterval(100);
    // 208 pixels uncovered the old title whole; a larger font needs its own width.
    const int full = std::max(kTitleFullWidth, Title->sizeHint().width());
    const int width = Title->width() + kTitleStep;
    Title->resize(width, Title->height());
    if (width >= full) titleTimer_.stop();
}

void TFormInfo::done(int result) {
    titleTimer_.stop();
    Title->resize(0, Title->height());
    QDialog::done(result);
}

}  // namespace kv
