#pragma once
// What kv does with the path it is started with (the desktop passes one for the folders and
// archive types kv is registered for): a folder starts both panels there, an archive opens in
// the active panel, any other existing file opens in the resource explorer.
#include <QString>

#include <filesystem>
#include <string>

namespace kv {

class TForm1;

struct StartArgument {
    std::string startFolder;        // both panels start here ("" : the working folder)
    std::filesystem::path archive;  // opened in the active panel once the window is up
    bool resourceExplorer = false;  // the file goes to the resource explorer
};

StartArgument ClassifyStartArgument(const QString& argument);

// The active panel puts its cursor on the archive (in the folder it shows) and opens it as a
// folder; false when the archive is not listed there.
bool OpenArchiveInPanel(TForm1& form, const std::filesystem::path& archive);

}  // namespace kv
