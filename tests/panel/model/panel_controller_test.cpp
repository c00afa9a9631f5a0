// Cursor, paging, selection and mouse logic without a window.
#include <gtest/gtest.h>

#include "panel/model/panel_controller.h"

namespace kv {
namespace {

using platform::DirItem;

// A panel over a made-up folder "/d" with `dirs` folders then `files` files (".." first).
struct Panel {
    TFPanelModel m;
    TPanelController c{m};
    Panel(int files, int rows, int cols, int style = 1, int dirs = 0) {
        m.Style = style;
        m.Columns = cols;
        m.SortMethod = srName;
        m.Rows = rows;
        std::vector<DirItem> items;
        for (int i = 0; i < dirs; ++i) {
            DirItem d;
            d.name = "dir" + std::to_string(100 + i);
            d.attr = platform::faDirectory;
            items.push_back(d);
        }
        for (int i = 0; i < files; ++i) {
            DirItem d;
            d.name = "f" + std::to_string(1000 + i);
            d.attr = platform::faArchive;
            d.size = 10;
            items.push_back(d);
        }
        m.CurDir = "/d";
        m.FL.SortType = srName;
        m.FL.Build("/d", std::move(items));
        m.FilesCount = m.FL.FilesCount();
    }
    // (row, column) of the cursor cell, 1-based, and the first entry shown (1-based).
    std::tuple<int, int, int> where() const {
        return {m.Bar_Pos % m.rows() + 1, m.columns() == 1 ? 1 : m.Bar_Pos / m.rows() + 1, m.PosList + 1};
    }
};

TEST(Paging, BriefViewMovesByColumnsThenScrollsByAColumn) {
    Panel p(200, 17, 3);
    p.m.Bar_Pos = 4;  // row 5, column 1
    p.c.PageRight();
    EXPECT_EQ(p.where(), std::make_tuple(5, 2, 1));
    p.c.PageRight();
    EXPECT_EQ(p.where(), std::make_tuple(5, 3, 1));
    p.c.PageRight();
    EXPECT_EQ(p.where(), std::make_tuple(17, 3, 1));
    EXPECT_EQ(p.c.PageRight(), Repaint::List);
    EXPECT_EQ(p.where(), std::make_tuple(17, 3, 18));
    // And back: to the first row of the column, then by columns, then scrolling.
    p.m.Bar_Pos = 2 * 17 + 4;
    p.c.PageLeft();
    EXPECT_EQ(p.where(), std::make_tuple(5, 2, 18));
    p.c.PageLeft();
    p.c.PageLeft();
    EXPECT_EQ(p.where(), std::make_tuple(1, 1, 18));
    p.c.PageLeft();
    EXPECT_EQ(p.where(), std::make_tuple(1, 1, 1));
    EXPECT_EQ(p.c.PageLeft(), Repaint::None);
}

TEST(Paging, FullViewPagesDownAndEndShowsTheLastPage) {
    Panel p(99, 20, 1, 3);  // 100 entries with ".."
    ASSERT_EQ(p.m.FilesCount, 100);
    p.c.PageRight();
    EXPECT_EQ(p.m.cursorIndex(), 20);
    EXPECT_EQ(p.m.PosList, 0);
    p.c.PageRight();
    EXPECT_EQ(p.m.PosList + 1, 21);
    EXPECT_EQ(p.m.cursorIndex(), 40);
    p.c.CursorEnd();
    EXPECT_EQ(p.m.PosList + 1, 81);
    EXPECT_EQ(p.m.cursorIndex(), 100);
    EXPECT_EQ(p.c.PageRight(), Repaint::None);
    EXPECT_EQ(p.c.CursorDown(), Repaint::None);
    p.c.CursorHome();
    EXPECT_EQ(p.m.cursorIndex(), 1);
    EXPECT_EQ(p.m.PosList, 0);
}

TEST(Paging, PageRightNearTheEndStopsOnTheLastEntry) {
    struct Case {
        int files, rows, cols, bar, pos;
        int wantIndex;
    };
    for (const Case& c : {Case{10, 17, 3, 4, 0, 11},   // next column is empty
                          Case{40, 17, 3, 40, 0, 41},  // last column, short
                          Case{60, 17, 3, 50, 0, 61},  // scroll would pass the end
                          Case{5, 17, 1, 0, 0, 6}}) {
        Panel p(c.files, c.rows, c.cols);
        p.m.Bar_Pos = c.bar;
        p.m.PosList = c.pos;
        p.c.PageRight();
        EXPECT_EQ(p.m.cursorIndex(), c.wantIndex) << c.files << " files, bar " << c.bar;
        EXPECT_LT(p.m.Bar_Pos, p.m.pageSize());
        EXPECT_GE(p.m.PosList, 0);
    }
}

TEST(Cursor, UpAndDownScrollByOneEntryAtThePageEdges) {
    Panel p(100, 10, 1, 3);
    p.m.PosList = 5;
    p.m.Bar_Pos = 0;
    EXPECT_EQ(p.c.CursorUp(), Repaint::List);
    EXPECT_EQ(p.where(), std::make_tuple(1, 1, 5));
    p.m.Bar_Pos = 9;
    EXPECT_EQ(p.c.CursorDown(), Repaint::List);
    EXPECT_EQ(p.where(), std::make_tuple(10, 1, 6));
    EXPECT_EQ(p.c.CursorUp(), Repaint::Cursor);
    p.m.PosList = p.m.Bar_Pos = 0;
    EXPECT_EQ(p.c.CursorUp(), Repaint::None);
}

TEST(Selection, InsertAndInvert) {
    Panel p(3, 17, 3, 1, 2);  // "..", two folders, three files
    std::int64_t lastPos = 0;
    p.m.OnChangePos = [&](int i) { lastPos = i; };
    p.c.ToggleSelect();  // on ".."
    EXPECT_EQ(p.m.FL.SelectedCount, 0);
    EXPECT_EQ(p.m.cursorIndex(), 2) << "moves down all the same";
    EXPECT_EQ(lastPos, 2);
    p.c.ToggleSelect();  // a folder can be selected with Insert
    EXPECT_EQ(p.m.FL.SelectedCount, 1);

    Panel q(3, 17, 3, 1, 2);
    q.c.InvertSelection();
    EXPECT_EQ(q.m.FL.SelectedCount, 3);
    EXPECT_EQ(q.m.FL.SelectedSize, 30);
    for (int i = 1; i <= 3; ++i) EXPECT_FALSE(q.m.FL.selected(i)) << "no folder, no ..";
    q.c.InvertSelection();
    EXPECT_EQ(q.m.FL.SelectedCount, 0);

    // Insert on the last entry selects it and leaves the cursor there.
    Panel r(2, 17, 3);
    r.m.Bar_Pos = 2;
    r.c.ToggleSelect();
    EXPECT_TRUE(r.m.FL.selected(3));
    EXPECT_EQ(r.m.cursorIndex(), 3);
}

TEST(Parent, AtTheRootOnlyTheCursorMovesToTheFirstCell) {
    TFPanelModel m;
    TPanelController c(m);
    m.CurDir = "/";
    m.ReadDir();
    ASSERT_GT(m.FilesCount, 3);
    m.Rows = 2;
    m.Columns = 1;
    m.PosList = 2;
    m.Bar_Pos = 1;
    c.GoParent();
    EXPECT_EQ(m.CurDir, "/");
    EXPECT_EQ(m.Bar_Pos, 0);
    EXPECT_EQ(m.PosList, 2);
}

// Mouse tests use a laid-out panel: 300 x 400 px, brief view with 3 columns.
struct LaidOut : Panel {
    std::vector<std::string> events;
    LaidOut(int files) : Panel(files, 17, 3) {
        m.Active = 1;
        m.computeLayout(300, 400);
        m.OnChangeFolder = [this](const std::string& s) { events.push_back("folder:" + s); };
        m.OnChangeActive = [this](const std::string& s) { events.push_back("active:" + s); };
        m.OnChangeDrive = [this](const std::string& s) { events.push_back("drive:" + s); };
        m.OnFileEnter = [this](const std::string& s) { events.push_back("enter:" + s); };
    }
    int xOf(int col) const { return m.X0 + (col - 1) * m.ColWidth + 10; }
    int yOf(int row) const { return m.Y0 + 2 + (row - 1) * m.LineHeight + m.LineHeight / 2; }
};

TEST(Mouse, ClicksPlaceTheCursorAndFireThePanelEvents) {
    LaidOut p(100);
    p.m.Side = "Right";
    p.c.mousePress(MouseButton::Left, p.xOf(2), p.yOf(3));
    p.c.mouseRelease();
    EXPECT_EQ(p.m.Bar_Pos, p.m.rows() + 2);
    p.m.Active = 0;
    p.c.mousePress(MouseButton::Middle, p.xOf(1), p.yOf(2));
    p.c.mouseRelease();
    p.c.mousePress(MouseButton::Right, 50, 5);  // header strip
    p.c.mousePress(MouseButton::Left, 50, 5);
    EXPECT_EQ(p.events, (std::vector<std::string>{"folder:Right", "active:Active", "folder:Right",
                                                  "enter:/d/f1000", "drive:Right", "active:Active"}));
    // A click below the last entry lands on the last entry.
    LaidOut few(3);
    few.c.mousePress(MouseButton::Left, few.xOf(3), few.yOf(10));
    EXPECT_EQ(few.m.cursorIndex(), 4);
}

TEST(Mouse, RightDragPaintsOneChoiceOverEveryEntryItPasses) {
    LaidOut p(30);
    p.m.FL.setSelected(3, true);  // the drag starts on a selected entry: it unselects
    p.m.FL.setSelected(5, false);
    p.m.FL.setSelected(6, true);
    p.c.mousePress(MouseButton::Right, p.xOf(1), p.yOf(3));
    for (int row = 4; row <= 7; ++row) p.c.mouseMove(p.xOf(1), p.yOf(row));
    p.c.mouseRelease();
    for (int i = 3; i <= 7; ++i) EXPECT_FALSE(p.m.FL.selected(i)) << i;
    EXPECT_EQ(p.m.FL.SelectedCount, 0);

    // Starting on an unselected entry selects; a plain right click flips one entry.
    p.c.mousePress(MouseButton::Right, p.xOf(1), p.yOf(9));
    p.c.mouseMove(p.xOf(1), p.yOf(10));
    p.c.mouseRelease();
    EXPECT_TRUE(p.m.FL.selected(9));
    EXPECT_TRUE(p.m.FL.selected(10));
    p.c.mousePress(MouseButton::Right, p.xOf(1), p.yOf(9));
    p.c.mouseRelease();
    EXPECT_FALSE(p.m.FL.selected(9));
    // ".." is never painted.
    p.c.mousePress(MouseButton::Right, p.xOf(1), p.yOf(1));
    p.c.mouseRelease();
    EXPECT_FALSE(p.m.FL.selected(1));
}

TEST(Mouse, DraggingBelowTheListScrollsUntilReleaseOrTheLastEntry) {
    LaidOut p(120);
    p.m.Style = 3;
    p.m.Columns = 1;
    p.m.computeLayout(300, 400);
    p.c.mousePress(MouseButton::Left, 20, p.yOf(2));
    p.c.mouseMove(20, p.m.Y1 + 30);
    ASSERT_TRUE(p.c.wantScrollDown());
    for (int i = 0; i < 5; ++i) p.c.scrollDownTick();
    const int after5 = p.m.cursorIndex();
    EXPECT_GT(after5, 2);
    p.c.mouseRelease();
    EXPECT_FALSE(p.c.wantScrollDown());
    for (int i = 0; i < 500; ++i) p.c.scrollDownTick();  // the timer would be stopped; ticks stop at the end
    EXPECT_EQ(p.m.cursorIndex(), p.m.FilesCount);

    p.c.mousePress(MouseButton::Left, 20, p.yOf(1));
    p.c.mouseMove(20, p.m.HeaderHeight - 5);
    EXPECT_TRUE(p.c.wantScrollUp());
    EXPECT_FALSE(p.c.wantScrollDown());
    p.c.scrollUpTick();
    EXPECT_EQ(p.m.cursorIndex(), p.m.FilesCount - p.m.pageSize());
}

TEST(Mouse, DoubleClickEntersAndTheFollowingMoveIsIgnored) {
    LaidOut p(5);
    std::vector<std::string> launched;
    p.m.Launch = [&](const std::string& f, const std::string&, std::string&) {
        launched.push_back(f);
        return true;
    };
    p.c.mousePress(MouseButton::Left, p.xOf(1), p.yOf(3));
    p.c.mouseRelease();
    p.c.doubleClick();
    EXPECT_EQ(launched, std::vector<std::string>{"/d/f1001"});
    p.c.mousePress(MouseButton::Left, p.xOf(1), p.yOf(3));  // the press of the double click
    const int bar = p.m.Bar_Pos;
    p.c.mouseMove(p.xOf(1), p.yOf(5));
    EXPECT_EQ(p.m.Bar_Pos, bar);
}

TEST(Refresh, KeepsTheIndexClampedAndDropsTheSelection) {
    TFPanelModel m;
    TPanelController c(m);
    m.CurDir = "/nonexistent-kv-folder";
    m.Bar_Pos = 7;
    m.FL.Build("/x", {});
    c.Refresh();
    EXPECT_EQ(m.FilesCount, 1);
    EXPECT_EQ(m.Bar_Pos, 0);
    EXPECT_EQ(m.CurFile, "..");
}

}  // namespace
}  // namespace kv
