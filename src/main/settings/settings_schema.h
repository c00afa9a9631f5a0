#pragma once
// The kv.ini schema: one row per key, in the order the file has always had. The rows drive the
// defaults (Global_Init, Default_Init, ResetPanelSettings), Load_INI with its cleaning, Save_INI and
// the options dialogs' ranges, so a key is added, moved or re-ranged in exactly one place
// (settings_schema.cpp). No Qt here.
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

enum class SettingKind : std::uint8_t {
    Flag,         // "1" / "0"; any other number than 0 reads as set
    Integer,      // a number, cleaned into [min, max] on load
    Color,        // 0x00BBGGRR, written signed (system colours are negative in the file)
    Text,         // kept as read
    SortName,     // "srNone".."srDate"
    FontStyle,    // "[fsBold]" or "[]"
    WindowState,  // "StateWin": 1 maximised, anything else normal
};

// What Load_INI does with an Integer outside [min, max].
enum class OutOfRange : std::uint8_t {
    Clamp,               // the nearer edge
    BelowMinIsDefault,   // below: the row's default (an unreadable font size); above: max
    BelowMinKeepsValue,  // below: the value held before loading (a window of no size); above: max
    ResetsBothStyles,    // a panel style the panels do not have: both panels go back to style 1
};

// Who puts the row's default into the records.
enum class ResetBy : std::uint8_t {
    Nobody,       // set from elsewhere (identity computed at start, window bounds, layout state)
    GlobalInit,   // every start, before kv.ini is read
    DefaultInit,  // every start and "Set default configuration"
    PanelReset,   // a fresh panel (ResetPanelSettings)
};

struct SettingSpec {
    std::string_view section;  // "Panel" for the rows each panel has under "Panel_Left"/"Panel_Right"
    std::string_view key;
    SettingKind kind;
    long long number = 0;   // default of the numeric kinds (a flag is 0/1, a sort method its index)
    std::string_view text;  // default of Text rows
    int min = INT_MIN;      // Integer rows: the options dialog's range
    int max = INT_MAX;
    OutOfRange outside = OutOfRange::Clamp;
    ResetBy reset = ResetBy::Nobody;
    bool writtenOnly = false;          // written for the user to see, never read back (program identity)
    bool savedAsOne = false;           // "IniLoad": whatever was read, the file now comes from us
    bool emptySavesDefault = false;    // an empty text is saved as the default text
    bool missingReadsDefault = false;  // a missing key reads as the default, not as the value held
    bool keptWhenMaximized = false;    // not read when "StateWin" says maximised (window bounds)

    bool ranged() const { return kind == SettingKind::Integer && (min != INT_MIN || max != INT_MAX); }
};

// The row of `key` in `section` ("Panel_Left" and "Panel_Right" both find the panel rows);
// nullptr for a key kv.ini does not have. Case-insensitive, as the file is.
const SettingSpec* FindSetting(std::string_view section, std::string_view key);

struct SettingPlace {
    std::string section;  // concrete: "Panel_Left" / "Panel_Right" for panel rows
    const SettingSpec* spec;
};
// Every key Save_INI writes, in the order it writes them.
std::vector<SettingPlace> SettingsInFileOrder();

}  // namespace kv
