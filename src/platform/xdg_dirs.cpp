#include "platform/xdg_dirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace kv::platform {

namespace {

std::string homeFolder() {
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h) {
        home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
        home = pw->pw_dir;
    }
    return home.empty() ? std::string("/tmp") : home;
}

}  // namespace

std::string dataHome() {
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && x[0] == '/') return x;
    return homeFolder() + "/.local/share";
}

std::string configHome() {
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && x[0] == '/') return x;
    return homeFolder() + "/.config";
}

}  // namespace kv::platform
