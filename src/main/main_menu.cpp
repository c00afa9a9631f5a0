// The main menu's rows: layout only (name, caption, language key, shortcut, flags) and the
// id of the command each item runs. What a command does and when it is enabled is the
// command table's (commands/).
#include "main/main_menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>

#include "main/commands/command_table.h"
#include "main/main_form.h"

namespace kv {

namespace {

enum : unsigned { Hidden = 1, Checked = 2, SepAfter = 4, Checkable = 8 };

struct ItemDef {
    const char* name;
    const char* caption;
    const char* langKey;  // section "MainMenu"; null: no language key
    QKeyCombination shortcut;
    unsigned flags;
    const char* command;
    std::vector<ItemDef> items = {};  // a submenu's items
    const char* opens = nullptr;      // a submenu's open command
};

struct MenuDef {
    const char* name;
    const char* caption;
    const char* langKey;
    std::vector<ItemDef> items;
    unsigned flags = 0;
    const char* opens = nullptr;  // runs when the menu opens, and before its shortcuts
};

constexpr QKeyCombination none() { return QKeyCombination(Qt::Key_unknown); }
constexpr QKeyCombination key(Qt::Key k) { return QKeyCombination(k); }
constexpr QKeyCombination ctrl(Qt::Key k) { return QKeyCombination(Qt::ControlModifier, k); }
constexpr QKeyCombination alt(Qt::Key k) { return QKeyCombination(Qt::AltModifier, k); }
constexpr QKeyCombination shift(Qt::Key k) { return QKeyCombination(Qt::ShiftModifier, k); }

const std::vector<MenuDef>& menuRows() {
    static const std::vector<MenuDef> menus = {
        {"KV1",
         "&KV",
         nullptr,
         {{"N4", "About program", "KV_About", none(), 0, "help.about"},
          {"N5", "Information", "KV_Help", key(Qt::Key_F1), SepAfter, "help.information"},
          {"Tetris1", "Tetris game", "KV_Tetris", none(), 0, "games.tetris"},
          {"Gamelife1", "Life game", "KV_Life", none(), SepAfter, "games.life"},
          {"N7", "Exit", "KV_Exit", key(Qt::Key_F10), 0, "app.exit"}}},
        {"N1",
         "&File",
         "File",
         {{"N8", "Menu", "File_Menu", key(Qt::Key_F2), 0, "file.userMenu"},
          {"N9", "View", "File_Viewer", key(Qt::Key_F3), 0, "file.view"},
          {"N10", "Edit", "File_Editor", key(Qt::Key_F4), 0, "file.edit"},
          {"N11", "Copy", "File_Copy", key(Qt::Key_F5), 0, "file.copy"},
          {"N12", "Rename", "File_Rename", key(Qt::Key_F6), 0, "file.rename"},
          {"N13", "Create folder", "File_NewDir", key(Qt::Key_F7), 0, "file.makeFolder"},
          {"N14", "Delete", "File_DelFile", key(Qt::Key_F8), SepAfter, "file.delete"},
          {"Multirename1", "Multi-rename", nullptr, ctrl(Qt::Key_F6), 0, "file.multiRename"},
          {"Undomultirename1", "Undo last multi-rename", nullptr, none(), SepAfter, "file.undoMultiRename"},
          {"Findfile1", "Find file", "File_FindFile", alt(Qt::Key_F7), 0, "file.find"},
          {"N23", "Attributes", "File_Attrib", ctrl(Qt::Key_A), 0, "file.attributes"},
          {"Createnewfile1", "Create new file", "File_Createfile", shift(Qt::Key_F4), SepAfter,
           "file.createFile"},
          {"N34", "Add to archive", "File_Add_Arc", shift(Qt::Key_F1), 0, "file.addToArchive"},
          {"N35", "Extract files", "File_Extract_Arc", shift(Qt::Key_F2), 0, "file.extract"}}},
        {"N3",
         "&Utilities",
         "Utils",
         {{"N15", "About system", "Utils_System", ctrl(Qt::Key_1), 0, "utils.systemInfo"},
          {"Internet2", "Internet dialer", "Utils_InetDialer", ctrl(Qt::Key_2), 0, "utils.dialer"},
          {"Clipboard1", "View clipboard", "Utils_Clipboard", ctrl(Qt::Key_3), 0, "utils.clipboard"},
          {"CDPlayer1", "CD-Player", "Utils_AudioPlayer", ctrl(Qt::Key_4), 0, "utils.cdPlayer"},
          {"N18", "Calculator", "Utils_Calc", ctrl(Qt::Key_5), 0, "utils.calculator"},
          {"Changevideomode1", "Change video mode", "Utils_ChangeVideo", ctrl(Qt::Key_6), 0,
           "utils.videoMode"},
          {"ResourceExplorer1", "Resource Explorer", nullptr, ctrl(Qt::Key_7), SepAfter,
           "utils.resourceExplorer"},
          {"MSDOS1", "MS-DOS window", "Utils_MSDOS", ctrl(Qt::Key_8), 0, "utils.console"},
          {"WinMedia1", "MediaPlayer", "Utils_Media", ctrl(Qt::Key_9), 0, "utils.mediaPlayer"},
          {"Formatdrive1", "Format floppy drive", nullptr, none(), 0, "utils.formatFloppy"}}},
        {"N26",
         "&Commands",
         "Commands",
         {{"Playcurrentfile1", "Play music file", "Command_PlayMusic", none(), 0, "music.playCurrent"},
          {"Playlastfile1", "Play last file", "Command_PlayLastMusic", ctrl(Qt::Key_A), 0, "music.playLast"},
          {"N29", "Stop music", "Command_StopMusic", ctrl(Qt::Key_M), 0, "music.stop"},
          {"N38", "What playing", "Command_WhatPlay", ctrl(Qt::Key_W), SepAfter, "music.whatPlaying"},
          {"History1", "Commands history", "Command_ViewHistory", none(), Hidden, "history.view"},
          {"ClearRecyce1", "Empty Recycle Bin", "Command_ClearRecycle", none(), 0, "system.emptyTrash"},
          {"ClearRecentDocs1", "Clear Recent Docs", "Command_ClearDocs", none(), SepAfter,
           "system.clearRecentDocs"},
          {"Selectgroup1", "Select group", nullptr, none(), 0, "panel.selectGroup"},
          {"Invertselection1", "Invert selection", nullptr, none(), 0, "panel.invertSelection"},
          {"Comparefolders1", "Compare folders", nullptr, ctrl(Qt::Key_G), 0, "panel.compareFolders"},
          {"Comparecontents1", "Compare folders and contents", nullptr,
           QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_G), SepAfter,
           "panel.compareFoldersContents"},
          {"Viewresource1", "View file resource", "Command_ViewResource", ctrl(Qt::Key_R), 0,
           "utils.viewResource"}}},
        {"N16",
         "&Panel",
         "Panel",
         {{"N32", "Cnange panel", nullptr, key(Qt::Key_Tab), Hidden, "panel.switch"},
          {"P1", "Active left", "Panel_Left", none(), Checkable | Checked, "panel.activeLeft"},
          {"P2", "Active right", "Panel_Right", none(), Checkable | SepAfter, "panel.activeRight"},
          {"P3", "Show files", "Panel_ShowFiles", alt(Qt::Key_1), Checkable | Checked, "panel.styleFiles"},
          {"P5", "Extended view", "Panel_ShowExtView", alt(Qt::Key_2), Checkable, "panel.styleExtended"},
          {"P4", "Information", "Panel_Show_Info", alt(Qt::Key_3), Checkable, "panel.styleInformation"},
          {"P7", "Quick view", "Panel_ShowQuickView", alt(Qt::Key_4), Checkable | SepAfter,
           "panel.quickView"},
          {"N37", "Sort modes", "Panel_SortMode", ctrl(Qt::Key_F12), 0, "panel.sortModes"},
          {"CD1", "Change drive", "Panel_ChangeDrive", none(), 0, "panel.changeDrive"}},
         0,
         "panel.refreshMarks"},
        {"N2",
         "C&onfiguration",
         "Config",
         {{"N17", "Main options", "Config_Main", ctrl(Qt::Key_P), 0, "config.mainOptions"},
          {"N19", "Set Colors", "Config_Color", ctrl(Qt::Key_C), 0, "config.colors"},
          {"Files1", "Files colors", nullptr, none(), Hidden, "config.fileColors"},
          {"N22", "Change fonts", "Config_Font", ctrl(Qt::Key_F), 0, "config.fonts"},
          {"N20", "Associations", nullptr, ctrl(Qt::Key_A), Hidden, "config.associations"},
          {"N21", "Main menu", "Config_Menu", ctrl(Qt::Key_M), 0, "config.mainMenu"},
          {"Configuretoolbar1",
           "Configure toolbars",
           "Config_ConfigToolBar",
           ctrl(Qt::Key_T),
           0,
           "config.toolbars",
           {{"Toolb_1", "Show tool bar", nullptr, none(), Checkable | Checked, "bars.toolBar"},
            {"Toolb_2", "Show drives bar", nullptr, none(), Checkable | Checked, "bars.driveBar"},
            {"Toolb_3", "Show status bar", nullptr, none(), Checkable | Checked, "bars.statusBar"},
            {"Configuretoolbar2", "Configure tool bar", nullptr, none(), 0, "bars.configure"}},
           "config.toolbars"},
          {"N28", "Sinchronisation panels", "Config_SyncPanels", none(), Checkable | Checked | Hidden,
           "config.syncPanels"},
          {"N30", "Set default configuration", "Config_Reset", none(), 0, "config.reset"}}},
        {"Plugin1", "P&lugins", nullptr, {}, Hidden},
        {"Hotbuttons1",
         "Hot buttons",
         nullptr,
         {{"Fastfindfile1", "Fast find file", nullptr, alt(Qt::Key_X), Hidden, "app.exit"}},
         Hidden},
    };
    return menus;
}

}  // namespace

