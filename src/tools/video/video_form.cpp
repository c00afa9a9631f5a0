#include "tools/video/video_form.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv {

QString modeText(const video::DisplayMode& m) {
    return QStringLiteral("%1 x %2, %3 bits").arg(m.width).arg(m.height).arg(m.bitsPerPixel);
}

QString switchResultText(video::SwitchResult result) {
    using R = video::SwitchResult;
    switch (result) {
        case R::Successful: return QStringLiteral("The mode is established!");
        case R::RestartNeeded: return QStringLiteral("It is required restart");
        case R::Failed: return QStringLiteral("Cannot set this mode");
        case R::BadMode: return QStringLiteral("Sorry, bad mode");
        case R::NotUpdated: return QStringLiteral("Not updated");
        case R::BadFlags: return QStringLiteral("Bad Flags");
    }
    return {};
}

TFormVideo::TFormVideo(std::unique_ptr<video::DisplayModes> modes, ToolTexts texts, QWidget* parent)
    : QDialog(parent), driver_(std::move(modes)) {
    setWindowTitle(texts("Caption", "Change video mode"));
    auto* layout = new QVBoxLayout(this);
    CurrentMode = new QLineEdit;
    CurrentMode->setReadOnly(true);
    layout->addWidget(CurrentMode);
    ModeList = new QListWidget;
    layout->addWidget(ModeList, 1);
    Unavailable = new QLabel;
    Unavailable->setWordWrap(true);
    Unavailable->setStyleSheet(QStringLiteral("color: maroon;"));
    layout->addWidget(Unavailable);

    auto* buttons = new QHBoxLayout;
    SetButton = new QPushButton(texts("Button_Set", "&Set mode"));
    SetButton->setDefault(true);
    CancelButton = new QPushButton(texts("Button_Cancel", "&Cancel"));
    connect(SetButton, &QPushButton::clicked, this, &TFormVideo::SetButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(ModeList, &QListWidget::itemDoubleClicked, this, &TFormVideo::SetButtonClick);
    buttons->addStretch();
    buttons->addWidget(SetButton);
    buttons->addWidget(CancelButton);
    layout->addLayout(buttons);
    resize(280, 300);

    report = [this](const QString& text) { QMessageBox::information(this, windowTitle(), text); };
    FormActivate();
}

bool TFormVideo::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) FormActivate();
    return QDialog::event(e);
}

void TFormVideo::FormActivate() {
    const std::string reason = driver_->unavailableReason();
    Unavailable->setText(QString::fromStdString(reason));
    Unavailable->setVisible(!reason.empty());
    const auto current = driver_->current();
    CurrentMode->setText(current ? modeText(*current) : QString());

    modes_.clear();
    ModeList->clear();
    for (int i = 0;; ++i) {
        const auto m = driver_->mode(i);
        if (!m) break;
        modes_.push_back(*m);
        ModeList->addItem(modeText(*m));
    }
    if (ModeList->count() > 0) ModeList->setCurrentRow(0);
    SetButton->setEnabled(reason.empty() && !modes_.empty());
}

void TFormVideo::SetButtonClick() {
    const int row = ModeList->currentRow();
    if (row < 0 || row >= static_cast<int>(modes_.size())) return;
    const video::SwitchResult result = driver_->setMode(modes_[static_cast<size_t>(row)]);
    report(switchResultText(result));
    FormActivate();
}

}  // namespace kv
