#pragma once
// kv.ini: the settings records' defaults, reading and writing. No Qt here; TForm1 applies the
// records to its widgets.
//
// Use from TForm1 (cfg = kvConfig(); left/right are the panels' TFPanelSettings):
//   FormCreate:  Global_Init(cfg, ExecutableFolder().string());
//                (panels created, SetDefaults run, Side set)
//                Default_Init(cfg);
//                iniPath = FindKvIni();  kvLanguage().Open(FindKvRusIni(iniPath));
//                cfg.MainForm = the window's current bounds (or keep the design bounds);
//                Load_INI(iniPath, cfg, left, right);
//                then apply: cfg.MainForm.Maximized ? showMaximized() : move/resize from
//                cfg.MainForm; tray icon per cfg.Main.SysTrayIcon; PostLoadInit; ReadDir ...
//                Load_Language: when !IsEnglish(cfg.Main.Language), captions from
//                kvLanguage().MainText(lang, "HotButtons"/"MainMenu", key, english) with
//                kHotButtonKeys / kMainMenuKeys (language.h).
//   FormClose:   cfg.MainForm = normal (un-maximised) bounds + Maximized = isMaximized();
//                if (auto r = Save_INI(iniPath, cfg, left, right); !r) show r.message
//                ("Unable to write to <path>"); the old kv.ini is then untouched.
//   "Set default configuration": ask SetDefaultConfigQuestion(cfg, kvLanguage()) with OK/Cancel;
//                on OK SetDefaultConfiguration(cfg, left, right), then apply cfg.MainForm, caption
//                cfg.Main.Title, header height 25 on both panels, ReadDir, layout pass, repaint.
// Panel fonts are stored by name; "MS Sans Serif" (the reset font) is for the GUI to map to an
// installed font (QFont::insertSubstitution); a fresh panel names its real font (kPanelFontName),
// and a name emptied by hand draws that font and is saved as its name.
#include <filesystem>
#include <string>
#include <string_view>

#include "main/settings/config_paths.h"
#include "main/settings/language.h"
#include "main/settings/settings_records.h"
#include "main/settings/settings_schema.h"
#include "panel/model/panel_settings.h"
#include "platform/private_profile.h"

namespace kv {

// The keys' defaults and the ranges of the options dialog's spin boxes are the schema's rows:
// FindSetting(section, key) (settings_schema.h).

// Identity fields of Main, the three bar flags, DelToRecycle, Active "Left", IniLoad false.
// `root` is the executable's folder (Main.Root).
void Global_Init(KvConfig& cfg, std::string root);

// The defaults that every start and "Set default configuration" begin from: Confirm, tray icon,
// Sync_Panels, Language, Main_Splitter, InterfaceFlags, DialUpSettings. OnTop, DelToRecycle and
// the bar flags are Global_Init's.
void Default_Init(KvConfig& cfg);

// Reads kv.ini into the records and both panels, each key with the current value as its default,
// then cleans what was read: the two styles (both 2: left becomes 1; either outside 1..3: both 1),
// style 3 forces one column, and every ranged key (columns, Length, splitter, font size, window
// size) is pulled into its row's range as the row says. A missing file changes nothing but the cleaning.
// `left` gets section "Panel_Left" and "Left_Style", `right` "Panel_Right" and "Right_Style".
void Load_INI(const platform::PrivateProfileFile& ini, KvConfig& cfg, TFPanelSettings& left,
              TFPanelSettings& right);
// The answer says why a kv.ini that is there was not read (no regular file, too large; the
// defaults stay); "" when it was read or is missing.
std::string Load_INI(const std::filesystem::path& iniPath, KvConfig& cfg, TFPanelSettings& left,
                     TFPanelSettings& right);

// Writes every key in the order kv.ini has always had (Global, MainForm, Form_Clipboard, Interface,
// DialUp, Confirm, Panel_Left, Panel_Right) into `ini` (in memory). An empty Main.Language
// becomes "ENGLISH"; IniLoad is written as 1.
void Save_INI(platform::PrivateProfileFile& ini, KvConfig& cfg, const TFPanelSettings& left,
              const TFPanelSettings& right);

struct SaveResult {
    bool ok = true;
    std::string message;  // "Unable to write to <path>" when !ok
    std::string detail;   // the system's reason, for a log or a second line
    explicit operator bool() const { return ok; }
};
// The same onto the file: creates its folder, keeps the lines it does not own (comments, other
// sections) and replaces the file in one atomic step; on failure the old file stays as it was.
SaveResult Save_INI(const std::filesystem::path& iniPath, KvConfig& cfg, const TFPanelSettings& left,
                    const TFPanelSettings& right);

// "SorthMethod" values: "srNone".."srDate"; any other value is written as "srName".
std::string_view SortMethodName(int sortMethod);
// -1 when `name` is none of the five names (the panel's order is then left as it was).
int SortMethodFromName(std::string_view name);

// The question of "Set default configuration", in English or from kv_rus.ini.
std::string SetDefaultConfigQuestion(const KvConfig& cfg, const TLanguage& lang);

// A panel's settings as a fresh panel has them: style 1 for the "Left" side and 3 for any other,
// one column in style 3.
void ResetPanelSettings(TFPanelSettings& panel, std::string_view side);

// What "Set default configuration" does to the data after the user said OK: Default_Init; both
// panels reset with the font "MS Sans Serif" 8 pt; the window at 0, 0, 640 x 453, not maximised;
// Panel_Width = 640 div 2 - Main_Splitter; OnTop off; Title "Korvalen v1.00".
void SetDefaultConfiguration(KvConfig& cfg, TFPanelSettings& left, TFPanelSettings& right);

}  // namespace kv
