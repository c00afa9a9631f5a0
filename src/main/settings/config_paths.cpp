#include "main/settings/config_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace kv {
namespace fs = std::filesystem;

namespace {

bool isFile(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec) && !fs::is_directory(p, ec);
}

std::string_view env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string_view(v) : std::string_view();
}

}  // namespace

fs::path FindKvIni(const fs::path& workingDir, std::string_view xdgConfigHome, std::string_view home) {
    if (fs::path local = workingDir / "kv.ini"; isFile(local)) return local;
    // A relative XDG_CONFIG_HOME is invalid by the XDG rules and would follow the working folder.
    if (!xdgConfigHome.empty() && fs::path(xdgConfigHome).is_absolute())
        return fs::path(xdgConfigHome) / "korvalen" / "kv.ini";
    if (!home.empty()) return fs::path(home) / ".config" / "korvalen" / "kv.ini";
    return workingDir / "kv.ini";
}

fs::path FindKvIni() {
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    std::string home(env("HOME"));
    if (home.empty())
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    return FindKvIni(cwd, env("XDG_CONFIG_HOME"), home);
}

fs::path FindKvRusIni(const fs::path& kvIni, const std::vector<fs::path>& folders) {
    const fs::path beside = kvIni.parent_path() / "kv_rus.ini";
    if (isFile(beside)) return beside;
    for (const auto& folder : folders)
        if (fs::path p = folder / "kv_rus.ini"; !folder.empty() && isFile(p)) return p;
    return beside;
}

fs::path FindKvRusIni(const fs::path& kvIni) {
    std::vector<fs::path> folders;
#ifdef KV_DATA_DIR
    folders.emplace_back(KV_DATA_DIR);
#endif
    // Installed under another prefix than the one built for (a package, a DESTDIR copy):
    // the data folder beside the program's bin folder.
    folders.push_back(ExecutableFolder().parent_path() / "share" / "korvalen");
    folders.push_back(ExecutableFolder());
    return FindKvRusIni(kvIni, folders);
}

fs::path ExecutableFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return fs::current_path(ec);
    return exe.parent_path();
}

}  // namespace kv
