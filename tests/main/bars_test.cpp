// The tool bar, the drive bars and the status bar: pictures, hover, drive changes, and
// hiding each bar so that the layout and kv.ini follow.
#include <QImage>
#include <QToolButton>

#include "main/drive_bar.h"
#include "main_window_fixture.h"

using namespace kvtest;

namespace {

kv::platform::DriveInfo drive(const fs::path& mount, kv::platform::DriveKind kind) {
    kv::platform::DriveInfo d;
    d.mountPoint = mount.string();
    d.kind = kind;
    return d;
}

void rightClick(QWidget* w, QPoint at) { QTest::mouseClick(w, Qt::RightButton, {}, at); }

}  // namespace

TEST(DriveBar, HotIndexArithmetic) {
    const std::pair<int, int> cases[] = {{-10, 0}, {-1, 0}, {0, 1},  {24, 1},
                                         {25, 2},  {49, 2}, {50, 3}, {80, 4}};
    for (auto [x, hot] : cases) EXPECT_EQ(kv::TMyToolBar::hotIndexAt(x), hot) << "x = " << x;
}

TEST_F(MainWindowTest, DriveBarsShowEveryDriveHoverAndChangeTheirPanelsDrive) {
    using K = kv::platform::DriveKind;
    const std::vector<std::pair<fs::path, K>> kinds = {
        {work / "alpha", K::Removable}, {work / "beta", K::Fixed}, {work, K::CdRom}, {root, K::Network}};
    std::vector<kv::platform::DriveInfo> drives;
    for (const auto& [path, kind] : kinds) drives.push_back(drive(path, kind));
    auto& f = start();
    for (kv::TMyToolBar* bar : {f.DriveBarLeft, f.DriveBarRight}) bar->setDrives(drives);
    f.FormResize();
    EXPECT_EQ(f.DriveBarRight->fullWidth(), 6 + 4 * 25);
    EXPECT_EQ(f.DriveBarRight->Kinds, (std::vector<std::string>{"floppy", "hdd", "cdrom", "network"}));
    EXPECT_EQ(f.DriveBarRight->x(), f.RightPanel->x() + 5);
    EXPECT_EQ(f.DriveBarRight->y(), 32);
    EXPECT_EQ(f.DriveBarRight->toolTipAt(30), QString::fromStdString((work / "beta").string() + ": [Fixed]"));
    EXPECT_EQ(f.DriveBarRight->toolTipAt(101), QString());

    // The hover frame: raised (white top-left, grey bottom-right) on the cell under the mouse.
    kv::TMyToolBar* bar = f.DriveBarRight;
    bar->MouseMoveTo(30);
    EXPECT_EQ(bar->HotIndex, 2);
    QImage img = bar->grab().toImage();
    EXPECT_EQ(img.pixelColor(25, 10), QColor(255, 255, 255));
    EXPECT_EQ(img.pixelColor(49, 10), QColor(128, 128, 128));
    EXPECT_EQ(img.pixelColor(37, bar->height() - 6), QColor(128, 128, 128));
    bar->MouseMoveTo(-10);
    EXPECT_EQ(bar->PrevHotIndex, 0);
    img = bar->grab().toImage();
    EXPECT_NE(img.pixelColor(25, 10), QColor(255, 255, 255));

    // A press of any button on each kind of drive sends the bar's own panel there.
    for (size_t i = 0; i < kinds.size(); ++i) {
        SCOPED_TRACE(i);
        const Qt::MouseButton button = i % 2 ? Qt::RightButton : Qt::LeftButton;
        QTest::mouseClick(bar, button, {}, QPoint(12 + 25 * static_cast<int>(i), 10));
        EXPECT_TRUE(QTest::qWaitFor([&] { return f.RightPanel->CurDir == kinds[i].first.string(); }, 3000));
        EXPECT_EQ(f.LeftPanel->CurDir, work.string());
    }
    // Beyond the last button nothing happens, and the strip keeps its bars.
    QTest::mouseClick(bar, Qt::RightButton, {}, QPoint(103, 10));
    QTest::qWait(100);
    EXPECT_EQ(f.RightPanel->CurDir, root.string());
    EXPECT_TRUE(f.cfg().Main.Show_DriveBar);
}

