#pragma once
// The file commands of the main window (F5 copy, F6 and Alt+F6 rename/move, F7 make
// folder, F8 delete, Shift+F4 make file, Ctrl+A attributes). Each shows its dialog, then
// sends one request per selected entry in listing order (".." never), with both folder
// monitors stopped, and refreshes both panels. Cancel ends the whole command.
#include <string>

#include "fileops/fileops_context.h"

namespace kv::fileops_ui {

void CopyCommand(const FileOpsContext& ctx);
void RenameMoveCommand(const FileOpsContext& ctx, bool inPlace);
void MakeFolderCommand(const FileOpsContext& ctx);
void DeleteCommand(const FileOpsContext& ctx);
void MakeFileCommand(const FileOpsContext& ctx);
void AttributesCommand(const FileOpsContext& ctx);

// After a new entry was made: the cursor on `name` (the first entry when there is none of
// that name), scrolled into view when it lies beyond the page.
void PlaceCursorOn(TFPanel* p, const std::string& name);

}  // namespace kv::fileops_ui
