// The panel's quick search on the real window: Alt with a free character (or plain typing,
// when the setting asks for it) opens the box over the active panel and moves the cursor to
// the first entry starting with the text.
#include <QMenu>
#include <QMouseEvent>

#include "main_window_fixture.h"
#include "panel/fpanel.h"

using namespace kvtest;

namespace {

class QuickSearchTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        for (const char* name : {"apple.txt", "apricot.txt", "avocado.txt", "banana.txt", "my notes.txt"})
            writeFile(work / name, "x\n");
        writeFile(work / "\xc3\x84rger.txt", "x\n");                                      // "Ärger.txt"
        writeFile(work / "\xd0\x96\xd1\x83\xd1\x80\xd0\xbd\xd0\xb0\xd0\xbb.txt", "x\n");  // "Журнал.txt"
    }

    // A key with the text a keyboard gives it (letters from outside ASCII too).
    void press(int k, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* to = QApplication::focusWidget() ? QApplication::focusWidget() : form->ComLine;
        QKeyEvent down(QEvent::KeyPress, k, mods, text);
        QApplication::sendEvent(to, &down);
        QKeyEvent up(QEvent::KeyRelease, k, mods, text);
        QApplication::sendEvent(to, &up);
    }
    void alt(const QString& ch) { press(ch.toUpper().at(0).unicode(), ch, Qt::AltModifier); }
    void typeInto(const QString& text) {
        for (QChar c : text) press(QString(c).toUpper().at(0).unicode(), QString(c));
    }

    std::string cursorName() const { return form->LeftPanel->CurFile; }
    bool boxShown() const { return form->PanelSearch->isVisible(); }
    QString boxText() const { return form->Edit1->text(); }
};

TEST_F(QuickSearchTest, AltLetterOpensTheBoxAndTypingNarrowsTheSearch) {
    auto& f = start();
    kv::TFPanel* p = f.LeftPanel;
    const int banana = p->FL.findByName("banana.txt");
    p->FL.setSelected(banana, true);
    alt(QStringLiteral("a"));
    ASSERT_TRUE(boxShown());
    EXPECT_EQ(boxText(), QStringLiteral("a"));
    EXPECT_EQ(cursorName(), "alpha");  // folders come first
    // The box sits over the active panel.
    EXPECT_TRUE(p->geometry().contains(f.PanelSearch->geometry()));

    struct Step {
        const char* typed;
        const char* text;  // the box's text after it
        const char* cursor;
    } steps[] = {
        {"P", "aP", "apple.txt"},                                  // any case
        {"r", "aPr", "apricot.txt"}, {"x", "aPr", "apricot.txt"},  // no entry starts with "aprx": refused
        {"\b", "aP", "apple.txt"},  // Backspace shortens, back to the first match
        {"p", "aPp", "apple.txt"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.typed);
        if (QString(s.typed) == QStringLiteral("\b"))
            press(Qt::Key_Backspace, QStringLiteral("\b"));
        else
            typeInto(QString::fromUtf8(s.typed));
        EXPECT_TRUE(boxShown());
        EXPECT_EQ(boxText(), QString::fromUtf8(s.text));
        EXPECT_EQ(cursorName(), s.cursor);
    }
    EXPECT_TRUE(f.ComLine->text().isEmpty());  // nothing of it reached the command line
    EXPECT_TRUE(p->FL.selected(banana));       // the selection is untouched
    EXPECT_EQ(p->FL.SelectedCount, 1);
    // A blank after the first character belongs to the name being searched.
    key(Qt::Key_Escape);
    alt(QStringLiteral("m"));
    typeInto(QStringLiteral("y n"));
    EXPECT_EQ(boxText(), QStringLiteral("my n"));
    EXPECT_EQ(cursorName(), "my notes.txt");
}

TEST_F(QuickSearchTest, UpAndDownStepThroughTheMatchesAroundTheList) {
    auto& f = start();
    alt(QStringLiteral("a"));
    ASSERT_EQ(cursorName(), "alpha");
    const char* down[] = {"apple.txt", "apricot.txt", "avocado.txt", "alpha"};  // wraps
    for (const char* d : down) {
        key(Qt::Key_Down);
        EXPECT_EQ(cursorName(), d);
    }
    key(Qt::Key_Up);
    EXPECT_EQ(cursorName(), "avocado.txt");  // wraps back
    key(Qt::Key_Up);
    EXPECT_EQ(cursorName(), "apricot.txt");
    EXPECT_TRUE(boxShown());
    EXPECT_EQ(boxText(), QStringLiteral("a"));
    EXPECT_EQ(f.LeftPanel->cursorIndex(), f.LeftPanel->FL.findByName("apricot.txt"));
}

