// Ctrl+R and Ctrl+7 on the real window: the explorer opens on the executable under the
// cursor, and anything else is answered with the old error text instead of an empty window.
#include "main_window_fixture.h"

#include "panel/fpanel.h"
#include "viewers/form_resource.h"

namespace kvtest {
namespace {

const char* kRealDll = "/usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll";

TEST_F(MainWindowTest, ResourceKeysOpenTheExplorerOnTheExecutableUnderTheCursor) {
    if (!fs::exists(kRealDll)) GTEST_SKIP() << "no Windows DLL installed to open";
    fs::copy_file(kRealDll, work / "pthread.dll");
    auto& f = start();
    kv::TFPanel* panel = f.activePanel();
    for (int i = 0; i < 12 && panel->CurFile != "notes.txt"; ++i) panel->CursorDown();
    ASSERT_EQ(panel->CurFile, "notes.txt");
    QString text;
    answerNextMessageBox(QMessageBox::Ok, &text);
    key(Qt::Key_7, Qt::ControlModifier);
    EXPECT_EQ(text, QStringLiteral("Please select *.exe or *.dll file and try again"));
    EXPECT_FALSE(kv::TFormResource::of(&f)->isVisible());

    for (int i = 0; i < 12 && panel->CurFile != "pthread.dll"; ++i) panel->CursorUp();
    ASSERT_EQ(panel->CurFile, "pthread.dll");
    for (int k : {Qt::Key_7, Qt::Key_R}) {
        key(k, Qt::ControlModifier);
        kv::TFormResource* explorer = kv::TFormResource::of(&f);
        EXPECT_TRUE(explorer->isVisible()) << k;
        EXPECT_TRUE(explorer->windowTitle().contains("pthread.dll")) << explorer->windowTitle().toStdString();
        explorer->close();
    }
}

}  // namespace
}  // namespace kvtest
