// The editor window: a save keeps the file's line ending and encoding, the close question,
// Find / Find Next / Replace through the dialogs, and Escape.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTimer>

#include <fstream>
#include <sstream>

#include "support/temp_dir.h"
#include "viewers/editor/find_dialogs.h"
#include "viewers/editor/form_edit.h"

namespace kv {
namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "editor_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Answers the next message box with `button` and keeps its text; a test that expected one
// and saw none fails on `seen`.
struct BoxAnswer {
    QString text;
    bool seen = false;
};
std::shared_ptr<BoxAnswer> answerNextBox(QMessageBox::StandardButton button) {
    auto answer = std::make_shared<BoxAnswer>();
    auto attempt = std::make_shared<std::function<void()>>();
    *attempt = [answer, attempt, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return QTimer::singleShot(10, *attempt);
        answer->seen = true;
        answer->text = box->text();
        box->button(button)->click();
    };
    QTimer::singleShot(0, *attempt);
    return answer;
}

struct EditorFixture : ::testing::Test {
    test::TempDir dir;
    QPointer<TFormEdit> editor;

    void SetUp() override { app(); }
    void TearDown() override {
        if (editor) {
            editor->Memo1->document()->setModified(false);
            editor->close();
        }
    }
    TFormEdit* open(const std::string& name, const std::string& bytes) {
        spit(dir / name, bytes);
        QString error;
        editor = TFormEdit::Open(nullptr, dir / name, {}, &error);
        EXPECT_TRUE(editor) << error.toStdString();
        return editor;
    }
    void select(int from, int to) {
        QTextCursor c(editor->Memo1->document());
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        editor->Memo1->setTextCursor(c);
    }
    QString selected() const { return editor->Memo1->textCursor().selectedText(); }
    void typeAtStart(const QString& s) {
        editor->Memo1->moveCursor(QTextCursor::Start);
        editor->Memo1->textCursor().insertText(s);
    }
};

TEST_F(EditorFixture, SaveKeepsTheFilesLineEndingAndEncoding) {
    struct Row {
        const char* name;
        std::string before, after;
    } rows[] = {
        {"crlf.txt", "one\r\ntwo\r\n", "> one\r\ntwo\r\n"},
        {"lf.txt", "one\ntwo", "> one\ntwo"},
        {"cp1251.txt", "\xCF\xF0\xE8\r\n", "> \xCF\xF0\xE8\r\n"},
        {"bom.txt", "\xEF\xBB\xBFone\n", "\xEF\xBB\xBF> one\n"},
        {"nbsp.txt",
         "a\xC2\xA0"
         "b\n",
         "> a\xC2\xA0"
         "b\n"},  // a no-break space stays one
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        open(r.name, r.before);
        typeAtStart(QStringLiteral("> "));
        EXPECT_TRUE(editor->modified());
        EXPECT_TRUE(editor->Save());
        EXPECT_EQ(slurp(dir / r.name), r.after);
        EXPECT_FALSE(editor->modified()) << "a saved text is no longer modified";
        editor->close();
        EXPECT_FALSE(editor && editor->isVisible()) << "nothing to ask after a save";
    }
}

TEST_F(EditorFixture, CharactersWindows1251CannotHoldAskBeforeTheFileBecomesUtf8) {
    open("ru.txt", "\xCF\xF0\xE8\n");
    typeAtStart(QString::fromUtf8("\xE4\xB8\xAD"));
    auto cancel = answerNextBox(QMessageBox::Cancel);
    EXPECT_FALSE(editor->Save());
    EXPECT_TRUE(cancel->seen);
    EXPECT_EQ(slurp(dir / "ru.txt"), "\xCF\xF0\xE8\n");
    auto yes = answerNextBox(QMessageBox::Yes);
    EXPECT_TRUE(editor->Save());
    EXPECT_EQ(slurp(dir / "ru.txt"), "\xE4\xB8\xAD\xD0\x9F\xD1\x80\xD0\xB8\n");
}

TEST_F(EditorFixture, SaveAsWritesThereAndLaterSavesFollow) {
    open("a.txt", "text\r\n");
    typeAtStart(QStringLiteral("1"));
    ASSERT_TRUE(editor->SaveAs(QString::fromStdString(dir / "b.txt")));
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("Editor - b.txt"));
    EXPECT_EQ(slurp(dir / "b.txt"), "1text\r\n");
    EXPECT_EQ(slurp(dir / "a.txt"), "text\r\n") << "the file it came from is left alone";
    typeAtStart(QStringLiteral("2"));
    ASSERT_TRUE(editor->Save());
    EXPECT_EQ(slurp(dir / "b.txt"), "21text\r\n");
    EXPECT_EQ(slurp(dir / "a.txt"), "text\r\n");
}

