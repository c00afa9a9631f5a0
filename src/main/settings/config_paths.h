#pragma once
// Where kv.ini and kv_rus.ini are. kv.ini: ./kv.ini when it exists in the working folder (the old
// portable way), else $XDG_CONFIG_HOME/korvalen/kv.ini (~/.config/korvalen/kv.ini), so starting
// kv from any folder leaves no file behind. kv_rus.ini: beside the kv.ini in use, then in the
// installed data folder, then beside the executable.
#include <filesystem>
#include <string_view>
#include <vector>

namespace kv {

// The pure rule, for tests: `xdgConfigHome` is used only when it is an absolute path.
std::filesystem::path FindKvIni(const std::filesystem::path& workingDir, std::string_view xdgConfigHome,
                                std::string_view home);
// The same from the process's working folder and environment.
std::filesystem::path FindKvIni();

// The first existing kv_rus.ini beside `kvIni`, then in each of `folders`; when none exists, the
// one beside `kvIni` (reads then give their defaults).
std::filesystem::path FindKvRusIni(const std::filesystem::path& kvIni,
                                   const std::vector<std::filesystem::path>& folders);
// The same with the installed data folder and the executable's folder.
std::filesystem::path FindKvRusIni(const std::filesystem::path& kvIni);

// The folder of the running executable (from /proc/self/exe), without a trailing "/".
std::filesystem::path ExecutableFolder();

}  // namespace kv
