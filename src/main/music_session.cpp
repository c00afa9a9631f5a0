#include "main/music_session.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>

#include <cmath>

#include "main/main_form.h"
#include "tools/sound/qt_sound_output.h"
#include "tools/sound/volume_control.h"

namespace kv {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
int percent(double pos, double len) { return len > 0 ? int(std::lround(pos * 100 / len)) : 0; }
}  // namespace

MusicSession::MusicSession(TForm1& form) : QObject(&form), f_(form) {
    setObjectName(QStringLiteral("MusicSession"));
    volume_ = new TVolumeControl(music::soundMixer(), this);
    f_.ReadVolume = [this](int channel) -> std::optional<int> {
        if (volume_->device(channel) < 0) return std::nullopt;
        return volume_->volume(channel);
    };
    f_.WriteVolume = [this](int channel, int v) { volume_->setVolume(channel, v); };

    // The tracker player's control stays hidden; the MPEG library is the built-in one.
    ModPlugPlayer1.HideVUmeter = false;
    ModPlugPlayer1.StereoVUmeter = true;
    ModPlugPlayer1.LoopSong = false;
    ModPlugPlayer1.Initialize();
    MPlayer.PathToDLL = f_.cfg().Main.Root;
    MPlayer.OnPlayEnd = [](music::TMPEGPlayer& p) { p.EndPos = 0; };  // MPlayerPlayEnd
    auto* mpegTimer = new QTimer(this);
    MPlayer.StartTimer = [mpegTimer](int ms) { mpegTimer->start(ms); };
    MPlayer.StopTimer = [mpegTimer] { mpegTimer->stop(); };
    connect(mpegTimer, &QTimer::timeout, this, [this] { MPlayer.TimerTick(); });
    try {
        MPlayer.LoadLibrary();
    } catch (const music::TMPEGError&) {
        // Stays unloaded: playing an MP3 then says "MPEG library not loaded".
    }

    connect(f_.Timer3, &QTimer::timeout, this, &MusicSession::Timer3Timer);
    f_.Label1->installEventFilter(this);
    f_.VolBar->installEventFilter(this);
    f_.VolBar->setMouseTracking(false);
    buildMediaPanel();

    FileWorkDispatch& d = f_.fileWork();
    d.set(FileWorkKind::Sound, [this](TForm1&, const std::string& p) { Play_Sound(p); });
    d.set(FileWorkKind::MpegAudio, [this](TForm1&, const std::string& p) { playMpeg(p); });
    d.set(FileWorkKind::TrackerMusic, [this](TForm1&, const std::string& p) { playTracker(p); });
}

MusicSession::~MusicSession() {
    MPlay.Stop();
    ModPlugPlayer1.Destroy();
    try {
        if (MPlayer.loaded()) MPlayer.UnloadLibrary();
    } catch (const music::TMPEGError&) {}
}

MusicSession* MusicSession::of(const TForm1& form) {
    return form.findChild<MusicSession*>(QStringLiteral("MusicSession"), Qt::FindDirectChildrenOnly);
}

void MusicSession::showError(const QString& message) {
    QMessageBox::critical(&f_, QStringLiteral("Error"), message);
}

void MusicSession::stopMpeg() {
    if (MPlayer.EndPos != 0) {
        MPlayer.Close();
        MPlayer.EndPos = 0;
    }
}

void MusicSession::startProgress(const std::string& file) {
    f_.Label2->setText(QStringLiteral(" MediaPlayer - ") + q(file));
    lastPlayed_ = q(file);
    notified_ = false;
    f_.Timer3->start();
}

void MusicSession::Play_Sound(const std::string& file) {
    try {
        stopMpeg();
    } catch (const music::TMPEGError& e) {
        showError(QString::fromUtf8(e.what()));
    }
    if (!ModPlugPlayer1.SongName.empty()) ModPlugPlayer1.Stop();
    MPlay.FileName = file;
    std::string error;
    if (!MPlay.Open(error)) {
        lastPlayed_ = q(file);
        showError(q(error));
        return;
    }
    musicKind_ = QStringLiteral("wav");
    if (!MPlay.Play(error)) {
        showError(q(error));
        return;
    }
    f_.Timer3->start();
    lastPlayed_ = q(file);
    notified_ = false;
    f_.Label2->setText(QStringLiteral(" MediaPlayer - ") + q(file));
}

void MusicSession::playTracker(const std::string& file) {
    try {
        stopMpeg();
    } catch (const music::TMPEGError& e) {
        showError(QString::fromUtf8(e.what()));
    }
    if (!MPlay.FileName.empty()) MPlay.Stop();
    ModPlugPlayer1.Stop();
    ModPlugPlayer1.SongName = file;
    if (!ModPlugPlayer1.Load()) {
        // The library says nothing of a song it cannot load; we do.
        f_.Label2->setText(q(music::ModPlug_LastLoadError(ModPlugPlayer1.instance())));
        return;
    }
    musicKind_ = QStringLiteral("s3m");
    ModPlugPlayer1.Play();
    startProgress(file);
}

