#pragma once
// Plug-ins: shared objects in a "Plugins" folder that add items to the "P&lugins" menu.
// Each exports three C entry points:
//   extern "C" void Init(void* host);        called once after loading
//   extern "C" const char* GetName();        the menu caption, UTF-8
//   extern "C" void InsertText();            called when the user clicks the item
// A module that fails to load or lacks one of them is skipped and gets no menu item.
#include <memory>
#include <string>
#include <vector>

#include "platform/module_loader.h"

namespace kv {

class TTestPlugIn {
public:
    using InitFn = void (*)(void*);
    using GetNameFn = const char* (*)();
    using InsertTextFn = void (*)();

    std::string Name;  // the caption GetName gave
    std::string Path;
    InsertTextFn InsertText = nullptr;

    // Loads path, checks the three entry points, calls Init(host) and GetName. Null when
    // the module cannot be used; then *why says what was wrong.
    static std::unique_ptr<TTestPlugIn> load(const std::string& path, void* host, std::string* why);

private:
    platform::LoadedModule module_;  // stays loaded for the whole run
};

// The "*.so" files of folder and, recursively, of its subfolders: the files of a folder
// (by name, as the file system order is arbitrary) come before its subfolders, which are
// searched in name order; names beginning with "." are skipped; the extension test ignores
// case. A missing folder gives nothing; a folder reached twice through links is searched once.
std::vector<std::string> collectPluginFiles(const std::string& folder);

// The plug-in folders in search order: <program folder>/Plugins, then
// $XDG_DATA_HOME/korvalen/Plugins (~/.local/share/korvalen/Plugins).
std::vector<std::string> defaultPluginFolders(const std::string& programFolder);

}  // namespace kv
