#pragma once
// The schema's engine, for the settings files only: Global_Init, Default_Init,
// ResetPanelSettings, Load_INI and Save_INI are its callers.
#include "main/settings/settings.h"
#include "main/settings/settings_schema.h"

namespace kv {

// What the program-wide rows reach: the records and both panels (the panel styles are stored
// under "Global").
struct ConfigTarget {
    KvConfig& cfg;
    TFPanelSettings& left;
    TFPanelSettings& right;
};

// Puts the default of every program-wide row that `who` resets.
void ApplyConfigDefaults(ResetBy who, KvConfig& cfg);
// Puts the default of every panel row into `p`.
void ApplyPanelDefaults(TFPanelSettings& p);

// Reads every row, in file order, each key with the value held as its default, and cleans each
// Integer into its range. Rules across rows (the two styles, style 3's one column) are the
// caller's.
void LoadRows(const platform::PrivateProfileFile& ini, ConfigTarget t);
// Writes every row in file order.
void SaveRows(platform::PrivateProfileFile& ini, ConfigTarget t);

}  // namespace kv
