// The file commands on the real main window: F5, F6, Alt+F6, F7, F8, Shift+F4 and Ctrl+A,
// their dialogs, the conflict question and what ends up on disk.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QRegularExpression>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "fileops/file_forms.h"
#include "fileops/question_dialogs.h"
#include "main/main_window_fixture.h"

using namespace kvtest;

namespace {

class FileCommandsTest : public MainWindowTest {
protected:
    // The window with the right panel in work/beta, the left one active in work.
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
    void select(kv::TFPanel* p, std::initializer_list<const char*> names) {
        for (const char* n : names) p->FL.setSelected(p->FL.findByName(n), true);
    }
    template <class D>
    void answer(std::function<void(D*)> f) {
        onNextDialog<D>(std::move(f));
    }
    static void ok(QDialog* d) { d->findChild<QPushButton*>(QStringLiteral("Button1"))->click(); }
};

}  // namespace

TEST_F(FileCommandsTest, F5CopiesTheEntryUnderTheCursorIntoTheOtherPanelsFolder) {
    auto& f = open();
    cursorTo(f.LeftPanel, "alpha");
    QString from, to;
    bool fromEnabled = false;
    answer<kv::TFormCopy>([&](kv::TFormCopy* d) {
        from = d->Edit1->text();
        fromEnabled = d->Edit1->isEnabled();
        to = d->Edit2->text();
        EXPECT_TRUE(d->GB2->isHidden());
        ok(d);
    });
    key(Qt::Key_F5);
    EXPECT_EQ(from.toStdString(), (work / "alpha").string());
    EXPECT_TRUE(fromEnabled);
    EXPECT_EQ(to.toStdString(), (work / "beta").string());
    EXPECT_EQ(readFile(work / "beta/alpha/inner.txt"), "inner\n");
    EXPECT_GT(f.RightPanel->FL.findByName("alpha"), 0) << "the other panel was re-read";
}

TEST_F(FileCommandsTest, F5WithASelectionCopiesEachEntryAndAsksAboutAnExistingTarget) {
    auto& f = open();
    writeFile(work / "beta/notes.txt", "old notes");
    select(f.LeftPanel, {"notes.txt", "data.bin", "alpha"});
    QString from;
    answer<kv::TFormCopy>([&](kv::TFormCopy* d) {
        from = d->Edit1->text();
        EXPECT_FALSE(d->Edit1->isEnabled());
        ok(d);
    });
    QString question;
    answer<kv::TFormConflict>([&](kv::TFormConflict* d) {
        question = d->Question->text();
        EXPECT_NE(d->TargetFacts->text().indexOf(QStringLiteral("9 bytes")), -1)
            << d->TargetFacts->text().toStdString();
        d->SkipBtn->click();
    });
    key(Qt::Key_F5);
    EXPECT_EQ(from, QStringLiteral("Copy 3 file(s)"));
    EXPECT_NE(question.indexOf(QStringLiteral("notes.txt")), -1);
    EXPECT_EQ(readFile(work / "beta/notes.txt"), "old notes");
    EXPECT_EQ(readFile(work / "beta/data.bin").size(), 1536u);
    EXPECT_TRUE(fs::exists(work / "beta/alpha/inner.txt"));
    EXPECT_EQ(f.LeftPanel->FL.SelectedCount, 0) << "the refresh drops the selection";
}

// One command is one job: an "... all" answer holds for every entry of the command.
TEST_F(FileCommandsTest, AnAllAnswerHoldsForEveryEntryOfTheCommand) {
    struct Row {
        const char* name;
        int key;
        bool overwriteAll;
    };
    for (const Row& row :
         {Row{"F5, Overwrite all", Qt::Key_F5, true}, Row{"F5, Skip all", Qt::Key_F5, false},
          Row{"F6, Overwrite all", Qt::Key_F6, true}, Row{"F6, Skip all", Qt::Key_F6, false}}) {
        SCOPED_TRACE(row.name);
        auto& f = open();
        const char* names[] = {"one.txt", "two.txt", "three.txt"};
        for (const char* n : names) {
            writeFile(work / n, std::string("new ") + n);
            writeFile(work / "beta" / n, "old");
        }
        f.LeftPanel->RefreshDir();
        select(f.LeftPanel, {"one.txt", "two.txt", "three.txt"});
        if (row.key == Qt::Key_F5)
            answer<kv::TFormCopy>([](kv::TFormCopy* d) { ok(d); });
        else
            answer<kv::TFormRenMove>([](kv::TFormRenMove* d) { ok(d); });
        int asked = 0;
        answer<kv::TFormConflict>([&](kv::TFormConflict* d) {
            ++asked;
            (row.overwriteAll ? d->OverwriteAllBtn : d->SkipAllBtn)->click();
        });
        key(row.key);
        EXPECT_EQ(asked, 1);
        for (const char* n : names) {
            EXPECT_EQ(readFile(work / "beta" / n), row.overwriteAll ? std::string("new ") + n : "old") << n;
            // A move keeps the sources it skipped.
            EXPECT_EQ(fs::exists(work / n), row.key == Qt::Key_F5 || !row.overwriteAll) << n;
        }
        form.reset();
        for (const char* n : names) {
            fs::remove(work / n);
            fs::remove(work / "beta" / n);
        }
    }
}

