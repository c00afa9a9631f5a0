// The user menu: kv.mnu read and written, how its commands start, and the dialog on the real
// window (F2), with its edit states and when the file is written.
#include <sys/stat.h>

#include <QLabel>
#include <QListWidget>

#include <chrono>
#include <thread>

#include "main/user_menu/menu_file.h"
#include "main/user_menu/menu_launch.h"
#include "main/user_menu/user_menu_form.h"
#include "main_window_fixture.h"

namespace kvtest {
namespace {

using kv::MenuEntry;

TEST(MenuFile, TwoEntriesGiveTheEightLinesAndReadBack) {
    kv::test::TempDir dir("kv_mnu");
    const fs::path file = fs::path(dir.path()) / "kv.mnu";
    const std::vector<MenuEntry> entries = {{"Top", "top -d 1"}, {"Notes", "/home/me/notes.txt"}};
    ASSERT_TRUE(kv::WriteMenuFile(file, entries));
    EXPECT_EQ(readFile(file), "2\r\n \r\nTop\r\ntop -d 1\r\n \r\nNotes\r\n/home/me/notes.txt\r\n \r\n");
    const kv::MenuFileRead back = kv::ReadMenuFile(file);
    EXPECT_TRUE(back.exists);
    EXPECT_TRUE(back.error.empty()) << back.error;
    EXPECT_EQ(back.entries, entries);
    // The same file with Unix line ends, and with other text on the skipped lines.
    EXPECT_EQ(kv::ParseMenuText("2\n\nTop\ntop -d 1\nxx\nNotes\n/home/me/notes.txt\n").entries, entries);
    // No temporary is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    // A missing file is an empty menu, not an error.
    const kv::MenuFileRead none = kv::ReadMenuFile(fs::path(dir.path()) / "none.mnu");
    EXPECT_FALSE(none.exists);
    EXPECT_TRUE(none.entries.empty());
    EXPECT_TRUE(none.error.empty());
}

TEST(MenuFile, DamagedFilesKeepEveryReadableEntryAndSaySo) {
    struct Case {
        const char* name;
        const char* text;
        std::vector<MenuEntry> entries;
        const char* errorPart;  // empty: the file is whole
    };
    const Case cases[] = {
        {"count not a number",
         "two\r\n \r\nA\r\na\r\n \r\nB\r\nb\r\n \r\n",
         {{"A", "a"}, {"B", "b"}},
         "first line is not a number"},
        {"empty file", "", {}, "first line is not a number"},
        {"negative count", "-1\r\n \r\nA\r\na\r\n \r\n", {{"A", "a"}}, "first line is not a number"},
        {"fewer entries than announced",
         "3\r\n \r\nA\r\na\r\n \r\nB\r\nb\r\n \r\n",
         {{"A", "a"}, {"B", "b"}},
         "announces 3 entries, but ends after 2"},
        {"command line missing", "2\r\n \r\nA\r\na\r\n \r\nB", {{"A", "a"}, {"B", ""}}, "announces 2"},
        {"more lines than announced", "1\r\n \r\nA\r\na\r\n \r\nB\r\nb\r\n \r\n", {{"A", "a"}}, ""},
        {"last separator missing", "1\n \nA\na", {{"A", "a"}}, ""},
        {"zero entries", "0\r\n \r\n", {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const kv::MenuFileRead r = kv::ParseMenuText(c.text, "/cfg/kv.mnu");
        EXPECT_EQ(r.entries, c.entries);
        if (*c.errorPart) {
            EXPECT_NE(r.error.find(c.errorPart), std::string::npos) << r.error;
            EXPECT_NE(r.error.find("/cfg/kv.mnu"), std::string::npos) << r.error;
        } else {
            EXPECT_TRUE(r.error.empty()) << r.error;
        }
    }
}

TEST(MenuFile, ALineBreakInsideAFieldCannotShiftTheEntriesAfterIt) {
    const std::string text = kv::MenuFileText({{"two\nlines", "a\r\nb"}, {"C", "c"}});
    EXPECT_EQ(kv::ParseMenuText(text).entries, (std::vector<MenuEntry>{{"two lines", "a  b"}, {"C", "c"}}));
}

TEST(MenuFile, AFailedSaveSaysSoAndLeavesWhatWasThere) {
    kv::test::TempDir dir("kv_mnu");
    // kv.mnu is a folder with something in it: the rename cannot replace it.
    const fs::path folder = fs::path(dir.path()) / "kv.mnu";
    writeFile(folder / "keep", "k");
    const kv::MenuFileWrite w = kv::WriteMenuFile(folder, {{"New", "new"}});
    EXPECT_FALSE(w);
    EXPECT_NE(w.message.find("Unable to write to " + folder.string()), std::string::npos) << w.message;
    EXPECT_EQ(readFile(folder / "keep"), "k");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << "a temporary left";

    if (::geteuid() == 0) return;  // root writes into read-only folders
    const fs::path file = fs::path(dir.path()) / "ro" / "kv.mnu";
    writeFile(file, "1\r\n \r\nOld\r\nold\r\n \r\n");
    fs::permissions(file.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
    const kv::MenuFileWrite ro = kv::WriteMenuFile(file, {{"New", "new"}});
    fs::permissions(file.parent_path(), fs::perms::owner_all);
    EXPECT_FALSE(ro);
    EXPECT_EQ(readFile(file), "1\r\n \r\nOld\r\nold\r\n \r\n");
}

TEST(MenuLaunchPlan, DocumentsOpenOnTheDesktopEverythingElseRunsInTheShell) {
    kv::test::TempDir dir("kv_launch");
    const std::string doc = dir.file("report.pdf");
    const std::string batch = dir.file("RUN.BAT");  // an old batch file: a document here
    const std::string script = dir.file("tool.sh", "#!/bin/sh\n");
    ::chmod(script.c_str(), 0755);
    ::chmod(doc.c_str(), 0644);
    ::chmod(batch.c_str(), 0644);
    using Way = kv::MenuLaunch::Way;
    struct Case {
        std::string command;
        Way way;
        std::vector<std::string> argv;
        std::string workDir;
    };
    const Case cases[] = {
        {doc, Way::Open, {"xdg-open", doc}, dir.path()},
        {batch, Way::Open, {"xdg-open", batch}, dir.path()},
        {"~/report.pdf", Way::Open, {"xdg-open", doc}, dir.path()},
        {script, Way::Shell, {"sh", "-c", "--", script}, ""},
        {"ls -l /tmp", Way::Shell, {"sh", "-c", "--", "ls -l /tmp"}, ""},
        {doc + " --page 2", Way::Shell, {"sh", "-c", "--", doc + " --page 2"}, ""},
        {"   ", Way::Nothing, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const kv::MenuLaunch plan = kv::PlanMenuCommand(c.command, dir.path());
        EXPECT_EQ(plan.way, c.way);
        EXPECT_EQ(plan.argv, c.argv);
        EXPECT_EQ(plan.workDir, c.workDir);
    }
}

// Also a command that begins with "-": the shell runs it instead of taking it for its options.
TEST(MenuLaunchPlan, AShellCommandReallyRuns) {
    for (const std::string first : {"", "-x; "}) {
        SCOPED_TRACE(first);
        kv::test::TempDir dir("kv_launch");
        const std::string made = dir / "made by the menu";
        const auto r = kv::StartMenuCommand(kv::PlanMenuCommand(first + "echo hi > '" + made + "'"));
        ASSERT_TRUE(r.ok) << r.message;
        // The shell makes the file before it writes into it: wait for the text, not the name.
        for (int i = 0; i < 200 && !(fs::exists(made) && readFile(made) == "hi\n"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(readFile(made), "hi\n");
    }
}

class UserMenuTest : public MainWindowTest {
protected:
    fs::path menuFile() const { return iniPath.parent_path() / "kv.mnu"; }
    // Opens the menu with F2 and runs `steps` on it; the key returns when the dialog closed.
    void withMenu(std::function<void(kv::TFormMenu*)> steps) {
        bool seen = false;
        onNextDialog<kv::TFormMenu>([&](kv::TFormMenu* d) {
            seen = true;
            steps(d);
        });
        key(Qt::Key_F2);
        EXPECT_TRUE(seen);
    }
};

TEST_F(UserMenuTest, OptionsInsertChangeDeleteAndTheFileWrittenOnClose) {
    writeFile(menuFile(), "1\r\n \r\nTop\r\ntop\r\n \r\n");
    start();
    withMenu([&](kv::TFormMenu* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Main menu"));
        ASSERT_EQ(d->ListBox1->count(), 1);
        EXPECT_EQ(d->windowHeight(), kv::TFormMenu::kCollapsedHeight);
        EXPECT_FALSE(d->Button4->isVisible());
        EXPECT_TRUE(d->Button1->isDefault());

        d->Button3->click();  // Options
        EXPECT_EQ(d->windowHeight(), kv::TFormMenu::kExpandedHeight);
        EXPECT_FALSE(d->Button1->isEnabled());
        EXPECT_TRUE(d->Button4->isVisible() && d->Button5->isVisible() && d->Button6->isVisible());

        d->Button4->click();  // Insert, no fields yet: edit mode
        EXPECT_TRUE(d->editing());
        EXPECT_EQ(d->ListBox1->height(), 81);
        EXPECT_FALSE(d->ListBox1->isEnabled());
        EXPECT_TRUE(d->Edit1->isVisible() && d->Edit2->isVisible() && d->Label1->isVisible());
        EXPECT_FALSE(d->Button1->isEnabled() || d->Button5->isEnabled() || d->Button6->isEnabled());
        EXPECT_TRUE(d->Button2->isEnabled() && d->Button3->isEnabled() && d->Button4->isEnabled());

        // Only the caption: still in edit mode, nothing added.
        d->Edit1->setText(QStringLiteral("Editor"));
        d->Button4->click();
        EXPECT_TRUE(d->editing());
        EXPECT_EQ(d->ListBox1->count(), 1);
        EXPECT_EQ(d->Edit1->text(), QStringLiteral("Editor"));

        d->Edit2->setText(QStringLiteral("mousepad"));
        d->Button4->click();
        EXPECT_FALSE(d->editing());
        EXPECT_EQ(d->windowHeight(), kv::TFormMenu::kCollapsedHeight);
        ASSERT_EQ(d->ListBox1->count(), 2);
        EXPECT_EQ(d->ComList.value(1), QStringLiteral("mousepad"));

        // Change the first entry: the fields come filled, Insert is off.
        d->Button3->click();
        d->ListBox1->setCurrentRow(0);
        d->Button6->click();
        EXPECT_EQ(d->Edit1->text(), QStringLiteral("Top"));
        EXPECT_EQ(d->Edit2->text(), QStringLiteral("top"));
        EXPECT_FALSE(d->Button4->isEnabled());
        EXPECT_TRUE(d->Button6->isEnabled());
        d->Edit1->setText(QStringLiteral("Processes"));
        d->Edit2->setText(QStringLiteral("htop"));
        d->Button6->click();
        EXPECT_EQ(d->ListBox1->item(0)->text(), QStringLiteral("Processes"));

        // Delete without a selection deletes nothing; with one, that entry.
        d->Button3->click();
        d->ListBox1->clearSelection();
        d->Button5->click();
        EXPECT_EQ(d->ListBox1->count(), 2);
        d->Button3->click();
        d->ListBox1->setCurrentRow(1);
        d->Button5->click();
        EXPECT_EQ(d->ListBox1->count(), 1);
        d->Button3->click();
        d->Edit1->setText(QStringLiteral("Files"));
        d->Button4->click();  // into edit mode with the caption typed
        d->Edit2->setText(QStringLiteral("~/files.txt"));
        d->Button4->click();
        // Closed by F2 from the list: the edits are written all the same.
        QTest::keyClick(d->ListBox1, Qt::Key_F2);
        EXPECT_FALSE(d->isVisible());
    });
    EXPECT_EQ(readFile(menuFile()), "2\r\n \r\nProcesses\r\nhtop\r\n \r\nFiles\r\n~/files.txt\r\n \r\n");
}

TEST_F(UserMenuTest, EnterStartsTheSelectedCommandAndCloses) {
    writeFile(menuFile(), "2\n\nList\nls -l\n\nNotes\nnotes.txt\n\n");
    const std::string before = readFile(menuFile());
    start();
    std::vector<kv::MenuLaunch> started;
    withMenu([&](kv::TFormMenu* d) {
        d->Launch = [&](const kv::MenuLaunch& plan) {
            started.push_back(plan);
            return kv::platform::LaunchResult{true, 0, {}};
        };
        d->ListBox1->setCurrentRow(0);
        QTest::keyClick(d->ListBox1, Qt::Key_Return);
        EXPECT_FALSE(d->isVisible());
    });
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].argv, (std::vector<std::string>{"sh", "-c", "--", "ls -l"}));
    // Without Options nothing is written, not even in CR LF form.
    EXPECT_EQ(readFile(menuFile()), before);

    // Start without a selection closes and starts nothing; Esc closes too.
    for (int k : {0, 1}) {
        withMenu([&](kv::TFormMenu* d) {
            d->Launch = [&](const kv::MenuLaunch& plan) {
                started.push_back(plan);
                return kv::platform::LaunchResult{true, 0, {}};
            };
            d->ListBox1->clearSelection();
            if (k == 0)
                d->Button1->click();
            else
                QTest::keyClick(d->ListBox1, Qt::Key_Escape);
            EXPECT_FALSE(d->isVisible());
        });
    }
    EXPECT_EQ(started.size(), 1u);
}

TEST_F(UserMenuTest, ADamagedFileIsReportedOnceAndCancelLeavesItUntouched) {
    const std::string damaged = "x2\r\n \r\nTop\r\ntop\r\n \r\nList\r\nls\r\n \r\n";
    writeFile(menuFile(), damaged);
    start();
    for (bool options : {false, true}) {
        SCOPED_TRACE(options ? "with Options" : "without Options");
        QString text;
        int rows = -1;
        onNextDialog<QMessageBox>([&, options](QMessageBox* box) {
            text = box->text();
            auto* menu = qobject_cast<kv::TFormMenu*>(box->parentWidget());
            box->button(QMessageBox::Ok)->click();
            QTimer::singleShot(0, menu, [&, menu, options] {
                rows = menu->ListBox1->count();
                if (options) menu->Button3->click();
                menu->Button2->click();  // Cancel
            });
        });
        key(Qt::Key_F2);
        EXPECT_NE(text.indexOf(QStringLiteral("first line is not a number")), -1) << text.toStdString();
        EXPECT_EQ(rows, 2);  // both entries after the bad count are listed
        if (!options)
            EXPECT_EQ(readFile(menuFile()), damaged);
        else  // Options makes Cancel save what was read: a whole file, no entry lost
            EXPECT_EQ(readFile(menuFile()), "2\r\n \r\nTop\r\ntop\r\n \r\nList\r\nls\r\n \r\n");
    }
}

TEST_F(UserMenuTest, AMissingFileIsAnEmptyMenuAndConfigurationMainMenuOpensItToo) {
    auto& f = start();
    bool seen = false;
    onNextDialog<kv::TFormMenu>([&](kv::TFormMenu* d) {
        seen = true;
        EXPECT_EQ(d->ListBox1->count(), 0);
        d->reject();
    });
    f.menuItem("N21")->trigger();
    EXPECT_TRUE(seen);
    EXPECT_FALSE(fs::exists(menuFile()));
}

TEST_F(UserMenuTest, RussianTextsComeFromTheMenuSection) {
    writeFile(root / "cfg" / "kv_rus.ini",
              "[Menu]\nCaption=Меню пользователя\nStart=&Запуск\nInsert=&Добавить\n");
    writeFile(iniPath, "[Global]\nLanguage=RUSSIAN\n");
    start();
    withMenu([&](kv::TFormMenu* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Меню пользователя"));
        EXPECT_EQ(d->Button1->text(), QStringLiteral("&Запуск"));
        EXPECT_EQ(d->Button4->text(), QStringLiteral("&Добавить"));
        EXPECT_EQ(d->Button6->text(), QStringLiteral("Error loading resource"));
        d->reject();
    });
}

}  // namespace
}  // namespace kvtest
