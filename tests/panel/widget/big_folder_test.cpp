// Big and busy folders: reading off the window's thread, cancelling, and the monitor's
// changes applied entry by entry with a full read only when events were lost.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QTest>

#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <QElapsedTimer>

#include <cmath>
#include <filesystem>

#include "../model/temp_dir.h"
#include "panel/fpanel.h"
#include "qt_app.h"

namespace kv {
namespace {

using test::spinUntil;
using test::TempDir;

std::vector<std::string> listing(const TDirectory& fl) {
    std::vector<std::string> out;
    for (int i = 1; i <= fl.FilesCount(); ++i) out.push_back(fl.displayName(i));
    return out;
}

// A folder past the panel's inline limit, so it is read on the worker.
struct BigFolder : ::testing::Test {
    TempDir dir;
    std::unique_ptr<TFPanel> panel;

    void SetUp() override {
        test::qtApp();
        dir.dir("big/sub");
        for (std::size_t i = 0; i < TFPanel::kInlineNames + 500; ++i)
            dir.file("big/f" + std::to_string(10000 + i) + ".txt");
        panel = std::make_unique<TFPanel>();
        panel->Side = "Left";
        panel->SetDefaults();
        panel->Active = 1;
        panel->SortMethod = srName;
        panel->resize(320, 400);
        panel->show();
    }
    TDirectory fullRead(const std::string& folder) const {
        TDirectory fl;
        fl.SortType = panel->SortMethod;
        fl.Read(folder);
        return fl;
    }
};

TEST_F(BigFolder, IsReadOnAWorkerAndTheCursorLandsWhereTheCallerPutIt) {
    panel->CurDir = dir / "big/sub";
    panel->ReadDir();
    ASSERT_FALSE(panel->Reading()) << "a small folder is read at once, as before";
    panel->PushPosition();
    panel->Bar_Pos = 0;
    // Back to the parent: its cursor was saved on entry 2 ("sub") at depth 1.
    panel->SavedBarPos[1] = 1;
    panel->SavedPosList[1] = 0;
    panel->FreeSpace = 0;  // as in a panel that never showed a folder
    panel->TFPanelModel::GoParent();
    ASSERT_TRUE(panel->Reading());
    const std::int64_t freeWhileReading = panel->FreeSpace;
    EXPECT_TRUE(panel->ListingPending);
    EXPECT_EQ(panel->FilesCount, 1) << "\"..\" alone until the entries are in";
    EXPECT_TRUE(panel->StatusTexts(QFontMetrics(panel->CanvasFont())).name.startsWith("Reading... "));
    const int cursorBefore = panel->cursorIndex();
    panel->CursorDown();  // no moves on a listing that is not there
    EXPECT_EQ(panel->cursorIndex(), cursorBefore);

    ASSERT_TRUE(spinUntil([&] { return !panel->Reading(); }, 20000));
    EXPECT_FALSE(panel->ListingPending);
    EXPECT_EQ(listing(panel->FL), listing(fullRead(dir / "big")));
    EXPECT_EQ(panel->CurFile, "sub") << "the saved position survived the wait";
    if (panel->FreeSpace > 0) {
        EXPECT_GT(freeWhileReading, 0) << "the free space is shown while reading, not 0";
    }
}

TEST_F(BigFolder, EscCancelsAndLeavesOnlyTheParentEntry) {
    panel->CurDir = dir / "big";
    panel->ReadDir();
    ASSERT_TRUE(panel->Reading());
    EXPECT_TRUE(panel->CancelRead());
    EXPECT_FALSE(panel->Reading());
    EXPECT_FALSE(panel->CancelRead()) << "nothing left to cancel";
    QTest::qWait(200);  // a late word from the cancelled worker changes nothing
    EXPECT_EQ(listing(panel->FL), std::vector<std::string>{".."});
    EXPECT_EQ(panel->StatusTexts(QFontMetrics(panel->CanvasFont())).name, QString("Reading cancelled"));
    panel->EnterItem();
    EXPECT_EQ(panel->CurDir, dir.path()) << "Enter on \"..\" still leaves the folder";

    // Leaving the folder while it is read cancels as well.
    panel->CurDir = dir / "big";
    panel->ReadDir();
    panel->CurDir = dir / "big/sub";
    panel->ReadDir();
    EXPECT_FALSE(panel->Reading());
    QTest::qWait(200);
    EXPECT_EQ(listing(panel->FL), listing(fullRead(dir / "big/sub")));
}

TEST_F(BigFolder, ARereadOfTheFolderShownKeepsTheOldListingUntilTheNewOneIsIn) {
    panel->CurDir = dir / "big";
    panel->ReadDir();
    ASSERT_TRUE(spinUntil([&] { return !panel->Reading(); }, 20000));
    for (int i = 0; i < 5; ++i) panel->CursorDown();
    panel->FL.setSelected(3, true);
    const int index = panel->cursorIndex();
    const int count = panel->FilesCount;
    panel->RefreshDir();
    EXPECT_TRUE(panel->Reading());
    EXPECT_EQ(panel->FilesCount, count) << "the old entries stay on screen meanwhile";
    ASSERT_TRUE(spinUntil([&] { return !panel->Reading(); }, 20000));
    EXPECT_EQ(panel->cursorIndex(), index) << "a refresh keeps the index";
    EXPECT_EQ(panel->FL.SelectedCount, 0) << "and drops the selection";
    panel->RefreshDirNow();
    EXPECT_FALSE(panel->Reading()) << "the program's own operations may ask for the listing at once";
}

TEST(BusyFolder, OutsideChangesArePlacedEntryByEntryAndALostQueueRereads) {
    test::qtApp();
    TempDir dir;
    for (int i = 0; i < 40; ++i) dir.file("f" + std::to_string(100 + i) + ".txt");
    TFPanel panel;
    panel.Side = "Left";
    panel.SetDefaults();
    panel.Active = 1;
    panel.SortMethod = srExt;
    panel.resize(320, 400);
    panel.CurDir = dir.path();
    panel.ReadDir();
    panel.show();
    ASSERT_TRUE(panel.Monitor->Running());
    for (int i = 0; i < 10; ++i) panel.CursorDown();
    const std::string cursor = panel.CurFile;
    panel.FL.setSelected(panel.FL.findByName("f130.txt"), true);

    dir.file("a.zip");                                            // create
    std::filesystem::remove(dir / "f101.txt");                    // delete
    std::filesystem::rename(dir / "f102.txt", dir / "f102.cpp");  // rename
    std::filesystem::rename(dir / "f130.txt", dir / "f130.bak");  // rename of a selected entry
    dir.file("f120.txt", std::string(5000, 'x'));                 // change
    std::filesystem::create_directory(dir / "newdir");            // a folder
    TDirectory full;
    full.SortType = srExt;
    ASSERT_TRUE(spinUntil([&] {
        full.Read(dir.path());
        return listing(panel.FL) == listing(full) && panel.FL.size(panel.FL.findByName("f120.txt")) == 5000;
    }));
    EXPECT_EQ(panel.Stats().fullRereads, 0);
    EXPECT_GE(panel.Stats().batches, 1);
    EXPECT_EQ(panel.CurFile, cursor) << "the cursor stays on its entry";
    EXPECT_EQ(panel.FL.SelectedCount, 0) << "the renamed entry is a new name, not selected";

    panel.FL.setSelected(panel.FL.findByName("f131.txt"), true);
    panel.Monitor->OnOverflow(panel.Monitor);  // the kernel dropped events
    ASSERT_TRUE(spinUntil([&] { return panel.Stats().fullRereads == 1; }));
    EXPECT_EQ(panel.CurFile, cursor);
    EXPECT_TRUE(panel.FL.selected(panel.FL.findByName("f131.txt")))
        << "a full re-read keeps the selection too";
    panel.Monitor->Stop();
}

// Counts the paint events a widget gets.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST(BusyFolder, AThousandFilesFromAnotherProgramArriveInAFewUpdates) {
    test::qtApp();
    TempDir dir;
    for (int i = 0; i < 20; ++i) dir.file("old" + std::to_string(i) + ".txt");
    TFPanel panel;
    panel.Side = "Left";
    panel.SetDefaults();
    panel.Active = 1;
    panel.SortMethod = srName;
    panel.resize(320, 400);
    panel.CurDir = dir.path();
    panel.ReadDir();
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    ASSERT_TRUE(panel.Monitor->Running());
    panel.CursorDown();
    panel.CursorDown();
    const std::string cursor = panel.CurFile;
    panel.FL.setSelected(panel.FL.findByName("old7.txt"), true);
    QTest::qWait(150);  // the first paints are over