// Whatever stands in the target field at OK is the target: the field has the focus with its
// text selected, so typing replaces the proposed folder.
TEST_F(FileCommandsTest, ATypedTargetIsWhereTheEntriesGo) {
    auto& f = open();
    cursorTo(f.LeftPanel, "notes.txt");
    answer<kv::TFormCopy>([](kv::TFormCopy* d) {
        QWidget* field = d->focusWidget();
        EXPECT_EQ(field, d->Edit2);
        EXPECT_EQ(d->Edit2->selectedText(), d->Edit2->text());
        QTest::keyClicks(field, QStringLiteral("copied"));
        QTest::keyClick(field, Qt::Key_Return);
    });
    key(Qt::Key_F5);  // one entry onto a missing name takes that name
    EXPECT_EQ(readFile(work / "copied"), "notes\n");
    EXPECT_FALSE(fs::exists(work / "beta/notes.txt"));

    fs::create_directories(work / "gamma");
    f.LeftPanel->RefreshDir();
    cursorTo(f.LeftPanel, "data.bin");
    answer<kv::TFormRenMove>([](kv::TFormRenMove* d) {
        QWidget* field = d->focusWidget();
        EXPECT_TRUE(field == d->Edit1 || field == d->Edit1->lineEdit());
        EXPECT_EQ(d->Edit1->lineEdit()->selectedText(), d->Edit1->currentText());
        QTest::keyClicks(field, QStringLiteral("gamma"));
        QTest::keyClick(field, Qt::Key_Return);
    });
    key(Qt::Key_F6);
    EXPECT_EQ(readFile(work / "gamma/data.bin").size(), 1536u);
    EXPECT_FALSE(fs::exists(work / "data.bin"));
    EXPECT_FALSE(fs::exists(work / "beta/data.bin"));
}

TEST_F(FileCommandsTest, CancelEndsTheWholeMultiEntryCommand) {
    auto& f = open();
    for (const char* n : {"notes.txt", "data.bin"}) writeFile(work / "beta" / n, "old");
    writeFile(work / "zzz.txt", "last");
    f.LeftPanel->RefreshDir();
    select(f.LeftPanel, {"data.bin", "notes.txt", "zzz.txt"});
    answer<kv::TFormCopy>([](kv::TFormCopy* d) { ok(d); });
    answer<kv::TFormConflict>([](kv::TFormConflict* d) { d->CancelBtn->click(); });
    key(Qt::Key_F5);
    EXPECT_EQ(readFile(work / "beta/data.bin"), "old");
    EXPECT_EQ(readFile(work / "beta/notes.txt"), "old") << "no second question, no further entry";
    EXPECT_FALSE(fs::exists(work / "beta/zzz.txt"));
}

TEST_F(FileCommandsTest, OnDotDotWithNothingSelectedTheCommandsDoNothing) {
    auto& f = open();
    cursorTo(f.LeftPanel, "..");
    // The watchdog fails the test on any dialog.
    for (int k : {Qt::Key_F5, Qt::Key_F6, Qt::Key_F8}) key(k);
    EXPECT_TRUE(fs::exists(work / "alpha"));
    EXPECT_TRUE(fs::is_empty(work / "beta"));
}

