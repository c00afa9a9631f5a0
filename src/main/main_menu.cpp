// The main menu: its items in display order, their shortcuts, and the commands behind them.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>

#include <cstdlib>

#include "main/about_form.h"
#include "main/calculator_form.h"
#include "main/help_form.h"
#include "main/main_form.h"
#include "platform/launcher.h"

namespace kv {

namespace {

enum : unsigned { Hidden = 1, Disabled = 2, Checked = 4, SepAfter = 8, Checkable = 16 };

struct ItemDef {
    const char* name;
    const char* caption;
    const char* langKey;  // section "MainMenu"; null: no language key
    QKeyCombination shortcut;
    unsigned flags;
    void (TForm1::*handler)();
};

struct MenuDef {
    const char* name;
    const char* caption;
    const char* langKey;
    std::vector<ItemDef> items;
    unsigned flags = 0;
};

constexpr QKeyCombination none() { return QKeyCombination(Qt::Key_unknown); }
constexpr QKeyCombination key(Qt::Key k) { return QKeyCombination(k); }
constexpr QKeyCombination ctrl(Qt::Key k) { return QKeyCombination(Qt::ControlModifier, k); }
constexpr QKeyCombination alt(Qt::Key k) { return QKeyCombination(Qt::AltModifier, k); }
constexpr QKeyCombination shift(Qt::Key k) { return QKeyCombination(Qt::ShiftModifier, k); }

}  // namespace

void TForm1::buildMenu() {
    using F = TForm1;
    // Configure toolbars is a submenu; its items are added below.
    const std::vector<MenuDef> menus = {
        {"KV1", "&KV", nullptr,
         {{"N4", "About program", "KV_About", none(), 0, &F::showAbout},
          {"N5", "Information", "KV_Help", key(Qt::Key_F1), SepAfter, &F::showHelp},
          {"Tetris1", "Tetris game", "KV_Tetris", none(), 0, nullptr},
          {"Gamelife1", "Life game", "KV_Life", none(), SepAfter, nullptr},
          {"N7", "Exit", "KV_Exit", key(Qt::Key_F10), 0, &F::exitProgram}}},
        {"N1", "&File", "File",
         {{"N8", "Menu", "File_Menu", key(Qt::Key_F2), 0, nullptr},
          {"N9", "View", "File_Viewer", key(Qt::Key_F3), 0, &F::viewCurrent},
          {"N10", "Edit", "File_Editor", key(Qt::Key_F4), 0, nullptr},
          {"N11", "Copy", "File_Copy", key(Qt::Key_F5), 0, nullptr},
          {"N12", "Rename", "File_Rename", key(Qt::Key_F6), 0, nullptr},
          {"N13", "Create folder", "File_NewDir", key(Qt::Key_F7), 0, nullptr},
          {"N14", "Delete", "File_DelFile", key(Qt::Key_F8), SepAfter, nullptr},
          {"Findfile1", "Find file", "File_FindFile", alt(Qt::Key_F7), Hidden | Disabled, nullptr},
          {"N23", "Attributes", "File_Attrib", ctrl(Qt::Key_A), 0, nullptr},
          {"Createnewfile1", "Create new file", "File_Createfile", shift(Qt::Key_F4), SepAfter, nullptr},
          {"N34", "Add to archive", "File_Add_Arc", shift(Qt::Key_F1), Hidden | Disabled, nullptr},
          {"N35", "Extract files", "File_Extract_Arc", shift(Qt::Key_F2), 0, nullptr}}},
        {"N3", "&Utilities", "Utils",
         {{"N15", "About system", "Utils_System", ctrl(Qt::Key_1), 0, nullptr},
          {"Internet2", "Internet dialer", "Utils_InetDialer", ctrl(Qt::Key_2), 0, nullptr},
          {"Clipboard1", "View clipboard", "Utils_Clipboard", ctrl(Qt::Key_3), 0, nullptr},
          {"CDPlayer1", "CD-Player", "Utils_AudioPlayer", ctrl(Qt::Key_4), 0, nullptr},
          {"N18", "Calculator", "Utils_Calc", ctrl(Qt::Key_5), 0, &F::showCalculator},
          {"Changevideomode1", "Change video mode", "Utils_ChangeVideo", ctrl(Qt::Key_6), 0, nullptr},
          {"ResourceExplorer1", "Resource Explorer", nullptr, ctrl(Qt::Key_7), SepAfter, &F::resourceExplorer},
          {"MSDOS1", "MS-DOS window", "Utils_MSDOS", ctrl(Qt::Key_8), 0, &F::msDosWindow},
          {"WinMedia1", "MediaPlayer", "Utils_Media", ctrl(Qt::Key_9), 0, nullptr},
          {"Formatdrive1", "Format floppy drive", nullptr, none(), 0, nullptr}}},
        {"N26", "&Commands", "Commands",
         {{"Playcurrentfile1", "Play music file", "Command_PlayMusic", none(), 0, &F::viewCurrent},
          {"Playlastfile1", "Play last file", "Command_PlayLastMusic", ctrl(Qt::Key_A), 0, nullptr},
          {"N29", "Stop music", "Command_StopMusic", ctrl(Qt::Key_M), 0, nullptr},
          {"N38", "What playing", "Command_WhatPlay", ctrl(Qt::Key_W), SepAfter, nullptr},
          {"History1", "Commands history", "Command_ViewHistory", none(), Hidden, nullptr},
          {"ClearRecyce1", "Empty Recycle Bin", "Command_ClearRecycle", none(), 0, nullptr},
          {"ClearRecentDocs1", "Clear Recent Docs", "Command_ClearDocs", none(), SepAfter, nullptr},
          {"Selectgroup1", "Select group", nullptr, none(), 0, nullptr},
          {"Invertselection1", "Invert selection", nullptr, none(), SepAfter, &F::invertSelection},
          {"Viewresource1", "View file resource", "Command_ViewResource", ctrl(Qt::Key_R), 0, nullptr}}},
        {"N16", "&Panel", "Panel",
         {{"N32", "Cnange panel", nullptr, key(Qt::Key_Tab), Hidden, &F::N32Click},
          {"P1", "Active left", "Panel_Left", none(), Checkable | Checked, &F::activeLeftItem},
          {"P2", "Active right", "Panel_Right", none(), Checkable | SepAfter, &F::activeRightItem},
          {"P3", "Show files", "Panel_ShowFiles", alt(Qt::Key_1), Checkable | Checked, &F::styleShowFiles},
          {"P5", "Extended view", "Panel_ShowExtView", alt(Qt::Key_2), Checkable, &F::styleExtendedView},
          {"P4", "Information", "Panel_Show_Info", alt(Qt::Key_3), Checkable, &F::styleInformation},
          {"P7", "Quick view", "Panel_ShowQuickView", alt(Qt::Key_4), Checkable | Hidden | Disabled | SepAfter,
           nullptr},
          {"N37", "Sort modes", "Panel_SortMode", ctrl(Qt::Key_F12), 0, nullptr},
          {"CD1", "Change drive", "Panel_ChangeDrive", none(), 0, &F::changeDriveItem}}},
        {"N2", "C&onfiguration", "Config",
         {{"N17", "Main options", "Config_Main", ctrl(Qt::Key_P), 0, nullptr},
          {"N19", "Set Colors", "Config_Color", ctrl(Qt::Key_C), 0, nullptr},
          {"Files1", "Files colors", nullptr, none(), Hidden | Disabled, nullptr},
          {"N22", "Change fonts", "Config_Font", ctrl(Qt::Key_F), 0, nullptr},
          {"N20", "Associations", nullptr, ctrl(Qt::Key_A), Hidden | Disabled, nullptr},
          {"N21", "Main menu", "Config_Menu", ctrl(Qt::Key_M), 0, nullptr},
          {"Configuretoolbar1", "Configure toolbars", "Config_ConfigToolBar", ctrl(Qt::Key_T), 0,
           &F::Configuretoolbar1Click},
          {"N28", "Sinchronisation panels", "Config_SyncPanels", none(), Checkable | Checked | Hidden | Disabled,
           nullptr},
          {"N30", "Set default configuration", "Config_Reset", none(), 0, &F::setDefaultConfiguration}}},
        {"Plugin1", "P&lugins", nullptr, {}, Hidden},
        {"Hotbuttons1", "Hot buttons", nullptr,
         {{"Fastfindfile1", "Fast find file", nullptr, alt(Qt::Key_X), Hidden, &F::exitProgram}},
         Hidden},
    };

    QMenuBar* bar = menuBar();
    auto connectByName = [this](QAction* a, const std::string& name) {
        connect(a, &QAction::triggered, this, [this, name] { runMenuEntryNamed(name, false); });
    };
    for (const MenuDef& m : menus) {
        QMenu* qm = bar->addMenu(QString::fromUtf8(m.caption));
        qm->setObjectName(QString::fromLatin1(m.name));
        qm->menuAction()->setObjectName(QString::fromLatin1(m.name));
        if (m.langKey) qm->menuAction()->setProperty("langKey", QString::fromLatin1(m.langKey));
        menus_[m.name] = qm;
        items_[m.name] = qm->menuAction();
        if (m.flags & Hidden) qm->menuAction()->setVisible(false);
        for (const ItemDef& d : m.items) {
            const std::string name = d.name;
            QMenu* sub = nullptr;
            QAction* a = nullptr;
            if (name == "Configuretoolbar1") {
                sub = qm->addMenu(QString::fromUtf8(d.caption));
                sub->setObjectName(QString::fromStdString(name));
                menus_[name] = sub;
                a = sub->menuAction();
                connect(sub, &QMenu::aboutToShow, this, &TForm1::Configuretoolbar1Click);
            } else {
                a = qm->addAction(QString::fromUtf8(d.caption));
                connectByName(a, name);
            }
            a->setObjectName(QString::fromStdString(name));
            if (d.langKey) a->setProperty("langKey", QString::fromLatin1(d.langKey));
            items_[name] = a;
            MenuEntry e;
            e.name = name;
            e.action = a;
            e.parents = {qm->menuAction()};
            e.handler = d.handler;
            if (d.shortcut.key() != Qt::Key_unknown) {
                e.shortcut = d.shortcut;
                e.hasShortcut = true;
                // Only shown: the window matches shortcuts itself (hidden items act, disabled
                // ones swallow the key), so Qt's shortcut system never sees them.
                a->setProperty("shortcutText", QKeySequence(d.shortcut).toString(QKeySequence::NativeText));
                setCaption(a, a->text());
            }
            if (d.flags & Checkable) a->setCheckable(true);
            setMark(a, d.flags & Checked);
            if (d.flags & Hidden) a->setVisible(false);
            if (d.flags & Disabled) setItemEnabled(a, false);
            menuEntries_.push_back(e);
            if (sub) {
                const char* barNames[3] = {"Toolb_1", "Toolb_2", "Toolb_3"};
                const char* barCaptions[3] = {"Show tool bar", "Show drives bar", "Show status bar"};
                void (TForm1::*toggles[3])() = {&F::toggleToolBar, &F::toggleDriveBar, &F::toggleStatusBar};
                for (int i = 0; i < 3; ++i) {
                    QAction* t = sub->addAction(QString::fromLatin1(barCaptions[i]));
                    t->setObjectName(QString::fromLatin1(barNames[i]));
                    t->setCheckable(true);
                    items_[barNames[i]] = t;
                    setMark(t, true);
                    MenuEntry te;
                    te.name = barNames[i];
                    te.action = t;
                    te.parents = {qm->menuAction(), a};
                    te.handler = toggles[i];
                    menuEntries_.push_back(te);
                    connectByName(t, te.name);
                }
                QAction* conf = sub->addAction(QStringLiteral("Configure tool bar"));
                conf->setObjectName(QStringLiteral("Configuretoolbar2"));
                setItemEnabled(conf, false);
                items_["Configuretoolbar2"] = conf;
            }
            if (d.flags & SepAfter) qm->addSeparator();
        }
        if (std::string(m.name) == "N16") connect(qm, &QMenu::aboutToShow, this, &TForm1::N16Click);
    }

    static const char* keyItems[7] = {"N8", "N9", "N10", "N11", "N12", "N13", "N14"};
    for (size_t i = 0; i < HotKeys.size(); ++i)
        connect(HotKeys[i], &QPushButton::clicked, this,
                [this, name = std::string(keyItems[i])] { runMenuEntryNamed(name, false); });
}

void TForm1::runMenuEntryNamed(const std::string& name, bool fromShortcut) {
    for (const auto& entry : menuEntries_)
        if (entry.name == name) return runMenuEntry(entry, fromShortcut);
}

void TForm1::runMenuEntry(const MenuEntry& e, bool fromShortcut) {
    // A click on a checkable item has already flipped Qt's mark; the command decides.
    if (e.action->isCheckable()) e.action->setChecked(isMarked(e.action));
    if (fromShortcut) {
        for (QAction* p : e.parents)
            if (!itemEnabled(p)) return;
        if (!itemEnabled(e.action)) return;
        // Parents' click handlers first, outermost first.
        for (QAction* p : e.parents) {
            if (p == items_["N16"]) N16Click();
            if (p == items_["Configuretoolbar1"]) Configuretoolbar1Click();
        }
    } else if (!itemEnabled(e.action)) {
        return;
    }
    emit commandRun(QString::fromStdString(e.name));
    if (e.handler) (this->*e.handler)();
}

bool TForm1::matchShortcut(int key, Qt::KeyboardModifiers mods) {
    for (const MenuEntry& e : menuEntries_) {
        if (!e.hasShortcut) continue;
        if (e.shortcut.key() == key && e.shortcut.keyboardModifiers() == mods) {
            runMenuEntry(e, true);
            return true;
        }
    }
    return false;
}

void TForm1::setCaption(QAction* action, const QString& caption) {
    action->setProperty("caption", caption);
    const QString keys = action->property("shortcutText").toString();
    action->setText(keys.isEmpty() ? caption : caption + QLatin1Char('\t') + keys);
}

QString TForm1::caption(QAction* action) const {
    const QVariant c = action->property("caption");
    return c.isValid() ? c.toString() : action->text();
}

// Qt disables a hidden action; the menu's own rule keeps a hidden item's shortcut alive,
// so whether an item is enabled is kept apart from what Qt shows.
void TForm1::setItemEnabled(QAction* action, bool on) {
    action->setProperty("kvDisabled", !on);
    action->setEnabled(on);
}

bool TForm1::itemEnabled(QAction* action) const { return !action->property("kvDisabled").toBool(); }

void TForm1::setMark(QAction* action, bool on) {
    if (!action) return;
    marks_[action] = on;
    if (action->isCheckable()) action->setChecked(on);
}

bool TForm1::isMarked(QAction* action) const {
    auto it = marks_.find(action);
    return it != marks_.end() && it->second;
}

void TForm1::N16Click() {
    for (const char* n : {"P3", "P4", "P5", "P7"}) setMark(menuItem(n), false);
    const bool left = cfg_.Main.Active == "Left";
    setMark(menuItem("P1"), left);
    setMark(menuItem("P2"), !left);
    switch (activePanel()->Style) {
        case 1: setMark(menuItem("P3"), true); break;
        case 2: setMark(menuItem("P4"), true); break;
        case 3: setMark(menuItem("P5"), true); break;
        default: break;
    }
}

void TForm1::Configuretoolbar1Click() {
    setMark(menuItem("Toolb_1"), cfg_.Main.Show_ToolBar);
    setMark(menuItem("Toolb_2"), cfg_.Main.Show_DriveBar);
    setMark(menuItem("Toolb_3"), cfg_.Main.Show_StatusBar);
}

// --- panel styles ----------------------------------------------------------------

void TForm1::setStyle(QAction* mark, QAction* unmark, int style, int columns) {
    if (isMarked(mark)) return;
    setMark(mark, true);
    setMark(unmark, false);
    TFPanel* p = activePanel();
    p->Bar_Pos = 0;
    p->CurCol = 1;
    p->CurRow = 1;
    p->Style = style;
    p->Columns = columns;
    p->DrawList();  // new grid first, so the cursor lands in it
    p->LocateCursor();
    p->DrawCursor();
}

void TForm1::styleShowFiles() { setStyle(menuItem("P3"), menuItem("P5"), 1, 3); }
void TForm1::styleExtendedView() { setStyle(menuItem("P5"), menuItem("P3"), 3, 1); }

void TForm1::styleInformation() {
    if (LeftPanel->Style == 2 || RightPanel->Style == 2) return;
    TFPanel* p = activePanel();
    p->Style = 2;
    p->DrawList();
}

// --- other commands --------------------------------------------------------------

void TForm1::invertSelection() { activePanel()->InvertSelection(); }

void TForm1::viewCurrent() { File_Work(activePanel()->CurPath); }

void TForm1::changeDriveItem() { ChangeDrive(cfg_.Main.Active); }

void TForm1::resourceExplorer() {
    QString file = QString::fromStdString(activePanel()->CurFile).toLower();
    if (file.endsWith(QLatin1String(".exe")) || file.endsWith(QLatin1String(".dll"))) {
        // "View file resource": the resource explorer is not built yet.
        return;
    }
    QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("Please select *.exe or *.dll file and try again"));
}

