// The quick view on the real window: Alt+4 turns the other panel into a preview of the
// cursor's entry, the preview follows the cursor, and the panel comes back as it was.
#include <sys/stat.h>

#include <QAction>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>

#include <cstdlib>
#include <fstream>

#include "main_window_fixture.h"
#include "viewers/quick_view/quick_view_panel.h"
#include "viewers/view_pane.h"

namespace {

using namespace kvtest;
using kv::quickview::ContentKind;

class QuickViewTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        QImage image(640, 400, QImage::Format_RGB32);
        QPainter p(&image);
        QLinearGradient g(0, 0, 640, 400);
        g.setColorAt(0, QColor(30, 90, 200));
        g.setColorAt(1, QColor(250, 200, 60));
        p.fillRect(image.rect(), g);
        p.setBrush(QColor(200, 30, 40));
        p.drawEllipse(QPoint(320, 200), 120, 120);
        p.end();
        ASSERT_TRUE(image.save(QString::fromStdString((work / "photo.png").string())));
        writeFile(work / "src" / "main.cpp", "int main() { return 0; }\n");
        writeFile(work / "src" / "readme.md", std::string(4000, 'r'));
        writeFile(work / "src" / "docs" / "guide.txt", std::string(123456, 'g'));
        const std::string zip = "cd '" + work.string() + "' && zip -qr pack.zip src notes.txt";
        ASSERT_EQ(std::system(zip.c_str()), 0);
        ASSERT_EQ(::mkfifo((work / "pipe").c_str(), 0600), 0);
    }

    kv::TQuickView* view() { return form->QuickView; }
    std::string shown() { return view() ? view()->content().path : std::string(); }

    // The right panel in alpha with its cursor on inner.txt: what must come back.
    struct PanelState {
        std::string dir, file;
        int bar = 0, pos = 0;
        bool operator==(const PanelState&) const = default;
    };
    static PanelState stateOf(const kv::TFPanel* p) {
        return {p->CurDir, p->CurFile, p->Bar_Pos, p->PosList};
    }
    PanelState arrangeRightPanel() {
        form->changeFolder(form->RightPanel, (work / "alpha").string());
        placeCursor(form->RightPanel, "inner.txt");
        return stateOf(form->RightPanel);
    }
    bool quickViewMark() { return form->menuItem("P7")->isChecked(); }
};

TEST_F(QuickViewTest, PreviewFollowsTheCursorAndEachKindShows) {
    auto& f = start();
    ASSERT_TRUE(f.menuItem("P7")->isVisible());
    const PanelState right = arrangeRightPanel();
    placeCursor(f.LeftPanel, "notes.txt");
    key(Qt::Key_4, Qt::AltModifier);
    ASSERT_TRUE(f.quickViewOn());
    ASSERT_NE(view(), nullptr);
    EXPECT_TRUE(view()->isVisible());
    EXPECT_FALSE(f.RightPanel->isVisible());
    EXPECT_EQ(view()->geometry(), f.RightPanel->geometry());
    EXPECT_TRUE(quickViewMark());
    QTRY_COMPARE(shown(), (work / "notes.txt").string());
    EXPECT_EQ(view()->content().kind, ContentKind::Text);
    ASSERT_FALSE(view()->content().lines.empty());
    EXPECT_EQ(view()->content().lines.front(), "notes");

    // The cursor keys move the preview along.
    key(Qt::Key_Down);
    ASSERT_NE(f.LeftPanel->CurFile, "notes.txt");
    QTRY_COMPARE(shown(), f.LeftPanel->CurPath);

    struct Row {
        const char* name;
        ContentKind kind;
    };
    for (const Row& r : {Row{"photo.png", ContentKind::Picture}, Row{"pack.zip", ContentKind::Archive},
                         Row{"pipe", ContentKind::Special}, Row{"src", ContentKind::Folder},
                         Row{"notes.txt", ContentKind::Text}}) {
        SCOPED_TRACE(r.name);
        placeCursor(f.LeftPanel, r.name);
        QTRY_COMPARE(shown(), (work / r.name).string());
        EXPECT_EQ(view()->content().kind, r.kind);
    }
    placeCursor(f.LeftPanel, "photo.png");
    QTRY_COMPARE(shown(), (work / "photo.png").string());
    EXPECT_FALSE(view()->picture().isNull());
    EXPECT_LE(view()->picture().width(), view()->width());  // scaled to the panel
    placeCursor(f.LeftPanel, "src");
    QTRY_COMPARE(shown(), (work / "src").string());
    EXPECT_EQ(view()->content().files, 3);
    EXPECT_EQ(view()->content().folders, 1);
    EXPECT_EQ(view()->content().totalBytes, 25 + 4000 + 123456);

    // ".." previews the folder the panel shows.
    key(Qt::Key_Home);
    ASSERT_EQ(f.LeftPanel->CurFile, "..");
    QTRY_COMPARE(shown(), work.string());
    EXPECT_EQ(view()->content().kind, ContentKind::Folder);

    // Alt+4 again: the right panel is back where it was, cursor and all.
    key(Qt::Key_4, Qt::AltModifier);
    EXPECT_FALSE(f.quickViewOn());
    EXPECT_FALSE(view()->isVisible());
    EXPECT_TRUE(f.RightPanel->isVisible());
    EXPECT_TRUE(stateOf(f.RightPanel) == right);
    EXPECT_FALSE(quickViewMark());
    // And the cursor no longer drives a preview.
    placeCursor(f.LeftPanel, "notes.txt");
    QTest::qWait(100);
    EXPECT_TRUE(shown().empty());
}

