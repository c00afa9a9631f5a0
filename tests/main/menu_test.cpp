// The Panel menu's styles and check marks, the active-panel items, the dialogs behind
// the menu, and the captions from the language file.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>

#include "main/about_form.h"
#include "main/calculator_form.h"
#include "main/help_form.h"
#include "main_window_fixture.h"

using namespace kvtest;

namespace {

bool marked(kv::TForm1& f, const char* item) { return f.menuItem(item)->isChecked(); }

// As when the user opens the menu: its open command runs.
void openMenu(kv::TForm1& f, const char* name) { emit f.menu(name)->aboutToShow(); }

}  // namespace

TEST_F(MainWindowTest, StyleCommandsSetTheStyleAndTheirMarks) {
    auto& f = start();
    kv::TFPanel* p = f.LeftPanel;
    openMenu(f, "N16");
    EXPECT_TRUE(marked(f, "P3"));
    EXPECT_TRUE(marked(f, "P1"));

    key(Qt::Key_2, Qt::AltModifier);
    EXPECT_EQ(p->Style, 3);
    EXPECT_EQ(p->Columns, 1);
    EXPECT_TRUE(marked(f, "P5"));
    EXPECT_FALSE(marked(f, "P3"));

    // Alt+1 from the extended view: brief, three columns, cursor on the first entry.
    p->Bar_Pos = 2;
    key(Qt::Key_1, Qt::AltModifier);
    EXPECT_EQ(p->Style, 1);
    EXPECT_EQ(p->Columns, 3);
    EXPECT_EQ(p->Bar_Pos, 0);
    EXPECT_TRUE(marked(f, "P3"));
    EXPECT_FALSE(marked(f, "P5"));
    // Alt+1 again does nothing: the cursor stays where it was moved.
    p->Bar_Pos = 2;
    key(Qt::Key_1, Qt::AltModifier);
    EXPECT_EQ(p->Bar_Pos, 2);

    // Information, then back: the marks follow the active panel's style.
    key(Qt::Key_3, Qt::AltModifier);
    EXPECT_EQ(p->Style, 2);
    openMenu(f, "N16");
    EXPECT_TRUE(marked(f, "P4"));
    EXPECT_FALSE(marked(f, "P3"));
    key(Qt::Key_1, Qt::AltModifier);
    EXPECT_EQ(p->Style, 1);
}

TEST_F(MainWindowTest, InformationWhenTheOtherPanelShowsItDoesNothing) {
    auto& f = start();
    key(Qt::Key_L, Qt::ControlModifier);  // the right panel shows information
    ASSERT_EQ(f.RightPanel->Style, 2);
    key(Qt::Key_3, Qt::AltModifier);
    EXPECT_EQ(f.LeftPanel->Style, 1);
    EXPECT_EQ(f.RightPanel->Style, 2);
}

TEST_F(MainWindowTest, TabLeavesTheActiveMarksToThePanelMenu) {
    auto& f = start();
    key(Qt::Key_Tab);
    EXPECT_TRUE(marked(f, "P1")) << "Tab itself does not touch the marks";
    openMenu(f, "N16");
    EXPECT_FALSE(marked(f, "P1"));
    EXPECT_TRUE(marked(f, "P2"));
    EXPECT_TRUE(marked(f, "P5")) << "the right panel starts in the extended view";

    // "Active left" from the menu: switches only when it is not marked yet.
    f.menuItem("P1")->trigger();
    EXPECT_EQ(f.cfg().Main.Active, "Left");
    EXPECT_TRUE(marked(f, "P1"));
    EXPECT_FALSE(marked(f, "P2"));
}

TEST_F(MainWindowTest, AClickActivatesTheOtherPanel) {
    auto& f = start();
    const QPoint inList(20, f.RightPanel->HeaderHeight + 8);
    QTest::mouseClick(f.RightPanel, Qt::LeftButton, Qt::NoModifier, inList);
    EXPECT_EQ(f.cfg().Main.Active, "Right");
    EXPECT_TRUE(f.RightPanel->Active);
    EXPECT_FALSE(f.LeftPanel->Active);
}

TEST_F(MainWindowTest, MenuOrderCaptionsAndSeparators) {
    auto& f = start();
    // The File menu as shown: hidden items absent, shortcuts after a tab, separators in place.
    QStringList shown;
    for (QAction* a : f.menu("N1")->actions())
        if (a->isVisible()) shown << (a->isSeparator() ? QStringLiteral("-") : a->text());
    const QStringList expected = {"Menu\tF2",
                                  "View\tF3",
                                  "Edit\tF4",
                                  "Copy\tF5",
                                  "Rename\tF6",
                                  "Create folder\tF7",
                                  "Delete\tF8",
                                  "-",
                                  "Multi-rename\tCtrl+F6",
                                  "Undo last multi-rename",
                                  "-",
                                  "Find file\tAlt+F7",
                                  "Attributes\tCtrl+A",
                                  "Create new file\tShift+F4",
                                  "-",
                                  "Add to archive\tShift+F1",
                                  "Extract files\tShift+F2"};
    EXPECT_EQ(shown, expected);
    QStringList bar;
    for (QAction* a : f.menuBar()->actions())
        if (a->isVisible()) bar << a->text();
    EXPECT_EQ(bar, (QStringList{"&KV", "&File", "&Utilities", "&Commands", "&Panel", "C&onfiguration"}));
    // The function-key buttons run their menu items' commands.
    QSignalSpy spy(&f, &kv::TForm1::commandRun);
    f.HotKeys[3]->click();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toString(), QStringLiteral("file.copy"));
    EXPECT_EQ(f.mainMenu().commandOf("N11"), "file.copy");
}

