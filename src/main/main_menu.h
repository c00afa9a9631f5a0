#pragma once
// The main menu: its items in display order with their captions, language keys, shortcuts
// and marks, each naming the command it runs (commands/command_table.h). The menu matches
// its own shortcuts: a hidden item still acts, a disabled one swallows its key.
#include <QKeyCombination>
#include <QString>

#include <map>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;

namespace kv {

class TForm1;
class TLanguage;

class TMainMenu {
public:
    explicit TMainMenu(TForm1& form) : form_(form) {}

    void build(QMenuBar* bar);

    // Items and menus by component name ("N32", "P3", "Plugin1", ...); null when unknown.
    QAction* item(const std::string& name) const;
    QMenu* menu(const std::string& name) const;
    // The command an item names; empty for unknown items.
    std::string commandOf(const std::string& name) const;
    // Every command id an item names, for checking that each is registered.
    std::vector<std::string> commandIds() const;

    // A key as a menu shortcut: true when an item owns it (whether it ran or not).
    bool matchShortcut(int key, Qt::KeyboardModifiers mods);
    // Whether an item owns the key as its shortcut (nothing runs).
    bool ownsShortcut(int key, Qt::KeyboardModifiers mods) const;
    // Whether Alt and the character open a menu of the bar (its "&" letter in the caption
    // shown now), hidden menus included.
    bool ownsMnemonic(QChar c) const;
    // Shows each item enabled or not as its command's rule says.
    void refreshEnabled();

    // Check marks are kept apart from Qt's, which a click flips before the command runs.
    void setMark(QAction* action, bool on);
    void setMark(const std::string& name, bool on) { setMark(item(name), on); }
    bool isMarked(const std::string& name) const;
    // The caption without the shortcut text; setCaption keeps the shortcut text.
    QString caption(const std::string& name) const;
    void setCaption(QAction* action, const QString& caption);
    // Captions from the language file for every item with a language key.
    void translate(const TLanguage& texts, const std::string& language);

private:
    struct Entry {
        std::string name;
        QAction* action = nullptr;
        QKeyCombination shortcut;
        bool hasShortcut = false;
        std::string command;
        std::vector<std::string> opens;  // open commands of the menus holding it, outermost first
    };
    void run(const Entry& e, bool fromShortcut);

    TForm1& form_;
    std::vector<Entry> entries_;  // in menu order
    std::map<std::string, QAction*> items_;
    std::map<std::string, QMenu*> menus_;
    std::map<QAction*, bool> marks_;
    QMenuBar* bar_ = nullptr;
};

}  // namespace kv