void MusicSession::playMpeg(const std::string& file) {
    if (!MPlay.FileName.empty()) MPlay.Stop();
    ModPlugPlayer1.Stop();
    try {
        MPlayer.setStreamName(file);
        MPlayer.Open();
        MPlayer.EndPos = MPlayer.Length();
        musicKind_ = QStringLiteral("mp3");
        f_.Label2->setText(QStringLiteral(" MediaPlayer - ") + q(file));
        lastPlayed_ = q(file);
        MPlayer.Play();
        notified_ = false;
        f_.Timer3->start();
    } catch (const music::TMPEGError& e) {
        MPlayer.EndPos = 0;
        showError(QString::fromUtf8(e.what()));
    }
}

void MusicSession::Timer3Timer() {
    int p = 0;
    if (musicKind_ == QLatin1String("wav")) {
        if (MPlay.Length() != 0) p = percent(double(MPlay.Position()), double(MPlay.Length()));
        if (MPlay.state() == music::PlayState::Finished) {
            p = 100;  // a MIDI song's ticks may stop short of the last one
            if (!notified_) {
                notified_ = true;
                MPlayNotify();
            }
        }
    } else if (musicKind_ == QLatin1String("s3m")) {
        if (ModPlugPlayer1.Length() != 0) p = percent(ModPlugPlayer1.Position(), ModPlugPlayer1.Length());
    } else if (musicKind_ == QLatin1String("mp3")) {
        try {
            if (MPlayer.loaded() && MPlayer.Length() != 0) p = percent(MPlayer.Position(), MPlayer.Length());
        } catch (const music::TMPEGError&) {}
    }
    ProgressBar1->setValue(p);
    const QString title = q(f_.cfg().Main.Title);
    if (p != 100) {
        if (!f_.StatusBar1->isVisible() && f_.isVisible()) {
            f_.setWindowTitle(title + QStringLiteral(" -  MediaPlayer ") + QString::number(p) +
                              QLatin1Char('%'));
        } else {
            f_.Label2->setText(lastPlayed_ + QStringLiteral(" - ") + QString::number(p) + QLatin1Char('%'));
            if (f_.windowTitle() != title) f_.setWindowTitle(title);
        }
    } else {
        f_.setWindowTitle(title);
        f_.Label2->clear();
        f_.Timer3->stop();
    }
}

void MusicSession::stopMusic() {
    try {
        stopMpeg();
    } catch (const music::TMPEGError& e) {
        showError(QString::fromUtf8(e.what()));
    }
    ModPlugPlayer1.Stop();
    if (!MPlay.FileName.empty()) MPlay.Stop();
    f_.Timer3->stop();
    f_.setWindowTitle(q(f_.cfg().Main.Title));
    f_.Label2->clear();
}

void MusicSession::playLast() {
    if (MPlay.FileName.empty()) return;
    std::string error;
    if (!MPlay.Play(error)) {
        showError(q(error));
        return;
    }
    musicKind_ = QStringLiteral("wav");
    notified_ = false;
    f_.Timer3->start();
}

void MusicSession::whatPlaying() {
    const std::string text = kvLanguage().MainText(f_.cfg().Main.Language, "Commands", "Message_LastPlayFile",
                                                   "Last playing file is");
    QMessageBox::information(&f_, QStringLiteral("Information"),
                             q(text) + QStringLiteral(" <") + q(MPlay.FileName) + QLatin1Char('>'));
}

void MusicSession::MPlayNotify() {
    TFPanel* right = f_.RightPanel;
    if (right->Bar_Pos + right->PosList >= right->FL.FilesCount() - 1) {
        if (QAction* item = f_.menuItem("Playcurrentfile1")) {
            item->setChecked(false);
            item->setText(QStringLiteral("Play music list"));
        }
    }
}

int MusicSession::channelOfLabel() const {
    const QString name = f_.Label1->text();
    return name == QLatin1String("Midi volume") ? 2 : name == QLatin1String("AudioCD volume") ? 0 : 1;
}

void MusicSession::switchChannel() {
    const QString name = f_.Label1->text();
    f_.Label1->setText(name == QLatin1String("Wave volume")   ? QStringLiteral("Midi volume")
                       : name == QLatin1String("Midi volume") ? QStringLiteral("AudioCD volume")
                                                              : QStringLiteral("Wave volume"));
    f_.FormResize();  // the name's width changed
    f_.VolBar->setValue(int(std::lround(volume_->volume(channelOfLabel()) / 255.0 * 100)));
}

