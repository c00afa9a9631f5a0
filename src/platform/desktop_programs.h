#pragma once
// The desktop's own programs for the old system commands: a text editor for "notepad.exe"
// and a console for "command.com". Each is a list of command lines to try in order; the
// first that starts wins.
#include <functional>
#include <string>
#include <vector>

#include "platform/launcher.h"

namespace kv::platform {

using CommandLine = std::vector<std::string>;
// Reads an environment variable (std::getenv by default); null or "" when unset.
using EnvLookup = std::function<const char*(const char*)>;

// $TERMINAL, then x-terminal-emulator (Debian's chosen terminal).
std::vector<CommandLine> terminalCommands(const EnvLookup& env = {});

// $VISUAL with the file; else $EDITOR with the file in each terminal of terminalCommands;
// else xdg-open with the file (the desktop's editor for text). Without a file the same
// editors start empty and xdg-open is left out. Variables holding arguments ("code -w")
// are split at blanks.
std::vector<CommandLine> editorCommands(const std::string& file, const EnvLookup& env = {});

// Starts the first command line that starts, detached, in workDir. When none does, the
// result is the first one's failure (or "no program" when the list is empty).
LaunchResult launchFirst(const std::vector<CommandLine>& candidates, const std::string& workDir);

}  // namespace kv::platform
