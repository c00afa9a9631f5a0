// Background file jobs on the real main window: the progress window's Background button,
// the queue behind a busy device, the jobs window (Ctrl+J) with its Cancel, the panels
// re-read when a job ends, and quitting while jobs run.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <cstdlib>

#include "fileops/file_forms.h"
#include "fileops/jobs_indicator.h"
#include "fileops/jobs_window.h"
#include "fileops/progress_window.h"
#include "fileops/question_dialogs.h"
#include "jobs_test_support.h"
#include "main/main_window_fixture.h"

using namespace kvtest;

namespace {

class BackgroundJobsTest : public MainWindowTest {
protected:
    void TearDown() override {
        // Nothing may outlive its test: a job left over would run into the next one.
        kv::JobQueue::instance().cancelAll();
        kv::JobQueue::instance().waitAll();
        MainWindowTest::TearDown();
    }
    kv::TForm1& open() {
        auto& f = start();
        f.changeFolder(f.RightPanel, (work / "beta").string());
        return f;
    }
    void cursorTo(kv::TFPanel* p, const std::string& name) {
        const int i = p->FL.findByName(name);
        ASSERT_GT(i, 0) << name;
        p->PosList = 0;
        p->Bar_Pos = i - 1;
        p->LocateCursor();
        p->DrawCursor();
    }
    // F5 on the cursor's entry into the other panel; the progress window is sent to the
    // background as soon as it shows.
    void copyInTheBackground() {
        onNextDialog<kv::TFormCopy>(
            [](kv::TFormCopy* d) { d->findChild<QPushButton*>(QStringLiteral("Button1"))->click(); });
        onNextDialog<kv::TFormProgress>([](kv::TFormProgress* p) { p->BackgroundBtn->click(); });
        key(Qt::Key_F5);
    }
    static std::string pattern(std::size_t n, int seed) {
        std::string s(n, '\0');
        for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 7 + i / 4099) & 0xff);
        return s;
    }
    static std::vector<std::string> namesIn(const fs::path& dir) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    kv::JobQueue& queue = kv::JobQueue::instance();
};

}  // namespace

TEST_F(BackgroundJobsTest, TwoBackgroundCopiesBothFinishWhileThePanelsAreUsed) {
    auto& f = open();
    const std::string one = pattern(3 << 20, 1), two = pattern(5 << 20, 2);
    writeFile(work / "one.bin", one);
    writeFile(work / "two.bin", two);
    f.LeftPanel->RefreshDir();
    // The disk is busy with another job: both copies wait behind it, then run one after
    // the other (same device).
    auto busy = hold(QStringLiteral("Busy"), {}, {work.string()});
    ASSERT_TRUE(waitFor([&] { return busy->started.load(); }));
    cursorTo(f.LeftPanel, "one.bin");
    copyInTheBackground();
    cursorTo(f.LeftPanel, "two.bin");
    copyInTheBackground();
    ASSERT_EQ(queue.count(), 3) << "both copies are queued, the command returned";
    EXPECT_FALSE(fs::exists(work / "beta/one.bin"));
    // The status bar counts them, and a click there opens the jobs window.
    EXPECT_FALSE(f.JobsIndicator->isHidden());
    EXPECT_EQ(f.JobsIndicator->text(), QStringLiteral("3 jobs"));
    f.JobsIndicator->click();
    auto* jobs = f.findChild<kv::TFormJobs*>();
    ASSERT_NE(jobs, nullptr);
    EXPECT_TRUE(jobs->isVisible());
    jobs->close();

    // The panels work meanwhile: the cursor moves, the left panel goes into a folder.
    cursorTo(f.LeftPanel, "alpha");
    const int at = f.LeftPanel->cursorIndex();
    key(Qt::Key_Down);
    EXPECT_EQ(f.LeftPanel->cursorIndex(), at + 1);
    key(Qt::Key_Up);
    EXPECT_EQ(f.LeftPanel->cursorIndex(), at);
    key(Qt::Key_Return);
    EXPECT_EQ(f.LeftPanel->CurDir, (work / "alpha").string());
    // The monitors rest for as long as the background jobs run, also after a folder change.
    EXPECT_FALSE(f.LeftPanel->Monitor->Running());
    EXPECT_FALSE(f.RightPanel->Monitor->Running());

    busy->release = true;
    ASSERT_TRUE(waitFor([&] { return queue.count() == 0; }));
    EXPECT_TRUE(f.JobsIndicator->isHidden());
    EXPECT_TRUE(f.LeftPanel->Monitor->Running());
    EXPECT_EQ(f.LeftPanel->Monitor->Directory(), (work / "alpha").string());
    EXPECT_TRUE(f.RightPanel->Monitor->Running());
    EXPECT_TRUE(readFile(work / "beta/one.bin") == one);
    EXPECT_TRUE(readFile(work / "beta/two.bin") == two);
    EXPECT_EQ(namesIn(work / "beta"), (std::vector<std::string>{"one.bin", "two.bin"})) << "no temporaries";
    EXPECT_GT(f.RightPanel->FL.findByName("two.bin"), 0) << "the panel was re-read when the jobs ended";
    EXPECT_EQ(f.LeftPanel->CurDir, (work / "alpha").string()) << "the re-read keeps the folder shown";
}