TEST_F(MainWindowTest, RussianCaptionsComeFromTheLanguageFileAndMissingKeysAreEmpty) {
    writeFile(iniPath, "[Global]\nLanguage=russian\n");
    writeFile(iniPath.parent_path() / "kv_rus.ini",
              "[HotButtons]\nMenu=2-Меню\nCopy=5-Копия\n[MainMenu]\nKV_Exit=Выход\nFile_Copy=Копировать\n"
              "[Panel]\nFreeOnDrive=\" Мб свободно\"\nFolder=Папка\n");
    auto& f = start();
    EXPECT_EQ(f.HotKeys[0]->text(), QStringLiteral("2-Меню"));
    EXPECT_EQ(f.HotKeys[3]->text(), QStringLiteral("5-Копия"));
    EXPECT_EQ(f.HotKeys[1]->text(), QString()) << "a missing key gives an empty text";
    EXPECT_EQ(f.menuItem("N7")->text(), QStringLiteral("Выход\tF10"));
    EXPECT_EQ(f.menuItem("N11")->text(), QStringLiteral("Копировать\tF5"));
    EXPECT_EQ(f.menuItem("N4")->text(), QString());
    // The panels' words follow too, but a missing one keeps its English word.
    for (kv::TFPanel* p : {f.LeftPanel, f.RightPanel}) {
        EXPECT_EQ(p->Texts.FreeOnDrive, " Мб свободно");
        EXPECT_EQ(p->Texts.Folder, "Папка");
        EXPECT_EQ(p->Texts.BytesIn, " bytes in ");
    }
}

TEST_F(MainWindowTest, InformationDialogOpensAboutAndEscapeClosesIt) {
    auto& f = start();
    QString helpTitle, version, aboutTitle;
    onNextDialog<kv::TFormHelp>([&](kv::TFormHelp* help) {
        helpTitle = help->windowTitle();
        version = help->findChild<QLabel*>(QStringLiteral("VersionLabel"))->text();
        onNextDialog<kv::TAboutForm>([&, help](kv::TAboutForm* about) {
            aboutTitle = about->windowTitle();
            QTest::keyClick(about, Qt::Key_Escape);
            help->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
        });
        help->findChild<QPushButton*>(QStringLiteral("AboutButton"))->click();
    });
    key(Qt::Key_F1);
    EXPECT_EQ(helpTitle, QStringLiteral("Information"));
    EXPECT_EQ(version, QStringLiteral("Version 1.00 pre-release30"));
    EXPECT_EQ(aboutTitle, QStringLiteral("About program"));
    EXPECT_TRUE(f.isVisible());
}

TEST_F(MainWindowTest, CalculatorFromCtrl5) {
    start();
    QString title, before, after;
    onNextDialog<kv::TCalculatorForm>([&](kv::TCalculatorForm* calc) {
        title = calc->windowTitle();
        before = calc->displayText();
        QTest::keyClicks(calc, QStringLiteral("12+3*2="));
        after = calc->displayText();
        QTest::keyClick(calc, Qt::Key_Escape);
    });
    key(Qt::Key_5, Qt::ControlModifier);
    EXPECT_EQ(title, QStringLiteral("Calculator"));
    EXPECT_EQ(before, QStringLiteral("0"));
    EXPECT_EQ(after, QStringLiteral("30"))
        << "each operator applies the pending one, as on a pocket calculator";
}

TEST_F(MainWindowTest, ResourceExplorerAsksForAnExecutable) {
    auto& f = start();
    f.LeftPanel->Bar_Pos = 0;
    f.LeftPanel->DrawCursor();
    QString text;
    answerNextMessageBox(QMessageBox::Ok, &text);
    key(Qt::Key_7, Qt::ControlModifier);
    EXPECT_EQ(text, QStringLiteral("Please select *.exe or *.dll file and try again"));
}

TEST_F(MainWindowTest, ItemsWithoutTheirWindowsYetDoNothingQuietly) {
    auto& f = start();
    // Items that open a dialog, end the program or start a console are checked elsewhere.
    const QStringList opensSomething = {"N4",
                                        "N5",
                                        "N7",
                                        "N18",
                                        "N30",
                                        "ResourceExplorer1",
                                        "MSDOS1",
                                        "Fastfindfile1",
                                        "N10",
                                        "ClearRecyce1",
                                        "N11",
                                        "N12",
                                        "N13",
                                        "N14",
                                        "N23",
                                        "Createnewfile1",
                                        "N15",
                                        "Clipboard1",
                                        "Changevideomode1",
                                        "Internet2",
                                        "CDPlayer1",
                                        "N38",
                                        "N8",
                                        "N17",
                                        "N19",
                                        "N21",
                                        "N22",
                                        "Selectgroup1",
                                        "N37",
                                        "CD1",
                                        "Formatdrive1",
                                        "Multirename1",
                                        "Undomultirename1",
                                        "Comparefolders1",
                                        "Comparecontents1"};
    std::function<void(QMenu*)> walk = [&](QMenu* m) {
        for (QAction* a : m->actions()) {
            if (a->isSeparator() || opensSomething.contains(a->objectName())) continue;
            if (a->menu()) walk(a->menu());
            SCOPED_TRACE(a->objectName().toStdString());
            a->trigger();
            EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
            EXPECT_TRUE(f.isVisible());
        }
    };
    for (QAction* top : f.menuBar()->actions()) walk(top->menu());
    for (kv::TFPanel* p : {f.LeftPanel, f.RightPanel}) EXPECT_EQ(p->CurDir, work.string());
}

TEST_F(MainWindowTest, AltLetterOpensItsMenu) {
    auto& f = start();
    key(Qt::Key_P, Qt::AltModifier);
    QApplication::processEvents();
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup, f.menu("N16"));
    popup->close();
}
