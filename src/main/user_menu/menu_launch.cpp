#include "main/user_menu/menu_launch.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "platform/shell_command.h"

namespace kv {

MenuLaunch PlanMenuCommand(const std::string& command, const std::string& home) {
    MenuLaunch plan;
    if (command.find_first_not_of(" \t") == std::string::npos) return plan;

    std::string path = command;
    if (path == "~" || path.rfind("~/", 0) == 0) {
        std::string h = home;
        if (h.empty())
            if (const char* e = std::getenv("HOME")) h = e;
        if (!h.empty()) path = h + path.substr(1);
    }
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && !(st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH))) {
        std::error_code ec;
        const std::filesystem::path full = std::filesystem::absolute(path, ec);
        const std::string file = ec ? path : full.lexically_normal().string();
        plan.way = MenuLaunch::Way::Open;
        plan.argv = {"xdg-open", file};
        plan.workDir = std::filesystem::path(file).parent_path().string();
        return plan;
    }
    plan.way = MenuLaunch::Way::Shell;
    plan.argv = platform::shellArgv(command);
    return plan;
}

platform::LaunchResult StartMenuCommand(const MenuLaunch& plan) {
    if (plan.way == MenuLaunch::Way::Nothing) return {true, 0, {}};
    return platform::runDetached(plan.argv, plan.workDir);
}

}  // namespace kv