TEST_F(FileCommandsTest, SeveralEntriesOntoAMissingTargetMakeTheFolderAfterAsking) {
    auto& f = open();
    select(f.LeftPanel, {"notes.txt", "data.bin"});
    answer<kv::TFormRenMove>([](kv::TFormRenMove* d) {
        EXPECT_EQ(d->Label1->text(), QStringLiteral("Rename/Move 2 file(s) to"));
        d->Edit1->setEditText(QStringLiteral("newdir"));  // relative: from the active panel's folder
        ok(d);
    });
    QString asked;
    answerNextMessageBox(QMessageBox::Yes, &asked);
    key(Qt::Key_F6);
    EXPECT_NE(asked.indexOf(QStringLiteral("does not exist")), -1) << asked.toStdString();
    EXPECT_EQ(readFile(work / "newdir/notes.txt"), "notes\n");
    EXPECT_EQ(readFile(work / "newdir/data.bin").size(), 1536u);
    EXPECT_FALSE(fs::exists(work / "notes.txt"));
}

TEST_F(FileCommandsTest, F6AsksBeforeReplacingAndAltF6RenamesInPlace) {
    auto& f = open();
    writeFile(work / "beta/notes.txt", "old");
    cursorTo(f.LeftPanel, "notes.txt");
    answer<kv::TFormRenMove>([&](kv::TFormRenMove* d) {
        EXPECT_EQ(d->Label1->text().toStdString(), "Rename/Move <" + (work / "notes.txt").string() + "> to");
        EXPECT_EQ(d->Edit1->currentText().toStdString(), (work / "beta").string());
        ok(d);
    });
    answer<kv::TFormConflict>([](kv::TFormConflict* d) { d->OverwriteBtn->click(); });
    key(Qt::Key_F6);
    EXPECT_EQ(readFile(work / "beta/notes.txt"), "notes\n");
    EXPECT_FALSE(fs::exists(work / "notes.txt"));

    cursorTo(f.LeftPanel, "data.bin");
    QString proposed;
    answer<kv::TFormRenMove>([&](kv::TFormRenMove* d) {
        proposed = d->Edit1->currentText();
        d->Edit1->setEditText(QStringLiteral("renamed.bin"));
        ok(d);
    });
    key(Qt::Key_F6, Qt::AltModifier);
    EXPECT_EQ(proposed, QStringLiteral("data.bin"));
    EXPECT_EQ(readFile(work / "renamed.bin").size(), 1536u);
    EXPECT_FALSE(fs::exists(work / "data.bin"));
}

TEST_F(FileCommandsTest, F7MakesTheFolderWithItsParentsAndNamesTheReasonOfAFailure) {
    auto& f = open();
    answer<kv::TFormNewDir>([](kv::TFormNewDir* d) {
        ok(d);  // empty: stays open
        EXPECT_TRUE(d->isVisible());
        d->Edit1->setEditText(QStringLiteral("made"));
        ok(d);
    });
    key(Qt::Key_F7);
    EXPECT_TRUE(fs::is_directory(work / "made"));
    EXPECT_EQ(f.LeftPanel->CurFile, "made");

    answer<kv::TFormNewDir>([](kv::TFormNewDir* d) {
        d->Edit1->setEditText(QStringLiteral("x/y/z"));
        ok(d);
    });
    key(Qt::Key_F7);
    EXPECT_TRUE(fs::is_directory(work / "x/y/z"));
    EXPECT_EQ(f.LeftPanel->CurFile, "x");

    struct Row {
        const char* typed;
        const char* reason;
    };
    for (const Row& row : {Row{"made", "File exists"}, Row{"notes.txt/inner", "Not a directory"}}) {
        answer<kv::TFormNewDir>([&](kv::TFormNewDir* d) {
            d->Edit1->setEditText(QString::fromLatin1(row.typed));
            ok(d);
        });
        QString error;
        answerNextMessageBox(QMessageBox::Ok, &error);
        key(Qt::Key_F7);
        EXPECT_EQ(error, QStringLiteral("Cannot create the folder <%1>\n%2").arg(row.typed, row.reason));
    }
}

