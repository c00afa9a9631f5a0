#pragma once
// What every file command needs from the panels and the user before it builds its job: the
// entries it works on, a typed path made absolute, a target folder made ready, and the
// folder monitors held for as long as the job runs.
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "fileops/fileops_context.h"
#include "platform/display_text.h"

namespace kv {
class TFPanel;
}

namespace kv::fileops_ui {

inline QString q(const std::string& s) { return QString::fromStdString(s); }
// A name or path as a dialog or message shows it: controls, direction overrides and invisible
// characters made visible, so "invoice<RLO>gpj.exe" cannot pass for a picture. Fields the
// user edits keep the real name (q).
inline QString qName(const std::string& s) { return QString::fromStdString(platform::visibleControls(s)); }

// The selected entries' paths in listing order, else the entry under the cursor; never "..".
// Empty when there is nothing to work on.
std::vector<std::string> chosenPaths(TFPanel* p);

// A typed path: blanks around it dropped, "~" the home folder, a relative path taken from
// `baseFolder`, "." and ".." folded. Empty when nothing was typed.
std::string resolveTypedPath(const std::string& baseFolder, std::string text);

// Where several entries go (or entries out of an archive): an existing folder is ready; a
// missing one is made with its parents after asking; a file of that name refuses. False:
// the command stops (the reason was shown).
bool prepareTargetFolder(const FileOpsContext& ctx, const std::string& target, const QString& caption,
                         std::size_t count);

// Makes `path` with any missing parents. False with errno set on failure.
bool makeFolderWithParents(const std::string& path);

// Holds the monitors of the given panels stopped until the last copy of it goes (a job's
// request owns one, so the monitors rest for the job's whole life, also in the background).
using MonitorHold = std::shared_ptr<void>;
MonitorHold holdMonitors(std::vector<TFPanel*> panels);

}  // namespace kv::fileops_ui
