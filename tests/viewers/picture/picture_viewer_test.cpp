// The full-screen viewer over a real file panel: stepping moves the panel's cursor, a
// damaged picture shows a message and the next key still steps on, and an entry that is not
// a picture closes the viewer with the cursor left on it.
#include <gtest/gtest.h>

#include <QDir>
#include <QTest>

#include <memory>

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
    }
    std::string shown() const {
        return QDir(QString::fromStdString(dir.path())).relativeFilePath(viewer->shownPath()).toStdString();
    }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(viewer.get(), Qt::Key(k), m);
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
