#pragma once
// How a user-menu command starts. No Qt here.
//
// A command that names an existing file without an execute bit (a document) is opened by the
// desktop (xdg-open) in that file's folder; anything else (a program, a script with its execute
// bit, a whole command line) runs through `sh -c --` in kv's own working folder.
#include <string>
#include <vector>

#include "platform/launcher.h"

namespace kv {

struct MenuLaunch {
    enum class Way { Nothing, Open, Shell };
    Way way = Way::Nothing;
    std::vector<std::string> argv;  // what runDetached gets
    std::string workDir;            // empty: kv's working folder
};

// `home` stands for "~" at the start of the command; empty takes $HOME.
MenuLaunch PlanMenuCommand(const std::string& command, const std::string& home = {});

// Starts the plan, detached from kv. A plan of Way::Nothing starts nothing and succeeds.
platform::LaunchResult StartMenuCommand(const MenuLaunch& plan);

}  // namespace kv
