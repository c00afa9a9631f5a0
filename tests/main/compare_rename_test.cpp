// Compare folders and multi-rename on the real main window: what gets selected, what F5
// copies after a compare, the rename preview, the rename and its undo.
#include <sys/stat.h>
#include <utime.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include <set>

#include "archive/zip/zip_writer.h"
#include "fileops/file_forms.h"
#include "fileops/multi_rename_form.h"
#include "fileops/question_dialogs.h"
#include "main/main_window_fixture.h"

using namespace kvtest;

namespace {

class CompareRenameTest : public MainWindowTest {
protected:
    void writeAt(const fs::path& p, const std::string& text, std::int64_t mtime) {
        writeFile(p, text);
        struct utimbuf t {
            static_cast<time_t>(mtime), static_cast<time_t>(mtime)
        };
        ASSERT_EQ(::utime(p.c_str(), &t), 0);
    }
    static std::set<std::string> selected(const kv::TFPanel* p) {
        std::set<std::string> out;
        for (int i = 1; i <= p->FL.FilesCount(); ++i)
            if (p->FL.selected(i)) out.insert(p->FL.entry(i).FileName);
        return out;
    }
    static std::set<std::string> namesIn(const fs::path& dir) {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
        return out;
    }
    // Runs the compare from its key and answers the summary; the summary's text.
    QString compare() {
        QString text;
        answerNextMessageBox(QMessageBox::Ok, &text);
        key(Qt::Key_G, Qt::ControlModifier);
        return text;
    }
    static void ok(QDialog* d) { d->findChild<QPushButton*>(QStringLiteral("Button1"))->click(); }
};

}  // namespace

TEST_F(CompareRenameTest, CompareSelectsExactlyTheDifferingEntriesAndF5CopiesThemAcross) {
    const std::int64_t t = 1'700'000'000;
    const fs::path L = work / "L", R = work / "R";
    writeAt(L / "only-left.txt", "l", t);
    writeAt(R / "only-right.txt", "r", t);
    writeAt(L / "newer-left.txt", "new left", t + 100);
    writeAt(R / "newer-left.txt", "old", t);
    writeAt(L / "newer-right.txt", "old", t);
    writeAt(R / "newer-right.txt", "new right", t + 100);
    writeAt(L / "same.txt", "same", t);
    writeAt(R / "same.txt", "same", t);
    writeAt(L / "fat.txt", "fat", t);  // a copy on FAT: one second off
    writeAt(R / "fat.txt", "fat", t + 1);
    writeFile(L / "both" / "a", "a");
    writeFile(R / "both" / "b", "b");
    writeFile(L / "left-folder" / "x", "x");
    auto& f = start();
    f.changeFolder(f.LeftPanel, L.string());
    f.changeFolder(f.RightPanel, R.string());

    const QString summary = compare();
    EXPECT_EQ(selected(f.LeftPanel),
              (std::set<std::string>{"only-left.txt", "newer-left.txt", "left-folder"}));
    EXPECT_EQ(selected(f.RightPanel), (std::set<std::string>{"only-right.txt", "newer-right.txt"}));
    EXPECT_TRUE(summary.startsWith(QStringLiteral("Left: 3 to copy, right: 2 to copy")))
        << summary.toStdString();

    // F5 on the left: its three entries go right, replacing the older file there.
    onNextDialog<kv::TFormCopy>([](kv::TFormCopy* d) { ok(d); });
    onNextDialog<kv::TFormConflict>([](kv::TFormConflict* d) { d->OverwriteBtn->click(); });
    key(Qt::Key_F5);
    EXPECT_EQ(readFile(R / "newer-left.txt"), "new left");
    EXPECT_EQ(readFile(R / "left-folder" / "x"), "x");
    EXPECT_TRUE(fs::exists(R / "only-left.txt"));
    EXPECT_EQ(selected(f.RightPanel), (std::set<std::string>{"only-right.txt", "newer-right.txt"}))
        << "the other panel keeps its selection through the copy";

    // F5 on the right copies the right's selection to the left.
    key(Qt::Key_Tab);
    ASSERT_EQ(f.activePanel(), f.RightPanel);
    onNextDialog<kv::TFormCopy>([](kv::TFormCopy* d) { ok(d); });
    onNextDialog<kv::TFormConflict>([](kv::TFormConflict* d) { d->OverwriteBtn->click(); });
    key(Qt::Key_F5);
    EXPECT_EQ(readFile(L / "newer-right.txt"), "new right");
    EXPECT_EQ(readFile(L / "only-right.txt"), "r");

    // Now the two folders agree.
    EXPECT_TRUE(compare().startsWith(QStringLiteral("Left: 0 to copy, right: 0 to copy")));
    EXPECT_TRUE(selected(f.LeftPanel).empty());
    EXPECT_TRUE(selected(f.RightPanel).empty());
}