TEST_F(BackgroundJobsTest, AJobEndingWhileADialogIsOpenKeepsTheSelectionThatDialogWorksOn) {
    auto& f = open();
    writeFile(work / "one.bin", "one");
    f.LeftPanel->RefreshDir();
    auto busy = hold(QStringLiteral("Busy"), {}, {work.string()});
    ASSERT_TRUE(waitFor([&] { return busy->started.load(); }));
    cursorTo(f.LeftPanel, "one.bin");
    copyInTheBackground();
    for (const char* n : {"notes.txt", "data.bin"})
        f.LeftPanel->FL.setSelected(f.LeftPanel->FL.findByName(n), true);
    // The background copy ends while the next F5 dialog is open.
    onNextDialog<kv::TFormCopy>([&](kv::TFormCopy* d) {
        busy->release = true;
        EXPECT_TRUE(waitFor([&] { return queue.count() == 0; }));
        EXPECT_EQ(f.LeftPanel->FL.SelectedCount, 2);
        d->findChild<QPushButton*>(QStringLiteral("Button1"))->click();
    });
    key(Qt::Key_F5);
    ASSERT_TRUE(waitFor([&] { return queue.count() == 0; }));
    EXPECT_EQ(readFile(work / "beta/one.bin"), "one");
    EXPECT_EQ(readFile(work / "beta/notes.txt"), "notes\n");
    EXPECT_EQ(readFile(work / "beta/data.bin").size(), 1536u);
    EXPECT_GT(f.RightPanel->FL.findByName("notes.txt"), 0);
}

TEST_F(BackgroundJobsTest, ACancelledBackgroundCopyLosesNothing) {
    auto& f = open();
    const std::string a = pattern(2 << 20, 3);
    writeFile(work / "a.bin", a);
    writeFile(work / "b.txt", "new b");
    writeFile(work / "beta/b.txt", "old b");
    f.LeftPanel->RefreshDir();
    f.RightPanel->RefreshDir();
    for (const char* n : {"a.bin", "b.txt"}) f.LeftPanel->FL.setSelected(f.LeftPanel->FL.findByName(n), true);
    auto busy = hold(QStringLiteral("Busy"), {}, {work.string()});
    ASSERT_TRUE(waitFor([&] { return busy->started.load(); }));
    copyInTheBackground();
    ASSERT_EQ(queue.count(), 2);

    // The background copy asks about b.txt through the usual dialog; meanwhile the user
    // cancels it in the jobs window, then answers Overwrite.
    bool asked = false;
    QString rowText;
    onNextDialog<kv::TFormConflict>([&](kv::TFormConflict* d) {
        asked = true;
        f.runCommand("jobs.show");
        auto* jobs = f.findChild<kv::TFormJobs*>();
        ASSERT_NE(jobs, nullptr);
        ASSERT_EQ(jobs->jobRows().size(), 1u);
        EXPECT_EQ(jobs->jobRows()[0].caption->text(),
                  QStringLiteral("Copy: 2 entries to ") + QString::fromStdString((work / "beta").string()));
        jobs->jobRows()[0].cancel->click();
        rowText = jobs->jobRows()[0].file->text();
        d->OverwriteBtn->click();
    });
    busy->release = true;
    ASSERT_TRUE(waitFor([&] { return queue.count() == 0; }));
    EXPECT_TRUE(asked);
    EXPECT_EQ(rowText, QStringLiteral("Stopping..."));
    EXPECT_TRUE(readFile(work / "a.bin") == a);
    EXPECT_EQ(readFile(work / "b.txt"), "new b");
    EXPECT_EQ(readFile(work / "beta/b.txt"), "old b") << "the old target stays whole";
    EXPECT_TRUE(readFile(work / "beta/a.bin") == a) << "the entry copied before the cancel is whole";
    EXPECT_EQ(namesIn(work / "beta"), (std::vector<std::string>{"a.bin", "b.txt"})) << "no partial target";
    auto* jobs = f.findChild<kv::TFormJobs*>();
    ASSERT_NE(jobs, nullptr);
    EXPECT_TRUE(jobs->jobRows().empty());
    EXPECT_FALSE(jobs->Empty->isHidden());
}