// A binary of a gigabyte: the hex preview reads it through the viewer's reader, so its end
// is reached at once and shows the file's last bytes, not those of a prefix.
TEST_F(QuickViewTest, TheHexPreviewReachesTheEndOfAHugeBinary) {
    const fs::path huge = work / "huge.bin";
    {
        std::ofstream out(huge, std::ios::binary);
        out << std::string("\x7f" "ELF\0\0", 6);
        out.seekp((1LL << 30) - 8);
        out << "LASTBYTE";
    }
    auto& f = start();
    placeCursor(f.LeftPanel, "huge.bin");
    key(Qt::Key_4, Qt::AltModifier);
    QTRY_COMPARE(shown(), huge.string());
    ASSERT_EQ(view()->content().kind, ContentKind::Hex);
    auto* pane = view()->findChild<kv::TViewPane*>();
    ASSERT_NE(pane, nullptr);
    QTRY_VERIFY(pane->isVisible());
    ASSERT_FALSE(pane->rows().empty());
    EXPECT_EQ(pane->rows().front().offset, 0u);
    pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->maximum());  // dragged to the end
    ASSERT_FALSE(pane->rows().empty());
    EXPECT_EQ(pane->rows().back().end, std::uint64_t(1) << 30);
    EXPECT_NE(pane->rows().back().text.find("LASTBYTE"), std::string::npos) << pane->rows().back().text;
    key(Qt::Key_4, Qt::AltModifier);
}

// Running the cursor over many entries (a fifo among them) shows the last one only, and
// nothing it passed turns up after it.
TEST_F(QuickViewTest, ARunOfTheCursorEndsOnItsLastEntry) {
    for (int i = 0; i < 40; ++i)
        writeFile(work / ("file" + std::to_string(100 + i) + ".bin"), std::string(200000, char(i)));
    auto& f = start();
    key(Qt::Key_4, Qt::AltModifier);
    ASSERT_TRUE(f.quickViewOn());
    QSignalSpy spy(view(), &kv::TQuickView::previewShown);
    key(Qt::Key_Home);
    for (int i = 0; i < 45; ++i) key(Qt::Key_Down);
    const std::string last = f.LeftPanel->CurPath;
    QTRY_COMPARE(shown(), last);
    QTest::qWait(200);
    ASSERT_GE(spy.count(), 1);
    EXPECT_EQ(spy.last().at(0).toString().toStdString(), last);
    EXPECT_EQ(shown(), last);
}

