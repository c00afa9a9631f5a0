#pragma once
// The file commands of the main window on disk panels (F5 copy, F6 and Alt+F6 rename/move,
// F7 make folder, F8 delete, Shift+F4 make file, Ctrl+A attributes). Each shows its dialog,
// then builds one job for all its entries (the selection in listing order, else the entry
// under the cursor, ".." never): one progress total, and "... all" answers that hold for
// the whole command. The command rows send panels inside archives to
// archive/archive_panel_commands.h instead.
#include "fileops/fileops_context.h"

namespace kv::fileops_ui {

void CopyCommand(const FileOpsContext& ctx);
void RenameMoveCommand(const FileOpsContext& ctx, bool inPlace);
void MakeFolderCommand(const FileOpsContext& ctx);
void DeleteCommand(const FileOpsContext& ctx);
void MakeFileCommand(const FileOpsContext& ctx);
void AttributesCommand(const FileOpsContext& ctx);

}  // namespace kv::fileops_ui
