#pragma once
// Files handed to the desktop (Enter on a file that is no program, F3 on a video): the
// desktop's program for the file's type when one is registered and starts; otherwise a
// message that names the file's type and offers our viewer, never silence.
#include <QString>

#include <string>
#include <vector>

namespace kv {

class TForm1;

// Whether a desktop entry is registered for the MIME type (or one it derives from) in the
// freedesktop lists under the given folders: mimeapps.list in the config folders, and
// applications/mimeapps.list and applications/mimeinfo.cache in the data folders.
bool desktopHandlesType(const QString& mimeType, const std::vector<std::string>& configDirs,
                        const std::vector<std::string>& dataDirs);
// The same for the user's folders ($XDG_CONFIG_HOME, $XDG_CONFIG_DIRS, $XDG_DATA_HOME,
// $XDG_DATA_DIRS).
bool desktopHandles(const std::string& file);

// Opens the file with the desktop's program, or asks whether to view it; false only when
// the user said no and nothing opened (the panel shows no error box then either).
bool openWithDesktopOrOffer(TForm1& form, const std::string& file, const std::string& workDir);
// The question alone: `why` says what went wrong, the type is added.
bool offerViewer(TForm1& form, const std::string& file, const QString& why);

// The panels' Enter on a file: a program (execute bit) runs itself, anything else goes
// through openWithDesktopOrOffer.
bool launchFromPanel(TForm1& form, const std::string& file, const std::string& workDir, std::string& error);

}  // namespace kv
