// The find window on the real main window: Alt+F7 opens it on the active panel's folder, a
// search lists its results, Enter puts the panel's cursor on a result (inside an archive
// too), and "Feed to panel" gives a listing on which the file commands work.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QLocale>
#include <QTreeWidget>

#include <set>

#include "fileops/file_forms.h"
#include "main/find/find_form.h"
#include "main_window_fixture.h"
#include "viewers/editor/form_edit.h"

using namespace kvtest;

namespace {

kv::TFormFind* findWindow(kv::TForm1& f) { return f.findChild<kv::TFormFind*>(); }

// Starts the search and waits for its end.
void search(kv::TFormFind* w, const QString& masks) {
    w->MasksEdit->setText(masks);
    QTest::mouseClick(w->StartButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 20000);
}

std::set<std::string> shown(const kv::TFormFind* w) {
    std::set<std::string> out;
    for (int i = 0; i < w->Results->topLevelItemCount(); ++i)
        out.insert(w->Results->topLevelItem(i)->text(0).toStdString());
    return out;
}

void pick(kv::TFormFind* w, const std::string& path) {
    const auto found = w->Results->findItems(QString::fromStdString(path), Qt::MatchExactly, 0);
    ASSERT_EQ(found.size(), 1) << path;
    w->Results->setCurrentItem(found.front());
}

std::string atCursor(const kv::TFPanel* p) { return p->FL.entry(p->cursorIndex()).FileName; }

}  // namespace

TEST_F(MainWindowTest, AltF7SearchesFromThePanelsFolderAndEnterGoesToTheResult) {
    writeFile(work / "alpha" / "deep" / "target.txt", "needle\n");
    auto& f = start();
    key(Qt::Key_F7, Qt::AltModifier);
    kv::TFormFind* w = findWindow(f);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Find file"));
    EXPECT_EQ(w->FolderEdit->text().toStdString(), work.string());

    search(w, QStringLiteral("*.txt"));
    EXPECT_EQ(shown(w),
              (std::set<std::string>{(work / "notes.txt").string(), (work / "alpha/inner.txt").string(),
                                     (work / "alpha/deep/target.txt").string()}));
    EXPECT_TRUE(w->Status->text().contains(QLatin1String("3 found"))) << w->Status->text().toStdString();
    // Every row shows the file's size and time, looked up by the search's worker.
    QTRY_VERIFY_WITH_TIMEOUT(!w->Results->topLevelItem(2)->text(2).isEmpty(), 5000);
    for (int i = 0; i < w->Results->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = w->Results->topLevelItem(i);
        const fs::path path = row->text(0).toStdString();
        EXPECT_EQ(row->text(1).toStdString(), QLocale().toString(qlonglong(fs::file_size(path))).toStdString());
        EXPECT_FALSE(row->text(2).isEmpty());
        EXPECT_EQ(w->resultOf(row)->size, std::int64_t(fs::file_size(path)));
    }

    w->TextEdit->setText(QStringLiteral("NEEDLE"));
    w->IgnoreCaseBox->setChecked(true);
    search(w, QStringLiteral("*"));
    EXPECT_EQ(shown(w), std::set<std::string>{(work / "alpha/deep/target.txt").string()});

    pick(w, (work / "alpha/deep/target.txt").string());
    QTest::keyClick(w->Results, Qt::Key_F4);
    const auto editors = f.findChildren<kv::TFormEdit*>();
    ASSERT_EQ(editors.size(), 1);
    EXPECT_EQ(editors.front()->filePath(), (work / "alpha/deep/target.txt").string());
    editors.front()->close();
    EXPECT_TRUE(w->isVisible()) << "F4 keeps the window";

    pick(w, (work / "alpha/deep/target.txt").string());
    QTest::keyClick(w->Results, Qt::Key_Return);
    QTRY_VERIFY(findWindow(f) == nullptr);  // closed and gone
    EXPECT_EQ(f.activePanel()->CurDir, (work / "alpha/deep").string());
    EXPECT_EQ(atCursor(f.activePanel()), "target.txt");
}

TEST_F(MainWindowTest, EnterOnAResultInsideAnArchiveOpensTheArchivesFolder) {
    writeFile(root / "src" / "docs" / "guide.txt", "the guide\n");
    writeFile(root / "src" / "docs" / "other.bin", "x");
    ASSERT_EQ(std::system(("cd '" + (root / "src").string() + "' && zip -qr '" +
                           (work / "pack.zip").string() + "' docs >/dev/null")
                              .c_str()),
              0);
    auto& f = start();
    key(Qt::Key_F7, Qt::AltModifier);
    kv::TFormFind* w = findWindow(f);
    ASSERT_NE(w, nullptr);
    w->ArchivesBox->setChecked(true);
    search(w, QStringLiteral("guide*"));
    const std::string inZip = (work / "pack.zip/docs/guide.txt").string();
    EXPECT_EQ(shown(w), std::set<std::string>{inZip});
    EXPECT_FALSE(w->FeedButton->isEnabled()) << "nothing on disk to feed";
    pick(w, inZip);
    QTest::keyClick(w->Results, Qt::Key_Return);
    kv::TFPanel* p = f.activePanel();
    EXPECT_TRUE(p->InArchive());
    EXPECT_EQ(p->CurDir, (work / "pack.zip/docs").string());
    EXPECT_EQ(atCursor(p), "guide.txt");
}