TEST_F(FileCommandsTest, F8DeletesForGoodOrIntoTheTrashByDelToRecycle) {
    for (bool recycle : {false, true}) {
        SCOPED_TRACE(recycle ? "DelToRecycle 1" : "DelToRecycle 0");
        auto& f = open();
        f.cfg().Main.DelToRecycle = recycle;
        fs::remove_all(root / "data");
        cursorTo(f.LeftPanel, "notes.txt");
        QString question, object;
        answer<kv::TFormDelete>([&](kv::TFormDelete* d) {
            question = d->Label1->text();
            object = d->Label2->text();
            ok(d);
        });
        key(Qt::Key_F8);
        EXPECT_EQ(question, QStringLiteral("Do you wish to delete the file"));
        EXPECT_EQ(object, QStringLiteral("<notes.txt>"));
        EXPECT_FALSE(fs::exists(work / "notes.txt"));
        EXPECT_EQ(fs::exists(root / "data/Trash/files/notes.txt"), recycle);
        EXPECT_EQ(fs::exists(root / "data/Trash/info/notes.txt.trashinfo"), recycle);
        EXPECT_EQ(f.LeftPanel->FL.findByName("notes.txt"), 0);
        f.cfg().Main.DelToRecycle = false;
        form.reset();
        writeFile(work / "notes.txt", "notes\n");
    }
}

// A name with a direction override or a zero-width space: the question shows what it hides,
// and the answer still deletes that very file.
TEST_F(FileCommandsTest, F8AsksAboutANameThatHidesItsExtensionWithTheHiddenPartShown) {
    const std::string spoof = "invoice\u202Egpj.exe";
    writeFile(work / spoof, "x");
    auto& f = open();
    cursorTo(f.LeftPanel, spoof);
    QString object;
    answer<kv::TFormDelete>([&](kv::TFormDelete* d) {
        object = d->Label2->text();
        ok(d);
    });
    key(Qt::Key_F8);
    EXPECT_EQ(object, QString::fromUtf8("<invoice<U+202E>gpj.exe>"));
    EXPECT_FALSE(fs::exists(work / spoof));
}

TEST_F(FileCommandsTest, F8OnAFolderWithTwoFilesSelectedAsksAboutTheFolderAndDeletesTheFiles) {
    auto& f = open();
    cursorTo(f.LeftPanel, "alpha");
    select(f.LeftPanel, {"notes.txt", "data.bin"});
    QString question, object;
    answer<kv::TFormDelete>([&](kv::TFormDelete* d) {
        question = d->Label1->text();
        object = d->Label2->text();
        ok(d);
    });
    key(Qt::Key_F8);
    EXPECT_EQ(question, QStringLiteral("Do you wish to delete the folder"));
    EXPECT_EQ(object, QStringLiteral("2 file(s)"));
    EXPECT_FALSE(fs::exists(work / "notes.txt"));
    EXPECT_FALSE(fs::exists(work / "data.bin"));
    EXPECT_TRUE(fs::exists(work / "alpha/inner.txt"));
}

TEST_F(FileCommandsTest, ShiftF4MakesAnEmptyFileAndRefusesAnExistingName) {
    auto& f = open();
    answer<kv::TFormNewFile>([](kv::TFormNewFile* d) {
        d->Edit1->setText(QStringLiteral("fresh.txt"));
        ok(d);
    });
    key(Qt::Key_F4, Qt::ShiftModifier);
    ASSERT_TRUE(fs::exists(work / "fresh.txt"));
    EXPECT_EQ(fs::file_size(work / "fresh.txt"), 0u);
    EXPECT_EQ(f.LeftPanel->CurFile, "fresh.txt");

    answer<kv::TFormNewFile>([](kv::TFormNewFile* d) {
        d->Edit1->setText(QStringLiteral("notes.txt"));
        ok(d);
    });
    QString error;
    answerNextMessageBox(QMessageBox::Ok, &error);
    key(Qt::Key_F4, Qt::ShiftModifier);
    EXPECT_EQ(error, QStringLiteral("Cannot create this file!"));
    EXPECT_EQ(readFile(work / "notes.txt"), "notes\n");

    // A failure to create is no longer silent.
    answer<kv::TFormNewFile>([](kv::TFormNewFile* d) {
        d->Edit1->setText(QStringLiteral("missing/inner.txt"));
        ok(d);
    });
    answerNextMessageBox(QMessageBox::Ok, &error);
    key(Qt::Key_F4, Qt::ShiftModifier);
    EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot create the file <missing/inner.txt>")))
        << error.toStdString();
}

