// The command line as the user meets it: typed commands and their output window, names
// taken from the panel, and what F3 does with each kind of file.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>

#include <fcntl.h>
#include <sys/stat.h>

#include <map>

#include "main/file_work.h"
#include "main/output_form.h"
#include "main_window_fixture.h"

using namespace kvtest;

namespace {

// Types a command, runs it with Enter and waits until its shell has ended.
bool runTyped(MainWindowTest& t, kv::TForm1& f, const QString& command, int ms = 10000) {
    QSignalSpy ended(f.Console, &kv::TCommandConsole::commandEnded);
    f.ComLine->setText(command);
    QTest::keyClick(f.ComLine, Qt::Key_Return);
    (void)t;
    return ended.wait(ms) || ended.count() > 0;
}

}  // namespace

TEST_F(MainWindowTest, TypedCommandsRunInTheActivePanelsFolderAndShowWhatTheyPrint) {
    auto& f = start();
    // The right panel in another folder, made active: the command runs there.
    f.changeFolder(f.RightPanel, (work / "alpha").string());
    f.runCommand("panel.switch");
    ASSERT_TRUE(runTyped(*this, f, QStringLiteral("pwd > where.txt; printf 'one\\ntwo\\n'; echo three >&2")));
    EXPECT_EQ(readFile(work / "alpha" / "where.txt"), (work / "alpha").string() + "\n");
    EXPECT_TRUE(f.ComLine->text().isEmpty());
    ASSERT_NE(f.Console->window(), nullptr);
    QTRY_VERIFY(f.Console->window()->isVisible());
    EXPECT_EQ(f.Console->window()->text(),
              QStringLiteral("$ pwd > where.txt; printf 'one\\ntwo\\n'; echo three >&2\none\ntwo\nthree"));
    EXPECT_EQ(f.Console->window()->view()->font().styleHint() == QFont::Monospace ||
                  QFontInfo(f.Console->window()->view()->font()).fixedPitch(),
              true);
    // Esc closes the window; the next output opens it again, below what was there.
    QTest::keyClick(f.Console->window()->view(), Qt::Key_Escape);
    EXPECT_FALSE(f.Console->window()->isVisible());
    ASSERT_TRUE(runTyped(*this, f, QStringLiteral("echo again")));
    QTRY_VERIFY(f.Console->window()->isVisible());
    EXPECT_TRUE(f.Console->window()->text().endsWith(QStringLiteral("\n$ echo again\nagain")));
}

