// The resource explorer on the sample programs: the tree, the view each kind opens, the
// status panels, saving with the proposed name, the error paths, the start-up argument,
// and the hex dump's layout and keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "exe/mingw_fixture.h"
#include "exe/pe_builder.h"
#include "viewers/dialog_preview.h"
#include "viewers/form_resource.h"
#include "viewers/hex_dump.h"

namespace kv {
namespace {

QApplication& qtApp() {
    static int argc = 1;
    static char name[] = "viewers_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class Explorer : public ::testing::Test {
protected:
    void SetUp() override {
        qtApp();
        const auto& p = test::mingwPrograms();
        if (!p.error.empty()) GTEST_SKIP() << p.error;
        form = std::make_unique<TFormResource>();
        form->showError = [this](const QString& e) { errors << e; };
        form->resize(700, 480);
        form->show();
    }
    void TearDown() override {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<TDialogPreview*>(w)) delete w;
    }
    void select(const QStringList& path) {
        QTreeWidgetItem* node = form->nodeAt(path);
        ASSERT_NE(node, nullptr) << path.join('/').toStdString();
        form->tree()->setCurrentItem(node);
    }
    std::unique_ptr<TFormResource> form;
    QStringList errors;
};

TEST_F(Explorer, OpensAFileWithItsTreeAndShowsTheFirstFolder) {
    const QString exe = QString::fromStdString(test::mingwPrograms().exe32);
    EXPECT_EQ(form->windowTitle(), "Resource Browser");
    EXPECT_EQ(form->currentPage(), TFormResource::kMessagePage);
    form->SetFile(exe);
    EXPECT_EQ(form->windowTitle(), "Fendaro - " + exe);
    QStringList top;
    for (int i = 0; i < form->tree()->topLevelItemCount(); ++i) top << form->tree()->topLevelItem(i)->text(0);
    EXPECT_EQ(top, (QStringList{"SAMPLEDATA", "Bitmap", "Menu", "Dialog", "String", "Accelerators", "RCData",
                                "Cursor", "Icon", "Version"}));
    // The whole tree is there at once, groups included.
    EXPECT_NE(form->nodeAt({"Icon", "1", "32 X 32 0 Colors"}), nullptr);
    EXPECT_EQ(form->currentPage(), TFormResource::kListPage);
    EXPECT_EQ(form->statusText(0), " 1 object(s)");
    EXPECT_EQ(form->captionText(), " SAMPLEDATA");
    EXPECT_FALSE(form->saveEnabled());
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(Explorer, EachKindOpensItsView) {
    form->SetFile(QString::fromStdString(test::mingwPrograms().exe64));

    select({"Icon", "1"});
    EXPECT_EQ(form->currentPage(), TFormResource::kListPage);
    ASSERT_EQ(form->list()->topLevelItemCount(), 2);
    EXPECT_EQ(form->list()->topLevelItem(0)->text(0), "16 X 16 16 Colors");
    EXPECT_EQ(form->list()->topLevelItem(0)->text(2), "00128");
    EXPECT_EQ(form->list()->topLevelItem(0)->text(1).size(), 7);

    select({"Icon", "1", "32 X 32 0 Colors"});
    EXPECT_EQ(form->currentPage(), TFormResource::kPicturePage);
    EXPECT_EQ(form->picture()->pixmap().size(), QSize(32, 32));
    EXPECT_TRUE(form->statusText(1).endsWith("  Size: 8A8")) << form->statusText(1).toStdString();
    EXPECT_TRUE(form->saveEnabled());

    select({"Cursor", "2", "32 X 32 1 Bit(s)"});
    EXPECT_EQ(form->picture()->pixmap().size(), QSize(32, 32));

    select({"Bitmap", "105"});
    EXPECT_EQ(form->currentPage(), TFormResource::kPicturePage);
    EXPECT_EQ(form->picture()->pixmap().size(), QSize(4, 2));

    select({"Menu", "100"});
    EXPECT_EQ(form->currentPage(), TFormResource::kTextPage);
    EXPECT_TRUE(form->text().startsWith("POPUP \"&File\"\n  MENUITEM \"&Open\",  201"));

    select({"RCData", "400"});
    EXPECT_EQ(form->currentPage(), TFormResource::kTextPage);
    EXPECT_TRUE(form->text().startsWith("object Form1: TForm1")) << form->text().toStdString();

    select({"RCData", "401"});
    EXPECT_EQ(form->currentPage(), TFormResource::kHexPage);
    ASSERT_EQ(form->hexDump()->data().size(), 300u);
    EXPECT_EQ(form->hexDump()->data()[1], test::mingwPrograms().sources.at("blob.bin")[1]);

    select({"Version", "1"});
    EXPECT_EQ(form->currentPage(), TFormResource::kVersionPage);
    EXPECT_EQ(form->versionList()->topLevelItem(0)->text(1), "Korvalen Tests");
    EXPECT_EQ(form->versionList()->topLevelItem(5)->text(0), "OriginalFilenam");
    EXPECT_EQ(form->versionList()->topLevelItem(5)->text(1), "sample.exe");
    EXPECT_EQ(form->versionList()->topLevelItem(10)->text(1), "0001.0002.0003.0004");
    EXPECT_EQ(form->languageLabel(), "Lang-charset: 040904E4");

    select({"Dialog", "200"});
    EXPECT_EQ(form->currentPage(), TFormResource::kMessagePage);
    EXPECT_TRUE(form->message().startsWith("Take a look!\n1 control(s)")) << form->message().toStdString();
    TDialogPreview* preview = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<TDialogPreview*>(w); d && d->isVisible()) preview = d;
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->windowTitle(), "About");
    QPushButton* ok = nullptr;
    for (auto* b : preview->findChildren<QPushButton*>())
        if (b->text() == "OK") ok = b;
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    bool framed = false;
    for (auto* l : preview->findChildren<QLabel*>()) framed |= l->text() == "MYCUSTOMCLASS";
    EXPECT_TRUE(framed);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(Explorer, SavesTheSelectionUnderTheProposedName) {
    const auto& p = test::mingwPrograms();
    const test::TempDir out;
    form->SetFile(QString::fromStdString(p.exe32));
    QString proposed;
    int filter = 0;
    form->askSaveName = [&](const QString& name, int index) {
        proposed = name;
        filter = index;
        return QString::fromStdString(out / name.toStdString());
    };
    // A folder has nothing to save.
    select({"Icon"});
    form->saveSelected();
    EXPECT_EQ(errors, QStringList{"No resource selected"});

    // A row of a group's list, saved with F2.
    select({"Icon", "1"});
    form->list()->setCurrentItem(form->list()->topLevelItem(0));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form->list(), Qt::Key_F2);
    EXPECT_EQ(proposed, "16 X 16 16 Colors.Ico");
    EXPECT_EQ(filter, 3);
    EXPECT_EQ(test::readBytes(out / "16 X 16 16 Colors.Ico"), test::iconFile(1, {p.iconImages[0]}));