TEST_F(BackgroundJobsTest, TheJobsWindowListsEachJobAndCancelsAWaitingOne) {
    auto& f = open();
    // Two devices: the two jobs run side by side; a third waits behind the first.
    auto copy = hold(QStringLiteral("Copy"), QStringLiteral("3 entries to /media/ann/backup"),
                     {work.string()}, "/home/ann/video/holiday-2026.mkv", 40, 100);
    auto del = hold(QStringLiteral("Delete"), QStringLiteral("old-logs"), {"/proc"},
                    "/home/ann/old-logs/kv-2025-11.log", 75, 100);
    ASSERT_TRUE(waitFor([&] { return copy->started && del->started; }));
    key(Qt::Key_J, Qt::ControlModifier);
    auto* jobs = f.findChild<kv::TFormJobs*>();
    ASSERT_NE(jobs, nullptr);
    ASSERT_TRUE(jobs->isVisible());
    jobs->refresh();
    ASSERT_EQ(jobs->jobRows().size(), 2u);
    EXPECT_EQ(jobs->jobRows()[0].caption->text(), QStringLiteral("Copy: 3 entries to /media/ann/backup"));
    EXPECT_NE(jobs->jobRows()[0].file->text().indexOf(QStringLiteral("holiday")), -1);
    EXPECT_EQ(jobs->jobRows()[0].bar->value(), 40);
    EXPECT_EQ(jobs->jobRows()[1].bar->value(), 75);
    EXPECT_TRUE(jobs->Empty->isHidden());
    if (const char* dir = std::getenv("KV_SHOTS_DIR")) {
        QTest::qWait(50);
        jobs->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/kv-jobs.png"));
    }

    auto later = hold(QStringLiteral("Move"), QStringLiteral("notes.txt to /tmp"), {work.string()});
    jobs->refresh();
    ASSERT_EQ(jobs->jobRows().size(), 3u);
    EXPECT_EQ(jobs->jobRows()[2].file->text(), QStringLiteral("Waiting for the other jobs on this disk"));
    jobs->jobRows()[2].cancel->click();
    EXPECT_EQ(queue.count(), 2);
    EXPECT_EQ(jobs->jobRows().size(), 2u);
    copy->release = true;
    del->release = true;
    ASSERT_TRUE(waitFor([&] { return queue.count() == 0; }));
    EXPECT_FALSE(later->started) << "a cancelled waiting job never starts";
    EXPECT_FALSE(copy->stoppedByCancel);
}

TEST_F(BackgroundJobsTest, QuittingWithJobsRunningAsksAndNoKeepsThemRunning) {
    auto& f = open();
    auto one = hold(QStringLiteral("Copy"), {}, {work.string()});
    auto two = hold(QStringLiteral("Copy"), {}, {work.string()});
    ASSERT_TRUE(waitFor([&] { return one->started.load(); }));
    QString text;
    answerNextMessageBox(QMessageBox::No, &text);
    key(Qt::Key_X, Qt::AltModifier);
    EXPECT_EQ(text, QStringLiteral("2 jobs are still running. Stop them and quit?"));
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(queue.count(), 2);
    EXPECT_FALSE(one->stoppedByCancel);

    // Yes stops them, waits for them to end, and quits without a second question.
    answerNextMessageBox(QMessageBox::Yes, &text);
    key(Qt::Key_F10);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(queue.count(), 0);
    EXPECT_TRUE(one->stoppedByCancel);
    EXPECT_FALSE(two->started) << "the waiting one was dropped, not started";
}
