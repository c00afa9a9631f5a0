// F3 and F4 on the real window: a picture opens the full-screen viewer on that picture and
// Right steps to the next one in the panel; a text opens our editor on the file, and a
// second opening of the same file is a second, independent editor.
#include <QImage>
#include <QSignalSpy>

#include "main_window_fixture.h"
#include "main/main_form.h"
#include "panel/fpanel.h"
#include "viewers/editor/form_edit.h"
#include "viewers/picture_viewer.h"

namespace kvtest {
namespace {

QList<kv::TFormEdit*> visibleEditors() {
    QList<kv::TFormEdit*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* e = qobject_cast<kv::TFormEdit*>(w); e && e->isVisible()) out << e;
    return out;
}

TEST_F(MainWindowTest, F3ShowsPicturesAndStepsThroughThePanel) {
    QImage red(40, 30, QImage::Format_RGB32), blue(20, 10, QImage::Format_RGB32);
    red.fill(Qt::red);
    blue.fill(Qt::blue);
    ASSERT_TRUE(red.save(QString::fromStdString((work / "p1.png").string())));
    ASSERT_TRUE(blue.save(QString::fromStdString((work / "p2.jpg").string())));
    auto& f = start();
    placeCursor(f.LeftPanel, "p1.png");

    QString first, second;
    QSize secondSize;
    onNextDialog<kv::TViewerForm>([&](kv::TViewerForm* v) {
        first = v->shownPath();
        QTest::keyClick(v, Qt::Key_Right);
        EXPECT_TRUE(v->waitLoaded());
        second = v->shownPath();
        secondSize = v->picture().size();
        QTest::keyClick(v, Qt::Key_Escape);
    });
    key(Qt::Key_F3);
    EXPECT_EQ(first, QString::fromStdString((work / "p1.png").string()));
    EXPECT_EQ(second, QString::fromStdString((work / "p2.jpg").string()));
    EXPECT_EQ(secondSize, QSize(20, 10));
    EXPECT_EQ(f.LeftPanel->CurPath, (work / "p2.jpg").string()) << "the viewer moved the panel's cursor";
}

TEST_F(MainWindowTest, F3AndF4OpenTextInTheEditorEachInItsOwnWindow) {
    writeFile(work / "memo.txt", "first line\r\nsecond\r\n");
    auto& f = start();
    placeCursor(f.LeftPanel, "memo.txt");
    key(Qt::Key_F4);
    key(Qt::Key_F3);
    QApplication::processEvents();
    const auto open = visibleEditors();
    ASSERT_EQ(open.size(), 2) << "each opening is its own window";
    EXPECT_NE(open[0], open[1]);
    for (kv::TFormEdit* e : open) {
        EXPECT_EQ(e->text(), QStringLiteral("first line\nsecond\n"));
        EXPECT_EQ(e->windowTitle(), QStringLiteral("Editor - memo.txt"));
        e->close();
    }
}

}  // namespace
}  // namespace kvtest
