#include "tools/cdplayer/cd_form.h"

#include <QCheckBox>
#include <QFont>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

namespace kv {

using music::CdMode;

namespace {
const char* const kModeTexts[] = {"Not ready", "Stopped", "Playing", "Recording",
                                  "Seeking",   "Paused",  "Open"};
}

TFormCdPlay::TFormCdPlay(std::unique_ptr<music::CdDrive> drive, ToolTexts texts, QWidget* parent)
    : QDialog(parent), drive_(drive ? std::move(drive) : music::openSystemCdDrive()) {
    auto text = [&](const char* key, const char* english) {
        return texts ? texts(key, english) : QString::fromLatin1(english);
    };
    setWindowTitle(text("Caption", "Win CD-Player"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(376, 190);

    static const char* const buttons[] = {">", "||", "[]", ">>|", "|<<", "^"};
    for (int i = 0; i < 6; ++i) {
        auto* b = new QPushButton(QString::fromLatin1(buttons[i]), this);
        b->setGeometry(16 + 34 * i, 20, 32, 24);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QPushButton::clicked, this, [this, i] { pressButton(Button(i)); });
        PlayerBar[size_t(i)] = b;
    }
    auto* display = new QFrame(this);
    display->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    display->setGeometry(226, 16, 136, 60);
    display->setStyleSheet(QStringLiteral("background: black; color: lime;"));
    new QLabel(text("Label_Track", "Track:"), display);
    TrackLabel = new QLabel(QStringLiteral("0"), display);
    TrackLabel->move(80, 4);
    auto* pos = new QLabel(text("Label_Pos", "Position:"), display);
    pos->move(0, 30);
    PosLabel = new QLabel(QStringLiteral("00:00"), display);
    PosLabel->setGeometry(80, 30, 50, 20);
    for (QLabel* l : display->findChildren<QLabel*>()) l->move(l->x() + 6, l->y() + 4);
    StatusLabel = new QLabel(this);
    StatusLabel->setGeometry(16, 52, 200, 18);

    auto* big = new QLabel(QStringLiteral("Orvento"), this);
    QFont f = big->font();
    f.setPointSize(22);
    f.setBold(true);
    big->setFont(f);
    big->setGeometry(16, 80, 220, 40);
    auto* small = new QLabel(QStringLiteral("Special for Korvalen"), this);
    small->setGeometry(20, 120, 200, 18);
    OptionsPanel = new QFrame(this);
    OptionsPanel->setGeometry(12, 78, 240, 66);
    OptionsPanel->setAutoFillBackground(true);
    ContinuousPlay = new QCheckBox(text("Label_ContPlay", "Co&ntinuous play"), OptionsPanel);
    ContinuousPlay->move(8, 8);
    RepeatCurrent = new QCheckBox(text("Label_RepeatCurSel", "&Repeat current selection"), OptionsPanel);
    RepeatCurrent->move(8, 34);
    OptionsPanel->hide();

    auto* options = new QPushButton(text("Button_Options", "&Options"), this);
    options->setGeometry(270, 120, 88, 24);
    connect(options, &QPushButton::pressed, this,
            [this] { OptionsPanel->setVisible(!OptionsPanel->isVisible()); });
    auto* cancel = new QPushButton(text("Button_Cancel", "&Cancel"), this);
    cancel->setGeometry(270, 154, 88, 24);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TFormCdPlay::Timer1Timer);
    connect(this, &QDialog::finished, Timer1, &QTimer::stop);
    setStatus(drive_->mode());
}

TFormCdPlay::~TFormCdPlay() {
    if (drive_) drive_->stop();
}

void TFormCdPlay::setStatus(CdMode mode) {
    if (paused_) {
        StatusLabel->setText(QStringLiteral(" Paused"));
        return;
    }
    StatusLabel->setText(QLatin1Char(' ') + QString::fromLatin1(kModeTexts[int(mode)]));
}

void TFormCdPlay::loadTracks() {
    StatusLabel->setText(QStringLiteral(" Loading tracks"));
    const int n = std::min(drive_->trackCount(), 100);
    lengths_ = {};
    for (int t = 1; t <= n; ++t) lengths_[size_t(t)] = drive_->trackLength(t);
    tracksLoaded_ = true;
}

int TFormCdPlay::absolutePosition(const music::CdPosition& p) const {
    int s = 0;
    for (int t = 1; t < p.track && t <= 100; ++t)
        s += lengths_[size_t(t)].minutes * 60 + lengths_[size_t(t)].seconds;
    return s + p.minutes * 60 + p.seconds;
}

void TFormCdPlay::reset() {
    currentTrack_ = 1;
    TrackLabel->setText(QStringLiteral("0"));
    PosLabel->setText(QStringLiteral("00:00"));
    drive_->stop();
    playRequested_ = paused_ = false;
}

void TFormCdPlay::Timer1Timer() {
    const CdMode mode = drive_->mode();
    setStatus(mode);
    switch (mode) {
        case CdMode::Stopped:
            if (!tracksLoaded_) {
                loadTracks();
                setStatus(mode);
            }
            // Continuous play: after the last track the disc starts over (a stop clears the request).
            if (playRequested_ && !paused_ && ContinuousPlay->isChecked()) drive_->play(1);
            break;
        case CdMode::Playing: {
            const music::CdPosition p = drive_->position();
            TrackLabel->setText(QString::number(p.track));
            PosLabel->setText(QStringLiteral("%1:%2")
                                  .arg(p.minutes, 2, 10, QLatin1Char('0'))
                                  .arg(p.seconds, 2, 10, QLatin1Char('0')));
            currentTrack_ = p.track;
            if (RepeatCurrent->isChecked() && p.track >= 1 && p.track <= 100) {
                // Two seconds before the track's end it starts over.
                const music::CdTime& len = lengths_[size_t(p.track)];
                const int repeatPoint = absolutePosition({p.track, len.minutes, len.seconds}) - 2;
                if (absolutePosition(p) >= repeatPoint) drive_->play(p.track);
            }
            break;
        }
        case CdMode::Open:
            tracksLoaded_ = false;
            reset();
            break;
        default: break;
    }
}

void TFormCdPlay::pressButton(Button b) {
    switch (b) {
        case Play:
            playRequested_ = true;
            if (paused_)
                drive_->pause();  // resumes
            else
                drive_->play(currentTrack_);
            paused_ = false;
            break;
        case Pause:
            if (!paused_) drive_->pause();
            playRequested_ = false;
            paused_ = true;
            break;
        case Stop: reset(); break;
        case Next: drive_->next(); break;
        case Previous: drive_->previous(); break;
        case Eject:
            drive_->eject();
            tracksLoaded_ = false;
            reset();
            break;
    }
    Timer1Timer();
}

void TFormCdPlay::paintEvent(QPaintEvent* e) {
    QDialog::paintEvent(e);
    QPainter p(this);
    p.setPen(Qt::white);
    p.drawRect(QRect(QPoint(7, 9), QPoint(368, 151)));
    p.setPen(QColor(128, 128, 128));
    p.drawRect(QRect(QPoint(6, 8), QPoint(367, 150)));
}

void TFormCdPlay::mousePressEvent(QMouseEvent* e) {
    dragFrom_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TFormCdPlay::mouseMoveEvent(QMouseEvent* e) {
    if (e->buttons() & Qt::LeftButton) move(e->globalPosition().toPoint() - dragFrom_);
}

}  // namespace kv
