#pragma once
// The installation work of kv_setup, without any window: make the target folder, unpack
// "data.res" into it through the ZIP extractor, record the folder in kv.ini and write the two
// menu entries. Each step runs only when the one before it succeeded, so a failed folder or a
// failed extraction leaves no kv.ini record and no menu entry pointing at a broken program.
#include <string>

namespace kv::setup {

// Where an installation takes its files from and puts them.
struct InstallPaths {
    std::string source;     // the folder holding "data.res" (the installer's own folder)
    std::string target;     // the folder the program goes into (absolute, or "~/...")
    std::string kvIni;      // "" : KvIniFile()
    std::string shortcuts;  // "" : ShortcutFolder()
};

struct InstallReport {
    bool ok = false;
    std::string step;     // the last step reached: "Creating a folder" ... "Installation is complited!"
    std::string error;    // when !ok: what the error box says
    std::string warning;  // when ok: a menu entry could not be written (the program is installed)
    std::string target;   // the folder the program went into, as expanded
    int extracted = 0;    // files written from data.res
};

// ~/.local/share/korvalen (by $XDG_DATA_HOME).
std::string DefaultTargetFolder();
// ~/.config/korvalen/kv.ini (by $XDG_CONFIG_HOME): the one kv reads when started anywhere.
std::string KvIniFile();
// ~/.local/share/applications/Korvalen (by $XDG_DATA_HOME).
std::string ShortcutFolder();
// The folder the installer itself lives in (from /proc/self/exe).
std::string InstallerFolder();

// A typed folder as an absolute path: a leading "~" is the home folder, a relative path is taken
// from the home folder, "." and ".." parts and trailing "/" go. Empty for an empty text.
std::string ExpandTarget(const std::string& typed);

// One argument of a desktop file's Exec key: quoted, with the desktop file escapes applied.
std::string DesktopExecArgument(const std::string& arg);

// Runs the whole installation.
InstallReport Install(const InstallPaths& paths);

// Starts the installed program detached, in its folder; false (with why) when it cannot run.
bool StartInstalled(const std::string& target, std::string& why);

}  // namespace kv::setup
