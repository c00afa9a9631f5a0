// The panel model on real folders: reading, "..", hidden files, big files, the
// position stack, entering and leaving folders, launching.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "panel/model/panel_model.h"
#include "temp_dir.h"

namespace kv {
namespace {

using test::TempDir;

std::vector<std::string> shown(const TFPanelModel& m) {
    std::vector<std::string> out;
    for (int i = 1; i <= m.FL.FilesCount(); ++i) out.push_back(m.FL.displayName(i));
    return out;
}

TEST(PanelModel, ListsAFolderWithParentEntryAndHiddenFilesByTheFlag) {
    TempDir t;
    t.file("b.txt");
    t.file(".hidden");
    t.dir("sub");
    t.dir(".git");
    TFPanelModel m;
    m.SortMethod = srName;
    m.CurDir = t.path() + "/";
    m.ReadDir();
    EXPECT_EQ(m.CurDir, t.path()) << "trailing slash dropped";
    EXPECT_EQ(shown(m), (std::vector<std::string>{"..", ".git", "sub", ".hidden", "b.txt"}));
    EXPECT_EQ(m.FilesCount, 5);
    EXPECT_TRUE(m.FL.entry(2).isHidden());
    EXPECT_GT(m.FreeSpace, 0);

    m.Show_FileHide = 0;
    m.ReadDir();
    EXPECT_EQ(shown(m), (std::vector<std::string>{"..", "sub", "b.txt"}));

    m.CurDir = "/";
    m.ReadDir();
    ASSERT_GT(m.FilesCount, 0);
    EXPECT_NE(m.FL.entry(1).FileName, "..") << "the root has no parent entry";
}

TEST(PanelModel, FilesOfTwoGigabytesAndMoreKeepTheirSizeAndSortBySize) {
    TempDir t;
    const auto sparse = [&](const char* name, off_t size) {
        const int fd = ::open((t / name).c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
    };
    sparse("two_gib", 2LL << 30);
    sparse("five_gib", 5LL << 30);
    t.file("small", "12345");
    TFPanelModel m;
    m.SortMethod = srSize;
    m.CurDir = t.path();
    m.ReadDir();
    ASSERT_EQ(shown(m), (std::vector<std::string>{"..", "five_gib", "two_gib", "small"}));
    EXPECT_EQ(m.FL.size(2), 5LL << 30);
    EXPECT_EQ(m.FL.TotalSize, (7LL << 30) + 5);
    m.Bar_Pos = 2;
    m.publishCurrent();
    EXPECT_EQ(m.CurSize, 2LL << 30);
    EXPECT_EQ(m.CurPath, t / "two_gib");
}

TEST(PanelModel, AFolderThatCannotBeReadListsOnlyTheParentEntry) {
    TempDir t;
    for (const std::string& dir : {t / "missing", t.file("plain")}) {
        TFPanelModel m;
        m.CurDir = dir;
        m.ReadDir();
        EXPECT_EQ(shown(m), std::vector<std::string>{".."}) << dir;
        m.Bar_Pos = 5;
        m.clampCursor();
        EXPECT_EQ(m.Bar_Pos, 0);
    }
}

TEST(PanelModel, EnterAndLeaveRestoreTheCursorAndReportTheFolder) {
    TempDir t;
    for (const char* d : {"a", "b", "c", "d"}) t.dir(d);
    t.dir("c/inner");
    TFPanelModel m;
    m.Side = "Right";
    m.SortMethod = srName;
    std::vector<std::string> changes;
    m.OnChangeFolder = [&](const std::string& side) { changes.push_back(side + ":" + m.CurDir); };
    m.CurDir = t.path();
    m.ReadDir();
    m.Bar_Pos = 3;  // "c"
    ASSERT_TRUE(m.EnterItem());
    EXPECT_EQ(m.CurDir, t / "c");
    EXPECT_EQ(m.Bar_Pos, 0);
    EXPECT_EQ(m.TreePos, 1);
    m.Bar_Pos = 1;  // "inner"
    ASSERT_TRUE(m.EnterItem());
    m.Bar_Pos = 0;  // ".."
    ASSERT_TRUE(m.EnterItem());
    EXPECT_EQ(m.Bar_Pos, 1) << "back on inner";
    ASSERT_TRUE(m.GoParent());
    EXPECT_EQ(m.CurDir, t.path());
    EXPECT_EQ(m.Bar_Pos, 3) << "back on c";
    EXPECT_EQ(m.TreePos, 0);
    EXPECT_EQ(changes, (std::vector<std::string>{"Right:" + t / "c", "Right:" + t / "c/inner",
                                                 "Right:" + t / "c", "Right:" + t.path()}));
}

TEST(PanelModel, TheStackFollowsDeepFoldersAndNeverUnderflows) {
    TFPanelModel m;
    m.Rows = 17;
    m.Columns = 3;
    for (int i = 0; i < 150; ++i) {
        m.FilesCount = 500;
        m.Bar_Pos = i % 40;
        m.PosList = i;
        m.PushPosition();
    }
    EXPECT_EQ(m.TreePos, 150);
    for (int i = 149; i >= 0; --i) {
        m.FilesCount = 500;
        m.PopPosition();
        ASSERT_EQ(m.Bar_Pos, i % 40) << i;
        ASSERT_EQ(m.PosList, i) << i;
    }
    m.Bar_Pos = 7;
    m.PopPosition();
    EXPECT_EQ(m.TreePos, 0);
    EXPECT_EQ(m.Bar_Pos, 0);
    EXPECT_EQ(m.PosList, 0);
}

TEST(PanelModel, LeavingAFolderWhoseParentShrankKeepsTheCursorOnAnEntry) {
    TempDir t;
    for (const char* d : {"a", "b", "c", "d"}) t.dir(d);
    TFPanelModel m;
    m.SortMethod = srName;
    m.CurDir = t.path();
    m.ReadDir();
    m.Bar_Pos = 4;  // "d"
    ASSERT_TRUE(m.EnterItem());
    std::filesystem::remove(t / "a");
    std::filesystem::remove(t / "b");
    std::filesystem::remove(t / "c");
    ASSERT_TRUE(m.GoParent());
    EXPECT_EQ(m.cursorIndex(), 2);
    m.publishCurrent();
    EXPECT_EQ(m.CurFile, "d");
}

TEST(PanelModel, EnterOnFiles) {
    TempDir t;
    t.file("notes.txt");
    t.file("pack.ZIP");
    TFPanelModel m;
    m.SortMethod = srName;
    m.CurDir = t.path();
    m.ReadDir();
    std::vector<std::string> launched, notices, history;
    m.Launch = [&](const std::string& file, const std::string& dir, std::string&) {
        launched.push_back(file + "@" + dir);
        return true;
    };
    m.OnNotice = [&](const std::string& s) { notices.push_back(s); };
    m.OnAddFileHistory = [&](const std::string& s) { history.push_back(s); };

    m.Bar_Pos = 1;  // notes.txt
    EXPECT_FALSE(m.EnterItem());
    m.Bar_Pos = 2;  // pack.ZIP
    EXPECT_FALSE(m.EnterItem());
    EXPECT_EQ(launched, std::vector<std::string>{t / "notes.txt" + "@" + t.path()});
    // A ".ZIP" that is no archive is neither opened as a folder nor launched; the notice says so.
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("<pack.ZIP> cannot be opened"), std::string::npos) << notices[0];
    EXPECT_EQ(history, (std::vector<std::string>{"notes.txt", "pack.ZIP"}));

    m.Style = 2;
    m.Bar_Pos = 1;
    EXPECT_FALSE(m.EnterItem());
    EXPECT_EQ(launched.size(), 1u) << "the information view enters nothing";

    std::string error;
    m.Style = 1;
    m.Launch = [](const std::string&, const std::string&, std::string& e) {
        e = "xdg-open: No such file or directory";
        return false;
    };
    m.OnLaunchError = [&](const std::string& s) { error = s; };
    m.EnterItem();
    EXPECT_EQ(error, "xdg-open: No such file or directory");
}

// Another program changes the folder: the cursor stays on its entry by name (an F8 right
// after must hit the file the user is looking at), the entries still there stay selected,
// and only a cursor entry that is gone falls back to the old index, clamped.
TEST(PanelModel, OutsideChangesKeepTheCursorEntryAndTheSelection) {
    const struct {
        const char* name;
        std::vector<std::string> add, remove;
        std::string cursorAfter;
        std::vector<std::string> selectedAfter;
    } cases[] = {
        {"a name sorting before the cursor appears", {"0new"}, {}, "c", {"b", "d"}},
        {"names before the cursor vanish", {}, {"a", "b"}, "c", {"d"}},
        {"the cursor's entry vanishes: the index, clamped", {}, {"c", "e"}, "d", {"b", "d"}},
        {"the last entries vanish: clamped to the end", {}, {"c", "d", "e"}, "b", {"b"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir t;
        for (const char* f : {"a", "b", "c", "d", "e"}) t.file(f);
        TFPanelModel m;
        m.SortMethod = srName;
        m.CurDir = t.path();
        m.ReadDir();
        m.FL.setSelected(3, true);  // b
        m.FL.setSelected(5, true);  // d
        m.Bar_Pos = 3;              // c
        for (const auto& f : c.add) t.file(f);
        for (const auto& f : c.remove) std::filesystem::remove(t / f);
        m.DirChanged();
        EXPECT_EQ(m.CurFile, c.cursorAfter);
        EXPECT_EQ(m.FL.entry(m.cursorIndex()).FileName, c.cursorAfter);
        std::vector<std::string> selected;
        for (int i = 1; i <= m.FL.FilesCount(); ++i)
            if (m.FL.selected(i)) selected.push_back(m.FL.displayName(i));
        EXPECT_EQ(selected, c.selectedAfter);
        EXPECT_EQ(m.FL.SelectedCount, static_cast<int>(c.selectedAfter.size()));
        EXPECT_EQ(m.FL.SelectedSize, static_cast<std::int64_t>(c.selectedAfter.size()));  // one byte each
    }
}

TEST(PanelModel, AVanishedFolderMovesToTheNearestExistingParent) {
    TempDir t;
    t.dir("x/y/z");
    t.file("x/keep");
    TFPanelModel m;
    m.CurDir = t / "x/y/z";
    m.TreePos = 3;
    std::string reported;
    m.OnChangeFolder = [&](const std::string&) { reported = m.CurDir; };
    std::filesystem::remove_all(t / "x/y");
    m.FolderGone();
    EXPECT_EQ(m.CurDir, t / "x");
    EXPECT_EQ(reported, t / "x");
    EXPECT_EQ(m.TreePos, 1);
    EXPECT_EQ(shown(m), (std::vector<std::string>{"..", "keep"}));
}

TEST(PanelModel, DefaultsFollowTheSide) {
    TFPanelModel m;
    m.Side = "Right";
    m.SetDefaults();
    EXPECT_EQ(m.Style, 3);
    EXPECT_EQ(m.columns(), 1);
    m.Side = "Left";
    m.SetDefaults();
    EXPECT_EQ(m.Style, 1);
    EXPECT_EQ(m.pageSize(), 17 * 3);
}

}  // namespace
}  // namespace kv