// Another style key, or Ctrl+L, brings the panel back too.
TEST_F(QuickViewTest, OtherStyleKeysEndTheQuickView) {
    struct Row {
        const char* what;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
    };
    for (const Row& r :
         {Row{"Alt+1", Qt::Key_1, Qt::AltModifier}, Row{"Alt+2", Qt::Key_2, Qt::AltModifier},
          Row{"Alt+3", Qt::Key_3, Qt::AltModifier}, Row{"Ctrl+L", Qt::Key_L, Qt::ControlModifier}}) {
        SCOPED_TRACE(r.what);
        auto& f = start();
        const PanelState right = arrangeRightPanel();
        key(Qt::Key_4, Qt::AltModifier);
        ASSERT_TRUE(f.quickViewOn());
        key(r.key, r.mods);
        EXPECT_FALSE(f.quickViewOn());
        EXPECT_FALSE(quickViewMark());
        EXPECT_TRUE(f.RightPanel->isVisible());
        EXPECT_FALSE(view()->isVisible());
        EXPECT_EQ(stateOf(f.RightPanel).dir, right.dir);
        EXPECT_EQ(stateOf(f.RightPanel).file, right.file);
        form.reset();
    }
}

// Tab makes the covered panel active: it comes back, and the preview moves to the side
// that is passive now, showing the newly active panel's cursor entry.
TEST_F(QuickViewTest, SwitchingPanelsMovesThePreview) {
    auto& f = start();
    const PanelState right = arrangeRightPanel();
    placeCursor(f.LeftPanel, "notes.txt");
    const PanelState left = stateOf(f.LeftPanel);
    key(Qt::Key_4, Qt::AltModifier);
    key(Qt::Key_Tab);
    ASSERT_TRUE(f.quickViewOn());
    EXPECT_EQ(f.activePanel(), f.RightPanel);
    EXPECT_TRUE(f.RightPanel->isVisible());
    EXPECT_FALSE(f.LeftPanel->isVisible());
    EXPECT_EQ(view()->geometry(), f.LeftPanel->geometry());
    QTRY_COMPARE(shown(), (work / "alpha" / "inner.txt").string());
    EXPECT_TRUE(stateOf(f.RightPanel) == right);
    key(Qt::Key_4, Qt::AltModifier);
    EXPECT_TRUE(f.LeftPanel->isVisible());
    EXPECT_TRUE(stateOf(f.LeftPanel) == left);
}

// Pictures of the window with a picture and with an archive previewed, kept only when
// KV_SCREENSHOT_DIR names a folder.
TEST_F(QuickViewTest, Screenshots) {
    const QString dir = qEnvironmentVariable("KV_SCREENSHOT_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "set KV_SCREENSHOT_DIR to keep screenshots";
    auto& f = start();
    f.resize(800, 560);
    QApplication::processEvents();
    placeCursor(f.LeftPanel, "photo.png");
    key(Qt::Key_4, Qt::AltModifier);
    QTRY_COMPARE(shown(), (work / "photo.png").string());
    QTest::qWait(50);
    EXPECT_TRUE(f.grab().save(dir + QStringLiteral("/kv-quick-view-picture.png")));
    placeCursor(f.LeftPanel, "pack.zip");
    QTRY_COMPARE(shown(), (work / "pack.zip").string());
    QTest::qWait(50);
    EXPECT_TRUE(f.grab().save(dir + QStringLiteral("/kv-quick-view-archive.png")));
    writeFile(work / "data.bin", std::string("\x7f" "ELF\x02\x01\x01\0\0\0\0", 12) + std::string(3000, '\x90'));
    f.LeftPanel->RefreshDir();
    placeCursor(f.LeftPanel, "data.bin");
    QTRY_COMPARE(shown(), (work / "data.bin").string());
    QTest::qWait(50);
    EXPECT_TRUE(f.grab().save(dir + QStringLiteral("/kv-quick-view-hex.png")));
}

}  // namespace
