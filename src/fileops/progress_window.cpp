#include "fileops/progress_window.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv {

namespace {
QString bytesText(std::uint64_t n) { return QLocale::system().toString(static_cast<qulonglong>(n)); }

int percent(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return 0;
    return static_cast<int>(std::min<std::uint64_t>(100, done * 100 / total));
}
}  // namespace

TFormProgress::TFormProgress(const QString& caption, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormProgress"));
    setWindowTitle(caption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* v = new QVBoxLayout(this);
    FileName = new QLabel(this);
    FileName->setObjectName(QStringLiteral("FileName"));
    FileName->setMinimumWidth(360);
    BytesBar = new QProgressBar(this);
    BytesBar->setObjectName(QStringLiteral("BytesBar"));
    FilesBar = new QProgressBar(this);
    FilesBar->setObjectName(QStringLiteral("FilesBar"));
    for (QProgressBar* b : {BytesBar, FilesBar}) b->setRange(0, 100);
    Counts = new QLabel(this);
    Counts->setObjectName(QStringLiteral("Counts"));
    BackgroundBtn = new QPushButton(QStringLiteral("&Background"), this);
    BackgroundBtn->setObjectName(QStringLiteral("BackgroundBtn"));
    CancelBtn = new QPushButton(QStringLiteral("&Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    v->addWidget(FileName);
    v->addWidget(BytesBar);
    v->addWidget(FilesBar);
    v->addWidget(Counts);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BackgroundBtn);
    buttons->addWidget(CancelBtn);
    buttons->addStretch();
    v->addLayout(buttons);
    connect(CancelBtn, &QPushButton::clicked, this, &TFormProgress::reject);
    connect(BackgroundBtn, &QPushButton::clicked, this, [this] {
        hide();
        emit backgroundRequested();
    });
    setFixedSize(sizeHint());
}

void TFormProgress::show(const fileops::ProgressSnapshot& s) {
    const QFontMetrics fm(FileName->font());
    FileName->setText(fm.elidedText(QString::fromStdString(s.name), Qt::ElideMiddle, FileName->width()));
    BytesBar->setValue(percent(s.bytesDone, s.bytesTotal));
    FilesBar->setValue(percent(s.filesDone, s.filesTotal));
    Counts->setText(QStringLiteral("%1 of %2 bytes, %3 of %4 files")
                        .arg(bytesText(s.bytesDone), bytesText(s.bytesTotal))
                        .arg(s.filesDone)
                        .arg(s.filesTotal));
    if (!isVisible()) QDialog::show();
}

void TFormProgress::showWaiting() {
    FileName->setText(QStringLiteral("Waiting for the other jobs on this disk..."));
    if (!isVisible()) QDialog::show();
}

void TFormProgress::reject() {
    CancelBtn->setEnabled(false);
    emit cancelRequested();
}

}  // namespace kv