    PaintCounter counter;
    panel.installEventFilter(&counter);
    const auto before = panel.Stats();
    std::vector<std::string> paths;
    for (int i = 0; i < 1000; ++i) paths.push_back(dir / ("new" + std::to_string(i) + ".dat"));
    QElapsedTimer writing;
    writing.start();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (const auto& p : paths) {
            const int fd = ::open(p.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd >= 0) ::close(fd);
        }
        ::_exit(0);
    }
    double writerSeconds = 0;
    bool reaped = false;
    TDirectory full;
    full.SortType = srName;
    ASSERT_TRUE(spinUntil(
        [&] {
            if (!reaped && ::waitpid(child, nullptr, WNOHANG) == child) {
                reaped = true;
                writerSeconds = writing.elapsed() / 1000.0;
            }
            if (!reaped || panel.FilesCount != 1021) return false;
            full.Read(dir.path());
            return listing(panel.FL) == listing(full);
        },
        20000));
    QTest::qWait(250);  // anything still queued has its say
    const int batches = panel.Stats().batches - before.batches;
    EXPECT_EQ(panel.Stats().fullRereads, before.fullRereads) << "no whole re-read for named changes";
    EXPECT_GE(batches, 1);
    // Updates are coalesced to ten a second at most, so a writer that ran for T seconds
    // gives at most 10 T + 2 of them (one at its start, one after its end), each one paint.
    EXPECT_LE(batches, 2 + static_cast<int>(std::ceil(writerSeconds * 10)))
        << "the writer ran " << writerSeconds << " s";
    EXPECT_LT(batches, 100) << "far fewer updates than the thousand changes";
    EXPECT_LE(counter.paints, batches + 2);
    EXPECT_EQ(panel.CurFile, cursor) << "the cursor stays on its entry";
    EXPECT_TRUE(panel.FL.selected(panel.FL.findByName("old7.txt")));
    EXPECT_EQ(panel.FL.SelectedCount, 1);
    panel.removeEventFilter(&counter);
    panel.Monitor->Stop();
}

}  // namespace
}  // namespace kv