    select({"Cursor", "2", "32 X 32 1 Bit(s)"});
    form->saveSelected();
    EXPECT_EQ(proposed, "32 X 32 1 Bit(s).Cur");
    EXPECT_EQ(filter, 4);
    EXPECT_EQ(test::readBytes(out / proposed.toStdString()), p.sources.at("arrow.cur"));

    select({"Bitmap", "101"});
    form->saveSelected();
    EXPECT_EQ(proposed, "101.Bmp");
    EXPECT_EQ(filter, 2);
    EXPECT_EQ(test::readBytes(out / "101.Bmp"), p.sources.at("b8.bmp"));

    select({"RCData", "ABOUT"});
    form->saveSelected();
    EXPECT_EQ(proposed, "ABOUT.RCD");
    EXPECT_EQ(filter, 1);
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(Explorer, FilesItCannotShowSayWhy) {
    const test::TempDir dir;
    form->SetFile(QString::fromStdString(test::mingwPrograms().exe32));
    const int types = form->tree()->topLevelItemCount();

    form->SetFile(QString::fromStdString(dir / "missing.exe"));  // nothing happens
    EXPECT_EQ(form->tree()->topLevelItemCount(), types);

    form->SetFile(QString::fromStdString(dir.file("text.exe", "plain text")));
    EXPECT_EQ(errors, QStringList{"unrecognized file format"});
    EXPECT_EQ(form->tree()->topLevelItemCount(), 0);
    ASSERT_NE(form->image(), nullptr);  // the file before stays open

    const auto writePe = [&](const char* name, const std::vector<std::uint8_t>& bytes) {
        test::writeBytes(dir / name, bytes);
        return QString::fromStdString(dir / name);
    };
    form->SetFile(
        writePe("ne.exe", test::buildPe(test::oneResource().b, {.signature = std::string("NE\0\0", 4)})));
    EXPECT_EQ(form->message(), "Not a PE file.");
    form->SetFile(writePe("none.exe", test::buildPe(test::oneResource().b, {.sectionName = ".data"})));
    EXPECT_EQ(form->message(), "No resources.");
    EXPECT_EQ(form->currentPage(), TFormResource::kMessagePage);

    auto damaged = test::oneResource();
    damaged.at(0x48).dataEntry(0x1058, 0xFFFFFFF0);
    form->SetFile(writePe("DAMAGED.EXE", test::buildPe(damaged.b)));
    EXPECT_EQ(form->tree()->topLevelItemCount(), 1);
    EXPECT_EQ(form->message(), "Parts of this file could not be read.");
    EXPECT_TRUE(TFormResource::isExecutableName("DAMAGED.EXE"));
    EXPECT_TRUE(TFormResource::isExecutableName("a.Dll"));
    EXPECT_FALSE(TFormResource::isExecutableName("a.exe.txt"));
}

TEST_F(Explorer, VideosGoToTheDesktopPlayerFromATemporaryFile) {
    const test::TempDir dir;
    test::SectionWriter s = test::oneResource();
    const std::vector<std::uint8_t> avi = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' ', 'x', 'y'};
    s.at(0x48).dataEntry(0x1058, avi.size());
    s.at(0x58).put(avi);
    test::writeBytes(dir / "video.exe", test::buildPe(s.b));
    QString played;
    std::vector<std::uint8_t> bytes;
    form->openVideo = [&](const QString& path) {
        played = path;
        bytes = test::readBytes(path.toStdString());
    };
    form->SetFile(QString::fromStdString(dir / "video.exe"));
    select({"RCData", "1"});
    EXPECT_EQ(form->currentPage(), TFormResource::kVideoPage);
    EXPECT_EQ(bytes, avi);
    EXPECT_TRUE(QFileInfo(played).fileName().startsWith("AVI"));
    form.reset();  // the temporary file goes with the window
    EXPECT_FALSE(QFileInfo::exists(played));
}

