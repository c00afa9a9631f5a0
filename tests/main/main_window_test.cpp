// The main window: start-up, plug-ins, the layout pass, the active panel and shutdown.
#include <dlfcn.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>

#include "main/main_layout.h"
#include "main_window_fixture.h"

using namespace kvtest;

namespace {

fs::path samplePlugin(const std::string& name) { return fs::path(KV_TEST_PLUGIN_DIR) / (name + ".so"); }

int pluginCall(const fs::path& copy, const char* function) {
    // The same path gives the handle the program already holds, so its counter.
    void* h = ::dlopen(copy.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!h) return -1;
    auto f = reinterpret_cast<int (*)()>(::dlsym(h, function));
    int n = f ? f() : -1;
    ::dlclose(h);
    return n;
}

}  // namespace

TEST_F(MainWindowTest, StartsWithBothPanelsInTheWorkingFolderAndTheLeftOneActive) {
    auto& f = start();
    EXPECT_EQ(f.cfg().Main.Active, "Left");
    EXPECT_TRUE(f.LeftPanel->Active);
    EXPECT_FALSE(f.RightPanel->Active);
    for (kv::TFPanel* p : {f.LeftPanel, f.RightPanel}) {
        EXPECT_EQ(p->CurDir, work.string());
        // "..", the two folders and the two files.
        EXPECT_EQ(p->FL.FilesCount(), 5);
    }
    EXPECT_EQ(f.ComRead->text().toStdString(), work.string() + "/");
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Korvalen v1.00"));
    EXPECT_FALSE(f.menu("Plugin1")->menuAction()->isVisible()) << "no plug-ins, no menu";
    EXPECT_FALSE(fs::exists(iniPath)) << "nothing is written before the window closes";
}

TEST_F(MainWindowTest, PluginsLoadFilesBeforeSubfoldersWithTagsInLoadOrder) {
    const fs::path plugins = root / "prog" / "Plugins";
    // "a_sub" sorts before the files, yet its plug-in comes after them.
    fs::create_directories(plugins / "a_sub");
    fs::create_directories(plugins / ".hidden");
    fs::copy_file(samplePlugin("sample_alpha"), plugins / "Alpha.SO");
    fs::copy_file(samplePlugin("sample_beta"), plugins / "z_beta.so");
    fs::copy_file(samplePlugin("sample_gamma"), plugins / "a_sub" / "gamma.so");
    fs::copy_file(samplePlugin("sample_broken"), plugins / "broken.so");
    fs::copy_file(samplePlugin("sample_alpha"), plugins / ".hidden" / "skipped.so");
    writeFile(plugins / "readme.txt", "not a plug-in");
    writeFile(plugins / "garbage.so", "not an ELF file");

    auto& f = start({plugins.string()});

    ASSERT_EQ(f.plugins().size(), 3u);
    const char* names[] = {"Alpha plug-in", "Beta plug-in",
                           "\xD0\x93\xD0\xB0\xD0\xBC\xD0\xBC\xD0\xB0 plug-in"};
    QMenu* menu = f.menu("Plugin1");
    EXPECT_TRUE(menu->menuAction()->isVisible());
    const auto items = menu->actions();
    ASSERT_EQ(items.size(), 3) << "the broken plug-ins get no menu item";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(f.plugins()[static_cast<size_t>(i)]->Name, names[i]);
        EXPECT_EQ(items[i]->text(), QString::fromUtf8(names[i]));
        EXPECT_EQ(items[i]->data().toInt(), i);
    }
    EXPECT_EQ(f.pluginErrors().size(), 2u) << "broken.so lacks InsertText; garbage.so does not load";

    // A click calls the InsertText of the plug-in at the item's tag, and only that one.
    items[1]->trigger();
    items[1]->trigger();
    EXPECT_EQ(pluginCall(plugins / "z_beta.so", "SampleCalls"), 2);
    EXPECT_EQ(pluginCall(plugins / "Alpha.SO", "SampleCalls"), 0);
    EXPECT_EQ(pluginCall(plugins / "a_sub" / "gamma.so", "SampleCalls"), 0);
    for (const char* p : {"z_beta.so", "Alpha.SO", "a_sub/gamma.so"})
        EXPECT_EQ(pluginCall(plugins / p, "SampleInitialised"), 1) << p << ": Init got the program's handle";
}

