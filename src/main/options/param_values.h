#pragma once
// What the options dialog shows and sets, as plain values: read from the settings records and a
// panel, and written back into them. The spin boxes' ranges and the defaults are the kv.ini
// schema's rows (FindSetting), so a value the dialog lets through is one kv.ini may hold. No Qt.
#include <string>
#include <vector>

#include "main/settings/settings_records.h"
#include "panel/model/panel_model.h"

namespace kv {

struct SpinRange {
    int min = 0, max = 0, def = 0;
    int clamp(int v) const { return v < min ? min : v > max ? max : v; }
};

// "Wide of the splitter", "Number of columns", "Height file of a position" from the schema;
// "Height of scroll bar" has no kv.ini key and its range is the dialog's own (0..60).
SpinRange SplitterRange();
SpinRange ColumnsRange();
SpinRange LengthRange();
SpinRange ScrollHeightRange();

struct ParamValues {
    // "Main"
    int splitter = 7;
    bool sysTrayIcon = true;
    bool delToRecycle = false;
    bool onTop = false;
    bool english = true;  // "&English language" checked, else "&Russian language"
    // "Panels"
    bool columnsEnabled = true;  // false in the full view (style 3)
    int columns = 3;
    int length = 8;
    int scrollHeight = 11;
    bool showFreeDisk = true, showFileName = true, showFileSize = true, showFileDate = true;
    bool showCurDir = true, showFileHide = true, showFileColors = true, showScrollBar = true;
    bool execBegin = true;
    // "Interface"
    bool syncPanels = false;
    TInterfaceFlags interface;
    // "Confirmation"
    TConfirmSettings confirm;
};

// The dialog's values as the settings are now; `panel` is the panel the "Panels" page shows.
ParamValues ReadParamValues(const KvConfig& cfg, const TFPanelModel& panel);

// The "Panels" page's heading: " Setting for Left panel ", " ... Right panel " or, with
// synchronisation, " Setting for Left and Right panels ".
std::string PanelsHeading(const KvConfig& cfg);

struct ParamApplied {
    bool languageChanged = false;  // the message about the next start is due
};
// Writes the values back: the records, and the panel values into each of `panels` (the active
// one, or both with synchronisation). Numbers are pulled into their ranges whatever the caller
// passes. A stored language other than "ENGLISH" and "RUSSIAN" is left alone.
ParamApplied ApplyParamValues(const ParamValues& v, KvConfig& cfg, const std::vector<TFPanelModel*>& panels);

}  // namespace kv
