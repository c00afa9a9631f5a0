#pragma once
// The archive commands of the main window: Extract files (Shift+F2), quick extraction
// (Shift+Enter: into the panel's own folder) and Add to archive (Shift+F1). The work runs
// as a file job on the worker (see archive_jobs.h) with both folder monitors stopped; both
// panels are re-read afterwards and what failed is shown once, at the end.
#include "fileops/fileops_context.h"

namespace kv::fileops_ui {

void ExtractCommand(const FileOpsContext& ctx);
void QuickExtractCommand(const FileOpsContext& ctx);
void AddToArchiveCommand(const FileOpsContext& ctx);

}  // namespace kv::fileops_ui