TEST(MainLayout, PanelWidthsFollowTheWindowAndTheSplitter) {
    struct Row {
        int outer, splitter, left, rightLeft, right;
    };
    const Row rows[] = {
        {640, 7, 313, 321, 310},  {800, 7, 393, 401, 390}, {641, 1, 319, 321, 311},
        {640, 60, 260, 321, 310}, {100, 60, 0, 61, 30},  // a splitter wider than half the window leaves no
                                                         // negative width
    };
    for (const Row& r : rows) {
        kv::MainLayoutInput in;
        in.outerWidth = r.outer;
        in.clientWidth = r.outer - 8;
        in.clientHeight = 400;
        in.splitter = r.splitter;
        auto L = kv::computeMainLayout(in);
        SCOPED_TRACE(testing::Message() << r.outer << " px, splitter " << r.splitter);
        EXPECT_EQ(L.leftPanel.left(), 1);
        EXPECT_EQ(L.leftPanel.width(), r.left);
        EXPECT_EQ(L.rightPanel.left(), r.rightLeft);
        EXPECT_EQ(L.rightPanel.width(), r.right);
        EXPECT_EQ(L.splitRect.width(), r.splitter);
    }
}

TEST(MainLayout, StripsAndFunctionKeys) {
    kv::MainLayoutInput in;
    in.outerWidth = 640;
    in.clientWidth = 632;
    in.clientHeight = 400;
    in.topStripHeight = 56;
    auto L = kv::computeMainLayout(in);
    // Panels from 3 px under the top strip to 1 px above the command strip.
    EXPECT_EQ(L.leftPanel.top(), 59);
    EXPECT_EQ(L.statusBar, QRect(0, 381, 632, 19));
    EXPECT_EQ(L.panelDown, QRect(0, 339, 632, 42));
    EXPECT_EQ(L.leftPanel.bottom() + 1, L.panelDown.top() - 1);
    // F2..F7 take (632 - 16) div 7 = 88 px each with 2 px gaps; F8 ends 2 px before the edge.
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(L.functionKeys[static_cast<size_t>(i)], QRect(2 + 90 * i, 0, 88, 23));
    EXPECT_EQ(L.functionKeys[6].left(), 542);
    EXPECT_EQ(L.functionKeys[6].right(), 629);

    in.topStripHeight = 0;
    in.statusBarVisible = false;
    L = kv::computeMainLayout(in);
    EXPECT_EQ(L.leftPanel.top(), 3);
    EXPECT_EQ(L.panelDown.bottom(), 399);
}

TEST_F(MainWindowTest, LayoutPassPlacesThePanels) {
    auto& f = start();
    f.resize(632, 420);  // 640 px with the frame
    QApplication::processEvents();
    EXPECT_EQ(f.outerWidth(), 640);
    EXPECT_EQ(f.LeftPanel->geometry().width(), 313);
    EXPECT_EQ(f.RightPanel->geometry().width(), 310);
    EXPECT_EQ(f.RightPanel->geometry().left(), 321);
    EXPECT_EQ(f.cfg().FilesPanel.SplitRect.Left, 314);
    EXPECT_EQ(f.cfg().FilesPanel.SplitRect.Right, 321);
    // The command line fills the strip right of the prompt.
    EXPECT_EQ(f.ComLine->geometry().left(), f.ComRead->geometry().right() + 1);
}