TEST_F(MainWindowTest, ACommandThatPrintsNothingOpensNoWindowAndAMissingOneSaysWhy) {
    auto& f = start();
    ASSERT_TRUE(runTyped(*this, f, QStringLiteral("touch quiet; true")));
    EXPECT_EQ(f.Console->window(), nullptr);
    EXPECT_TRUE(fs::exists(work / "quiet"));
    ASSERT_TRUE(runTyped(*this, f, QStringLiteral("no_such_program_kv_gui")));
    ASSERT_NE(f.Console->window(), nullptr);
    QTRY_VERIFY(f.Console->window()->isVisible());
    const QString text = f.Console->window()->text();
    EXPECT_TRUE(text.contains(QStringLiteral("no_such_program_kv_gui: not found"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("[exit code 127]"))) << text.toStdString();
    EXPECT_EQ(f.history().back(), QStringLiteral("no_such_program_kv_gui"));
}

// Neither many lines nor one endless line can fill the memory: the window keeps the newest
// lines, each of bounded length.
TEST_F(MainWindowTest, AFloodOfOutputKeepsTheLastLinesOnly) {
    auto& f = start();
    ASSERT_TRUE(runTyped(
        *this, f,
        QStringLiteral("yes line | head -n 2000000; head -c 3000000 /dev/zero | tr '\\0' x; echo; echo end"),
        60000));
    auto* w = f.Console->window();
    ASSERT_NE(w, nullptr);
    EXPECT_LE(w->lineCount(), static_cast<int>(kv::OutputLines::kMaxLines));
    const QStringList lines = w->text().split(QLatin1Char('\n'));
    EXPECT_EQ(lines.back(), QStringLiteral("end"));
    for (const QString& l : lines) ASSERT_LE(l.size(), static_cast<int>(kv::OutputLines::kMaxLineLength));
    EXPECT_TRUE(f.ComLine->isEnabled());
}

TEST(OutputLines, CarriageReturnsLongLinesAndBursts) {
    kv::OutputLines o;
    auto u = o.feed("50%\r");
    EXPECT_TRUE(u.completed.empty());
    u = o.feed("100%\r\ndone\nhal");
    EXPECT_EQ(u.completed, (std::vector<std::string>{"100%", "done"}));
    EXPECT_EQ(o.open(), "hal");
    u = o.feed("f\n" + std::string(2500, 'x'));
    EXPECT_EQ(u.completed.size(), 3u) << "half, and two cut pieces of the long line";
    EXPECT_EQ(o.open().size(), 500u);
    // A cut never splits a UTF-8 sequence.
    kv::OutputLines utf;
    u = utf.feed(std::string(999, 'a') + "\xc3\xa9" + "b\n");
    ASSERT_EQ(u.completed.size(), 2u);
    EXPECT_EQ(u.completed[0], std::string(999, 'a') + "\xc3\xa9");
    std::string burst;
    for (int i = 0; i < 10000; ++i) burst += std::to_string(i) + "\n";
    u = kv::OutputLines().feed(burst);
    EXPECT_TRUE(u.dropped);
    ASSERT_EQ(u.completed.size(), kv::OutputLines::kMaxLines);
    EXPECT_EQ(u.completed.back(), "9999");
}

TEST_F(MainWindowTest, CtrlEnterTakesNamesAsTheyAreAndCtrlBackspaceWords) {
    writeFile(work / "README.TXT", "x");
    writeFile(work / "two words.txt", "x");
    writeFile(work / "-oProxyCommand=touch x", "x");
    fs::create_directories(work / "WINDOWS");
    auto& f = start();
    struct Case {
        const char* entry;
        const char* before;
        const char* after;
    } cases[] = {
        {"README.TXT", "", "README.TXT"},
        {"WINDOWS", "ls", "ls WINDOWS"},
        {"two words.txt", "cat", "cat 'two words.txt'"},
        {"-oProxyCommand=touch x", "ssh", "ssh './-oProxyCommand=touch x'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        f.ComLine->setText(QString::fromUtf8(c.before));
        placeCursor(f.LeftPanel, c.entry);
        key(Qt::Key_Return, Qt::ControlModifier);
        EXPECT_EQ(f.ComLine->text(), QString::fromUtf8(c.after));
        EXPECT_EQ(f.ComLine->cursorPosition(), f.ComLine->text().size());
    }
    struct Steps {
        const char* line;
        std::vector<const char*> after;
    } steps[] = {{"copy file.txt", {"copy file", "copy", ""}}, {"ab c", {"ab "}}, {"", {""}}};
    for (const Steps& s : steps) {
        SCOPED_TRACE(s.line);
        f.ComLine->setText(QString::fromUtf8(s.line));
        for (const char* a : s.after) {
            key(Qt::Key_Backspace, Qt::ControlModifier);
            EXPECT_EQ(f.ComLine->text(), QString::fromUtf8(a));
        }
    }
}

// The line Ctrl+Enter builds, run as it stands, reaches the entry under the cursor: a name
// that starts with "-" is no option of the program, and bytes that are no UTF-8 survive
// the line editor. Each file is made old; "touch" must make it new and nothing else.
TEST_F(MainWindowTest, CtrlEnterNamesTheVeryEntryWhateverItsBytes) {
    const std::string names[] = {"-r", "caf\xe9.txt", "\xff-\xfe it's"};
    for (const std::string& n : names) {
        writeFile(work / n, "x");
        const timespec old[2] = {{978307200, 0}, {978307200, 0}};  // 2001-01-01
        ASSERT_EQ(::utimensat(AT_FDCWD, (work / n).c_str(), old, 0), 0);
    }
    const auto entries = std::distance(fs::directory_iterator(work), fs::directory_iterator());
    auto& f = start();
    for (const std::string& n : names) {
        SCOPED_TRACE(n);
        f.ComLine->setText(QStringLiteral("touch"));
        placeCursor(f.LeftPanel, n);
        key(Qt::Key_Return, Qt::ControlModifier);
        const QString line = f.ComLine->text();
        ASSERT_TRUE(runTyped(*this, f, line)) << line.toStdString();
        struct stat st {};
        ASSERT_EQ(::stat((work / n).c_str(), &st), 0);
        EXPECT_GT(st.st_mtime, 978307200) << "not touched by: " << line.toStdString();
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(work), fs::directory_iterator()), entries)
        << "a line named another file";
}

TEST_F(MainWindowTest, HistoryKeepsCommandsAndLaunchedFilesInOrder) {
    auto& f = start();
    ASSERT_TRUE(runTyped(*this, f, QStringLiteral("true")));
    // Enter on a file adds its name without the folder before it is started.
    std::string launched;
    f.LeftPanel->Launch = [&](const std::string& file, const std::string&, std::string&) {
        launched = file;
        return true;
    };
    placeCursor(f.LeftPanel, "notes.txt");
    key(Qt::Key_Return);
    EXPECT_EQ(fs::path(launched).filename(), "notes.txt");
    ASSERT_TRUE(runTyped(*this, f, QStringLiteral(":")));
    EXPECT_EQ(f.history(),
              (QStringList{QStringLiteral("true"), QStringLiteral("notes.txt"), QStringLiteral(":")}));
    const char* back[] = {":", "notes.txt", "true", "true"};
    for (const char* b : back) {
        key(Qt::Key_E, Qt::ControlModifier);
        EXPECT_EQ(f.ComLine->text().toStdString(), b);
    }
}

// Each extension of the table reaches its kind's handler; a folder under the cursor is
// sized whatever file is named; kinds nobody handles yet say so in the status bar.
TEST_F(MainWindowTest, FileWorkSendsEachKindToItsHandler) {
    using K = kv::FileWorkKind;
    writeFile(work / "page.html", "<p>text</p>\n");
    writeFile(work / "tool.bin", std::string("MZ\0\0\x90", 5));
    auto& f = start();
    std::vector<std::pair<K, std::string>> calls;
    for (int k = 0; k < kv::kFileWorkKinds; ++k)
        f.fileWork().set(static_cast<K>(k), [&calls, k](kv::TForm1&, const std::string& path) {
            calls.emplace_back(static_cast<K>(k), path);
        });
    const std::map<K, std::vector<const char*>> table = {
        {K::Picture, {"a.bmp", "a.JPG", "a.jpeg", "a.ico", "a.emf", "a.wmf", "a.gif"}},
        {K::Sound, {"a.mid", "a.wav", "a.rmi"}},
        {K::Video, {"a.avi", "a.mov", "a.mpg", "a.mp1"}},
        {K::MpegAudio, {"a.mp2", "a.Mp3"}},
        {K::TrackerMusic, {"a.xm", "a.mod", "a.s3m", "a.itz", "a.it", "a.mpp", "a.med"}},
        {K::Editor, {"page.html", "noext", "a.jpg.txt", "dir.gif/file"}},
        {K::Viewer, {"tool.bin"}},
    };
    placeCursor(f.LeftPanel, "notes.txt");
    for (const auto& [kind, names] : table)
        for (const char* name : names) {
            SCOPED_TRACE(name);
            calls.clear();
            const std::string path = (work / name).string();
            f.File_Work(path);
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0].first, kind);
            EXPECT_EQ(calls[0].second, path);
        }
    placeCursor(f.LeftPanel, "alpha");
    calls.clear();
    f.File_Work((work / "a.gif").string());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first, K::FolderSize);
    EXPECT_EQ(calls[0].second, (work / "alpha").string());

    // Without handlers (the windows are not built yet) F3 says so.
    f.fileWork().set(K::Picture, {});
    f.fileWork().set(K::Editor, {});
    placeCursor(f.LeftPanel, "notes.txt");
    key(Qt::Key_F3);
    EXPECT_EQ(f.Label2->text(), QStringLiteral("Text editor is not available yet"));
    f.File_Work((work / "a.gif").string());
    EXPECT_EQ(f.Label2->text(), QStringLiteral("Picture viewer is not available yet"));
}

