// The full-screen viewer over a real file panel: stepping moves the panel's cursor, a
// damaged picture shows a message and the next key still steps on, and an entry that is not
// a picture closes the viewer with the cursor left on it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "panel/fpanel.h"
#include "picture_fixtures.h"
#include "support/temp_dir.h"
#include "viewers/picture_viewer.h"

namespace kv {
namespace {

struct ViewerFixture : ::testing::Test {
    test::TempDir dir;
    std::unique_ptr<TFPanel> panel;
    std::unique_ptr<TViewerForm> viewer;

    void SetUp() override {
        test::pictureApp();
        test::writeBytes(dir / "a.bmp", test::encoded(test::quadrants(100, 50), "BMP"));
        test::writeBytes(dir / "b.png", test::encoded(test::quadrants(40, 40), "PNG").substr(0, 60));
        test::writeBytes(dir / "c.jpg", test::encoded(test::quadrants(2000, 1000), "JPG", 80));
        test::writeBytes(dir / "d.txt", "not a picture");
        test::writeBytes(dir / "e.GIF", test::tinyGif());
        panel = std::make_unique<TFPanel>();
        panel->Side = "Left";
        panel->SetDefaults();
        panel->Active = 1;
        panel->SortMethod = srName;
        panel->resize(320, 400);
        panel->CurDir = dir.path();
        panel->ReadDir();
        panel->show();
        panel->DrawList();
        panel->DrawCursor();
        viewer = std::make_unique<TViewerForm>();
    }

