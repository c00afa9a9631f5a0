// The tray menu, the volume keys, "Set default configuration", a kv.ini that cannot be
// written, the window's bounds, the frame painter, and the fixture's modal watchdog.
#include <gtest/gtest-spi.h>

#include <QAction>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>

#include "main/frame3d.h"
#include "main_window_fixture.h"

using namespace kvtest;

TEST_F(MainWindowTest, TrayMenuItemsTagsAndTheContextMenuKey) {
    auto& f = start();
    struct Item {
        const char* text;
        int tag;
    };
    const Item expected[] = {{"Korvalen", 1},      {"Help contents", 2}, {"About program", 3},  {"-", 0},
                             {"Configuration", 0}, {"System Info", 0},   {"View clipboard", 0}, {"-", 0},
                             {"Exit", 4}};
    const auto actions = f.PopupMenu1->actions();
    ASSERT_EQ(actions.size(), static_cast<int>(std::size(expected)));
    for (int i = 0; i < actions.size(); ++i) {
        const Item& e = expected[i];
        if (*e.text == '-') {
            EXPECT_TRUE(actions[i]->isSeparator()) << i;
            continue;
        }
        EXPECT_EQ(actions[i]->text(), QString::fromLatin1(e.text));
        EXPECT_EQ(actions[i]->data().toInt(), e.tag);
        EXPECT_EQ(actions[i]->icon().isNull(), e.tag == 0) << "tags 1..4 carry a picture";
    }
    EXPECT_EQ(f.PopupMenu1->defaultAction(), actions[0]);

    key(Qt::Key_Menu);
    EXPECT_TRUE(f.PopupMenu1->isVisible());
    f.PopupMenu1->hide();

    actions[8]->trigger();  // "Exit" closes the main window and saves
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(fs::exists(iniPath));
}

TEST_F(MainWindowTest, VolumeKeysStepTheWaveVolumeInsideItsLimits) {
    struct Row {
        int start, key, after;
    };
    const Row rows[] = {
        {100, Qt::Key_F12, 102}, {100, Qt::Key_F11, 98}, {254, Qt::Key_F12, 254},
        {254, Qt::Key_F11, 254}, {2, Qt::Key_F11, 2},    {3, Qt::Key_F11, 1},
    };
    auto& f = start();
    int wave = 0;
    f.ReadVolume = [&](int channel) -> std::optional<int> {
        if (channel == 1) return wave;
        return std::nullopt;
    };
    f.WriteVolume = [&](int channel, int v) {
        if (channel == 1) wave = v;
    };
    for (const Row& r : rows) {
        wave = r.start;
        key(r.key);
        EXPECT_EQ(wave, r.after) << r.start << (r.key == Qt::Key_F12 ? " F12" : " F11");
        if (r.after != r.start) {
            EXPECT_EQ(f.VolBar->value(), qRound(wave / 255.0 * 100)) << "the bar follows a change";
        }
    }
}

TEST_F(MainWindowTest, SetDefaultConfigurationAsksThenResets) {
    writeFile(iniPath, "[Global]\nLeft_Style=3\nRight_Style=1\nMain_Splitter=20\n");
    auto& f = start();
    ASSERT_EQ(f.LeftPanel->Style, 3);

    answerNextMessageBox(QMessageBox::Cancel);
    f.menuItem("N30")->trigger();
    EXPECT_EQ(f.LeftPanel->Style, 3);
    EXPECT_EQ(f.cfg().Main.Main_Splitter, 20);

    QString asked;
    answerNextMessageBox(QMessageBox::Ok, &asked);
    f.menuItem("N30")->trigger();
    EXPECT_EQ(asked, QStringLiteral("Do you want set default configuration of Korvalen ?"));
    EXPECT_EQ(f.LeftPanel->Style, 1);
    EXPECT_EQ(f.RightPanel->Style, 3);
    EXPECT_EQ(f.cfg().Main.Main_Splitter, 7);
    // 640 x 453 are the old window's outer bounds: the client area is 8 px narrower and
    // 46 px lower, so the panels get 640 div 2 - 7 and the rest but for the frame.
    const kv::TMainFormBounds outer = f.outerBounds();
    EXPECT_EQ(QRect(outer.Left, outer.Top, outer.Width, outer.Height), QRect(0, 0, 640, 453));
    EXPECT_EQ(f.centralWidget()->size(), QSize(632, 407));
    EXPECT_EQ(f.outerWidth(), 640);
    EXPECT_EQ(f.LeftPanel->geometry().width(), 313);
    EXPECT_EQ(f.RightPanel->geometry().width(), 310);
}