TEST_F(Explorer, AFirstArgumentNamingAFileOpensTheExplorer) {
    QWidget main;
    EXPECT_FALSE(TFormResource::openFromCommandLine(&main, {"kv"}));
    EXPECT_FALSE(TFormResource::openFromCommandLine(&main, {"kv", "/no/such/file.exe"}));
    EXPECT_EQ(main.findChild<TFormResource*>(), nullptr);
    EXPECT_TRUE(TFormResource::openFromCommandLine(
        &main, {"kv", QString::fromStdString(test::mingwPrograms().exe32)}));
    TFormResource* shown = main.findChild<TFormResource*>();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(shown->tree()->topLevelItemCount(), 10);
    EXPECT_EQ(TFormResource::of(&main), shown);  // one explorer per main window
    QTest::keyClick(shown, Qt::Key_Escape);
    EXPECT_FALSE(shown->isVisible());
}

TEST(HexDump, LayoutFollowsTheWidthAndTheViewFollowsTheCurrentRow) {
    qtApp();
    std::vector<std::uint8_t> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i);
    THexDump hex;
    hex.resize(900, 200);
    hex.show();
    hex.setData(bytes, 0x6000);
    EXPECT_EQ(hex.bytesPerRow(), 16);
    EXPECT_EQ(hex.rowCount(), 63);  // 62 full rows and the 8 bytes left
    EXPECT_TRUE(hex.rowText(0).startsWith("00006000: 00 01 02 03")) << hex.rowText(0).toStdString();
    EXPECT_TRUE(hex.rowText(62).startsWith("000063E0: E0 E1 E2 E3 E4 E5 E6 E7 "));

    QTest::keyClick(&hex, Qt::Key_End);
    EXPECT_EQ(hex.currentRow(), 62);
    EXPECT_EQ(hex.topRow(), 62 - hex.visibleRows() + 2);
    QTest::keyClick(&hex, Qt::Key_Home);
    EXPECT_EQ(hex.currentRow(), 0);
    EXPECT_EQ(hex.topRow(), 0);
    QTest::keyClick(&hex, Qt::Key_Up);
    EXPECT_EQ(hex.currentRow(), 0);

    // Narrow: fewer bytes a row, never fewer than one.
    hex.setShowCharacters(false);
    hex.resize(60, 200);
    EXPECT_EQ(hex.bytesPerRow(), 1);
    EXPECT_EQ(hex.rowCount(), 1000);
    hex.setData({}, 0);
    EXPECT_EQ(hex.rowCount(), 0);
    QTest::keyClick(&hex, Qt::Key_End);  // no data: no current row to move
    EXPECT_EQ(hex.currentRow(), 0);
}

}  // namespace
}  // namespace kv
