// The File menu's commands. The file operations themselves live in src/fileops; this file
// hands them the panels, the owner window, DelToRecycle and the language lookup.
#include "fileops/archive/archive_commands.h"
#include "fileops/fileops_commands.h"
#include "fileops/jobs_window.h"
#include "main/commands/command_table.h"
#include "main/commands/registrars.h"
#include "main/main_form.h"

namespace kv {

namespace {

FileOpsContext fileOpsContext(TForm1& f) {
    FileOpsContext c;
    c.owner = &f;
    c.active = f.activePanel();
    c.passive = f.passivePanel();
    c.delToRecycle = f.cfg().Main.DelToRecycle;
    const std::string lang = f.cfg().Main.Language;
    c.english = IsEnglish(lang);
    c.text = [lang](std::string_view section, std::string_view key, std::string_view english) {
        return kvLanguage().DialogText(lang, section, key, english);
    };
    return c;
}

// A file command runs on the active panel's entries and leaves both panels re-read.
void addFileOp(CommandTable& t, const char* id, void (*run)(const FileOpsContext&)) {
    t.add(id, [run](TForm1& f) { run(fileOpsContext(f)); });
}

}  // namespace

void registerFileCommands(CommandTable& t) {
    t.add("file.view", [](TForm1& f) { f.File_Work(f.activePanel()->CurPath); });
    addFileOp(t, "file.copy", fileops_ui::CopyCommand);
    addFileOp(t, "file.rename", [](const FileOpsContext& c) { fileops_ui::RenameMoveCommand(c, false); });
    addFileOp(t, "file.renameInPlace",
              [](const FileOpsContext& c) { fileops_ui::RenameMoveCommand(c, true); });
    addFileOp(t, "file.makeFolder", fileops_ui::MakeFolderCommand);
    addFileOp(t, "file.delete", fileops_ui::DeleteCommand);
    addFileOp(t, "file.attributes", fileops_ui::AttributesCommand);
    addFileOp(t, "file.createFile", fileops_ui::MakeFileCommand);
    addFileOp(t, "file.extract", fileops_ui::ExtractCommand);
    addFileOp(t, "file.quickExtract", fileops_ui::QuickExtractCommand);
    addFileOp(t, "file.addToArchive", fileops_ui::AddToArchiveCommand);
    // The file jobs running or queued, each with its progress and Cancel.
    t.add("jobs.show", [](TForm1& f) { TFormJobs::showFor(&f); });
    // Not built yet; the old program kept Find file switched off.
    t.add("file.edit");
    t.add("file.find", {}, CommandTable::never);
}

}  // namespace kv
