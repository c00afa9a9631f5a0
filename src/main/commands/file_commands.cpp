// The File menu's commands. The file operations themselves live in src/fileops; this file
// hands them the panels, the owner window, DelToRecycle and the language lookup.
#include <QObject>

#include "fileops/archive/archive_commands.h"
#include "fileops/archive/archive_panel_commands.h"
#include "fileops/archive/entry_copies.h"
#include "fileops/fileops_commands.h"
#include "fileops/jobs_window.h"
#include "fileops/multi_rename_form.h"
#include "main/commands/command_table.h"
#include "main/commands/registrars.h"
#include "main/file_work.h"
#include "main/find/find_form.h"
#include "main/main_form.h"
#include "main/viewer_work.h"
#include "panel/model/file_kinds.h"
#include "viewers/form_view.h"
#include "viewers/editor/form_edit.h"

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

using FileOp = void (*)(const FileOpsContext&);

// A file command runs on the active panel's entries and leaves both panels re-read.
void addFileOp(CommandTable& t, const char* id, FileOp run) {
    t.add(id, [run](TForm1& f) { run(fileOpsContext(f)); });
}

// A file command with its counterpart for archives, which runs when the active panel shows a
// folder inside an archive, or, for copy and move (they write into the other panel), the
// passive one does.
void addFileOp(CommandTable& t, const char* id, FileOp onDisk, FileOp inArchive, bool intoPassive) {
    t.add(id, [=](TForm1& f) {
        const FileOpsContext c = fileOpsContext(f);
        (fileops_ui::ArchiveTouched(c, intoPassive) ? inArchive : onDisk)(c);
    });
}

// F3: an entry inside an archive is viewed from a temporary copy, as if it were on disk; the
// copy goes when the editor closes (pictures: the viewer makes its own copies as it steps).
void viewEntry(TForm1& f) {
    TFPanel* p = f.activePanel();
    if (!p->InArchive()) return f.File_Work(p->CurPath);
    p->publishCurrent();
    if (p->CurIsDir || p->CurFile.empty() || p->CurFile == "..") return;
    if (fileWorkKindByName(p->CurFile) == FileWorkKind::Picture) return f.File_Work(p->CurPath);
    const std::string copy = fileops_ui::ArchiveEntryCopy(&f, p);
    if (copy.empty()) return;
    f.File_Work(copy);
    for (TFormEdit* e : f.findChildren<TFormEdit*>()) {
        if (e->filePath() != copy) continue;
        e->markTemporaryCopy(QString::fromStdString(p->CurPath));
        QObject::connect(e, &QObject::destroyed, &f,
                         [&f, copy] { fileops_ui::EntryCopies(&f).release(copy); });
        return;
    }
    for (TFormView* v : f.findChildren<TFormView*>()) {
        if (v->path() != copy) continue;
        QObject::connect(v, &QObject::destroyed, &f, [&f, copy] { fileops_ui::EntryCopies(&f).release(copy); });
        return;
    }
    // A player or a program outside may read the copy for as long as it runs: it stays until
    // the window ends.
}

// Shift+F3: the file viewer whatever the file is (an archive entry from a temporary copy
// that goes with the viewer). Folders and special files are not viewed.
void viewInViewer(TForm1& f) {
    TFPanel* p = f.activePanel();
    p->publishCurrent();
    if (p->CurIsDir || p->CurFile.empty() || p->CurFile == "..") return;
    if (!p->InArchive()) {
        if (const std::string_view kind = specialKindAt(p->CurPath); !kind.empty()) return f.File_Work(p->CurPath);
        return openFileViewer(f, p->CurPath);
    }
    const std::string copy = fileops_ui::ArchiveEntryCopy(&f, p);
    if (copy.empty()) return;
    openFileViewer(f, copy);
    for (TFormView* v : f.findChildren<TFormView*>()) {
        if (v->path() != copy) continue;
        QObject::connect(v, &QObject::destroyed, &f, [&f, copy] { fileops_ui::EntryCopies(&f).release(copy); });
        return;
    }
    fileops_ui::EntryCopies(&f).release(copy);  // the viewer did not open
}

}  // namespace

void registerFileCommands(CommandTable& t) {
    t.add("file.view", viewEntry);
    t.add("file.viewAlways", viewInViewer);
    addFileOp(t, "file.copy", fileops_ui::CopyCommand, fileops_ui::ArchiveCopyCommand, true);
    addFileOp(
        t, "file.rename", [](const FileOpsContext& c) { fileops_ui::RenameMoveCommand(c, false); },
        fileops_ui::ArchiveMoveCommand, true);
    addFileOp(
        t, "file.renameInPlace", [](const FileOpsContext& c) { fileops_ui::RenameMoveCommand(c, true); },
        fileops_ui::ArchiveMoveCommand, false);
    addFileOp(t, "file.makeFolder", fileops_ui::MakeFolderCommand, fileops_ui::ArchiveMakeFolderCommand,
              false);
    addFileOp(t, "file.delete", fileops_ui::DeleteCommand, fileops_ui::ArchiveDeleteCommand, false);
    addFileOp(
        t, "file.attributes", fileops_ui::AttributesCommand,
        [](const FileOpsContext& c) { fileops_ui::ArchiveRefusedCommand(c, "Changing attributes"); }, false);
    addFileOp(
        t, "file.createFile", fileops_ui::MakeFileCommand,
        [](const FileOpsContext& c) { fileops_ui::ArchiveRefusedCommand(c, "Making a file"); }, false);
    addFileOp(t, "file.extract", fileops_ui::ExtractCommand);
    addFileOp(t, "file.quickExtract", fileops_ui::QuickExtractCommand);
    addFileOp(t, "file.addToArchive", fileops_ui::AddToArchiveCommand);
    // New names for the selection from a pattern, with a preview; one undo per session.
    addFileOp(t, "file.multiRename", fileops_ui::MultiRenameCommand);
    addFileOp(t, "file.undoMultiRename", fileops_ui::UndoMultiRenameCommand);
    // The file jobs running or queued, each with its progress and Cancel.
    t.add("jobs.show", [](TForm1& f) { TFormJobs::showFor(&f); });
    t.add("file.edit");
    // The search window; the start folder is the active panel's.
    t.add("file.find", [](TForm1& f) { TFormFind::showFor(f); });
}

}  // namespace kv