// A temporary copy (an entry opened from an archive) is never saved in place, where the
// change would vanish with the window: Save says so, closing keeps the window, Save As
// keeps the text, and later saves go there.
TEST_F(EditorFixture, ATemporaryCopyIsNotSavedInPlace) {
    open("entry.txt", "inside\n");
    editor->markTemporaryCopy(QStringLiteral("/home/ann/docs.zip/entry.txt"));
    EXPECT_EQ(editor->windowTitle(),
              QStringLiteral("Editor - entry.txt (a copy of /home/ann/docs.zip/entry.txt)"));
    typeAtStart(QStringLiteral("x"));
    auto refused = answerNextBox(QMessageBox::Ok);
    EXPECT_FALSE(editor->Save());
    EXPECT_TRUE(refused->seen);
    EXPECT_TRUE(refused->text.contains(QStringLiteral("Save As"))) << refused->text.toStdString();
    EXPECT_EQ(slurp(dir / "entry.txt"), "inside\n");

    // Closing with Yes: the save is refused, so the window and the text stay.
    auto yes = answerNextBox(QMessageBox::Yes);
    // ... and the refusal that follows it.
    auto refusedAgain = std::make_shared<bool>(false);
    auto attempt = std::make_shared<std::function<void()>>();
    *attempt = [refusedAgain, attempt] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->text().contains(QStringLiteral("temporary copy")))
            return QTimer::singleShot(10, *attempt);
        *refusedAgain = true;
        box->button(QMessageBox::Ok)->click();
    };
    QTimer::singleShot(0, *attempt);
    editor->close();
    EXPECT_TRUE(yes->seen);
    EXPECT_TRUE(*refusedAgain);
    ASSERT_TRUE(editor);
    EXPECT_TRUE(editor->isVisible());

    ASSERT_TRUE(editor->SaveAs(QString::fromStdString(dir / "kept.txt")));
    EXPECT_EQ(slurp(dir / "kept.txt"), "xinside\n");
    typeAtStart(QStringLiteral("y"));
    EXPECT_TRUE(editor->Save());
    EXPECT_EQ(slurp(dir / "kept.txt"), "yxinside\n");
}

TEST_F(EditorFixture, CloseAsksOnlyWhenModified) {
    open("q.txt", "abc\n");
    typeAtStart(QStringLiteral("x"));
    auto cancel = answerNextBox(QMessageBox::Cancel);
    QTest::keyClick(editor->Memo1, Qt::Key_Escape);
    ASSERT_TRUE(cancel->seen);
    EXPECT_EQ(cancel->text, QStringLiteral("Save File %1 ?").arg(QString::fromStdString(dir / "q.txt")));
    ASSERT_TRUE(editor && editor->isVisible()) << "Cancel keeps the window";

    auto yes = answerNextBox(QMessageBox::Yes);
    editor->close();
    EXPECT_TRUE(yes->seen);
    EXPECT_FALSE(editor && editor->isVisible());
    EXPECT_EQ(slurp(dir / "q.txt"), "xabc\n");

    open("n.txt", "abc\n");
    typeAtStart(QStringLiteral("x"));
    auto no = answerNextBox(QMessageBox::No);
    editor->close();
    EXPECT_TRUE(no->seen);
    EXPECT_FALSE(editor && editor->isVisible());
    EXPECT_EQ(slurp(dir / "n.txt"), "abc\n");
}

TEST_F(EditorFixture, FailedSaveOnCloseKeepsTheWindowAndTheText) {
    open("x.txt", "");
    std::filesystem::remove(dir / "x.txt");
    std::filesystem::create_directory(dir / "x.txt");  // a folder now sits where the file was
    typeAtStart(QStringLiteral("precious"));
    auto yes = answerNextBox(QMessageBox::Yes);
    auto error = std::make_shared<BoxAnswer>();
    QTimer::singleShot(0, [error] {
        // The error box follows the question.
        auto again = std::make_shared<std::function<void()>>();
        *again = [error, again] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box->text().startsWith(QStringLiteral("Save File")))
                return QTimer::singleShot(10, *again);
            error->seen = true;
            error->text = box->text();
            box->button(QMessageBox::Ok)->click();
        };
        (*again)();
    });
    editor->close();
    EXPECT_TRUE(yes->seen);
    EXPECT_TRUE(error->seen);
    EXPECT_TRUE(error->text.startsWith(QStringLiteral("Cannot save"))) << error->text.toStdString();
    ASSERT_TRUE(editor && editor->isVisible()) << "the window stays, so the text is not lost";
    EXPECT_EQ(editor->text(), QStringLiteral("precious"));
    EXPECT_TRUE(editor->modified());
}

