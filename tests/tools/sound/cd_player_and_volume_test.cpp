#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QSlider>

#include <gtest/gtest.h>

#include "tools/cdplayer/cd_form.h"
#include "tools/sound/volume_control.h"

using namespace kv;
using music::CdMode;

namespace {

void app() {
    if (qApp) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "sound_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

// A drive whose disc the test lays out and whose mode it sets; it notes what it was told.
struct StandInDrive final : music::CdDrive {
    CdMode mode_ = CdMode::Stopped;
    std::vector<music::CdTime> tracks{{3, 7, 0}, {4, 0, 10}, {2, 30, 0}};
    music::CdPosition at;
    std::vector<std::string>* log;
    explicit StandInDrive(std::vector<std::string>* l) : log(l) {}
    CdMode mode() override { return mode_; }
    int trackCount() override { return int(tracks.size()); }
    music::CdTime trackLength(int t) override { return tracks[size_t(t - 1)]; }
    music::CdPosition position() override { return at; }
    void play(int t) override {
        log->push_back("play " + std::to_string(t));
        mode_ = CdMode::Playing;
        at = {t, 0, 0};
    }
    void pause() override { log->push_back("pause"); }
    void stop() override {
        log->push_back("stop");
        if (mode_ == CdMode::Playing) mode_ = CdMode::Stopped;
    }
    void next() override { log->push_back("next"); }
    void previous() override { log->push_back("previous"); }
    void eject() override {
        log->push_back("eject");
        mode_ = CdMode::Open;
    }
};

}  // namespace

TEST(CdPlayer, WithoutADriveSaysNotReadyAndPlaysNothing) {
    app();
    TFormCdPlay cd(music::openSystemCdDrive());  // this machine has no drive
    cd.Timer1Timer();
    cd.pressButton(TFormCdPlay::Play);
    EXPECT_EQ(cd.StatusLabel->text(), QStringLiteral(" Not ready"));
    EXPECT_EQ(cd.TrackLabel->text(), QStringLiteral("0"));
    EXPECT_EQ(cd.PosLabel->text(), QStringLiteral("00:00"));
    EXPECT_EQ(cd.windowTitle(), QStringLiteral("Win CD-Player"));
}

TEST(CdPlayer, FollowsTheDriveThroughPlayOpenAndContinuousPlay) {
    app();
    std::vector<std::string> log;
    auto* drive = new StandInDrive(&log);
    TFormCdPlay cd{std::unique_ptr<music::CdDrive>(drive)};
    EXPECT_EQ(cd.Timer1->interval(), 1000);
    cd.Timer1Timer();
    EXPECT_TRUE(cd.tracksLoaded());
    EXPECT_EQ(cd.StatusLabel->text(), QStringLiteral(" Stopped"));
    // Absolute position: whole minutes and seconds of the tracks before, then the position.
    EXPECT_EQ(cd.absolutePosition({3, 1, 5}), 187 + 240 + 65);

    cd.pressButton(TFormCdPlay::Play);
    drive->at = {2, 3, 7};
    cd.Timer1Timer();
    EXPECT_EQ(cd.StatusLabel->text(), QStringLiteral(" Playing"));
    EXPECT_EQ(cd.TrackLabel->text(), QStringLiteral("2"));
    EXPECT_EQ(cd.PosLabel->text(), QStringLiteral("03:07"));
    EXPECT_EQ(cd.currentTrack(), 2);

    cd.pressButton(TFormCdPlay::Pause);
    EXPECT_EQ(cd.StatusLabel->text(), QStringLiteral(" Paused"));
    cd.pressButton(TFormCdPlay::Play);  // resumes

    // The door opens while the window is open: the display starts over.
    drive->mode_ = CdMode::Open;
    cd.Timer1Timer();
    EXPECT_EQ(cd.TrackLabel->text(), QStringLiteral("0"));
    EXPECT_EQ(cd.PosLabel->text(), QStringLiteral("00:00"));
    EXPECT_FALSE(cd.tracksLoaded());
    EXPECT_EQ(cd.StatusLabel->text(), QStringLiteral(" Open"));

    // Continuous play: after the last track the disc starts over; not after the stop button.
    drive->mode_ = CdMode::Stopped;
    cd.ContinuousPlay->setChecked(true);
    cd.pressButton(TFormCdPlay::Play);
    drive->mode_ = CdMode::Stopped;  // the last track ended
    log.clear();
    cd.Timer1Timer();
    EXPECT_EQ(log, (std::vector<std::string>{"play 1"}));
    cd.pressButton(TFormCdPlay::Stop);
    log.clear();
    cd.Timer1Timer();
    EXPECT_TRUE(log.empty());

    // Repeat: two seconds before the track's end it starts over.
    cd.RepeatCurrent->setChecked(true);
    cd.pressButton(TFormCdPlay::Play);
    drive->at = {1, 3, 4};
    log.clear();
    cd.Timer1Timer();
    EXPECT_TRUE(log.empty());
    drive->at = {1, 3, 5};
    cd.Timer1Timer();
    EXPECT_EQ(log, (std::vector<std::string>{"play 1"}));
}

TEST(VolumeControl, TrackBarsFollowAndSetTheVolumes) {
    app();
    music::SoundMixer mixer(100);
    TVolumeControl vc(mixer);
    EXPECT_EQ(vc.Interval(), 500);
    QSlider wave(Qt::Horizontal), cd(Qt::Vertical);
    vc.setWaveTrackBar(&wave);
    vc.setCDTrackBar(&cd);
    EXPECT_EQ(wave.maximum(), 255);
    EXPECT_EQ(wave.value(), 100) << "assigning a bar refreshes it at once";
    EXPECT_EQ(cd.value(), 155) << "a vertical bar runs the other way";
    cd.setValue(0);  // the top of a vertical bar is loudest
    EXPECT_EQ(vc.volume(0), 255);
    EXPECT_EQ(mixer.deviceWord(0), 0xFF00FF00u);
    wave.setValue(7);
    EXPECT_EQ(vc.volume(1), 7);
    vc.setVolume(2, 300);
    EXPECT_EQ(vc.volume(2), 255);
    mixer.setVolume(1, 50);  // a change made elsewhere shows on the next tick
    vc.refresh();
    EXPECT_EQ(wave.value(), 50);
    {
        QSlider gone;
        vc.setMidiTrackBar(&gone);
    }
    EXPECT_EQ(vc.MidiTrackBar(), nullptr) << "a destroyed bar is forgotten";
    vc.refresh();
}