// A drag that crosses the gap between the panels must not act on the point over the gap:
// the downward auto-scroll starts below the list inside the panel, never over the gap.
TEST_F(MainWindowTest, DragMovesOverTheSplitterAreIgnored) {
    auto& f = start();
    f.resize(632, 420);
    QApplication::processEvents();
    const int gapLeft = f.cfg().FilesPanel.SplitRect.Left, gapRight = f.cfg().FilesPanel.SplitRect.Right;
    for (kv::TFPanel* p : {f.LeftPanel, f.RightPanel}) {
        SCOPED_TRACE(p->Side);
        const int y = p->Y1 + 20;  // below the list
        auto moveTo = [&](int parentX) {
            const QPoint at(parentX - p->x(), y);
            QMouseEvent move(QEvent::MouseMove, at, p->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(p, &move);
        };
        QTest::mousePress(p, Qt::LeftButton, {}, QPoint(30, p->Y0 + 10));
        moveTo((gapLeft + gapRight) / 2);
        EXPECT_FALSE(p->TimerDown->isActive()) << "a move over the gap";
        moveTo(p == f.LeftPanel ? gapLeft - 1 : gapRight + 1);
        EXPECT_FALSE(p->TimerDown->isActive()) << "one pixel beside the gap still counts as the gap";
        moveTo(p->x() + 40);
        EXPECT_TRUE(p->TimerDown->isActive()) << "a move inside the panel";
        QTest::mouseRelease(p, Qt::LeftButton, {}, QPoint(40, y));
        EXPECT_FALSE(p->TimerDown->isActive());
    }
}

TEST_F(MainWindowTest, TabTwiceReturnsToTheStartingPanel) {
    auto& f = start();
    // The right panel shows another folder, so the prompt tells them apart.
    f.RightPanel->CurDir = (work / "beta").string();
    f.RightPanel->ReadDir();

    key(Qt::Key_Tab);
    EXPECT_EQ(f.cfg().Main.Active, "Right");
    EXPECT_TRUE(f.RightPanel->Active);
    EXPECT_FALSE(f.LeftPanel->Active);
    EXPECT_EQ(f.activePanel(), f.RightPanel);
    EXPECT_EQ(f.ComRead->text().toStdString(), (work / "beta").string() + "/");

    key(Qt::Key_Tab);
    EXPECT_EQ(f.cfg().Main.Active, "Left");
    EXPECT_TRUE(f.LeftPanel->Active);
    EXPECT_FALSE(f.RightPanel->Active);
    EXPECT_EQ(f.ComRead->text().toStdString(), work.string() + "/");
    EXPECT_TRUE(f.ComLine->text().isEmpty()) << "Tab never types into the command line";
}

TEST_F(MainWindowTest, PromptAtTheRootHasOneSlash) {
    auto& f = start();
    f.LeftPanel->CurDir = "/";
    f.LeftPanel->ReadDir();
    f.ChangeFolderEv("Left");
    EXPECT_EQ(f.ComRead->text(), QStringLiteral("/"));
}

TEST_F(MainWindowTest, ExitConfirmationNoKeepsRunningAndSavesNothing) {
    writeFile(iniPath, "[Confirm]\nExit=1\n");
    const std::string before = readFile(iniPath);
    auto& f = start();
    ASSERT_TRUE(f.cfg().Confirm.Exit);

    QString asked;
    answerNextMessageBox(QMessageBox::No, &asked);
    key(Qt::Key_F10);
    EXPECT_EQ(asked, QStringLiteral("Do you want to quit Korvalen ?"));
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(readFile(iniPath), before);

    answerNextMessageBox(QMessageBox::Yes);
    key(Qt::Key_F10);
    EXPECT_FALSE(f.isVisible());
    EXPECT_NE(readFile(iniPath).find("IniLoad=1"), std::string::npos);
}

TEST_F(MainWindowTest, F10WithoutConfirmationSavesEveryKey) {
    auto& f = start();
    key(Qt::Key_Tab);  // the right panel is active when the window closes
    key(Qt::Key_F10);
    EXPECT_FALSE(f.isVisible());
    const std::string ini = readFile(iniPath);
    // The sections in their order, with IniLoad=1; Active is what it was at close.
    size_t at = 0;
    for (const char* section : {"[Global]", "[MainForm]", "[Form_Clipboard]", "[Interface]", "[DialUp]",
                                "[Confirm]", "[Panel_Left]", "[Panel_Right]"}) {
        const size_t next = ini.find(section, at);
        ASSERT_NE(next, std::string::npos) << section << " missing or out of order in\n" << ini;
        at = next;
    }
    EXPECT_NE(ini.find("IniLoad=1"), std::string::npos);
    EXPECT_NE(ini.find("Active=Right"), std::string::npos);
    EXPECT_NE(ini.find("Right_Style=3"), std::string::npos);
}

TEST_F(MainWindowTest, AfterAFirstRunKvIniSaysIniLoadAndActiveLeft) {
    start();
    key(Qt::Key_F10);
    const std::string ini = readFile(iniPath);
    EXPECT_NE(ini.find("IniLoad=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Active=Left"), std::string::npos) << ini;
}

TEST_F(MainWindowTest, BothPanelsFollowFilesCreatedOnDisk) {
    auto& f = start();
    ASSERT_EQ(f.RightPanel->FL.FilesCount(), 5);
    writeFile(work / "new.txt", "new");
    for (int i = 0; i < 100 && (f.LeftPanel->FL.FilesCount() < 6 || f.RightPanel->FL.FilesCount() < 6); ++i)
        QTest::qWait(20);
    EXPECT_EQ(f.LeftPanel->FL.FilesCount(), 6);
    EXPECT_EQ(f.RightPanel->FL.FilesCount(), 6) << "the right panel watches its folder from the start";
}

// In a deep folder the prompt used to fill the strip and push the command line out of sight.
TEST_F(MainWindowTest, ThePromptGivesWayToTheCommandLineInADeepFolder) {
    fs::path deep = work;
    for (int i = 0; i < 6; ++i) deep /= "a_folder_with_a_rather_long_name_number_" + std::to_string(i);
    fs::create_directories(deep);
    auto& f = start();
    f.resize(632, 420);
    f.LeftPanel->CurDir = deep.string();
    f.LeftPanel->ReadDir();
    f.ChangeFolderEv("Left");
    QApplication::processEvents();

    const int strip = f.Panel_Dos->width();
    EXPECT_GE(f.ComLine->width(), strip / 3 - 4);
    EXPECT_EQ(f.ComLine->geometry().left(), f.ComRead->geometry().right() + 1);
    EXPECT_EQ(f.promptText().toStdString(), deep.string() + "/");
    const QString shown = f.ComRead->text();
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << "shortened in the middle: " << shown.toStdString();
    EXPECT_TRUE(shown.startsWith(f.promptText().left(4)));
    EXPECT_TRUE(shown.endsWith(QLatin1String("_5/")));
    EXPECT_LE(QFontMetrics(f.ComRead->font()).horizontalAdvance(shown), f.ComRead->width());
    type(QStringLiteral("ls"));
    EXPECT_EQ(f.ComLine->text(), QStringLiteral("ls"));

    // Back in a short folder the prompt is whole again.
    f.LeftPanel->CurDir = work.string();
    f.LeftPanel->ReadDir();
    f.ChangeFolderEv("Left");
    EXPECT_EQ(f.ComRead->text().toStdString(), work.string() + "/");
}

// A drive-bar click changes folder as entering a folder does: the prompt and the folder
// monitor follow at once (they used to wait for the next folder change).
TEST_F(MainWindowTest, ADriveBarClickChangesFolderLikeOtherFolderChanges) {
    auto& f = start();
    const fs::path drive = work / "beta";
    kv::platform::DriveInfo d;
    d.mountPoint = drive.string();
    f.DriveBarRight->setDrives({d});
    f.RightPanel->Bar_Pos = 2;
    QTest::mouseClick(f.DriveBarRight, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.RightPanel->CurDir == drive.string(); }, 3000));
    EXPECT_EQ(f.RightPanel->cursorIndex(), 1);
    EXPECT_EQ(f.promptText().toStdString(), drive.string() + "/");
    writeFile(drive / "arrived.txt", "x");
    for (int i = 0; i < 100 && f.RightPanel->FL.FilesCount() < 2; ++i) QTest::qWait(20);
    EXPECT_EQ(f.RightPanel->FL.FilesCount(), 2) << "the monitor watches the new folder";

    // A drive that cannot be read says so and leaves the panel where it was.
    d.mountPoint = (work / "gone").string();
    f.DriveBarRight->setDrives({d});
    QString text;
    answerNextMessageBox(QMessageBox::Ok, &text);
    QTest::mouseClick(f.DriveBarRight, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !text.isEmpty(); }, 4000));
    EXPECT_EQ(text, QStringLiteral("Drive not ready, please select another drive"));
    EXPECT_EQ(f.RightPanel->CurDir, drive.string());
}
