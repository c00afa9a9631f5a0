#pragma once
// The file commands on panels that show a folder inside an archive: copy out of an archive
// (through the extractors), copy into a ZIP, make a folder and delete in a ZIP (through the
// ZIP writer, which replaces the archive in one rename), and the viewer's temporary copies.
// What an archive cannot do is said once and nothing is changed.
#include <string>

#include "fileops/fileops_context.h"

class QWidget;

namespace kv {
class TEntryCopies;
class TFPanel;
}  // namespace kv

namespace kv::fileops_ui {

// Whether a command on these panels is one for this file: the active panel is inside an
// archive, or (for copy and move, which write into the other panel) the passive one is.
bool ArchiveTouched(const FileOpsContext& ctx, bool intoPassive);

// F5 out of an archive, or from a folder into a ZIP.
void ArchiveCopyCommand(const FileOpsContext& ctx);
// F6 and Shift+F6: archives are never moved into or out of, nor renamed in.
void ArchiveMoveCommand(const FileOpsContext& ctx);
// F7: a folder entry in a ZIP.
void ArchiveMakeFolderCommand(const FileOpsContext& ctx);
// F8: the chosen entries of a ZIP, folders with everything beneath them.
void ArchiveDeleteCommand(const FileOpsContext& ctx);
// A command that has no meaning in an archive (attributes, a new file): says so.
void ArchiveRefusedCommand(const FileOpsContext& ctx, const char* what);

// The temporary copies of archive entries made for the windows of `owner`; they go when the
// window does.
TEntryCopies& EntryCopies(QWidget* owner);
// The file entry under the panel's cursor extracted into a private temporary copy; "" when
// there is none (a folder, "..") or it could not be extracted (the error is shown).
std::string ArchiveEntryCopy(QWidget* owner, TFPanel* panel);

}  // namespace kv::fileops_ui
