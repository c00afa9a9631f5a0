// The panel widget alone: what it paints, the mouse, and the folder monitor behind it.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <cstdlib>

#include <filesystem>

#include "../model/temp_dir.h"
#include "panel/fpanel.h"
#include "panel/panel_colors.h"
#include "qt_app.h"

namespace kv {
namespace {

using test::spinUntil;
using test::TempDir;

struct PanelFixture : ::testing::Test {
    TempDir dir;
    std::unique_ptr<TFPanel> panel;
    std::vector<std::string> events;

    void SetUp() override {
        test::qtApp();
        dir.dir("alpha");
        dir.dir("beta");
        for (int i = 0; i < 60; ++i) dir.file("file" + std::to_string(100 + i) + ".txt", std::string(i, 'x'));
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
        panel->OnChangeFolder = [this](const std::string& s) { events.push_back("folder:" + s); };
        panel->OnChangeActive = [this](const std::string& s) { events.push_back("active:" + s); };
        panel->OnChangeDrive = [this](const std::string& s) { events.push_back("drive:" + s); };
        panel->OnFileEnter = [this](const std::string& s) { events.push_back("enter:" + s); };
    }

    QImage shot() { return panel->grab().toImage(); }
    QPoint cellCentre(int cell) const {
        const int col = cell / panel->rows(), row = cell % panel->rows();
        return {panel->X0 + col * panel->ColWidth + 20,
                panel->Y0 + 2 + row * panel->LineHeight + panel->LineHeight / 2};
    }
    // Whether any pixel of the rectangle has this colour. Smoothed letters may never reach
    // the exact colour; 16 per channel still tells every colour the panel uses apart.
    static bool has(const QImage& img, const QRect& r, const QColor& c) {
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor p = img.pixelColor(x, y);
                if (std::abs(p.red() - c.red()) <= 16 && std::abs(p.green() - c.green()) <= 16 &&
                    std::abs(p.blue() - c.blue()) <= 16)
                    return true;
            }
        return false;
    }
};

TEST_F(PanelFixture, TheCursorBarShowsOnlyOnTheActivePanelAndTheFrameTakesTheSideColour) {
    panel->LineColor = 0x00FF00FF;       // magenta
    panel->LineColorSlave = 0x0000FF00;  // green
    panel->CursorDown();
    panel->CursorDown();
    const QRect bar(panel->X0 + 2, cellCentre(2).y() - 2, 3, 4);
    QImage img = shot();
    EXPECT_TRUE(has(img, bar, toQColor(panel->PanelSelectFon)));
    EXPECT_TRUE(has(img, QRect(5, panel->HeaderHeight, 200, 1), QColor(255, 0, 255)));

    panel->Active = 0;
    panel->DrawFrame("Fon_False");
    img = shot();
    EXPECT_FALSE(has(img, QRect(panel->X0, panel->Y0 + 2, panel->width() - 10, panel->Y1 - panel->Y0 - 4),
                     toQColor(panel->PanelSelectFon)));
    EXPECT_TRUE(has(img, QRect(5, panel->HeaderHeight, 200, 1), QColor(0, 255, 0)));
}

TEST_F(PanelFixture, SelectionTotalsAndNameColours) {
    const QColor yellow(255, 255, 0);
    const QRect secondLine(panel->width() / 2, panel->Y1 + 16, panel->width() / 2 - 10, 14);
    EXPECT_FALSE(has(shot(), secondLine, yellow)) << "no totals without a selection";
    panel->CursorDown();
    panel->CursorDown();
    panel->CursorDown();
    panel->ToggleSelect();  // file100.txt (0 bytes)
    panel->ToggleSelect();  // file101.txt (1 byte)
    EXPECT_EQ(panel->FL.SelectedCount, 2);
    EXPECT_EQ(panel->FL.SelectedSize, 1);
    EXPECT_TRUE(has(shot(), secondLine, yellow));
    // ".txt" names are red, selected ones yellow.
    const QImage img = shot();
    EXPECT_TRUE(has(img, QRect(cellCentre(3).x() - 15, cellCentre(3).y() - 5, 40, 10), yellow));
    EXPECT_TRUE(has(img, QRect(cellCentre(6).x() - 15, cellCentre(6).y() - 5, 40, 10), QColor(255, 0, 0)));

    // A refresh drops the selection and keeps the cursor index.
    const int before = panel->cursorIndex();
    panel->RefreshDir();
    EXPECT_EQ(panel->FL.SelectedCount, 0);
    EXPECT_EQ(panel->cursorIndex(), before);
    EXPECT_FALSE(has(shot(), secondLine, yellow));
}

TEST_F(PanelFixture, ClicksMoveTheCursorAndRaiseThePanelEvents) {
    panel->Active = 0;
    QTest::mouseClick(panel.get(), Qt::LeftButton, {}, cellCentre(4));
    EXPECT_EQ(panel->Bar_Pos, 4);
    EXPECT_EQ(events, (std::vector<std::string>{"active:Active", "folder:Left"}));
    events.clear();
    QTest::mouseClick(panel.get(), Qt::RightButton, {}, QPoint(60, 8));
    QTest::mouseClick(panel.get(), Qt::MiddleButton, {}, cellCentre(5));
    EXPECT_EQ(events.front(), "drive:Left");
    EXPECT_EQ(events.back(), "enter:" + dir / "file102.txt");
    // A right click flips the entry under it.
    QTest::mouseClick(panel.get(), Qt::RightButton, {}, cellCentre(6));
    EXPECT_TRUE(panel->FL.selected(7));
}

TEST_F(PanelFixture, DoubleClickOnAFolderEntersItAndBackspaceComesBack) {
    // As a real double click arrives: press, release, then the double click.
    QTest::mouseClick(panel.get(), Qt::LeftButton, {}, cellCentre(2));
    QTest::mouseDClick(panel.get(), Qt::LeftButton, {}, cellCentre(2));
    QTest::mouseRelease(panel.get(), Qt::LeftButton, {}, cellCentre(2));
    EXPECT_EQ(panel->CurDir, dir / "beta");
    EXPECT_EQ(panel->CurFile, "..");
    panel->GoParent();
    EXPECT_EQ(panel->CurDir, dir.path());
    EXPECT_EQ(panel->CurFile, "beta");
}

TEST_F(PanelFixture, HoldingTheButtonBelowTheListScrollsUntilRelease) {
    panel->Style = 3;
    panel->Columns = 1;
    panel->DrawList();
    QTest::mousePress(panel.get(), Qt::LeftButton, {}, cellCentre(1));
    const QPoint below(40, panel->Y1 + 20);
    QMouseEvent move(QEvent::MouseMove, below, panel->mapToGlobal(below), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(panel.get(), &move);
    EXPECT_TRUE(panel->TimerDown->isActive());
    const int start = panel->cursorIndex();
    EXPECT_TRUE(spinUntil([&] { return panel->cursorIndex() >= start + 5; }));
    QTest::mouseRelease(panel.get(), Qt::LeftButton, {}, below);
    EXPECT_FALSE(panel->TimerDown->isActive());
    const int stopped = panel->cursorIndex();
    spinUntil([] { return false; }, 100);
    EXPECT_EQ(panel->cursorIndex(), stopped);
}

TEST_F(PanelFixture, TheMonitorRereadsAndFollowsAVanishedFolder) {
    // The panel's first read started the monitor on its folder.
    ASSERT_TRUE(panel->Monitor->Running());
    const int before = panel->FilesCount;
    dir.file("newcomer.txt");
    EXPECT_TRUE(spinUntil([&] { return panel->FilesCount == before + 1; }));
    dir.dir("new folder");
    EXPECT_TRUE(spinUntil([&] { return panel->FilesCount == before + 2; })) << "folders count as changes too";

    dir.dir("beta/deep");
    panel->CurDir = dir / "beta/deep";
    panel->ReadDir();
    panel->RestartMonitor();
    std::filesystem::remove_all(dir / "beta");
    EXPECT_TRUE(spinUntil([&] { return panel->CurDir == dir.path(); }));
    EXPECT_EQ(events.back(), "folder:Left");
    panel->Monitor->Stop();
}

// A file made by another program before the cursor's entry shifts every index after it: the
// panel still shows, publishes and would delete the entry the user had under the cursor.
TEST_F(PanelFixture, AnOutsideChangeKeepsTheCursorOnItsEntryAndTheSelection) {
    ASSERT_TRUE(panel->Monitor->Running());
    for (int i = 0; i < 13; ++i) panel->CursorDown();  // "..", alpha, beta, file100.txt ...
    const std::string entry = panel->CurFile;
    ASSERT_EQ(entry, "file110.txt");
    panel->FL.setSelected(panel->FL.findByName("file120.txt"), true);
    panel->FL.setSelected(panel->FL.findByName("file130.txt"), true);
    const int before = panel->FilesCount;

    dir.file("file000.txt");  // sorts before the cursor's entry
    ASSERT_TRUE(spinUntil([&] { return panel->FilesCount == before + 1; }));
    EXPECT_EQ(panel->CurFile, entry);
    EXPECT_EQ(panel->FL.displayName(panel->cursorIndex()), entry);
    EXPECT_EQ(panel->FL.SelectedCount, 2);
    EXPECT_TRUE(panel->FL.selected(panel->FL.findByName("file120.txt")));
    EXPECT_TRUE(panel->FL.selected(panel->FL.findByName("file130.txt")));
    EXPECT_EQ(panel->StatusTexts(QFontMetrics(panel->CanvasFont())).name,
              QString::fromStdString("<" + entry + ">"));
    panel->Monitor->Stop();
}

// Whatever moved the cursor (here a new folder set from outside, as the drive bar does, with
// no cursor call after it), the status strip names the entry under the cursor.
TEST_F(PanelFixture, TheStatusStripNamesTheEntryUnderTheCursorAfterEveryRepaint) {
    for (int i = 0; i < 5; ++i) panel->CursorDown();
    ASSERT_EQ(panel->CurFile, "file102.txt");
    dir.file("alpha/inside.txt");
    panel->CurDir = dir / "alpha";
    panel->ReadDir();
    panel->Bar_Pos = 2;  // past the end of the two entries: the layout pass clamps it
    panel->PosList = 0;
    panel->DrawList();
    EXPECT_EQ(panel->CurFile, "inside.txt");
    EXPECT_EQ(panel->StatusTexts(QFontMetrics(panel->CanvasFont())).name, QStringLiteral("<inside.txt>"));
    panel->repaint();
    EXPECT_EQ(panel->CurPath, dir / "alpha/inside.txt");
}

TEST_F(PanelFixture, ASmallerPageKeepsTheCursorOnItsEntry) {
    panel->CursorEnd();  // 63 entries fit the brief page: the cursor sits in column 3
    const std::string entry = panel->CurFile;
    ASSERT_GT(panel->Bar_Pos, 2 * panel->rows());
    panel->Style = 3;
    panel->Columns = 1;
    panel->DrawList();
    panel->DrawCursor();
    EXPECT_LT(panel->Bar_Pos, panel->pageSize());
    EXPECT_EQ(panel->CurFile, entry);
    panel->resize(320, 120);
    panel->DrawCursor();
    EXPECT_LT(panel->Bar_Pos, panel->pageSize());
    EXPECT_EQ(panel->CurFile, entry);
}

TEST_F(PanelFixture, TheWheelMovesTheCursorThreeEntriesPerNotch) {
    const auto wheel = [&](int delta) {
        const QPointF at = cellCentre(1);
        QWheelEvent ev(at, panel->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                       Qt::NoScrollPhase, false);
        QApplication::sendEvent(panel.get(), &ev);
    };
    wheel(-120);
    EXPECT_EQ(panel->cursorIndex(), 4);
    wheel(-60);
    EXPECT_EQ(panel->cursorIndex(), 4) << "half a notch waits for the other half";
    wheel(-60);
    EXPECT_EQ(panel->cursorIndex(), 7);
    wheel(240);
    EXPECT_EQ(panel->cursorIndex(), 1);
}

// Long texts of the status strip must not run into the texts beside them.
TEST_F(PanelFixture, StatusTextsNeverOverlap) {
    dir.file(std::string(80, 'n') + ".txt", std::string(123456, 'x'));
    panel->RefreshDir();
    panel->PosList = 0;
    panel->Bar_Pos = panel->FL.findByName(std::string(80, 'n') + ".txt") - 1;
    panel->InvertSelection();              // every file
    panel->FreeSpace = 987654321LL << 20;  // a 10-digit count of Mb
    for (const int width : {320, 240}) {
        SCOPED_TRACE(width);
        panel->resize(width, 400);
        panel->DrawCursor();
        QFont normal = panel->CanvasFont();
        normal.setBold(false);
        const QFontMetrics fm(normal);
        const TFPanel::StatusStrip st = panel->StatusTexts(fm);
        ASSERT_FALSE(st.date.isEmpty());
        ASSERT_EQ(st.totals.size(), 4);
        EXPECT_LT(st.sizeX + fm.horizontalAdvance(st.size), st.dateX) << "name and size end before the date";
        EXPECT_TRUE(st.name.endsWith(QStringLiteral(".txt>"))) << st.name.toStdString();
        EXPECT_EQ(st.size, QStringLiteral("123,456"));
        EXPECT_LT(6 + fm.horizontalAdvance(st.free), st.totalsX) << "free space ends before the totals";
        EXPECT_TRUE(st.free.startsWith(QStringLiteral("987,654,321"))) << st.free.toStdString();
        EXPECT_EQ(st.totals.join(QString()).toStdString(), "125,226 bytes in 61 files");
    }
    // Without a selection the free space has the line to itself.
    panel->InvertSelection();
    panel->FreeSpace = 5LL << 20;
    panel->resize(320, 400);
    QFont normal = panel->CanvasFont();
    normal.setBold(false);
    const TFPanel::StatusStrip st = panel->StatusTexts(QFontMetrics(normal));
    EXPECT_TRUE(st.totals.isEmpty());
    EXPECT_EQ(st.free, QStringLiteral("5 Mb free on current drive"));
}

TEST_F(PanelFixture, HiddenNamesAreSilverAndColoursCanBeTurnedOff) {
    dir.file(".hidden.txt");
    panel->RefreshDir();
    const int hiddenCell = panel->FL.findByName(".hidden.txt") - 1;
    const int txtCell = panel->FL.findByName("file100.txt") - 1;
    const auto around = [&](int cell) {
        return QRect(cellCentre(cell).x() - 15, cellCentre(cell).y() - 5, 40, 10);
    };
    QImage img = shot();
    EXPECT_TRUE(has(img, around(hiddenCell), QColor(0xC0, 0xC0, 0xC0)));
    EXPECT_FALSE(has(img, around(hiddenCell), QColor(255, 0, 0))) << "silver wins over the extension";
    EXPECT_TRUE(has(img, around(txtCell), QColor(255, 0, 0)));

    panel->Show_FileColors = 0;
    panel->DirectoryColor = 0x00FF8000;  // a blue no extension has
    panel->DrawList();
    img = shot();
    EXPECT_FALSE(has(img, around(txtCell), QColor(255, 0, 0)));
    EXPECT_TRUE(has(img, around(txtCell), QColor(0, 0x80, 0xFF)));
}

TEST_F(PanelFixture, ToggleHiddenRereadsFromTheTop) {
    dir.file(".hidden");
    panel->RefreshDir();
    const int withHidden = panel->FilesCount;
    panel->CursorEnd();
    panel->ToggleHidden();
    EXPECT_EQ(panel->FilesCount, withHidden - 1);
    EXPECT_EQ(panel->cursorIndex(), 1);
    EXPECT_EQ(panel->Show_FileHide, 0);
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// A size column that cut a big file's byte count would show a smaller, wrong number.
TEST(PanelSizeColumn, NumbersThatDoNotFitAreShownInKbOrMb) {
    test::qtApp();
    TFPanel p;
    const QFont font = p.CanvasFont();
    const int room = QFontMetrics(font).horizontalAdvance(QStringLiteral("123456")) + 1;
    auto entry = [](std::string name, std::int64_t size, std::uint16_t attr) {
        TDirEntry e;
        e.FileName = std::move(name);
        e.Size = size;
        e.Attr = attr;
        return e;
    };
    const struct {
        TDirEntry e;
        const char* shown;
    } rows[] = {
        {entry("small.txt", 123456, platform::faArchive), "123456"},
        {entry("big.img", 3LL << 30, platform::faArchive), "3,072 Mb"},
        {entry("mid.bin", 1234567, platform::faArchive), "1,0 Mb"},
        {entry("docs", 0, platform::faDirectory), "<Folder>"},
        {entry("scanned", 5242880, platform::faDirectory), "5,0 Mb"},
        {entry("..", 0, platform::faDirectory), "<UP>"},
    };
    for (const auto& r : rows) EXPECT_EQ(p.SizeText(r.e, font, room).toStdString(), r.shown) << r.e.FileName;
}

TEST(PanelMetrics, LengthAndFontSetTheStripsAndTheIndicatorReachesBothEnds) {
    test::qtApp();
    TFPanel p;
    p.resize(400, 300);
    p.Length = 10;
    p.ApplyFont();
    EXPECT_EQ(p.HeaderHeight, 20);
    EXPECT_EQ(p.InfoHeight, 40);
    p.Length = 8;
    p.Show_ScrollBar = 0;
    p.ApplyFont();
    EXPECT_EQ(p.HeaderHeight, 25);
    EXPECT_EQ(p.InfoHeight, 38);
    EXPECT_EQ(p.ScrollHeight, 0);
    p.Length = 0;  // hand-edited
    p.ApplyFont();
    EXPECT_GE(p.HeaderHeight, 1);

    p.Length = 8;
    p.Show_ScrollBar = 1;
    p.ApplyFont();
    std::vector<platform::DirItem> items(50);
    for (int i = 0; i < 50; ++i) items[static_cast<std::size_t>(i)].name = "n" + std::to_string(i);
    p.FL.Build("/x", std::move(items));
    p.FilesCount = p.FL.FilesCount();
    p.Active = 1;
    p.show();
    p.grab();
    EXPECT_EQ(p.ThumbPos, 1);
    p.CursorEnd();
    p.grab();
    EXPECT_EQ(p.ThumbPos, (p.width() - 4) - 26);
}

TEST(PanelColours, StoredColoursReadAsBlueGreenRedAndSystemColoursComeFromThePalette) {
    test::qtApp();
    QPalette pal;
    pal.setColor(QPalette::Button, QColor(1, 2, 3));
    pal.setColor(QPalette::Highlight, QColor(4, 5, 6));
    struct Case {
        TColorRef stored;
        QColor want;
    };
    for (const Case& c : {Case{0x800000, QColor(0, 0, 0x80)}, Case{0x00A8A800, QColor(0, 0xA8, 0xA8)},
                          Case{0x0000FF, QColor(0xFF, 0, 0)}, Case{0x8000000F, QColor(1, 2, 3)},
                          Case{0x8000000D, QColor(4, 5, 6)}}) {
        EXPECT_EQ(toQColor(c.stored, pal), c.want) << std::hex << c.stored;
        if (!(c.stored & 0x80000000u)) {
            EXPECT_EQ(fromQColor(c.want), c.stored);
        }
    }
}

TEST(PanelInfoView, ClicksAskForTheDriveOrActivationAndEnterDoesNothing) {
    test::qtApp();
    TempDir t;
    t.file("a.txt");
    TFPanel p;
    p.Style = 2;
    p.resize(300, 300);
    p.CurDir = t.path();
    p.ReadDir();
    p.show();
    std::vector<std::string> events;
    p.OnChangeDrive = [&](const std::string& s) { events.push_back("drive:" + s); };
    p.OnChangeActive = [&](const std::string& s) { events.push_back("active:" + s); };
    p.Launch = [&](const std::string& f, const std::string&, std::string&) {
        events.push_back("launch:" + f);
        return true;
    };
    QTest::mouseClick(&p, Qt::RightButton, {}, QPoint(150, 200));
    QTest::mouseClick(&p, Qt::LeftButton, {}, QPoint(150, 150));
    p.Bar_Pos = 1;
    p.EnterItem();
    EXPECT_EQ(events, (std::vector<std::string>{"drive:Left", "active:Active"}));
    EXPECT_FALSE(p.grab().isNull());
}

TEST(PanelDiagnostics, ShowsTheCursorFieldsUntilTheNextAction) {
    test::qtApp();
    TFPanel p;
    p.resize(300, 300);
    p.show();
    const QImage before = p.grab().toImage();
    p.ShowDiagnostics();
    const QImage diag = p.grab().toImage();
    EXPECT_NE(before, diag);
    p.DrawList();
    EXPECT_EQ(p.grab().toImage(), before);
}

}  // namespace
}  // namespace kv
