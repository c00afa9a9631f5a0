#pragma once
// The language lookup. English texts are built into the windows; with any language value other
// than exactly "ENGLISH" (case matters: "russian" reads the file too) a window takes each text
// from its own section of kv_rus.ini. The file is read once (UTF-8, or Windows-1251 from old
// installations) and never written.
#include <array>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/private_profile.h"

namespace kv {

inline constexpr std::string_view kEnglish = "ENGLISH";
inline constexpr std::string_view kRussian = "RUSSIAN";
// What the dialogs and tools show for a key kv_rus.ini lacks (the main window shows "").
inline constexpr std::string_view kErrorLoadingResource = "Error loading resource";

inline bool IsEnglish(std::string_view language) { return language == kEnglish; }

class TLanguage {
public:
    TLanguage() = default;  // no file: every lookup gives its default
    explicit TLanguage(const std::filesystem::path& rusIni) { Open(rusIni); }

    // Reads kv_rus.ini; a missing or unreadable file leaves the lookup empty. The answer says
    // why a file that is there was not read (not a regular file, too large); "" otherwise.
    std::string Open(const std::filesystem::path& rusIni);
    const std::filesystem::path& path() const { return path_; }

    // The file's text, or `def` when the section or key is missing.
    std::string Read(std::string_view section, std::string_view key, std::string_view def) const;

    // The text a window shows: `english` when `language` is exactly "ENGLISH", else the file's
    // text, else `missing`.
    std::string Text(std::string_view language, std::string_view section, std::string_view key,
                     std::string_view english, std::string_view missing) const;
    // The main window's lookup: a missing key gives the empty text.
    std::string MainText(std::string_view language, std::string_view section, std::string_view key,
                         std::string_view english) const {
        return Text(language, section, key, english, {});
    }
    // The dialogs' and tools' lookup: a missing key gives "Error loading resource".
    std::string DialogText(std::string_view language, std::string_view section, std::string_view key,
                           std::string_view english) const {
        return Text(language, section, key, english, kErrorLoadingResource);
    }

private:
    std::filesystem::path path_;
    platform::PrivateProfileFile texts_;
};

// The program's lookup, opened at start-up on the kv_rus.ini that FindKvRusIni() names.
TLanguage& kvLanguage();

// Keys of section "HotButtons": the captions of the function-key buttons F2..F8, in order.
inline constexpr std::array<std::string_view, 7> kHotButtonKeys = {"Menu",   "Viewer", "Editor", "Copy",
                                                                   "Rename", "NewDir", "DelFile"};

// Keys of section "MainMenu" that Load_Language reads, in menu order.
inline constexpr std::string_view kMainMenuKeys[] = {"KV_About",
                                                     "KV_Help",
                                                     "KV_Tetris",
                                                     "KV_Life",
                                                     "KV_Exit",
                                                     "File",
                                                     "File_Menu",
                                                     "File_Viewer",
                                                     "File_Editor",
                                                     "File_Copy",
                                                     "File_Rename",
                                                     "File_NewDir",
                                                     "File_DelFile",
                                                     "File_Attrib",
                                                     "File_FindFile",
                                                     "File_Createfile",
                                                     "File_Extract_Arc",
                                                     "File_Add_Arc",
                                                     "Commands",
                                                     "Command_PlayMusic",
                                                     "Command_PlayLastMusic",
                                                     "Command_StopMusic",
                                                     "Command_WhatPlay",
                                                     "Command_ViewHistory",
                                                     "Command_ClearRecycle",
                                                     "Command_ClearDocs",
                                                     "Command_ViewResource",
                                                     "Utils",
                                                     "Utils_System",
                                                     "Utils_InetDialer",
                                                     "Utils_Clipboard",
                                                     "Utils_Calc",
                                                     "Utils_MSDOS",
                                                     "Utils_Media",
                                                     "Utils_AudioPlayer",
                                                     "Utils_ChangeVideo",
                                                     "Panel",
                                                     "Panel_Left",
                                                     "Panel_Right",
                                                     "Panel_ShowFiles",
                                                     "Panel_ShowExtView",
                                                     "Panel_Show_Info",
                                                     "Panel_ShowQuickView",
                                                     "Panel_SortMode",
                                                     "Panel_ChangeDrive",
                                                     "Config",
                                                     "Config_Main",
                                                     "Config_Color",
                                                     "Config_Font",
                                                     "Config_Menu",
                                                     "Config_Reset",
                                                     "Config_ConfigToolBar",
                                                     "Config_SyncPanels"};

}  // namespace kv
