// The panel choosers: select and unselect a group by mask, the sort order, the drive.
#include "main/commands/command_table.h"
#include "main/commands/registrars.h"
#include "main/main_form.h"
#include "main/panel_dialogs/form_drive.h"
#include "main/panel_dialogs/form_plus.h"
#include "main/panel_dialogs/form_sort.h"

namespace kv {

void registerSelectCommands(CommandTable& t) {
    t.add("panel.selectGroup", [](TForm1& f) { TFormPlus::instance(f).run(GroupAction::Flip); });
    t.add("panel.unselectGroup", [](TForm1& f) { TFormPlus::instance(f).run(GroupAction::Unselect); });
    t.add("panel.sortModes", [](TForm1& f) {
        TFormSort d(f);
        d.exec();
    });
    t.add("panel.changeDrive", [](TForm1& f) { f.ChangeDrive(f.cfg().Main.Active); });
    // Alt+F1 shows the chooser for the left panel modeless, Alt+F2 for the right one modal.
    t.add("drive.targetLeft", [](TForm1& f) { TFormDrive::instance(f).showFor("Left", false); });
    t.add("drive.targetRight", [](TForm1& f) { TFormDrive::instance(f).showFor("Right", true); });
}

}  // namespace kv
