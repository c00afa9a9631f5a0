#pragma once
// The command table: every command of the main window is one row {id, run, enabled}.
// Menu items, tool-bar buttons, tray items, function-key buttons and key-map rows name an
// id and go through run(), so a disabled command does nothing from any of them.
//
// Each subsystem registers its own commands from its own file (panel_commands.cpp,
// window_commands.cpp, ...; see registrars.h):
//   table.add("panel.toggleHidden", [](TForm1& f) { f.activePanel()->ToggleHidden(); });
// A command whose window is not built yet is added without a run function; one the old
// program kept switched off gets the enabled rule `never`.
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

class TForm1;

struct Command {
    std::string id;
    std::function<void(TForm1&)> run;            // empty: not built yet, does nothing
    std::function<bool(const TForm1&)> enabled;  // empty: always enabled
};

class CommandTable {
public:
    // Adds a command, or replaces the one with the same id.
    void add(std::string id, std::function<void(TForm1&)> run = {},
             std::function<bool(const TForm1&)> enabled = {});

    const Command* find(std::string_view id) const;
    bool contains(std::string_view id) const { return find(id) != nullptr; }
    // An unknown id is not enabled: a control that names a command nobody registered
    // must not look as if it worked.
    bool isEnabled(std::string_view id, const TForm1& form) const;
    // Runs the command when it is enabled; true when it was enabled (run or not built yet).
    bool run(std::string_view id, TForm1& form) const;

    std::vector<std::string> ids() const;

    static bool never(const TForm1&) { return false; }

private:
    std::map<std::string, Command, std::less<>> commands_;
};

// Every subsystem's commands, in one table.
void registerAllCommands(CommandTable& table);

}  // namespace kv
