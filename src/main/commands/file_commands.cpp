// The File menu's commands. The file operations will register theirs from src/fileops.
#include "main/commands/command_table.h"
#include "main/commands/registrars.h"
#include "main/main_form.h"

namespace kv {

void registerFileCommands(CommandTable& t) {
    t.add("file.view", [](TForm1& f) { f.File_Work(f.activePanel()->CurPath); });
    // Not built yet; the old program kept Find file and Add to archive switched off.
    for (const char* id : {"file.userMenu", "file.edit", "file.copy", "file.rename", "file.makeFolder", "file.delete",
                           "file.attributes", "file.createFile", "file.extract"})
        t.add(id);
    t.add("file.find", {}, CommandTable::never);
    t.add("file.addToArchive", {}, CommandTable::never);
}

}  // namespace kv