TEST_F(MainWindowTest, AKvIniThatCannotBeWrittenIsReportedAndTheOldFileKept) {
    // The kv.ini's folder is a file, so nothing can be written there (also as root).
    writeFile(root / "blocked", "a file, not a folder");
    iniPath = root / "blocked" / "kv.ini";
    auto& f = start();
    QString text;
    answerNextMessageBox(QMessageBox::Close, &text);
    key(Qt::Key_F10);
    EXPECT_TRUE(text.startsWith(QStringLiteral("Unable to write to"))) << text.toStdString();
    EXPECT_FALSE(f.isVisible()) << "Close ends the program without saving";
    EXPECT_EQ(readFile(root / "blocked"), "a file, not a folder");
}

TEST(Frame3D, RingsInwardWithTheBottomColourWinningItsCorners) {
    QImage img(10, 10, QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    QRect r(0, 0, 10, 10);
    kv::Frame3D(p, r, 2, Qt::white, Qt::gray);
    p.end();
    EXPECT_EQ(r, QRect(2, 2, 6, 6));
    struct Px {
        int x, y;
        QColor c;
    };
    const Px pixels[] = {{0, 0, Qt::white}, {5, 0, Qt::white}, {0, 5, Qt::white}, {9, 0, Qt::gray},
                         {0, 9, Qt::gray},  {9, 9, Qt::gray},  {5, 9, Qt::gray},  {1, 1, Qt::white},
                         {8, 1, Qt::gray},  {1, 8, Qt::gray},  {5, 5, Qt::black}, {2, 2, Qt::black}};
    for (const Px& px : pixels) EXPECT_EQ(img.pixelColor(px.x, px.y), px.c) << px.x << "," << px.y;
}

TEST_F(MainWindowTest, MaximisedWindowComesBackMaximisedAndKeepsItsNormalBounds) {
    writeFile(iniPath, "[MainForm]\nStateWin=1\nLeft=30\nTop=20\nWidth=500\nHeight=300\n");
    auto& f = start();
    EXPECT_TRUE(f.isMaximized());
    key(Qt::Key_F10);
    const std::string ini = readFile(iniPath);
    EXPECT_NE(ini.find("StateWin=1"), std::string::npos) << ini;
}

TEST_F(MainWindowTest, TrayMenuMarginIsAGreenGradient) {
    auto& f = start();
    f.PopupMenu1->adjustSize();
    const QImage img = f.PopupMenu1->grab().toImage();
    ASSERT_GT(img.height(), 40);
    const QColor top = img.pixelColor(2, 1);
    const QColor bottom = img.pixelColor(2, img.height() - 2);
    EXPECT_EQ(top.red(), 0);
    EXPECT_EQ(top.blue(), 0);
    EXPECT_GT(top.green(), 240);
    EXPECT_LT(bottom.green(), 80);
    EXPECT_GT(bottom.green(), 55);
    // The items start right of the margin.
    EXPECT_GE(f.PopupMenu1->actionGeometry(f.PopupMenu1->actions().first()).left(), 30);
}

TEST_F(MainWindowTest, WithoutAMainFormSectionTheWindowHasItsDesignBounds) {
    auto& f = start();
    EXPECT_EQ(f.pos(), QPoint(159, 112));
    EXPECT_EQ(f.centralWidget()->size(), QSize(452, 288));
    key(Qt::Key_F10);
    // Written as the old window's outer bounds, and read back to the same window.
    const std::string ini = readFile(iniPath);
    for (const char* line : {"Left=159\n", "Top=112\n", "Width=460\n", "Height=334\n"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << ini;
    auto& again = start();
    EXPECT_EQ(again.pos(), QPoint(159, 112));
    EXPECT_EQ(again.centralWidget()->size(), QSize(452, 288));
}

TEST_F(MainWindowTest, KvIniBoundsAreTheOuterBounds) {
    writeFile(iniPath, "[MainForm]\nLeft=10\nTop=20\nWidth=800\nHeight=500\n");
    auto& f = start();
    EXPECT_EQ(f.pos(), QPoint(10, 20));
    EXPECT_EQ(f.outerWidth(), 800);
    EXPECT_EQ(f.centralWidget()->size(), QSize(792, 454));
    EXPECT_EQ(f.LeftPanel->geometry().width(), 393);
    EXPECT_EQ(f.RightPanel->geometry().width(), 390);
}

// As after a monitor was unplugged: the saved position lies on no screen.
TEST_F(MainWindowTest, AWindowOnNoScreenMovesOntoThePrimaryOne) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    struct Row {
        const char* ini;
        QSize outer;
    };
    const Row rows[] = {
        {"[MainForm]\nLeft=-99999\nTop=99999\nWidth=500\nHeight=300\n", QSize(500, 300)},
        {"[MainForm]\nLeft=99999\nTop=-99999\nWidth=90000\nHeight=300\n", QSize(screen.width(), 300)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.ini);
        writeFile(iniPath, r.ini);
        auto& f = start();
        const kv::TMainFormBounds b = f.outerBounds();
        const QRect outer(b.Left, b.Top, b.Width, b.Height);
        EXPECT_TRUE(screen.contains(outer)) << outer.x() << "," << outer.y();
        EXPECT_EQ(outer.size(), r.outer);
        form.reset();
    }
}

TEST(WindowPlacement, OnlyAWindowOnNoScreenIsMoved) {
    const QRect primary(0, 0, 1024, 768), second(1024, 0, 1280, 1024);
    struct Row {
        QRect window, placed;
    };
    const Row rows[] = {
        {QRect(100, 50, 640, 453), QRect(100, 50, 640, 453)},
        {QRect(-600, 10, 640, 453), QRect(-600, 10, 640, 453)},     // partly on the primary screen
        {QRect(1500, 500, 640, 453), QRect(1500, 500, 640, 453)},   // on the second screen
        {QRect(-99999, 99999, 640, 453), QRect(0, 315, 640, 453)},  // nearest corner of the primary
        {QRect(5000, 100, 640, 453), QRect(384, 100, 640, 453)},
        {QRect(5000, 5000, 3000, 2000), QRect(0, 0, 1024, 768)},  // too big: shrunk to fit
    };
    for (const Row& r : rows)
        EXPECT_EQ(kv::placeOnScreens(r.window, {primary, second}, primary), r.placed)
            << r.window.x() << "," << r.window.y();
}

TEST_F(MainWindowTest, AnUnexpectedModalDialogIsClosedAndFailsTheTest) {
    auto& f = start();
    testing::TestPartResultArray failures;
    QElapsedTimer clock;
    clock.start();
    {
        testing::ScopedFakeTestPartResultReporter reporter(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        f.menuItem("N30")->trigger();  // asks a question nobody answers
    }
    EXPECT_LT(clock.elapsed(), 5000);
    ASSERT_EQ(failures.size(), 1);
    EXPECT_NE(std::string(failures.GetTestPartResult(0).message()).find("set default configuration"),
              std::string::npos)
        << failures.GetTestPartResult(0).message();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(f.cfg().MainForm.Left, 159) << "closing the question is no OK";
}
