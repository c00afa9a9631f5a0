// The window's own commands: ending the program, the tray, the bars, the help dialogs and
// the configuration menu.
#include <QCursor>
#include <QMenu>
#include <QMessageBox>

#include "main/about_form.h"
#include "main/commands/command_table.h"
#include "main/commands/registrars.h"
#include "main/help_form.h"
#include "main/main_form.h"

namespace kv {

namespace {

void showAbout(TForm1& f) {
    const QString title =
        IsEnglish(f.cfg().Main.Language) ? QStringLiteral("About program") : f.mainMenu().caption("N4");
    TAboutForm about(&f, title);
    about.exec();
}

void showHelp(TForm1& f) {
    const QString title =
        IsEnglish(f.cfg().Main.Language) ? QStringLiteral("Information") : f.mainMenu().caption("N5");
    TFormHelp help(&f, title, QString::fromStdString(f.cfg().Main.Build));
    QObject::connect(&help, &TFormHelp::aboutRequested, &f, [&f] { f.runCommand("help.about"); });
    help.exec();
}

// The "Configure toolbars" marks as the bars are now.
void refreshBarMarks(TForm1& f) {
    TMainMenu& menu = f.mainMenu();
    menu.setMark("Toolb_1", f.cfg().Main.Show_ToolBar);
    menu.setMark("Toolb_2", f.cfg().Main.Show_DriveBar);
    menu.setMark("Toolb_3", f.cfg().Main.Show_StatusBar);
}

void toggleBar(TForm1& f, bool TMainSettings::*flag) {
    f.cfg().Main.*flag = !(f.cfg().Main.*flag);
    refreshBarMarks(f);
    f.applyBarVisibility();
}

void setDefaultConfiguration(TForm1& f) {
    KvConfig& cfg = f.cfg();
    const QString question = QString::fromStdString(SetDefaultConfigQuestion(cfg, kvLanguage()));
    if (QMessageBox::question(&f, QStringLiteral("Confirm"), question, QMessageBox::Ok | QMessageBox::Cancel,
                              QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    SetDefaultConfiguration(cfg, *f.LeftPanel, *f.RightPanel);
    for (TFPanel* p : {f.LeftPanel, f.RightPanel}) {
        p->ApplyFont();  // the reset font; with Length 8 the header is 25 px
        p->HeaderHeight = 25;
        p->ReadDir();
        p->Bar_Pos = p->PosList = 0;
        p->LocateCursor();
    }
    f.setWindowTitle(QString::fromStdString(cfg.Main.Title));
    f.setWindowState(f.windowState() & ~Qt::WindowMaximized);
    f.applyWindowBounds();
    f.FormResize();
    for (TFPanel* p : {f.LeftPanel, f.RightPanel}) p->update();
}

}  // namespace

void registerWindowCommands(CommandTable& t) {
    t.add("app.exit", [](TForm1& f) { f.close(); });
    t.add("window.restore", [](TForm1& f) {
        f.showNormal();
        f.raise();
        f.activateWindow();
    });
    t.add("tray.popup", [](TForm1& f) { f.PopupMenu1->popup(QCursor::pos()); });
    t.add("help.about", showAbout);
    t.add("help.information", showHelp);

    t.add("config.toolbars", refreshBarMarks);
    t.add("bars.toolBar", [](TForm1& f) { toggleBar(f, &TMainSettings::Show_ToolBar); });
    t.add("bars.driveBar", [](TForm1& f) { toggleBar(f, &TMainSettings::Show_DriveBar); });
    t.add("bars.statusBar", [](TForm1& f) { toggleBar(f, &TMainSettings::Show_StatusBar); });
    t.add("bars.configure", {}, CommandTable::never);
    t.add("config.reset", setDefaultConfiguration);
    // The options dialogs and the user menu are options_commands.cpp's; the old program kept
    // these three switched off.
    t.add("config.fileColors", {}, CommandTable::never);
    t.add("config.associations", {}, CommandTable::never);
    t.add("config.syncPanels", {}, CommandTable::never);

    t.add("games.tetris");
    t.add("games.life");
}

}  // namespace kv
