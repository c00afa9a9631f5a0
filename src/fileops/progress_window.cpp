#include "fileops/progress_window.h"

#include <QFontMetrics>

#include <algorithm>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "fileops/file_command_support.h"

namespace kv {

namespace {
QString bytesText(std::uint64_t n) { return QLocale::system().toString(static_cast<qulonglong>(n)); }

int percent(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return 0;
    return static_cast<int>(
        std::min<double>(100.0, static_cast<double>(done) * 100.0 / static_cast<double>(total)));
}
}  // namespace

QString speedText(double bytesPerSecond) {
    const char* units[] = {"B/s", "KB/s", "MB/s", "GB/s"};
    int u = 0;
    while (bytesPerSecond >= 1000.0 && u < 3) {
        bytesPerSecond /= 1000.0;
        ++u;
    }
    return QStringLiteral("%1 %2").arg(bytesPerSecond, 0, 'f', u == 0 ? 0 : 1).arg(QLatin1String(units[u]));
}

QString durationText(std::chrono::seconds s) {
    const long long t = s.count(), h = t / 3600, m = t / 60 % 60, sec = t % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(h)
            .arg(m, 2, 10, QLatin1Char('0'))
            .arg(sec, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(sec, 2, 10, QLatin1Char('0'));
}

TFormProgress::TFormProgress(const QString& caption, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormProgress"));
    setWindowTitle(caption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* v = new QVBoxLayout(this);
    FileName = new QLabel(this);
    FileName->setObjectName(QStringLiteral("FileName"));
    FileName->setMinimumWidth(360);
    FileBar = new QProgressBar(this);
    FileBar->setObjectName(QStringLiteral("FileBar"));
    TotalBar = new QProgressBar(this);
    TotalBar->setObjectName(QStringLiteral("TotalBar"));
    for (QProgressBar* b : {FileBar, TotalBar}) b->setRange(0, 100);
    Counts = new QLabel(this);
    Counts->setObjectName(QStringLiteral("Counts"));
    Speed = new QLabel(this);
    Speed->setObjectName(QStringLiteral("Speed"));
    BackgroundBtn = new QPushButton(QStringLiteral("&Background"), this);
    BackgroundBtn->setObjectName(QStringLiteral("BackgroundBtn"));
    CancelBtn = new QPushButton(QStringLiteral("&Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    v->addWidget(FileName);
    v->addWidget(FileBar);
    v->addWidget(TotalBar);
    v->addWidget(Counts);
    v->addWidget(Speed);
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

void TFormProgress::show(const fileops::ProgressSnapshot& s, fileops::RateMeter::Clock::time_point now) {
    const QFontMetrics fm(FileName->font());
    FileName->setText(fm.elidedText(fileops_ui::qName(s.name), Qt::ElideMiddle, FileName->width()));
    FileBar->setValue(percent(s.fileBytesDone, s.fileBytesTotal));
    // Bytes tell how far a copy is, also inside its one big file; a job of renames and
    // deletions has no bytes and counts its entries.
    TotalBar->setValue(s.bytesTotal > 0 ? percent(s.bytesDone, s.bytesTotal)
                                        : percent(s.filesDone, s.filesTotal));
    rate_.sample(now, s.bytesDone);
    const auto rate = rate_.bytesPerSecond();
    const auto left = rate_.timeLeft(s.bytesTotal);
    Speed->setText(!rate  ? QString()
                   : left ? QStringLiteral("%1, %2 left").arg(speedText(*rate), durationText(*left))
                          : speedText(*rate));
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
