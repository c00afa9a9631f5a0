#include "platform/desktop_programs.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace kv::platform {

namespace {

CommandLine words(const char* text) {
    CommandLine out;
    std::istringstream in(text ? text : "");
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

CommandLine variable(const EnvLookup& env, const char* name) {
    return words(env ? env(name) : std::getenv(name));
}

}  // namespace

std::vector<CommandLine> terminalCommands(const EnvLookup& env) {
    std::vector<CommandLine> out;
    if (CommandLine t = variable(env, "TERMINAL"); !t.empty()) out.push_back(t);
    out.push_back({"x-terminal-emulator"});
    return out;
}

std::vector<CommandLine> editorCommands(const std::string& file, const EnvLookup& env) {
    std::vector<CommandLine> out;
    auto withFile = [&file](CommandLine c) {
        if (!file.empty()) c.push_back(file);
        return c;
    };
    if (CommandLine visual = variable(env, "VISUAL"); !visual.empty()) out.push_back(withFile(visual));
    if (CommandLine editor = variable(env, "EDITOR"); !editor.empty()) {
        for (CommandLine terminal : terminalCommands(env)) {
            terminal.push_back("-e");
            terminal.insert(terminal.end(), editor.begin(), editor.end());
            out.push_back(withFile(terminal));
        }
    }
    if (!file.empty()) out.push_back({"xdg-open", file});
    return out;
}

LaunchResult launchFirst(const std::vector<CommandLine>& candidates, const std::string& workDir) {
    if (candidates.empty()) return {false, ENOENT, "no program to start"};
    LaunchResult first;
    for (size_t i = 0; i < candidates.size(); ++i) {
        LaunchResult r = runDetached(candidates[i], workDir);
        if (r.ok) return r;
        if (i == 0) first = r;
    }
    return first;
}

}  // namespace kv::platform