void MusicSession::setVolumeFromBar(int x) {
    const double w = std::max(1, f_.VolBar->width());
    volume_->setVolume(channelOfLabel(), std::clamp(int(std::lround(x / w * 255)), 0, 255));
    f_.VolBar->setValue(std::clamp(int(std::lround(x / w * 100)), 0, 100));
}

bool MusicSession::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    auto* m = static_cast<QMouseEvent*>(event);
    const int x = int(m->position().x());
    if (watched == f_.Label1) {
        if (type == QEvent::MouseButtonPress) switchChannel();
        return type == QEvent::MouseButtonPress;
    }
    if (watched == f_.VolBar) {
        if (type == QEvent::MouseButtonPress) {
            if (m->button() == Qt::RightButton) {
                switchChannel();
            } else {
                dragging_ = true;
                setVolumeFromBar(x);
            }
            return true;
        }
        if (type == QEvent::MouseMove && dragging_) {
            setVolumeFromBar(x);
            return true;
        }
        if (type == QEvent::MouseButtonRelease) {
            dragging_ = false;
            return true;
        }
        return false;
    }
    // The media panel and its title strip move with the pointer inside the window.
    if (watched == Panel2 || watched->objectName() == QLatin1String("Panel4")) {
        const QPoint global = m->globalPosition().toPoint();
        if (type == QEvent::MouseButtonPress) {
            if (m->button() == Qt::RightButton) Panel2->hide();
            dragFrom_ = global - Panel2->pos();
            return true;
        }
        if (type == QEvent::MouseMove && (m->buttons() & Qt::LeftButton)) {
            QWidget* area = Panel2->parentWidget();
            QPoint to = global - dragFrom_;
            to.setX(std::clamp(to.x(), 0, std::max(0, area->width() - Panel2->width())));
            to.setY(std::clamp(to.y(), 0, std::max(0, area->height() - Panel2->height())));
            Panel2->move(to);
            return true;
        }
    }
    return false;
}

void MusicSession::buildMediaPanel() {
    Panel2 = new QFrame(f_.centralWidget());
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel2->setAutoFillBackground(true);
    Panel2->setGeometry(40, 60, 221, 81);
    auto* title = new QLabel(QStringLiteral(" Media player"), Panel2);
    title->setObjectName(QStringLiteral("Panel4"));
    title->setGeometry(2, 2, 217, 16);
    title->setAutoFillBackground(true);
    title->setStyleSheet(QStringLiteral("background: navy; color: white; font-size: 7pt;"));
    auto* close = new QToolButton(Panel2);
    close->setObjectName(QStringLiteral("RxSpeedButton1"));
    close->setText(QStringLiteral("x"));
    close->setGeometry(204, 3, 14, 14);
    connect(close, &QToolButton::clicked, Panel2, &QWidget::hide);
    struct Button {
        const char* name;
        const char* text;
        std::function<void()> run;
    };
    const Button buttons[] = {
        {"SpeedButton1", "P", [this] { playLast(); }},
        {"SpeedButton2", "||", [this] { MPlay.Pause(MPlay.state() == music::PlayState::Playing); }},
        {"SpeedButton3", "|||", [this] { MPlay.Stop(); }},
        {"SpeedButton4", "<<", [this] { playLast(); }},    // back to the start
        {"SpeedButton5", ">>", [this] { MPlay.Stop(); }},  // to the end
        {"SpeedButton6", "E", [] {}},                      // a file has no medium to eject
        {"SpeedButton7", " Load",
         [this] {
             const QString file =
                 QFileDialog::getOpenFileName(&f_, QStringLiteral("Open"), QString(),
                                              QStringLiteral("Sound (*.wav *.mid *.rmi);;All files (*)"));
             MPlay.FileName = file.toStdString();
         }},
    };
    for (int i = 0; i < 7; ++i) {
        auto* b = new QToolButton(Panel2);
        b->setObjectName(QString::fromLatin1(buttons[i].name));
        b->setText(QString::fromLatin1(buttons[i].text));
        b->setGeometry(i < 6 ? 12 + 21 * i : 146, 26, i < 6 ? 20 : 63, 20);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, buttons[i].run);
    }
    ProgressBar1 = new QProgressBar(Panel2);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setGeometry(12, 54, 197, 14);
    Panel2->installEventFilter(this);
    title->installEventFilter(this);
    Panel2->hide();
}

void MusicSession::toggleMediaPanel() {
    Panel2->setVisible(!Panel2->isVisible());
    if (Panel2->isVisible()) Panel2->raise();
}

void attachMusic(TForm1& form) {
    static bool installed = false;
    if (!installed) {
        installed = true;
        sound::installQtSoundOutput();
    }
    new MusicSession(form);
}

}  // namespace kv