void TMainMenu::build(QMenuBar* bar) {
    bar_ = bar;
    // Adds the items of `defs` to `menu`; `opens` are the open commands of the menus around.
    std::function<void(QMenu*, const std::vector<ItemDef>&, std::vector<std::string>)> addItems =
        [&](QMenu* menu, const std::vector<ItemDef>& defs, std::vector<std::string> opens) {
            for (const ItemDef& d : defs) {
                const std::string name = d.name;
                QAction* a = nullptr;
                QMenu* sub = nullptr;
                if (!d.items.empty()) {
                    sub = menu->addMenu(QString::fromUtf8(d.caption));
                    sub->setObjectName(QString::fromStdString(name));
                    menus_[name] = sub;
                    a = sub->menuAction();
                    if (d.opens)
                        QObject::connect(sub, &QMenu::aboutToShow, &form_, [this, id = std::string(d.opens)] {
                            form_.commands().run(id, form_);
                        });
                } else {
                    a = menu->addAction(QString::fromUtf8(d.caption));
                }
                a->setObjectName(QString::fromStdString(name));
                if (d.langKey) a->setProperty("langKey", QString::fromLatin1(d.langKey));
                items_[name] = a;
                Entry e;
                e.name = name;
                e.action = a;
                e.command = d.command;
                e.opens = opens;
                if (d.shortcut.key() != Qt::Key_unknown) {
                    e.shortcut = d.shortcut;
                    e.hasShortcut = true;
                    // Only shown: the menu matches shortcuts itself (hidden items act, disabled
                    // ones swallow the key), so Qt's shortcut system never sees them.
                    a->setProperty("shortcutText",
                                   QKeySequence(d.shortcut).toString(QKeySequence::NativeText));
                    setCaption(a, a->text());
                }
                if (d.flags & Checkable) a->setCheckable(true);
                setMark(a, d.flags & Checked);
                if (d.flags & Hidden) a->setVisible(false);
                entries_.push_back(e);
                if (!sub) {
                    const size_t index = entries_.size() - 1;
                    QObject::connect(a, &QAction::triggered, &form_,
                                     [this, index] { run(entries_[index], false); });
                }
                if (sub) {
                    std::vector<std::string> inner = opens;
                    if (d.opens) inner.push_back(d.opens);
                    addItems(sub, d.items, inner);
                }
                if (d.flags & SepAfter) menu->addSeparator();
            }
        };
    for (const MenuDef& m : menuRows()) {
        QMenu* qm = bar->addMenu(QString::fromUtf8(m.caption));
        qm->setObjectName(QString::fromLatin1(m.name));
        qm->menuAction()->setObjectName(QString::fromLatin1(m.name));
        if (m.langKey) qm->menuAction()->setProperty("langKey", QString::fromLatin1(m.langKey));
        menus_[m.name] = qm;
        items_[m.name] = qm->menuAction();
        if (m.flags & Hidden) qm->menuAction()->setVisible(false);
        // Every menu shows its items enabled as their commands' rules say when it opens.
        QObject::connect(qm, &QMenu::aboutToShow, &form_, [this] { refreshEnabled(); });
        if (m.opens)
            QObject::connect(qm, &QMenu::aboutToShow, &form_,
                             [this, id = std::string(m.opens)] { form_.commands().run(id, form_); });
        addItems(qm, m.items, m.opens ? std::vector<std::string>{m.opens} : std::vector<std::string>{});
    }
}

