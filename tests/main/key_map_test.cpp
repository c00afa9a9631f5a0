// Keys as the user presses them on the main window: menu shortcuts first, then the
// window's key map, then the command line.
#include <QAction>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>

#include <chrono>
#include <set>
#include <thread>

#include "main/key_map.h"
#include "main/panel_dialogs/form_drive.h"
#include "main_window_fixture.h"

using namespace kvtest;

namespace {

// Index of the entry named `name` in a panel's listing, 1-based.
int indexOf(const kv::TFPanel* p, const std::string& name) {
    for (int i = 1; i <= p->FL.FilesCount(); ++i)
        if (p->FL.displayName(i) == name) return i;
    return 0;
}

void placeCursor(kv::TFPanel* p, int index) {
    p->PosList = 0;
    p->Bar_Pos = index - 1;
    p->LocateCursor();
    p->DrawCursor();
}

// Whether the panel shows yellow text in its top-left corner, where only the figures of
// ShowDiagnostics ("Bar_Pos - 0", ...) are ever yellow.
bool hasYellowAtTheTop(kv::TFPanel* p) {
    QApplication::processEvents();
    const QImage img = p->grab().toImage();
    for (int y = 5; y < 20; ++y)
        for (int x = 7; x < 60; ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 200 && c.green() > 200 && c.blue() < 60) return true;
        }
    return false;
}

}  // namespace

