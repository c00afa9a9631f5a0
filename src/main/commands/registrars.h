#pragma once
// One registration function per subsystem; registerAllCommands calls each once.
// A new subsystem adds its function here and to registerAllCommands.
namespace kv {

class CommandTable;

void registerWindowCommands(CommandTable& table);       // window_commands.cpp
void registerPanelCommands(CommandTable& table);        // panel_commands.cpp
void registerCommandLineCommands(CommandTable& table);  // command_line_commands.cpp
void registerFileCommands(CommandTable& table);         // file_commands.cpp
void registerToolCommands(CommandTable& table);         // tool_commands.cpp
void registerLaunchCommands(CommandTable& table);       // launch_commands.cpp
void registerViewerCommands(CommandTable& table);       // viewer_commands.cpp
void registerMusicCommands(CommandTable& table);        // music_commands.cpp
void registerOptionsCommands(CommandTable& table);      // options_commands.cpp
void registerSelectCommands(CommandTable& table);       // select_commands.cpp
void registerFormatCommands(CommandTable& table);       // format_commands.cpp

}  // namespace kv