QAction* TMainMenu::item(const std::string& name) const {
    auto it = items_.find(name);
    return it == items_.end() ? nullptr : it->second;
}

QMenu* TMainMenu::menu(const std::string& name) const {
    auto it = menus_.find(name);
    return it == menus_.end() ? nullptr : it->second;
}

std::string TMainMenu::commandOf(const std::string& name) const {
    for (const Entry& e : entries_)
        if (e.name == name) return e.command;
    return {};
}

std::vector<std::string> TMainMenu::commandIds() const {
    std::vector<std::string> out;
    for (const Entry& e : entries_) {
        out.push_back(e.command);
        out.insert(out.end(), e.opens.begin(), e.opens.end());
    }
    return out;
}

void TMainMenu::refreshEnabled() {
    for (const Entry& e : entries_) e.action->setEnabled(form_.commands().isEnabled(e.command, form_));
}

void TMainMenu::run(const Entry& e, bool fromShortcut) {
    // A click on a checkable item has already flipped Qt's mark; the command decides.
    if (e.action->isCheckable()) e.action->setChecked(isMarked(e.name));
    const CommandTable& table = form_.commands();
    if (fromShortcut) {
        // A shortcut acts like opening the menus around the item, outermost first.
        for (const std::string& open : e.opens)
            if (!table.isEnabled(open, form_)) return;
        if (!table.isEnabled(e.command, form_)) return;
        for (const std::string& open : e.opens) table.run(open, form_);
    }
    form_.runCommand(e.command);
}

