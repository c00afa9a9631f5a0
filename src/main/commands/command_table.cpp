#include "main/commands/command_table.h"

#include "main/commands/registrars.h"

namespace kv {

void CommandTable::add(std::string id, std::function<void(TForm1&)> run,
                       std::function<bool(const TForm1&)> enabled) {
    Command c{id, std::move(run), std::move(enabled)};
    commands_.insert_or_assign(std::move(id), std::move(c));
}

const Command* CommandTable::find(std::string_view id) const {
    auto it = commands_.find(id);
    return it == commands_.end() ? nullptr : &it->second;
}

bool CommandTable::isEnabled(std::string_view id, const TForm1& form) const {
    const Command* c = find(id);
    return c && (!c->enabled || c->enabled(form));
}

bool CommandTable::run(std::string_view id, TForm1& form) const {
    const Command* c = find(id);
    if (!c || (c->enabled && !c->enabled(form))) return false;
    // A copy: the command may replace its own row (or close the window) while it runs.
    const auto run = c->run;
    if (run) run(form);
    return true;
}

std::vector<std::string> CommandTable::ids() const {
    std::vector<std::string> out;
    for (const auto& [id, c] : commands_) out.push_back(id);
    return out;
}

void registerAllCommands(CommandTable& table) {
    registerWindowCommands(table);
    registerPanelCommands(table);
    registerCommandLineCommands(table);
    registerFileCommands(table);
    registerToolCommands(table);
    registerViewerCommands(table);  // replaces the tools' resource-explorer placeholders
    // Last: its rows replace the placeholders other files keep for the editor, the console
    // and the Recycle Bin.
    registerLaunchCommands(table);
    registerMusicCommands(table);  // replaces the tools' music and CD-player placeholders
    registerOptionsCommands(table);
    registerSelectCommands(table);
    registerFormatCommands(table);
}

}  // namespace kv