TEST_F(FileCommandsTest, CtrlAShowsTheAttributesAndReadOnlyClearsTheWriteBits) {
    auto& f = open();
    ::chmod((work / "notes.txt").c_str(), 0664);
    cursorTo(f.LeftPanel, "notes.txt");
    answer<kv::TFormAttrib>([&](kv::TFormAttrib* d) {
        EXPECT_EQ(d->FileDirName->text().toStdString(), (work / "notes.txt").string());
        EXPECT_EQ(d->FilePathName->text().toStdString(), work.string());
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4}, \\d\\d:\\d\\d$"))
                        .match(d->ChangeDate->text())
                        .hasMatch())
            << d->ChangeDate->text().toStdString();
        EXPECT_FALSE(d->ReadOnly->isChecked());
        EXPECT_TRUE(d->Archive->isChecked());
        EXPECT_FALSE(d->Hidden->isChecked());
        EXPECT_FALSE(d->Hidden->isEnabled());
        d->ReadOnly->click();
        d->OKBtn->click();
    });
    key(Qt::Key_A, Qt::ControlModifier);
    struct stat st {};
    ASSERT_EQ(::stat((work / "notes.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
}

// Ctrl+A on a selection works on every selected entry: boxes where they differ show a third
// state and change nothing; what is changed changes on all of them.
TEST_F(FileCommandsTest, CtrlAOnASelectionChangesEverySelectedEntry) {
    auto& f = open();
    const struct {
        const char* name;
        mode_t mode;
    } files[] = {{"one.txt", 0644}, {"two.txt", 0600}, {"three.txt", 0664}};
    for (const auto& file : files) {
        writeFile(work / file.name, file.name);
        ::chmod((work / file.name).c_str(), file.mode);
    }
    f.LeftPanel->RefreshDir();
    select(f.LeftPanel, {"one.txt", "two.txt", "three.txt"});
    const bool super = ::geteuid() == 0;
    const QDateTime when(QDate(2001, 2, 3), QTime(4, 5, 6));
    answer<kv::TFormAttrib>([&](kv::TFormAttrib* d) {
        EXPECT_EQ(d->FileDirName->text(), QStringLiteral("3 entries"));
        EXPECT_EQ(d->Permission[0]->checkState(), Qt::Checked);
        EXPECT_EQ(d->Permission[3]->checkState(), Qt::PartiallyChecked);
        EXPECT_EQ(d->Permission[4]->checkState(), Qt::PartiallyChecked);
        EXPECT_EQ(d->Permission[5]->checkState(), Qt::Unchecked);
        EXPECT_EQ(d->Octal->text(), QString()) << "the modes differ";
        d->Permission[6]->setCheckState(Qt::Checked);  // others may read
        d->Permission[0]->setCheckState(Qt::Checked);
        EXPECT_EQ(d->Owner->isEnabled(), super);
        if (super) {
            d->Owner->setEditText(QStringLiteral("nobody"));
            d->Group->setEditText(QStringLiteral("daemon"));
        }
        d->ModTime->setDateTime(when);
        d->OKBtn->click();
    });
    key(Qt::Key_A, Qt::ControlModifier);
    const mode_t expected[] = {0644, 0604, 0664};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(files[i].name);
        struct stat st {};
        ASSERT_EQ(::stat((work / files[i].name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, expected[i]) << std::oct << (st.st_mode & 07777);
        EXPECT_EQ(st.st_mtim.tv_sec, when.toSecsSinceEpoch());
        if (super) {
            EXPECT_EQ(st.st_uid, ::getpwnam("nobody")->pw_uid);
            EXPECT_EQ(st.st_gid, ::getgrnam("daemon")->gr_gid);
        }
    }

    // A typed octal mode sets every bit, the same on all.
    select(f.LeftPanel, {"one.txt", "two.txt", "three.txt"});
    answer<kv::TFormAttrib>([&](kv::TFormAttrib* d) {
        d->Octal->selectAll();
        QTest::keyClicks(d->Octal, QStringLiteral("0750"));
        EXPECT_EQ(d->Permission[6]->checkState(), Qt::Unchecked);
        EXPECT_EQ(d->Permission[3]->checkState(), Qt::Checked);
        d->OKBtn->click();
    });
    key(Qt::Key_A, Qt::ControlModifier);
    for (const auto& file : files) {
        struct stat st {};
        ASSERT_EQ(::stat((work / file.name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0750u) << file.name;
    }
}