TEST_F(MainWindowTest, EmptyRecycleBinAsksThenEmptiesTheHomeTrash) {
    const fs::path trash = root / "data" / "Trash";
    auto fill = [&] {
        writeFile(trash / "files" / "old.txt", "x");
        writeFile(trash / "files" / "folder" / "in.txt", "x");
        writeFile(trash / "info" / "old.txt.trashinfo", "[Trash Info]\n");
        writeFile(trash / "info" / "folder.trashinfo", "[Trash Info]\n");
    };
    fill();
    auto& f = start();
    QString asked;
    answerNextMessageBox(QMessageBox::Cancel, &asked);
    f.runCommand("system.emptyTrash");
    EXPECT_EQ(asked, QStringLiteral("Do you want really clear Recycle Bin ?"));
    EXPECT_TRUE(fs::exists(trash / "files" / "old.txt")) << "Cancel empties nothing";
    answerNextMessageBox(QMessageBox::Ok);
    f.runCommand("system.emptyTrash");
    EXPECT_TRUE(fs::is_empty(trash / "files"));
    EXPECT_TRUE(fs::is_empty(trash / "info"));
}

TEST_F(MainWindowTest, ClearRecentDocsEmptiesTheDesktopsList) {
    const fs::path list = root / "data" / "recently-used.xbel";
    writeFile(list, "<?xml version=\"1.0\"?>\n<xbel version=\"1.0\"><bookmark href=\"file:///x\"/></xbel>\n");
    auto& f = start();
    f.runCommand("system.clearRecentDocs");
    EXPECT_EQ(readFile(list).find("bookmark href"), std::string::npos);
    EXPECT_NE(readFile(list).find("<xbel"), std::string::npos);
}
