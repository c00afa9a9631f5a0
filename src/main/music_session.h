#pragma once
// The main window's music: the three players File_Work hands sound files to, the 100 ms
// progress timer (position in the status bar, or in the caption when the status bar is
// hidden), the floating media panel, the volume controller behind the status bar's volume
// bar and the volume keys. One per main window, a child of it.
#include <QObject>
#include <QPoint>
#include <QString>

#include <memory>
#include <string>

#include "tools/music/media_player.h"
#include "tools/music/modplug_player.h"
#include "tools/music/mpeg_player.h"

class QFrame;
class QProgressBar;
class QToolButton;

namespace kv {

class TForm1;
class TVolumeControl;

class MusicSession : public QObject {
    Q_OBJECT
public:
    explicit MusicSession(TForm1& form);
    ~MusicSession() override;

    // The session of a main window (made at its start).
    static MusicSession* of(const TForm1& form);

    void Play_Sound(const std::string& file);  // .wav .mid .rmi
    void playTracker(const std::string& file);
    void playMpeg(const std::string& file);
    void Timer3Timer();
    void stopMusic();
    void playLast();
    void whatPlaying();
    void toggleMediaPanel();
    void MPlayNotify();

    // The volume bar: a press on the channel's name or a right press on the bar switches
    // the channel; a left press or a drag at x sets the volume.
    void switchChannel();
    void setVolumeFromBar(int x);

    music::MediaPlayer MPlay;
    music::TMPEGPlayer MPlayer;
    music::TModPlugPlayer ModPlugPlayer1;
    TVolumeControl* volume() const { return volume_; }
    QFrame* Panel2 = nullptr;  // the media panel
    QProgressBar* ProgressBar1 = nullptr;
    const QString& musicKind() const { return musicKind_; }
    const QString& lastPlayed() const { return lastPlayed_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMediaPanel();
    void stopMpeg();
    void startProgress(const std::string& file);
    void showError(const QString& message);
    int channelOfLabel() const;

    TForm1& f_;
    TVolumeControl* volume_ = nullptr;
    QString musicKind_;
    QString lastPlayed_;
    bool dragging_ = false;
    bool notified_ = false;
    QPoint dragFrom_;
};

// Makes the window's music session: File_Work's sound kinds, the volume hooks, the timer.
void attachMusic(TForm1& form);

}  // namespace kv