bool TMainMenu::matchShortcut(int key, Qt::KeyboardModifiers mods) {
    for (const Entry& e : entries_) {
        if (e.hasShortcut && e.shortcut.key() == key && e.shortcut.keyboardModifiers() == mods) {
            run(e, true);
            return true;
        }
    }
    return false;
}

bool TMainMenu::ownsShortcut(int key, Qt::KeyboardModifiers mods) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return e.hasShortcut && e.shortcut.key() == key && e.shortcut.keyboardModifiers() == mods;
    });
}

bool TMainMenu::ownsMnemonic(QChar c) const {
    if (!bar_) return false;
    const QKeySequence alt(QKeyCombination(Qt::AltModifier, static_cast<Qt::Key>(c.toUpper().unicode())));
    for (QAction* a : bar_->actions())
        if (!a->isSeparator() && QKeySequence::mnemonic(a->text()) == alt) return true;
    return false;
}

void TMainMenu::setCaption(QAction* action, const QString& caption) {
    action->setProperty("caption", caption);
    const QString keys = action->property("shortcutText").toString();
    action->setText(keys.isEmpty() ? caption : caption + QLatin1Char('\t') + keys);
}

QString TMainMenu::caption(const std::string& name) const {
    QAction* action = item(name);
    if (!action) return {};
    const QVariant c = action->property("caption");
    return c.isValid() ? c.toString() : action->text();
}

void TMainMenu::setMark(QAction* action, bool on) {
    if (!action) return;
    marks_[action] = on;
    if (action->isCheckable()) action->setChecked(on);
}

bool TMainMenu::isMarked(const std::string& name) const {
    auto it = marks_.find(item(name));
    return it != marks_.end() && it->second;
}

void TMainMenu::translate(const TLanguage& texts, const std::string& language) {
    for (auto& [name, action] : items_) {
        const QString key = action->property("langKey").toString();
        if (key.isEmpty()) continue;
        setCaption(action, QString::fromStdString(texts.MainText(language, "MainMenu", key.toStdString(),
                                                                 caption(name).toStdString())));
    }
}

}  // namespace kv