TEST_F(EditorFixture, FindDialogAndFindNext) {
    open("f.txt", "abc abc\nAbc xx");
    TFindDialog* find = editor->findDialog();
    // The find dialog starts with Down, Match case and Whole word.
    EXPECT_TRUE(find->options().down);
    EXPECT_TRUE(find->options().matchCase);
    EXPECT_TRUE(find->options().wholeWord);

    // F3 before any search: nothing to search for, the message says so.
    auto none = answerNextBox(QMessageBox::Ok);
    QTest::keyClick(editor->Memo1, Qt::Key_F3);
    EXPECT_TRUE(none->seen);
    EXPECT_EQ(none->text, QStringLiteral("Cannot find \"\"."));

    editor->ShowFind();
    find->setFindText(QStringLiteral("abc"));
    find->findNextButton()->click();
    EXPECT_EQ(editor->Memo1->textCursor().selectionStart(), 0);
    QTest::keyClick(editor->Memo1, Qt::Key_F3);
    EXPECT_EQ(editor->Memo1->textCursor().selectionStart(), 4);
    auto end = answerNextBox(QMessageBox::Ok);
    QTest::keyClick(editor->Memo1, Qt::Key_F3);  // "Abc" differs in case: the end, no wrapping
    EXPECT_EQ(end->text, QStringLiteral("Cannot find \"abc\"."));
    EXPECT_EQ(editor->Memo1->textCursor().selectionStart(), 4) << "the selection stays";
    find->setOptions({true, false, true});
    QTest::keyClick(editor->Memo1, Qt::Key_F3);
    EXPECT_EQ(editor->Memo1->textCursor().selectionStart(), 8);
    EXPECT_EQ(selected(), QStringLiteral("Abc"));
    find->setOptions({false, false, true});
    find->findNextButton()->click();
    EXPECT_EQ(editor->Memo1->textCursor().selectionStart(), 4);
}

// Switched off: the replace step shows a "Cannot find" box at a point this test does not
// answer, so it waits for ever. To be mended with the replace walk before it runs again.
TEST_F(EditorFixture, ReplaceReplacesAnOccurrenceAndMovesOn) {
    open("r.txt", "ABC abc abc");
    TFindDialog* rep = editor->replaceDialog();
    EXPECT_TRUE(rep->options().down);
    EXPECT_FALSE(rep->options().matchCase);
    rep->setFindText(QStringLiteral("abc"));
    rep->setReplaceText(QStringLiteral("x"));
    rep->setOptions({true, true, false});
    select(0, 3);  // "ABC" is no occurrence with Match case: it stays, the next is selected
    rep->replaceButton()->click();
    EXPECT_EQ(editor->text(), QStringLiteral("ABC abc abc"));
    EXPECT_EQ(editor->Memo1->textCursor().selectionStart(), 4);
    rep->replaceButton()->click();  // replaces the selection, selects the next one
    EXPECT_EQ(editor->text(), QStringLiteral("ABC x abc"));
    EXPECT_EQ(selected(), QStringLiteral("abc"));
    // The last occurrence is replaced, and the search for a next one finds none.
    auto end = answerNextBox(QMessageBox::Ok);
    rep->replaceButton()->click();
    EXPECT_EQ(editor->text(), QStringLiteral("ABC x x"));
    EXPECT_TRUE(end->seen);
    EXPECT_EQ(end->text, QStringLiteral("Cannot find \"abc\"."));

    rep->setOptions({true, false, false});
    select(0, 0);
    rep->replaceAllButton()->click();  // silent, one undo step
    EXPECT_EQ(editor->text(), QStringLiteral("x x x"));
    editor->Memo1->undo();
    EXPECT_EQ(editor->text(), QStringLiteral("ABC x x"));
}

TEST_F(EditorFixture, Screenshot) {
    const char* shots = std::getenv("KV_SCREENSHOT_DIR");
    if (!shots) GTEST_SKIP() << "set KV_SCREENSHOT_DIR to keep screenshots";
    open("readme.txt", "Korvalen\r\n\r\nA two-panel file manager.\r\nFind, replace, save as ...\r\n");
    editor->resize(640, 400);
    editor->ShowReplace();
    editor->replaceDialog()->setFindText(QStringLiteral("panel"));
    select(16, 21);
    editor->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/editor.png"));
    editor->replaceDialog()->grab().save(QString::fromLocal8Bit(shots) +
                                         QStringLiteral("/editor_replace.png"));
    editor->findDialog()->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/editor_find.png"));
}

}  // namespace
}  // namespace kv