// The key map as a table, without a window: which commands a key runs, in which order, and
// whether it is a command key (kept from the command line).
TEST(KeyMap, KeysRunTheirRowsCommandsInOrder) {
    using C = kv::KeyCondition;
    const Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier, alt = Qt::AltModifier,
                                shift = Qt::ShiftModifier, pad = Qt::KeypadModifier;
    struct Row {
        const char* what;
        int key;
        Qt::KeyboardModifiers mods;
        std::set<C> holding;
        std::vector<std::string> runs;  // empty: not a command key, it reaches the command line
    };
    const Row rows[] = {
        {"Enter on an empty line enters", Qt::Key_Return, none, {C::CommandLineEmpty}, {"panel.enter"}},
        {"Enter with text runs it", Qt::Key_Return, none, {C::CommandLineHasText}, {"cmdline.run"}},
        {"keypad Enter is Enter", Qt::Key_Enter, pad, {C::CommandLineEmpty}, {"panel.enter"}},
        {"Shift+Enter extracts the archive under the cursor",
         Qt::Key_Return,
         shift,
         {C::CommandLineEmpty},
         {"file.quickExtract"}},
        {"Ctrl+Enter appends the name",
         Qt::Key_Return,
         ctrl,
         {C::CommandLineHasText},
         {"cmdline.appendCurrent"}},
        {"Right pages, whatever the line holds",
         Qt::Key_Right,
         none,
         {C::CommandLineHasText},
         {"panel.pageRight"}},
        {"Shift+Left pages too", Qt::Key_Left, shift, {}, {"panel.pageLeft"}},
        {"Ctrl+Right is left to the line", Qt::Key_Right, ctrl, {}, {}},
        {"PgUp pages", Qt::Key_PageUp, none, {}, {"panel.pageLeft"}},
        {"Ctrl+PgUp goes up", Qt::Key_PageUp, ctrl, {}, {"panel.parent"}},
        {"keypad arrows move the cursor", Qt::Key_Down, pad, {}, {"panel.cursorDown"}},
        {"Backspace on an empty line goes up",
         Qt::Key_Backspace,
         none,
         {C::CommandLineEmpty},
         {"panel.parent"}},
        {"Backspace with text edits the line", Qt::Key_Backspace, none, {C::CommandLineHasText}, {}},
        {"Ctrl+Backspace deletes a word",
         Qt::Key_Backspace,
         ctrl,
         {C::CommandLineEmpty},
         {"cmdline.deleteWord"}},
        {"keypad * inverts", Qt::Key_Asterisk, pad, {}, {"panel.invertSelection"}},
        {"Shift+8's * is typing", Qt::Key_Asterisk, shift, {}, {}},
        {"keypad + selects a group", Qt::Key_Plus, pad, {}, {"panel.selectGroup"}},
        {"keypad - unselects a group", Qt::Key_Minus, pad | shift, {}, {"panel.unselectGroup"}},
        {"the main block's + is typing", Qt::Key_Plus, shift, {}, {}},
        {"the main block's - is typing", Qt::Key_Minus, none, {}, {}},
        {"Ctrl+0 grows the scroll bar", Qt::Key_0, ctrl, {}, {"panel.growScrollBar"}},
        {"Ctrl+keypad 0 does not", Qt::Key_0, ctrl | pad, {}, {}},
        {"Shift+Insert selects", Qt::Key_Insert, shift, {}, {"panel.toggleSelect"}},
        {"Alt+Insert does not", Qt::Key_Insert, alt, {}, {}},
        {"Ctrl+L with an information panel active does nothing", Qt::Key_L, ctrl, {}, {}},
        {"Ctrl+L otherwise", Qt::Key_L, ctrl, {C::ActivePanelNotInformation}, {"panel.otherInformation"}},
        {"F12 without a mixer", Qt::Key_F12, none, {}, {}},
        {"F12 with one", Qt::Key_F12, none, {C::VolumeControl}, {"volume.up"}},
        {"Esc closes fast find", Qt::Key_Escape, none, {C::FastFindShown}, {"fastfind.close"}},
        {"Esc without it", Qt::Key_Escape, none, {}, {}},
        {"Ctrl+E with no history", Qt::Key_E, ctrl, {}, {}},
        {"Ctrl+E steps back", Qt::Key_E, ctrl, {C::HistoryNotEmpty}, {"history.back"}},
        {"Alt+F1 and the drive chooser", Qt::Key_F1, alt, {}, {"drive.targetLeft"}},
        {"a letter is typing", Qt::Key_A, none, {}, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::vector<std::string> ran;
        const bool used = kv::runKeyMap(
            kv::mainKeyMap(), r.key, r.mods, [&](C c) { return r.holding.count(c) > 0; },
            [&](std::string_view id) { ran.emplace_back(id); });
        EXPECT_EQ(ran, r.runs);
        EXPECT_EQ(used, !r.runs.empty());
    }
}

// Conditions are asked when their row is reached, and a row that stops the key ends it.
TEST(KeyMap, LaterRowsSeeWhatEarlierCommandsChanged) {
    bool lineHasText = true;
    std::vector<std::string> ran;
    auto holds = [&](kv::KeyCondition c) {
        return c == kv::KeyCondition::CommandLineHasText ? lineHasText
               : c == kv::KeyCondition::CommandLineEmpty ? !lineHasText
                                                         : false;
    };
    auto run = [&](std::string_view id) {
        ran.emplace_back(id);
        if (id == "cmdline.run") lineHasText = false;  // running the line clears it
    };
    kv::runKeyMap(kv::mainKeyMap(), Qt::Key_Return, Qt::NoModifier, holds, run);
    EXPECT_EQ(ran, std::vector<std::string>{"cmdline.run"}) << "the emptied line is not also entered";

    const std::vector<kv::KeyRow> rows = {
        {Qt::Key_F9, kv::kAnyMods, kv::Keypad::Either, kv::KeyCondition::Always, "first", true},
        {Qt::Key_F9, kv::kAnyMods, kv::Keypad::Either, kv::KeyCondition::Always, "second", false},
    };
    ran.clear();
    EXPECT_TRUE(kv::runKeyMap(rows, Qt::Key_F9, Qt::NoModifier, holds, run));
    EXPECT_EQ(ran, std::vector<std::string>{"first"});
}

// One row per line of the key map: the key, what to arrange first, what must follow.
TEST_F(MainWindowTest, KeyMapRows) {
    struct Row {
        const char* what;
        int key;
        Qt::KeyboardModifiers mods;
        std::function<void(kv::TForm1&)> arrange;
        std::function<void(kv::TForm1&)> check;
    };
    const Row rows[] = {
        {"Down moves the cursor", Qt::Key_Down, Qt::NoModifier, [](kv::TForm1&) {},
         [&](kv::TForm1& f) { EXPECT_EQ(f.LeftPanel->cursorIndex(), 2); }},
        {"Up moves it back", Qt::Key_Up, Qt::NoModifier, [](kv::TForm1& f) { placeCursor(f.LeftPanel, 3); },
         [&](kv::TForm1& f) { EXPECT_EQ(f.LeftPanel->cursorIndex(), 2); }},
        {"End goes to the last entry", Qt::Key_End, Qt::NoModifier, [](kv::TForm1&) {},
         [&](kv::TForm1& f) { EXPECT_EQ(f.LeftPanel->cursorIndex(), f.LeftPanel->FL.FilesCount()); }},
        {"Home goes to the first", Qt::Key_Home, Qt::NoModifier,
         [](kv::TForm1& f) { placeCursor(f.LeftPanel, 4); },
         [&](kv::TForm1& f) { EXPECT_EQ(f.LeftPanel->cursorIndex(), 1); }},
        {"Right pages to the last entry of a short list", Qt::Key_Right, Qt::NoModifier, [](kv::TForm1&) {},
         [&](kv::TForm1& f) { EXPECT_EQ(f.LeftPanel->cursorIndex(), f.LeftPanel->FL.FilesCount()); }},
        {"PgUp pages back", Qt::Key_PageUp, Qt::NoModifier,
         [](kv::TForm1& f) { placeCursor(f.LeftPanel, 2); },
         [&](kv::TForm1& f) { EXPECT_EQ(f.LeftPanel->cursorIndex(), 1); }},
        {"Enter opens the folder under the cursor", Qt::Key_Return, Qt::NoModifier,
         [](kv::TForm1& f) { placeCursor(f.LeftPanel, indexOf(f.LeftPanel, "alpha")); },
         [this](kv::TForm1& f) {
             EXPECT_EQ(f.LeftPanel->CurDir, (work / "alpha").string());
             EXPECT_EQ(f.ComRead->text().toStdString(), (work / "alpha").string() + "/");
         }},
        {"Backspace on an empty line leaves it and restores the cursor", Qt::Key_Backspace, Qt::NoModifier,
         [](kv::TForm1& f) {
             placeCursor(f.LeftPanel, indexOf(f.LeftPanel, "alpha"));
             f.LeftPanel->EnterItem();
         },
         [this](kv::TForm1& f) {
             EXPECT_EQ(f.LeftPanel->CurDir, work.string());
             EXPECT_EQ(f.LeftPanel->cursorIndex(), indexOf(f.LeftPanel, "alpha"));
         }},
        {"Ctrl+PgUp goes to the parent", Qt::Key_PageUp, Qt::ControlModifier,
         [this](kv::TForm1& f) {
             f.LeftPanel->CurDir = (work / "beta").string();
             f.LeftPanel->ReadDir();
         },
         [this](kv::TForm1& f) { EXPECT_EQ(f.LeftPanel->CurDir, work.string()); }},
        {"Alt+F1 shows the drive chooser for the left panel, modeless", Qt::Key_F1, Qt::AltModifier,
         [](kv::TForm1& f) { f.cfg().FilesPanel.DriveTarget = "Right"; },
         [](kv::TForm1& f) {
             EXPECT_EQ(f.cfg().FilesPanel.DriveTarget, "Left");
             kv::TFormDrive& d = kv::TFormDrive::instance(f);
             EXPECT_TRUE(d.isVisible());
             EXPECT_FALSE(d.isModal());
         }},
        {"Alt+F2 for the right one, modal", Qt::Key_F2, Qt::AltModifier,
         [](kv::TForm1& f) {
             onNextDialog<kv::TFormDrive>([&f](kv::TFormDrive* d) {
                 EXPECT_EQ(f.cfg().FilesPanel.DriveTarget, "Right");
                 d->reject();
             });
         },
         [](kv::TForm1&) { EXPECT_EQ(expectedModals(), 0) << "no modal chooser"; }},
        {"Ctrl+Enter appends the entry's name", Qt::Key_Return, Qt::ControlModifier,
         [](kv::TForm1& f) {
             f.ComLine->setText(QStringLiteral("less"));
             placeCursor(f.LeftPanel, indexOf(f.LeftPanel, "notes.txt"));
         },
         [](kv::TForm1& f) { EXPECT_EQ(f.ComLine->text(), QStringLiteral("less notes.txt")); }},
        {"Ctrl+Backspace deletes the last word", Qt::Key_Backspace, Qt::ControlModifier,
         [](kv::TForm1& f) { f.ComLine->setText(QStringLiteral("copy file.txt")); },
         [this](kv::TForm1& f) {
             EXPECT_EQ(f.ComLine->text(), QStringLiteral("copy file"));
             EXPECT_EQ(f.LeftPanel->CurDir, work.string());
         }},
        {"Ctrl+H shows or hides dot files", Qt::Key_H, Qt::ControlModifier,
         [this](kv::TForm1& f) {
             writeFile(work / ".hidden", "x");
             f.LeftPanel->ReadDir();
         },
         [](kv::TForm1& f) {
             EXPECT_EQ(f.LeftPanel->Show_FileHide, 0);
             EXPECT_EQ(indexOf(f.LeftPanel, ".hidden"), 0);
         }},
        {"Ctrl+I toggles the folder indent of both panels", Qt::Key_I, Qt::ControlModifier,
         [](kv::TForm1&) {},
         [](kv::TForm1& f) {
             EXPECT_EQ(f.LeftPanel->FolderIndent, 1);
             EXPECT_EQ(f.RightPanel->FolderIndent, 1);
         }},
        {"Ctrl+0 grows the active panel's scroll bar", Qt::Key_0, Qt::ControlModifier, [](kv::TForm1&) {},
         [](kv::TForm1& f) {
             EXPECT_EQ(f.LeftPanel->ScrollHeight, 12);
             EXPECT_EQ(f.RightPanel->ScrollHeight, 11);
         }},
        {"Ctrl+0 stops at 60", Qt::Key_0, Qt::ControlModifier,
         [](kv::TForm1& f) { f.LeftPanel->ScrollHeight = 60; },
         [](kv::TForm1& f) { EXPECT_EQ(f.LeftPanel->ScrollHeight, 60); }},
        {"Ctrl+L puts the other panel into the information view", Qt::Key_L, Qt::ControlModifier,
         [](kv::TForm1&) {}, [](kv::TForm1& f) { EXPECT_EQ(f.RightPanel->Style, 2); }},
        {"Ctrl+L again takes it back to brief", Qt::Key_L, Qt::ControlModifier,
         [](kv::TForm1& f) { f.RightPanel->Style = 2; },
         [](kv::TForm1& f) { EXPECT_EQ(f.RightPanel->Style, 1); }},
        {"Ctrl+L does nothing while the active panel shows information", Qt::Key_L, Qt::ControlModifier,
         [](kv::TForm1& f) { f.LeftPanel->Style = 2; },
         [](kv::TForm1& f) { EXPECT_EQ(f.RightPanel->Style, 3); }},
        {"Esc hides the fast-find box and gives the command line the keys", Qt::Key_Escape, Qt::NoModifier,
         [](kv::TForm1& f) {
             f.PanelSearch->show();
             f.Edit1->setFocus();
         },
         [](kv::TForm1& f) {
             EXPECT_FALSE(f.PanelSearch->isVisible());
             EXPECT_TRUE(f.ComLine->hasFocus());
         }},
        {"Ctrl+Z shows the figures on the inactive panel only", Qt::Key_Z, Qt::ControlModifier,
         [](kv::TForm1& f) { EXPECT_FALSE(hasYellowAtTheTop(f.RightPanel)); },
         [](kv::TForm1& f) {
             EXPECT_TRUE(hasYellowAtTheTop(f.RightPanel));
             EXPECT_FALSE(hasYellowAtTheTop(f.LeftPanel));
         }},
        {"Esc without the search box clears the command line", Qt::Key_Escape, Qt::NoModifier,
         [](kv::TForm1& f) { f.ComLine->setText(QStringLiteral("rm -rf build")); },
         [this](kv::TForm1& f) {
             EXPECT_TRUE(f.ComLine->text().isEmpty());
             EXPECT_EQ(f.LeftPanel->CurDir, work.string());
         }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        auto& f = start();
        r.arrange(f);
        key(r.key, r.mods);
        r.check(f);
        form.reset();
    }
}

TEST_F(MainWindowTest, MenuShortcutsComeFirstAndFollowTheHiddenAndDisabledRules) {
    struct Row {
        int key;
        Qt::KeyboardModifiers mods;
        const char* command;  // empty: the key is swallowed
    };
    const Row rows[] = {
        {Qt::Key_A, Qt::ControlModifier, "file.attributes"},  // never "Play last file" or "Associations"
        {Qt::Key_M, Qt::ControlModifier, "music.stop"},       // never "Main menu"
        {Qt::Key_F7, Qt::AltModifier, "file.find"},
        {Qt::Key_F1, Qt::ShiftModifier, "file.addToArchive"},
        {Qt::Key_4, Qt::AltModifier, "panel.quickView"},
        {Qt::Key_Tab, Qt::NoModifier, "panel.switch"},  // hidden, still acts
        {Qt::Key_9, Qt::ControlModifier, "utils.mediaPlayer"},
        {Qt::Key_F5, Qt::NoModifier, "file.copy"},
        {Qt::Key_F12, Qt::ControlModifier, "panel.sortModes"},
        {Qt::Key_T, Qt::ControlModifier, "config.toolbars"},
        {Qt::Key_F2, Qt::ShiftModifier, "file.extract"},
        {Qt::Key_F4, Qt::ShiftModifier, "file.createFile"},
    };
    auto& f = start();
    QSignalSpy spy(&f, &kv::TForm1::commandRun);
    for (const Row& r : rows) {
        SCOPED_TRACE(
            testing::Message()
            << QKeySequence(QKeyCombination(r.mods, static_cast<Qt::Key>(r.key))).toString().toStdString());
        spy.clear();
        const std::string dir = f.activePanel()->CurDir;
        // Make new file and the sort chooser open their dialogs (the other file commands do
        // nothing on "..").
        if (std::string_view(r.command) == "file.createFile" ||
            std::string_view(r.command) == "panel.sortModes")
            onNextDialog<QDialog>([](QDialog* d) { d->reject(); });
        key(r.key, r.mods);
        if (*r.command) {
            ASSERT_EQ(spy.count(), 1);
            EXPECT_EQ(spy.at(0).at(0).toString().toStdString(), r.command);
        } else {
            EXPECT_EQ(spy.count(), 0);
        }
        // A shortcut never reaches the key map or the command line.
        EXPECT_TRUE(f.ComLine->text().isEmpty());
        EXPECT_EQ(f.activePanel()->CurDir, dir);
    }
}

TEST_F(MainWindowTest, AltXClosesTheProgramThroughItsHiddenMenu) {
    auto& f = start();
    key(Qt::Key_X, Qt::AltModifier);
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(fs::exists(iniPath));
}

TEST_F(MainWindowTest, TypingReachesTheCommandLineButCommandKeysDoNot) {
    auto& f = start();
    type(QStringLiteral("ls -la"));
    EXPECT_EQ(f.ComLine->text(), QStringLiteral("ls -la"));
    key(Qt::Key_B, Qt::ControlModifier);
    key(Qt::Key_V, Qt::ControlModifier);
    key(Qt::Key_Q, Qt::AltModifier);
    key(Qt::Key_Asterisk, Qt::KeypadModifier);
    EXPECT_EQ(f.ComLine->text(), QStringLiteral("ls -la"));
    // Backspace with text edits the line and leaves the folder alone.
    placeCursor(f.LeftPanel, indexOf(f.LeftPanel, "alpha"));
    f.LeftPanel->EnterItem();
    const std::string inside = f.LeftPanel->CurDir;
    key(Qt::Key_Backspace);
    EXPECT_EQ(f.ComLine->text(), QStringLiteral("ls -l"));
    EXPECT_EQ(f.LeftPanel->CurDir, inside);
    EXPECT_FALSE(f.ComLine->isReadOnly());
}

TEST_F(MainWindowTest, EnterRunsTheCommandLineInThePanelsFolder) {
    auto& f = start();
    type(QStringLiteral("touch made_by_kv"));
    key(Qt::Key_Return);
    EXPECT_TRUE(f.ComLine->text().isEmpty());
    EXPECT_EQ(f.LeftPanel->CurDir, work.string()) << "the panel stays where it was";
    ASSERT_EQ(f.history(), QStringList{QStringLiteral("touch made_by_kv")});
    for (int i = 0; i < 100 && !fs::exists(work / "made_by_kv"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(fs::exists(work / "made_by_kv"));
}

TEST_F(MainWindowTest, CtrlEStepsBackThroughTheHistory) {
    auto& f = start();
    for (const char* c : {"one", "two", "three"}) f.AddFileToHistory(c);
    const char* expected[] = {"three", "two", "one", "one"};
    for (const char* e : expected) {
        key(Qt::Key_E, Qt::ControlModifier);
        EXPECT_EQ(f.ComLine->text().toStdString(), e);
    }
    f.AddFileToHistory("four");
    key(Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(f.ComLine->text(), QStringLiteral("four"));
}

TEST_F(MainWindowTest, SelectionTotalsAfterInsertAndStar) {
    auto& f = start();
    kv::TFPanel* p = f.LeftPanel;
    placeCursor(p, indexOf(p, "data.bin"));
    key(Qt::Key_Insert);
    EXPECT_EQ(p->FL.SelectedCount, 1);
    EXPECT_EQ(p->FL.SelectedSize, 1536);
    EXPECT_EQ(p->cursorIndex(), indexOf(p, "data.bin") + 1) << "Insert moves down";

    placeCursor(p, indexOf(p, "alpha"));
    key(Qt::Key_Insert);  // folders can be selected with Insert
    EXPECT_EQ(p->FL.SelectedCount, 2);

    // Keypad "*" flips the files only: data.bin off, notes.txt on, alpha stays.
    key(Qt::Key_Asterisk, Qt::KeypadModifier);
    EXPECT_EQ(p->FL.SelectedCount, 2);
    EXPECT_EQ(p->FL.SelectedSize, 6);
    EXPECT_TRUE(p->FL.selected(indexOf(p, "alpha")));
    EXPECT_TRUE(p->FL.selected(indexOf(p, "notes.txt")));
    EXPECT_FALSE(p->FL.selected(indexOf(p, "data.bin")));
    EXPECT_FALSE(p->FL.selected(1)) << "\"..\" is never selected";
    EXPECT_TRUE(f.ComLine->text().isEmpty());
}

TEST_F(MainWindowTest, RefreshClearsTheSelectionAndKeepsTheCursorIndex) {
    auto& f = start();
    kv::TFPanel* p = f.LeftPanel;
    placeCursor(p, 4);
    key(Qt::Key_Asterisk, Qt::KeypadModifier);
    ASSERT_GT(p->FL.SelectedCount, 0);
    f.Update_AllPanels();
    EXPECT_EQ(p->FL.SelectedCount, 0);
    EXPECT_EQ(p->cursorIndex(), 4);

    // Entries gone: the cursor index is clamped to the new listing.
    placeCursor(p, 5);
    fs::remove(work / "notes.txt");
    fs::remove(work / "data.bin");
    f.Update_AllPanels();
    EXPECT_EQ(p->FL.FilesCount(), 3);
    EXPECT_EQ(p->cursorIndex(), 3);
}

// Left and Right page the panel; they used to move the command line's caret as well.
TEST_F(MainWindowTest, CommandKeysDoNotAlsoEditTheCommandLine) {
    auto& f = start();
    type(QStringLiteral("make all"));
    f.ComLine->setCursorPosition(4);
    struct Row {
        int key;
        int cursorIndex;  // of the panel, after the key
    };
    const Row rows[] = {{Qt::Key_Right, f.LeftPanel->FL.FilesCount()},
                        {Qt::Key_Left, 1},
                        {Qt::Key_End, 5},
                        {Qt::Key_Home, 1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(QKeySequence(r.key).toString().toStdString());
        key(r.key);
        EXPECT_EQ(f.LeftPanel->cursorIndex(), r.cursorIndex);
        EXPECT_EQ(f.ComLine->cursorPosition(), 4);
        EXPECT_EQ(f.ComLine->text(), QStringLiteral("make all"));
    }
    // Keys that are no command still edit: Ctrl+Left moves by words, Backspace deletes.
    key(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(f.ComLine->cursorPosition(), 0);
    f.ComLine->end(false);
    key(Qt::Key_Backspace);
    EXPECT_EQ(f.ComLine->text(), QStringLiteral("make al"));
}
