#pragma once
// TFormCdPlay ("Win CD-Player"): a player bar over an audio CD drive, the current track and
// the position in it, continuous play and repeating the current track. A one-second timer
// (Timer1, started by the caller before it shows the window) follows the drive's mode.
#include <QDialog>

#include <array>
#include <memory>

#include "tools/music/cd_drive.h"
#include "tools/tool_window.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;

namespace kv {

class TFormCdPlay : public QDialog {
    Q_OBJECT
public:
    // texts: the language file's CD-Player section; empty for the English texts.
    TFormCdPlay(std::unique_ptr<music::CdDrive> drive, ToolTexts texts = {}, QWidget* parent = nullptr);
    ~TFormCdPlay() override;

    enum Button { Play, Pause, Stop, Next, Previous, Eject };
    // A press on the player bar, then the tick that shows what it did.
    void pressButton(Button b);
    // The one-second tick.
    void Timer1Timer();

    QTimer* Timer1 = nullptr;
    QLabel* TrackLabel = nullptr;  // "0" at first
    QLabel* PosLabel = nullptr;    // "00:00" at first
    QLabel* StatusLabel = nullptr;
    QCheckBox* ContinuousPlay = nullptr;
    QCheckBox* RepeatCurrent = nullptr;
    QWidget* OptionsPanel = nullptr;
    std::array<QPushButton*, 6> PlayerBar{};

    bool tracksLoaded() const { return tracksLoaded_; }
    int currentTrack() const { return currentTrack_; }
    // Whole seconds from the disc's start to a position inside a track.
    int absolutePosition(const music::CdPosition& p) const;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    void loadTracks();
    void reset();
    void setStatus(music::CdMode mode);

    std::unique_ptr<music::CdDrive> drive_;
    std::array<music::CdTime, 101> lengths_{};
    bool tracksLoaded_ = false;
    bool playRequested_ = false;
    bool paused_ = false;
    int currentTrack_ = 1;
    QPoint dragFrom_;
};

}  // namespace kv