TEST_F(QuickSearchTest, FindsNamesOutsideAsciiInAnyCase) {
    auto& f = start();
    const struct {
        QString ch;
        const char* name;
    } cases[] = {{QStringLiteral("\u00e4"), "\xc3\x84rger.txt"},
                 {QStringLiteral("\u0436"), "\xd0\x96\xd1\x83\xd1\x80\xd0\xbd\xd0\xb0\xd0\xbb.txt"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        alt(c.ch);
        EXPECT_TRUE(boxShown());
        EXPECT_EQ(cursorName(), c.name);
        key(Qt::Key_Escape);
    }
    (void)f;
}

TEST_F(QuickSearchTest, EnterOpensTheFolderFoundAndEscClosesTheBox) {
    auto& f = start();
    alt(QStringLiteral("b"));
    ASSERT_EQ(cursorName(), "beta");
    key(Qt::Key_Escape);
    EXPECT_FALSE(boxShown());
    EXPECT_TRUE(f.ComLine->hasFocus());
    EXPECT_EQ(cursorName(), "beta");  // the cursor stays where the search put it
    EXPECT_EQ(f.LeftPanel->CurDir, work.string());

    alt(QStringLiteral("b"));
    key(Qt::Key_Return);
    EXPECT_FALSE(boxShown());
    EXPECT_EQ(f.LeftPanel->CurDir, (work / "beta").string());
    EXPECT_TRUE(f.ComLine->hasFocus());

    // On a file, Enter starts it as Enter in the panel does.
    f.changeFolder(f.LeftPanel, work.string());
    std::string launched;
    f.LeftPanel->Launch = [&](const std::string& file, const std::string&, std::string&) {
        launched = file;
        return true;
    };
    alt(QStringLiteral("n"));
    key(Qt::Key_Return);
    EXPECT_EQ(fs::path(launched).filename(), "notes.txt");
}

TEST_F(QuickSearchTest, OtherCommandKeysAndClicksCloseTheBoxAndDoTheirJob) {
    auto& f = start();
    alt(QStringLiteral("a"));
    key(Qt::Key_Tab);  // switches panels as always
    EXPECT_FALSE(boxShown());
    EXPECT_EQ(f.cfg().Main.Active, "Right");
    key(Qt::Key_Tab);

    alt(QStringLiteral("a"));
    key(Qt::Key_End);  // the panel's own move
    EXPECT_FALSE(boxShown());
    EXPECT_EQ(f.LeftPanel->cursorIndex(), f.LeftPanel->FL.FilesCount());

    alt(QStringLiteral("a"));
    ASSERT_TRUE(boxShown());
    QTest::mouseClick(f.RightPanel, Qt::LeftButton, Qt::NoModifier, QPoint(40, 60));
    EXPECT_FALSE(boxShown());
    // So does anything else taking the focus (a menu, a dialog, the command line).
    alt(QStringLiteral("b"));
    ASSERT_TRUE(boxShown());
    f.ComLine->setFocus();
    EXPECT_FALSE(boxShown());

    // A character no entry starts with opens nothing and never reaches the command line.
    f.runCommand("panel.activeLeft");
    alt(QStringLiteral("q"));
    EXPECT_FALSE(boxShown());
    EXPECT_TRUE(f.ComLine->text().isEmpty());
}

TEST_F(QuickSearchTest, AltKeysOfTheMenuAndTheKeyMapKeepTheirJobs) {
    auto& f = start();
    // Menu shortcuts (Alt+1..4, Alt+X), the menus' "&" letters (KV, File, Utilities,
    // Commands, Panel, Configuration, Plugins) and the key map's Alt rows never search.
    for (int k :
         {Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4, Qt::Key_X, Qt::Key_K, Qt::Key_F, Qt::Key_U, Qt::Key_C,
          Qt::Key_P, Qt::Key_O, Qt::Key_L, Qt::Key_F1, Qt::Key_F2, Qt::Key_F6, Qt::Key_F7}) {
        const QString text = k < 0x100 ? QString(QChar(k)).toLower() : QString();
        EXPECT_TRUE(f.quickSearchAltChar(k, Qt::AltModifier, text).isNull()) << std::hex << k;
    }
    for (int k : {Qt::Key_A, Qt::Key_B, Qt::Key_Q, Qt::Key_Z, Qt::Key_5, Qt::Key_0})
        EXPECT_EQ(f.quickSearchAltChar(k, Qt::AltModifier, QString(QChar(k)).toLower()), QChar(k).toLower())
            << std::hex << k;
    EXPECT_TRUE(f.quickSearchAltChar(Qt::Key_A, Qt::ControlModifier, QStringLiteral("a")).isNull());
    // Alt+2 still switches the style, and no box opens.
    key(Qt::Key_2, Qt::AltModifier);
    EXPECT_EQ(f.LeftPanel->Style, 3);
    EXPECT_FALSE(boxShown());
    // With the box open, a menu's letter opens that menu and the search ends.
    alt(QStringLiteral("a"));
    ASSERT_TRUE(boxShown());
    QTest::keyClick(f.Edit1, Qt::Key_F, Qt::AltModifier);
    QWidget* popup = QApplication::activePopupWidget();
    EXPECT_EQ(popup, static_cast<QWidget*>(f.menu("N1")));
    EXPECT_FALSE(boxShown());
    if (popup) popup->close();
}

TEST_F(QuickSearchTest, PlainTypingOpensTheBoxOnlyWhenTheSettingSaysSo) {
    {
        auto& f = start();
        EXPECT_FALSE(f.cfg().Main.QuickSearchOnTyping);
        type(QStringLiteral("no"));
        EXPECT_FALSE(boxShown());
        EXPECT_EQ(f.ComLine->text(), QStringLiteral("no"));
        form.reset();
    }
    writeFile(iniPath, "[Global]\nQuickSearchOnTyping=1\n");
    auto& f = start();
    ASSERT_TRUE(f.cfg().Main.QuickSearchOnTyping);
    type(QStringLiteral("no"));
    EXPECT_TRUE(boxShown());
    EXPECT_EQ(boxText(), QStringLiteral("no"));
    EXPECT_EQ(cursorName(), "notes.txt");
    EXPECT_TRUE(f.ComLine->text().isEmpty());
    key(Qt::Key_Escape);
    // A first character no entry starts with is typed into the command line, and so is
    // everything once the line has text.
    type(QStringLiteral("ls a"));
    EXPECT_FALSE(boxShown());
    EXPECT_EQ(f.ComLine->text(), QStringLiteral("ls a"));
}

TEST_F(QuickSearchTest, AMatchFarDownTheFolderIsScrolledIntoThePage) {
    for (int i = 0; i < 600; ++i) writeFile(work / ("f" + std::to_string(1000 + i) + ".dat"), "");
    writeFile(work / "zebra.txt", "");
    auto& f = start();
    kv::TFPanel* p = f.LeftPanel;
    const int zebra = p->FL.findByName("zebra.txt");
    ASSERT_GT(zebra, p->pageSize());  // not on the first page
    alt(QStringLiteral("z"));
    ASSERT_EQ(cursorName(), "zebra.txt");
    EXPECT_EQ(p->cursorIndex(), zebra);
    EXPECT_GE(p->Bar_Pos, 0);
    EXPECT_LT(p->Bar_Pos, p->pageSize());
    // Back to the top and down again: the page follows both ways.
    typeInto(QStringLiteral("e"));
    key(Qt::Key_Backspace);
    key(Qt::Key_Backspace);
    alt(QStringLiteral("a"));
    EXPECT_EQ(cursorName(), "alpha");
    EXPECT_EQ(p->PosList, 0);
    typeInto(QStringLiteral("x"));  // refused
    key(Qt::Key_Escape);
    alt(QStringLiteral("f"));  // the File menu's letter: no search
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    EXPECT_FALSE(boxShown());
    alt(QStringLiteral("z"));
    key(Qt::Key_Escape);
    // The panel's own keys go on from where the search left the cursor.
    key(Qt::Key_Up);
    EXPECT_EQ(p->cursorIndex(), zebra - 1);
    EXPECT_LT(p->Bar_Pos, p->pageSize());
}

// A picture of the window with the box open, kept only when KV_SCREENSHOT_DIR names a folder.
TEST_F(QuickSearchTest, ScreenshotWithTheBoxOpen) {
    const QString dir = qEnvironmentVariable("KV_SCREENSHOT_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "set KV_SCREENSHOT_DIR to keep screenshots";
    auto& f = start();
    f.resize(800, 560);
    QApplication::processEvents();
    alt(QStringLiteral("a"));
    typeInto(QStringLiteral("pr"));
    ASSERT_TRUE(boxShown());
    QApplication::processEvents();
    EXPECT_TRUE(f.grab().save(dir + QStringLiteral("/kv-quick-search.png")));
}

}  // namespace