TEST_F(MainWindowTest, FedResultsTakeCopyAndDeleteAndLeaveWithDotDot) {
    writeFile(work / "alpha" / "deep" / "second.txt", "second\n");
    auto& f = start();
    kv::TFPanel* p = f.activePanel();
    kv::TFPanel* other = f.passivePanel();
    f.changeFolder(other, (work / "beta").string());
    key(Qt::Key_F7, Qt::AltModifier);
    kv::TFormFind* w = findWindow(f);
    ASSERT_NE(w, nullptr);
    search(w, QStringLiteral("*.txt"));
    QTest::mouseClick(w->FeedButton, Qt::LeftButton);
    QTRY_VERIFY(findWindow(f) == nullptr);

    EXPECT_EQ(p->CurDir, work.string());
    EXPECT_TRUE(p->ShowingFound());
    std::set<std::string> listed;
    for (int i = 1; i <= p->FL.FilesCount(); ++i) listed.insert(p->FL.entry(i).FileName);
    EXPECT_EQ(listed, (std::set<std::string>{"..", "notes.txt", "alpha/inner.txt", "alpha/deep/second.txt"}));

    // F5: the entry goes into the other panel's folder under its own name.
    placeCursor(p, "alpha/deep/second.txt");
    answerNext<kv::TFormCopy>(accept);
    key(Qt::Key_F5);
    EXPECT_EQ(readFile(work / "beta" / "second.txt"), "second\n");
    EXPECT_TRUE(fs::exists(work / "alpha/deep/second.txt"));
    EXPECT_TRUE(p->ShowingFound()) << "the re-read after the copy keeps the found listing";
    EXPECT_GT(p->FL.findByName("alpha/deep/second.txt"), 0);

    // F8: the file is deleted and drops out of the listing; the rest stays.
    placeCursor(p, "alpha/inner.txt");
    answerNext<kv::TFormDelete>(accept);
    key(Qt::Key_F8);
    EXPECT_FALSE(fs::exists(work / "alpha/inner.txt"));
    EXPECT_TRUE(fs::exists(work / "notes.txt"));
    EXPECT_EQ(p->FL.findByName("alpha/inner.txt"), 0);
    EXPECT_GT(p->FL.findByName("notes.txt"), 0);
    EXPECT_FALSE(p->FL.findByName("data.bin") > 0) << "the folder itself is not listed";

    // "..": the folder as it is on disk.
    placeCursor(p, "..");
    key(Qt::Key_Return);
    EXPECT_FALSE(p->ShowingFound());
    EXPECT_EQ(p->CurDir, work.string());
    EXPECT_GT(p->FL.findByName("data.bin"), 0);
}

TEST_F(MainWindowTest, FindWindowWithResultsScreenshot) {
    const QString dir = qEnvironmentVariable("KV_SCREENSHOT_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "set KV_SCREENSHOT_DIR to keep screenshots";
    for (const char* n : {"report 2024.txt", "docs/letter.txt", "docs/old/letter.txt", "music/list.txt"})
        writeFile(work / n, std::string(std::strlen(n) * 97, 'x'));
    auto& f = start();
    key(Qt::Key_F7, Qt::AltModifier);
    kv::TFormFind* w = findWindow(f);
    ASSERT_NE(w, nullptr);
    w->TextEdit->setText(QStringLiteral("x"));
    search(w, QStringLiteral("*.txt, *.bin"));
    w->grab().save(dir + QStringLiteral("/kv-find-file.png"));
}

TEST_F(MainWindowTest, FindDuplicatesShowsGroupsWhoseRowsGoToTheirFile) {
    writeFile(work / "alpha" / "copy.txt", "notes\n");  // the same bytes as notes.txt
    writeFile(work / "beta" / "near.txt", "notez\n");   // the same size, other bytes
    auto& f = start();
    key(Qt::Key_F7, Qt::AltModifier);
    kv::TFormFind* w = findWindow(f);
    ASSERT_NE(w, nullptr);
    w->DuplicatesBox->setChecked(true);
    search(w, QStringLiteral("*"));
    ASSERT_EQ(w->Results->topLevelItemCount(), 1);
    QTreeWidgetItem* group = w->Results->topLevelItem(0);
    EXPECT_EQ(w->resultOf(group), nullptr) << "a heading is no result";
    std::set<std::string> members;
    for (int i = 0; i < group->childCount(); ++i) members.insert(group->child(i)->text(0).toStdString());
    EXPECT_EQ(members,
              (std::set<std::string>{(work / "notes.txt").string(), (work / "alpha/copy.txt").string()}));
    w->Results->setCurrentItem(group->child(0));
    const std::string first = group->child(0)->text(0).toStdString();
    QTest::keyClick(w->Results, Qt::Key_Return);
    EXPECT_EQ(f.activePanel()->CurDir, fs::path(first).parent_path().string());
    EXPECT_EQ(atCursor(f.activePanel()), fs::path(first).filename().string());
}
