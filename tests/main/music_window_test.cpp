// The main window's music on the real window: the volume bar (a press or a drag sets the
// channel named beside it, a right press or a press on the name switches the channel), the
// position in the status bar or, with the status bar hidden, in the caption, and one
// player stopping the other. Where no sound device exists the output is silent; the
// positions and states are the players' own.
#include <QLabel>
#include <QMouseEvent>
#include <QDialog>
#include <QProgressBar>

#include "../tools/music/music_fixtures.h"
#include "main/main_form.h"
#include "main/music_session.h"
#include "main_window_fixture.h"
#include "tools/sound/volume_control.h"

namespace kvtest {
namespace {

void mouse(QWidget* w, QEvent::Type type, int x, Qt::MouseButton button) {
    const QPointF at(x, w->height() / 2);
    QMouseEvent e(type, at, w->mapToGlobal(at), button,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button),
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

TEST_F(MainWindowTest, TheVolumeBarSetsTheChannelNamedBesideIt) {
    auto& f = start();
    kv::MusicSession* music = kv::MusicSession::of(f);
    ASSERT_NE(music, nullptr);
    kv::TVolumeControl* volume = music->volume();
    const int w = f.VolBar->width();
    ASSERT_GT(w, 20);
    const int midiBefore = volume->volume(2);

    ASSERT_EQ(f.Label1->text(), QStringLiteral("Wave volume"));
    mouse(f.VolBar, QEvent::MouseButtonPress, w / 2, Qt::LeftButton);
    EXPECT_NEAR(volume->volume(1), 128, 3);
    EXPECT_NEAR(f.VolBar->value(), 50, 2);
    mouse(f.VolBar, QEvent::MouseMove, w, Qt::LeftButton);  // the drag follows
    EXPECT_EQ(volume->volume(1), 255);
    mouse(f.VolBar, QEvent::MouseButtonRelease, w, Qt::LeftButton);
    mouse(f.VolBar, QEvent::MouseMove, 0, Qt::NoButton);  // no longer dragging
    EXPECT_EQ(volume->volume(1), 255);
    EXPECT_EQ(volume->volume(2), midiBefore);

    // A right press names the next channel; the bar then sets that one and shows its level.
    mouse(f.VolBar, QEvent::MouseButtonPress, 0, Qt::RightButton);
    EXPECT_EQ(f.Label1->text(), QStringLiteral("Midi volume"));
    EXPECT_NEAR(f.VolBar->value(), int(midiBefore / 255.0 * 100 + 0.5), 1);
    mouse(f.VolBar, QEvent::MouseButtonPress, w / 4, Qt::LeftButton);
    mouse(f.VolBar, QEvent::MouseButtonRelease, w / 4, Qt::LeftButton);
    EXPECT_NEAR(volume->volume(2), 64, 3);
    EXPECT_EQ(volume->volume(1), 255);
    // A press on the name goes round: AudioCD, then Wave again.
    mouse(f.Label1, QEvent::MouseButtonPress, 1, Qt::LeftButton);
    EXPECT_EQ(f.Label1->text(), QStringLiteral("AudioCD volume"));
    mouse(f.Label1, QEvent::MouseButtonPress, 1, Qt::LeftButton);
    EXPECT_EQ(f.Label1->text(), QStringLiteral("Wave volume"));
}

TEST_F(MainWindowTest, ThePositionShowsInTheStatusBarOrTheCaptionAndAPlayerStopsTheOther) {
    using namespace kv::test;
    const std::string wav = (work / "tone.wav").string(), mod = (work / "song.mod").string();
    writeBytes(wav, wave16(sineFrames(44100 * 3)));  // three seconds
    writeBytes(mod, trackerModule(64));
    auto& f = start();
    kv::MusicSession* music = kv::MusicSession::of(f);
    const QString title = f.windowTitle();

    f.File_Work(mod);
    EXPECT_EQ(music->musicKind(), QStringLiteral("s3m"));
    EXPECT_TRUE(music->ModPlugPlayer1.playing());
    EXPECT_TRUE(f.Timer3->isActive());

    f.File_Work(wav);  // the wave player takes over: the tracker stops
    EXPECT_FALSE(music->ModPlugPlayer1.playing());
    EXPECT_EQ(music->musicKind(), QStringLiteral("wav"));
    music->Timer3Timer();
    EXPECT_TRUE(f.Label2->text().startsWith(QString::fromStdString(wav) + QStringLiteral(" - ")))
        << f.Label2->text().toStdString();
    EXPECT_TRUE(f.Label2->text().endsWith(QLatin1Char('%')));
    EXPECT_EQ(f.windowTitle(), title);

    f.StatusBar1->hide();
    music->Timer3Timer();
    EXPECT_TRUE(f.windowTitle().startsWith(title + QStringLiteral(" -  MediaPlayer ")))
        << f.windowTitle().toStdString();
    EXPECT_TRUE(f.windowTitle().endsWith(QLatin1Char('%')));

    f.runCommand("music.stop");
    EXPECT_EQ(f.windowTitle(), title);
    EXPECT_TRUE(f.Label2->text().isEmpty());
    EXPECT_FALSE(f.Timer3->isActive());
}

TEST_F(MainWindowTest, MusicScreenshots) {
    const char* shots = std::getenv("KV_SCREENSHOT_DIR");
    if (!shots) GTEST_SKIP() << "set KV_SCREENSHOT_DIR to keep screenshots";
    const std::string wav = (work / "tone.wav").string();
    kv::test::writeBytes(wav, kv::test::wave16(kv::test::sineFrames(44100 * 3)));
    auto& f = start();
    f.resize(640, 400);
    f.File_Work(wav);
    f.runCommand("utils.mediaPlayer");
    kv::MusicSession::of(f)->Timer3Timer();
    f.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/music_main.png"));
    onNextDialog<QDialog>([shots](QDialog* cd) {
        cd->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/cd_player.png"));
        cd->reject();
    });
    f.runCommand("utils.cdPlayer");
    f.runCommand("music.stop");
}

}  // namespace
}  // namespace kvtest