    void placeCursor(const std::string& name) {
        panel->CursorHome();
        while (panel->CurFile != name && panel->cursorIndex() < panel->FilesCount) panel->CursorDown();
        ASSERT_EQ(panel->CurFile, name);
    }
    void start(const std::string& name) {
        placeCursor(name);
        viewer->Start(panel.get(), {panel.get(), nullptr});
        ASSERT_TRUE(viewer->isVisible());
        ASSERT_TRUE(viewer->waitLoaded());
    }
    std::string shown() const {
        return QDir(QString::fromStdString(dir.path())).relativeFilePath(viewer->shownPath()).toStdString();
    }
    // Presses a key and lets the picture it steps to arrive.
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(viewer.get(), Qt::Key(k), m);
        ASSERT_TRUE(viewer->waitLoaded());
    }
};

TEST_F(ViewerFixture, StepsForwardAndBackThroughThePanel) {
    start("a.bmp");
    EXPECT_EQ(shown(), "a.bmp");
    const QSize screen = viewer->size();
    // Smaller than the screen: natural size, centred.
    EXPECT_EQ(viewer->pictureRect(), QRect((screen.width() - 100) / 2, (screen.height() - 50) / 2, 100, 50));
    EXPECT_TRUE(viewer->message().isEmpty());

    key(Qt::Key_Right);  // the damaged PNG: a message, a black screen, still open
    EXPECT_EQ(panel->CurFile, "b.png");
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(viewer->picture().isNull());
    EXPECT_FALSE(viewer->message().isEmpty());

    key(Qt::Key_Space);  // the next key steps on: a 2000 x 1000 JPEG fitted to the screen
    EXPECT_EQ(shown(), "c.jpg");
    EXPECT_TRUE(viewer->message().isEmpty()) << viewer->message().toStdString();
    EXPECT_EQ(viewer->pictureRect().width(), screen.width());
    EXPECT_EQ(viewer->pictureRect().height(), screen.width() / 2);
    EXPECT_EQ(viewer->picture().size(), viewer->pictureRect().size());

    for (int k : {Qt::Key_Up, Qt::Key_PageUp}) {
        key(k);
        EXPECT_TRUE(viewer->isVisible());
    }
    EXPECT_EQ(shown(), "a.bmp");
    key(Qt::Key_Backspace);  // onto "..": not a picture, the viewer closes
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_EQ(panel->CurFile, "..");

    start("c.jpg");
    key(Qt::Key_Down);  // onto the text file: closes with the cursor there
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_EQ(panel->CurFile, "d.txt");

    start("e.GIF");  // capitals are a picture too; the last entry: Next does nothing
    EXPECT_EQ(viewer->picture().size(), QSize(2, 2));
    key(Qt::Key_PageDown);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(panel->CurFile, "e.GIF");
    key(Qt::Key_Left);  // back over the text file closes
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_EQ(panel->CurFile, "d.txt");
}

TEST_F(ViewerFixture, MouseButtonsStepAndLeftClickCloses) {
    start("a.bmp");
    QTest::mousePress(viewer.get(), Qt::RightButton, {}, QPoint(5, 5));
    QTest::mouseRelease(viewer.get(), Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(panel->CurFile, "b.png");
    ASSERT_TRUE(viewer->waitLoaded());
    QTest::mousePress(viewer.get(), Qt::MiddleButton, {}, QPoint(5, 5));
    QTest::mouseRelease(viewer.get(), Qt::MiddleButton, {}, QPoint(5, 5));
    EXPECT_EQ(panel->CurFile, "a.bmp");
    EXPECT_TRUE(viewer->isVisible());
    QTest::mouseClick(viewer.get(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_EQ(panel->CurFile, "a.bmp");
}

TEST_F(ViewerFixture, KeysThatKeepTheViewerOpenAndKeysThatCloseIt) {
    start("a.bmp");
    EXPECT_FALSE(viewer->nameShown());
    key(Qt::Key_Insert);
    EXPECT_TRUE(viewer->nameShown());
    struct Row {
        int key;
        Qt::KeyboardModifiers mods;
        bool staysOpen;
    } rows[] = {
        {Qt::Key_Control, Qt::ControlModifier, true},
        {Qt::Key_Alt, Qt::AltModifier, true},
        {Qt::Key_X, Qt::ControlModifier, true},
        {Qt::Key_Menu, Qt::NoModifier, true},
        {Qt::Key_Shift, Qt::ShiftModifier, false},
        {Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier, false},
        {Qt::Key_Escape, Qt::NoModifier, false},
        {Qt::Key_Tab, Qt::NoModifier, false},
        {Qt::Key_Return, Qt::NoModifier, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.key);
        if (!viewer->isVisible()) start("a.bmp");
        key(r.key, r.mods);
        EXPECT_EQ(viewer->isVisible(), r.staysOpen);
    }
    start("a.bmp");
    EXPECT_TRUE(viewer->nameShown()) << "the name label keeps its visibility between showings";
}

// Entries under a picture's name that are no files: a fifo (read through our JPEG decoder
// and through Qt's readers) and a link to a terminal device holding input. Each step returns
// at once, says what the entry is, and nothing is read: the terminal's input is still
// there afterwards. A guard plays the fifo's writer and hangs up the terminal after a few
// seconds, so a viewer that opens them fails by its time instead of hanging the test.
TEST_F(ViewerFixture, StepsOntoAFifoOrADeviceReturnAtOnceAndReadNothing) {
    ASSERT_EQ(::mkfifo((dir / "b1.jpg").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "b2.png").c_str(), 0600), 0);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string terminal = ::ptsname(master);
    ASSERT_EQ(::symlink(terminal.c_str(), (dir / "b3.gif").c_str()), 0);
    const std::string input = "not a picture\n";
    ASSERT_EQ(::write(master, input.data(), input.size()), static_cast<ssize_t>(input.size()));
    std::atomic<bool> done{false};
    std::atomic<int> masterFd{master};
    std::thread guard([&] {
        for (int i = 0; i < 60 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (done) return;
        for (const char* fifo : {"b1.jpg", "b2.png"})
            if (const int fd = ::open((dir / fifo).c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) ::close(fd);
        ::close(masterFd.exchange(-1));
    });
    panel->ReadDir();

    start("b.png");
    for (const std::string name : {"b1.jpg", "b2.png", "b3.gif"}) {
        SCOPED_TRACE(name);
        const auto t0 = std::chrono::steady_clock::now();
        QTest::keyClick(viewer.get(), Qt::Key_Space);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500)) << "the step waited";
        ASSERT_EQ(panel->CurFile, name);
        ASSERT_TRUE(viewer->waitLoaded(5000));
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
        EXPECT_TRUE(viewer->isVisible());
        EXPECT_TRUE(viewer->picture().isNull());
        EXPECT_TRUE(viewer->message().contains(QStringLiteral("not a regular file")))
            << viewer->message().toStdString();
    }
    done = true;
    guard.join();
    const int slave = ::open(terminal.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
    ASSERT_GE(slave, 0);
    char back[64] = {};
    EXPECT_EQ(::read(slave, back, sizeof back), static_cast<ssize_t>(input.size())) << "the device was read";
    ::close(slave);
    if (masterFd >= 0) ::close(masterFd);
}

// The picture is read on a worker: a step returns while a slow read is still under way, the
// picture before stays on the screen, and the new one shows once it is read. A step on
// before that drops the slow one unseen.
TEST_F(ViewerFixture, PicturesAreReadOffTheWindowsThread) {
    // Shared with the reads, which may outlive this test's frame.
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto slowReads = std::make_shared<std::atomic<int>>(0);
    viewer->Load = [release, slowReads](const std::string& file, QSize room) {
        if (file.ends_with("c.jpg")) {
            ++*slowReads;
            while (!*release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return viewers::loadPicture(file, room);
    };
    start("a.bmp");
    QTest::keyClick(viewer.get(), Qt::Key_Right);  // b.png, damaged, read at once
    ASSERT_TRUE(viewer->waitLoaded());
    const auto t0 = std::chrono::steady_clock::now();
    QTest::keyClick(viewer.get(), Qt::Key_Right);  // c.jpg, held by the slow read
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
    EXPECT_TRUE(viewer->loading());
    EXPECT_FALSE(viewer->waitLoaded(200));
    EXPECT_FALSE(viewer->message().isEmpty()) << "the damaged picture's message stays until c.jpg is read";
    *release = true;
    ASSERT_TRUE(viewer->waitLoaded());
    EXPECT_TRUE(viewer->message().isEmpty()) << viewer->message().toStdString();
    EXPECT_FALSE(viewer->picture().isNull());

    // Stepped past before it arrives: the slow picture never shows.
    *release = false;
    QTest::keyClick(viewer.get(), Qt::Key_Left);
    ASSERT_TRUE(viewer->waitLoaded());
    QTest::keyClick(viewer.get(), Qt::Key_Right);  // c.jpg again, held
    for (int i = 0; i < 500 && *slowReads < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(*slowReads, 2);
    QTest::keyClick(viewer.get(), Qt::Key_Right);  // d.txt: closes the viewer
    EXPECT_FALSE(viewer->isVisible());
    *release = true;
    QTest::qWait(200);
    EXPECT_TRUE(viewer->picture().isNull()) << "a picture stepped past was shown";
}

TEST_F(ViewerFixture, Screenshot) {
    const char* shots = std::getenv("KV_SCREENSHOT_DIR");
    if (!shots) GTEST_SKIP() << "set KV_SCREENSHOT_DIR to keep screenshots";
    start("c.jpg");
    key(Qt::Key_Insert);
    viewer->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/picture_viewer.png"));
    key(Qt::Key_Up);
    viewer->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/picture_viewer_damaged.png"));
}

}  // namespace
}  // namespace kv