void TForm1::msDosWindow() {
    // The console of this desktop, in the active panel's folder.
    std::vector<std::string> candidates;
    if (const char* t = std::getenv("TERMINAL"); t && *t) candidates.push_back(t);
    candidates.push_back("x-terminal-emulator");
    for (const auto& c : candidates) {
        auto r = platform::runDetached({c}, activePanel()->CurDir);
        if (r.ok) return;
        Label2->setText(QString::fromStdString(r.message));
    }
}

void TForm1::toggleBar(int which) {
    bool& flag = which == 0 ? cfg_.Main.Show_ToolBar : which == 1 ? cfg_.Main.Show_DriveBar : cfg_.Main.Show_StatusBar;
    flag = !flag;
    Configuretoolbar1Click();
    StatusBar1->setVisible(cfg_.Main.Show_StatusBar);
    topStripHeight_ = 56;
    if (!cfg_.Main.Show_DriveBar) topStripHeight_ = 29;
    if (!cfg_.Main.Show_ToolBar) topStripHeight_ = 0;
    FormResize();
}

void TForm1::toggleToolBar() { toggleBar(0); }
void TForm1::toggleDriveBar() { toggleBar(1); }
void TForm1::toggleStatusBar() { toggleBar(2); }

void TForm1::setDefaultConfiguration() {
    const QString question = QString::fromStdString(SetDefaultConfigQuestion(cfg_, kvLanguage()));
    if (QMessageBox::question(this, QStringLiteral("Confirm"), question, QMessageBox::Ok | QMessageBox::Cancel,
                              QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    SetDefaultConfiguration(cfg_, *LeftPanel, *RightPanel);
    for (TFPanel* p : {LeftPanel, RightPanel}) {
        p->ApplyFont();  // the reset font; with Length 8 the header is 25 px
        p->HeaderHeight = 25;
        p->ReadDir();
        p->Bar_Pos = p->PosList = 0;
        p->LocateCursor();
    }
    setWindowTitle(QString::fromStdString(cfg_.Main.Title));
    setWindowState(windowState() & ~Qt::WindowMaximized);
    applyWindowBounds();
    FormResize();
    for (TFPanel* p : {LeftPanel, RightPanel}) p->update();
}

void TForm1::showAbout() {
    TAboutForm about(this, aboutCaption());
    about.exec();
}

QString TForm1::aboutCaption() const {
    if (IsEnglish(cfg_.Main.Language)) return QStringLiteral("About program");
    return caption(menuItem("N4"));
}

void TForm1::showHelp() {
    const QString title = IsEnglish(cfg_.Main.Language) ? QStringLiteral("Information") : caption(menuItem("N5"));
    TFormHelp help(this, title, QString::fromStdString(cfg_.Main.Build));
    connect(&help, &TFormHelp::aboutRequested, this, &TForm1::showAbout);
    help.exec();
}

void TForm1::showCalculator() {
    const std::string title =
        kvLanguage().DialogText(cfg_.Main.Language, "Calculator", "Caption", "Calculator");
    TCalculatorForm calc(this, QString::fromStdString(title));
    calc.exec();
}

// --- language ----------------------------------------------------------------------

void TForm1::Load_Language() {
    const std::string& lang = cfg_.Main.Language;
    if (IsEnglish(lang)) return;
    const TLanguage& texts = kvLanguage();
    static const char* english[7] = {"2-Menu", "3-View", "4-Edit", "5-Copy", "6-Rename", "7-MkDir", "8-Delete"};
    for (size_t i = 0; i < HotKeys.size(); ++i)
        HotKeys[i]->setText(QString::fromStdString(texts.MainText(lang, "HotButtons", kHotButtonKeys[i], english[i])));
    for (auto& [name, action] : items_) {
        const QString key = action->property("langKey").toString();
        if (key.isEmpty()) continue;
        setCaption(action, QString::fromStdString(
                               texts.MainText(lang, "MainMenu", key.toStdString(), caption(action).toStdString())));
    }
    // The panels' words; a key the file lacks keeps the English word, so no figure is
    // ever shown without its unit.
    for (TFPanel* p : {LeftPanel, RightPanel}) {
        for (const auto& [key, field] : kPanelTextKeys) p->Texts.*field = texts.Read("Panel", key, p->Texts.*field);
        p->update();
    }
}

}  // namespace kv
