// The command table: one enabled rule per command, whichever control runs it.
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

#include <set>

#include "main/commands/command_table.h"
#include "main/key_map.h"
#include "main_window_fixture.h"

using namespace kvtest;

namespace {

QAction* trayItem(kv::TForm1& f, const QString& text) {
    for (QAction* a : f.PopupMenu1->actions())
        if (a->text() == text) return a;
    return nullptr;
}

}  // namespace

TEST_F(MainWindowTest, CommandTableUnknownIdsAreNeverEnabledAndAReplacedRowWins) {
    auto& form = start();
    kv::CommandTable t;
    int runs = 0;
    bool on = false;
    t.add(
        "x", [&](kv::TForm1&) { ++runs; }, [&](const kv::TForm1&) { return on; });
    t.add("later");
    EXPECT_FALSE(t.isEnabled("nobody", form));
    EXPECT_FALSE(t.run("nobody", form));
    EXPECT_FALSE(t.run("x", form));
    EXPECT_EQ(runs, 0);
    on = true;
    EXPECT_TRUE(t.run("x", form));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(t.run("later", form)) << "a command not built yet is enabled and does nothing";
    t.add("x", {}, kv::CommandTable::never);
    EXPECT_FALSE(t.run("x", form));
    EXPECT_EQ(runs, 1);
}

// A typo in a row would leave a button that silently never works.
TEST_F(MainWindowTest, EveryCommandAControlNamesIsRegistered) {
    auto& f = start();
    std::set<std::string> named;
    for (const std::string& id : f.mainMenu().commandIds()) named.insert(id);
    for (QToolButton* b : f.SpeedButtons) named.insert(b->property("command").toString().toStdString());
    for (QPushButton* b : f.HotKeys) named.insert(b->property("command").toString().toStdString());
    for (QAction* a : f.PopupMenu1->actions())
        if (!a->isSeparator()) named.insert(a->property("command").toString().toStdString());
    for (const kv::KeyRow& r : kv::mainKeyMap()) named.insert(r.command);
    named.insert("fastfind.close");
    for (const std::string& id : named) EXPECT_TRUE(f.commands().contains(id)) << '"' << id << '"';
}

// The tool bar and the tray used to call their handlers directly, past the menu's rule.
TEST_F(MainWindowTest, ADisabledCommandDoesNothingFromAnyControl) {
    auto& f = start();
    struct Source {
        const char* what;
        std::function<void()> use;
    };
    struct Case {
        const char* command;
        std::vector<Source> sources;
    };
    const std::vector<Case> cases = {
        {"help.information",
         {{"tool bar", [&] { f.SpeedButtons[0]->click(); }},
          {"tray", [&] { trayItem(f, QStringLiteral("Help contents"))->trigger(); }},
          {"menu", [&] { f.menuItem("N5")->trigger(); }},
          {"shortcut F1", [&] { key(Qt::Key_F1); }}}},
        {"utils.calculator",
         {{"tool bar", [&] { f.SpeedButtons[6]->click(); }},
          {"shortcut Ctrl+5", [&] { key(Qt::Key_5, Qt::ControlModifier); }}}},
        {"file.view",
         {{"function key", [&] { f.HotKeys[1]->click(); }}, {"shortcut F3", [&] { key(Qt::Key_F3); }}}},
        {"app.exit",
         {{"tray", [&] { trayItem(f, QStringLiteral("Exit"))->trigger(); }},
          {"shortcut Alt+X", [&] { key(Qt::Key_X, Qt::AltModifier); }}}},
        {"panel.toggleHidden", {{"key map Ctrl+H", [&] { key(Qt::Key_H, Qt::ControlModifier); }}}},
    };
    QSignalSpy spy(&f, &kv::TForm1::commandRun);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        int runs = 0;
        bool enabled = false;
        f.commands().add(
            c.command, [&](kv::TForm1&) { ++runs; }, [&](const kv::TForm1&) { return enabled; });
        spy.clear();
        for (const Source& s : c.sources) s.use();
        EXPECT_EQ(runs, 0);
        EXPECT_EQ(spy.count(), 0);
        EXPECT_TRUE(f.ComLine->text().isEmpty()) << "a disabled command's key still is no typing";
        enabled = true;
        for (const Source& s : c.sources) {
            const int before = runs;
            s.use();
            EXPECT_EQ(runs, before + 1) << s.what;
        }
        EXPECT_EQ(spy.count(), static_cast<int>(c.sources.size()));
    }
    EXPECT_TRUE(f.isVisible());
}

TEST_F(MainWindowTest, MenuItemsShowTheirCommandsRule) {
    auto& f = start();
    bool enabled = true;
    f.commands().add("file.copy", {}, [&](const kv::TForm1&) { return enabled; });
    emit f.menu("N1")->aboutToShow();
    EXPECT_TRUE(f.menuItem("N11")->isEnabled());
    enabled = false;
    emit f.menu("N1")->aboutToShow();
    EXPECT_FALSE(f.menuItem("N11")->isEnabled());
    // Switched off as in the old program, shown so from the start.
    EXPECT_FALSE(f.menuItem("Configuretoolbar2")->isEnabled());
}