TEST_F(MainWindowTest, ToolBarHasEightPictureButtonsInTheOldPlaces) {
    auto& f = start();
    const char* hints[8] = {"Information", "NotePad",   "SysInfo",    "Internet",
                            "Clipboard",   "CD-Player", "Calculator", "Resource Explorer"};
    for (int i = 0; i < 8; ++i) {
        QToolButton* b = f.SpeedButtons[static_cast<size_t>(i)];
        SCOPED_TRACE(hints[i]);
        EXPECT_EQ(b->geometry(), QRect(3 + 25 * i, 3, 25, 23));
        EXPECT_EQ(b->toolTip(), QString::fromLatin1(hints[i]));
        const QImage pic = b->icon().pixmap(16, 15).toImage();
        int inked = 0;
        for (int y = 0; y < pic.height(); ++y)
            for (int x = 0; x < pic.width(); ++x) inked += pic.pixelColor(x, y).alpha() > 0;
        EXPECT_GT(inked, 40) << "a picture, not an empty square";
    }
}

// 56 px with both bars, 29 with the tool bar alone, 0 without it; the panels start 3 px
// below the strip, and end above the command strip, which sits on the status bar or at the
// bottom. Each change outlives a restart.
TEST_F(MainWindowTest, HidingTheBarsChangesTheLayoutAndSurvivesARestart) {
    auto& f0 = start();
    const int clientHeight = f0.centralWidget()->height();
    auto expectLayout = [&](kv::TForm1& f, int strip, bool status) {
        EXPECT_EQ(f.layout().panel3.height(), strip);
        EXPECT_EQ(f.LeftPanel->y(), strip + 3);
        EXPECT_EQ(f.StatusBar1->isVisible(), status);
        EXPECT_EQ(f.Panel_Down->geometry().bottom() + 1, clientHeight - (status ? 19 : 0));
        EXPECT_EQ(f.LeftPanel->geometry().bottom() + 1, f.Panel_Down->y() - 1);
    };
    auto restart = [&]() -> kv::TForm1& {
        form->close();
        form.reset();
        return start();
    };
    expectLayout(f0, 56, true);

    // Right button on the strip beside the drive bars: the drive bars go.
    rightClick(f0.Panel3, QPoint(f0.DriveBarLeft->geometry().right() + 2, 40));
    expectLayout(f0, 29, true);
    EXPECT_FALSE(f0.cfg().Main.Show_DriveBar);
    // On the status bar: it goes.
    rightClick(f0.StatusBar1, QPoint(5, 5));
    expectLayout(f0, 29, false);
    kv::TForm1& f1 = restart();
    expectLayout(f1, 29, false);

    // On the tool bar: the whole strip goes; "Show drives bar" then only flips its flag.
    rightClick(f1.ToolBar, QPoint(250, 10));
    expectLayout(f1, 0, false);
    f1.runCommand("bars.driveBar");
    EXPECT_TRUE(f1.cfg().Main.Show_DriveBar);
    expectLayout(f1, 0, false);
    kv::TForm1& f2 = restart();
    expectLayout(f2, 0, false);

    // The "Configure toolbars" items bring each back, with their marks.
    f2.runCommand("config.toolbars");
    EXPECT_FALSE(f2.mainMenu().isMarked("Toolb_1"));
    f2.runCommand("bars.toolBar");
    expectLayout(f2, 56, false);
    f2.runCommand("bars.statusBar");
    expectLayout(f2, 56, true);
    kv::TForm1& f3 = restart();
    expectLayout(f3, 56, true);
    const std::string ini = readFile(iniPath);
    for (const char* k : {"Show_ToolBar=1", "Show_StatusBar=1", "Show_DriveBar=1"})
        EXPECT_NE(ini.find(k), std::string::npos) << k;
}
