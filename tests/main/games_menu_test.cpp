// The Tetris and Life menu items open their windows: modeless, each a window of its own,
// freed when closed, and gone with the main window.
#include <QAction>
#include <QPointer>

#include "main_window_fixture.h"
#include "tools/games/life_form.h"
#include "tools/games/tetro_form.h"

using namespace kvtest;

namespace {

template <class W>
QPointer<W> openFromMenu(kv::TForm1& f, const char* item) {
    QPointer<W> before;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* w = qobject_cast<W*>(top)) before = w;
    f.menuItem(item)->trigger();
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* w = qobject_cast<W*>(top); w && w != before && w->isVisible()) return w;
    return {};
}

template <class W>
void expectOpensAndFrees(kv::TForm1& f, const char* item) {
    QPointer<W> w = openFromMenu<W>(f, item);
    ASSERT_FALSE(w.isNull()) << item;
    EXPECT_FALSE(w->isModal());
    EXPECT_TRUE(w->isWindow());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // A second one opens beside the first.
    QPointer<W> second = openFromMenu<W>(f, item);
    ASSERT_FALSE(second.isNull());
    EXPECT_NE(second.data(), w.data());
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull()) << item;
    EXPECT_FALSE(second.isNull());
}

}  // namespace

TEST_F(MainWindowTest, GameMenuItemsOpenModelessWindowsThatFreeThemselves) {
    auto& f = start();
    expectOpensAndFrees<kv::TTetro1>(f, "Tetris1");
    expectOpensAndFrees<kv::TFormLife>(f, "Gamelife1");
    QPointer<kv::TTetro1> left = openFromMenu<kv::TTetro1>(f, "Tetris1");
    ASSERT_FALSE(left.isNull());
    form.reset();  // the main window goes, and its games with it
    EXPECT_TRUE(left.isNull());
}

TEST_F(MainWindowTest, GameWindowsTakeTheirTextsFromTheLanguageFile) {
    writeFile(iniPath, "[Global]\nLanguage=RUSSIAN\n");
    writeFile(iniPath.parent_path() / "kv_rus.ini",
              "[Tetris]\nGame=Тетрис\nStart=&Старт\n[Life]\nGame=Жизнь\n");
    auto& f = start();
    QPointer<kv::TTetro1> t = openFromMenu<kv::TTetro1>(f, "Tetris1");
    ASSERT_FALSE(t.isNull());
    EXPECT_EQ(t->windowTitle(), QStringLiteral("Тетрис"));
    EXPECT_EQ(t->Button1->text(), QStringLiteral("&Старт"));
    EXPECT_EQ(t->Button2->text(), QStringLiteral("Error loading resource"));
    QPointer<kv::TFormLife> l = openFromMenu<kv::TFormLife>(f, "Gamelife1");
    ASSERT_FALSE(l.isNull());
    EXPECT_EQ(l->windowTitle(), QStringLiteral("Жизнь"));
}
