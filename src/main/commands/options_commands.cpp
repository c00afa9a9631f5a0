// The configuration dialogs and the user menu: "Main options", "Set Colors", "Change fonts" and
// the user menu (F2, and "Main menu" in the Configuration menu).
#include "main/commands/command_table.h"
#include "main/commands/registrars.h"
#include "main/main_form.h"
#include "main/options/colors_form.h"
#include "main/options/fonts_form.h"
#include "main/options/options_form.h"
#include "main/user_menu/user_menu_form.h"

namespace kv {

namespace {

void showUserMenu(TForm1& f) {
    TFormMenu menu(&f, MenuFilePath(f.iniPath()), f.cfg().Main.Language);
    menu.exec();
}

template <class Dialog>
void showDialog(TForm1& f) {
    Dialog d(f);
    d.exec();
}

}  // namespace

void registerOptionsCommands(CommandTable& t) {
    t.add("file.userMenu", showUserMenu);
    t.add("config.mainMenu", showUserMenu);
    t.add("config.mainOptions", showDialog<TFormParam>);
    t.add("config.colors", showDialog<TFormColor>);
    t.add("config.fonts", showDialog<TFormFonts>);
}

}  // namespace kv