TEST_F(CompareRenameTest, CompareWithContentsTellsEqualSizedFilesApart) {
    const std::int64_t t = 1'700'000'000;
    writeAt(work / "L" / "a.bin", "1234", t);
    writeAt(work / "R" / "a.bin", "1235", t);
    auto& f = start();
    f.changeFolder(f.LeftPanel, (work / "L").string());
    f.changeFolder(f.RightPanel, (work / "R").string());
    compare();
    EXPECT_TRUE(selected(f.LeftPanel).empty()) << "same size and time without contents";
    answerNextMessageBox(QMessageBox::Ok);
    key(Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(selected(f.LeftPanel), std::set<std::string>{"a.bin"});
    EXPECT_EQ(selected(f.RightPanel), std::set<std::string>{"a.bin"});
}

TEST_F(CompareRenameTest, MultiRenamePreviewIsWhatTheRenameDoesAndUndoPutsItBack) {
    const fs::path dir = work / "pics";
    for (const char* n : {"b.JPG", "a.JPG", "c.JPG", "pic_02.jpg.keep"}) writeFile(dir / n, n);
    writeFile(dir / "other.txt", "o");
    auto& f = start();
    f.changeFolder(f.LeftPanel, dir.string());
    for (const char* n : {"a.JPG", "b.JPG", "c.JPG"})
        f.LeftPanel->FL.setSelected(f.LeftPanel->FL.findByName(n), true);

    std::vector<std::pair<QString, QString>> shown;
    onNextDialog<kv::TFormMultiRename>([&](kv::TFormMultiRename* d) {
        // A pattern that gives all three one name is refused before anything happens.
        d->NameMask->setText(QStringLiteral("other"));
        d->ExtMask->setText(QStringLiteral("txt"));
        EXPECT_FALSE(d->RenameBtn->isEnabled());
        EXPECT_NE(d->Preview->item(0, 2)->text(), QString());
        d->NameMask->setText(QStringLiteral("pic_[C]"));
        d->ExtMask->setText(QStringLiteral("[E]"));
        d->CaseBox->setCurrentIndex(2);  // lower
        d->CounterDigits->setValue(2);
        EXPECT_TRUE(d->RenameBtn->isEnabled()) << d->Summary->text().toStdString();
        for (int r = 0; r < d->Preview->rowCount(); ++r)
            shown.emplace_back(d->Preview->item(r, 0)->text(), d->Preview->item(r, 1)->text());
        if (const QString shots = qEnvironmentVariable("KV_SCREENSHOT_DIR"); !shots.isEmpty())
            d->grab().save(shots + QStringLiteral("/kv-multi-rename.png"));
        // A name taken after the preview was drawn is seen when Rename is pressed.
        writeFile(dir / "pic_03.jpg", "late");
        d->RenameBtn->click();
        EXPECT_TRUE(d->isVisible());
        EXPECT_FALSE(d->RenameBtn->isEnabled());
        EXPECT_EQ(d->Preview->item(2, 2)->text(), QStringLiteral("\"pic_03.jpg\" already exists"));
        // Gone again: the next change of a field sees it.
        fs::remove(dir / "pic_03.jpg");
        d->Search->setText(QStringLiteral("?"));
        d->Search->clear();
        ASSERT_TRUE(d->RenameBtn->isEnabled()) << d->Summary->text().toStdString();
        d->RenameBtn->click();
    });
    key(Qt::Key_F6, Qt::ControlModifier);
    const std::vector<std::pair<QString, QString>> expected = {
        {"a.JPG", "pic_01.jpg"}, {"b.JPG", "pic_02.jpg"}, {"c.JPG", "pic_03.jpg"}};
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(namesIn(dir), (std::set<std::string>{"pic_01.jpg", "pic_02.jpg", "pic_03.jpg",
                                                   "pic_02.jpg.keep", "other.txt"}));
    EXPECT_EQ(readFile(dir / "pic_02.jpg"), "b.JPG");
    EXPECT_EQ(selected(f.LeftPanel), (std::set<std::string>{"pic_01.jpg", "pic_02.jpg", "pic_03.jpg"}))
        << "the panel re-read and the renamed entries stay selected";

    ASSERT_TRUE(f.runCommand("file.undoMultiRename"));
    EXPECT_EQ(namesIn(dir),
              (std::set<std::string>{"a.JPG", "b.JPG", "c.JPG", "pic_02.jpg.keep", "other.txt"}));
    EXPECT_EQ(readFile(dir / "b.JPG"), "b.JPG");
    EXPECT_EQ(selected(f.LeftPanel), (std::set<std::string>{"a.JPG", "b.JPG", "c.JPG"}));
    // A second undo has nothing left to undo and says so.
    QString text;
    answerNextMessageBox(QMessageBox::Ok, &text);
    f.runCommand("file.undoMultiRename");
    EXPECT_EQ(text, QStringLiteral("There is no multi-rename to undo."));
}

TEST_F(CompareRenameTest, AnArchivePanelComparesByNameSizeAndTimeAndRefusesMultiRename) {
    // ZIP times go in 2-second steps: an odd second on disk is one second off in the archive.
    const std::int64_t t = 1'700'000'001;
    const fs::path src = root / "src";
    writeAt(src / "same.txt", "same", t);
    writeAt(src / "older.txt", "old", t);
    kv::TZip zip;
    zip.setDefaultDir(src.string());
    zip.StoredDirNames = kv::TStoredDirNames::sdRelative;
    zip.FileSpecList = {"same.txt", "older.txt"};
    zip.setArchiveFile((work / "pack.zip").string());
    ASSERT_TRUE(zip.Activate());
    const fs::path R = work / "R";
    writeAt(R / "same.txt", "same", t);
    writeAt(R / "older.txt", "newer", t + 100);
    writeAt(R / "extra.txt", "x", t);
    auto& f = start();
    f.changeFolder(f.RightPanel, R.string());
    placeCursor(f.LeftPanel, "pack.zip");
    f.LeftPanel->EnterItem();
    ASSERT_TRUE(f.LeftPanel->InArchive());
    const auto& kept = f.LeftPanel->FL.entry(f.LeftPanel->FL.findByName("same.txt")).Written;
    ASSERT_EQ(kept.Second % 2, 0u) << "the archive keeps even seconds";

    QString text;
    answerNextMessageBox(QMessageBox::Ok, &text);
    key(Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(selected(f.LeftPanel).empty());
    EXPECT_EQ(selected(f.RightPanel), (std::set<std::string>{"older.txt", "extra.txt"}));
    EXPECT_NE(text.indexOf(QStringLiteral("Contents are not compared in archives.")), -1)
        << text.toStdString();

    placeCursor(f.LeftPanel, "same.txt");
    answerNextMessageBox(QMessageBox::Ok, &text);
    key(Qt::Key_F6, Qt::ControlModifier);
    EXPECT_EQ(text, QStringLiteral("Multi-rename does not work inside archives."));
}
