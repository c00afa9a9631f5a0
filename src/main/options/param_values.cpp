#include "main/options/param_values.h"

#include "main/settings/language.h"
#include "main/settings/settings_schema.h"

namespace kv {

namespace {

SpinRange fromSchema(std::string_view section, std::string_view key) {
    const SettingSpec* s = FindSetting(section, key);
    return {s->min, s->max, static_cast<int>(s->number)};
}

}  // namespace

SpinRange SplitterRange() { return fromSchema("Global", "Main_Splitter"); }
SpinRange ColumnsRange() { return fromSchema("Panel_Left", "Columns"); }
SpinRange LengthRange() { return fromSchema("Panel_Left", "Length"); }
SpinRange ScrollHeightRange() { return {0, 60, 11}; }

ParamValues ReadParamValues(const KvConfig& cfg, const TFPanelModel& p) {
    ParamValues v;
    v.splitter = cfg.Main.Main_Splitter;
    v.sysTrayIcon = cfg.Main.SysTrayIcon;
    v.delToRecycle = cfg.Main.DelToRecycle;
    v.onTop = cfg.Main.OnTop;
    v.english = IsEnglish(cfg.Main.Language);
    v.columnsEnabled = p.Style != 3;
    v.columns = p.Columns;
    v.length = p.Length;
    v.scrollHeight = p.ScrollHeight;
    v.showFreeDisk = p.Show_FreeDisk;
    v.showFileName = p.Show_FileName;
    v.showFileSize = p.Show_FileSize;
    v.showFileDate = p.Show_FileDate;
    v.showCurDir = p.Show_CurDir;
    v.showFileHide = p.Show_FileHide;
    v.showFileColors = p.Show_FileColors;
    v.showScrollBar = p.Show_ScrollBar;
    v.execBegin = p.Param_ExecBegin;
    v.syncPanels = cfg.Main.Sync_Panels;
    v.interface = cfg.FilesPanel.InterfaceFlags;
    v.confirm = cfg.Confirm;
    return v;
}

std::string PanelsHeading(const KvConfig& cfg) {
    if (cfg.Main.Sync_Panels) return " Setting for Left and Right panels ";
    return cfg.Main.Active == "Right" ? " Setting for Right panel " : " Setting for Left panel ";
}

ParamApplied ApplyParamValues(const ParamValues& v, KvConfig& cfg, const std::vector<TFPanelModel*>& panels) {
    ParamApplied r;
    std::string& language = cfg.Main.Language;
    if ((language == kEnglish && !v.english) || (language == kRussian && v.english)) {
        language = std::string(v.english ? kEnglish : kRussian);
        r.languageChanged = true;
    }
    cfg.Main.Main_Splitter = SplitterRange().clamp(v.splitter);
    cfg.Main.OnTop = v.onTop;
    cfg.Main.SysTrayIcon = v.sysTrayIcon;
    cfg.Main.DelToRecycle = v.delToRecycle;
    for (TFPanelModel* p : panels) {
        // The full view has one column whatever the box held.
        p->Columns = p->Style == 3 ? 1 : ColumnsRange().clamp(v.columns);
        p->Length = LengthRange().clamp(v.length);
        p->Show_FreeDisk = v.showFreeDisk;
        p->Show_FileName = v.showFileName;
        p->Show_FileSize = v.showFileSize;
        p->Show_FileDate = v.showFileDate;
        p->Show_CurDir = v.showCurDir;
        p->Show_FileHide = v.showFileHide;
        p->Show_FileColors = v.showFileColors;
        p->Show_ScrollBar = v.showScrollBar;
        p->Param_ExecBegin = v.execBegin;
        // The strip is 11 px when shown; the "Height of scroll bar" box only shows it.
        p->ScrollHeight = v.showScrollBar ? 11 : 0;
    }
    cfg.Main.Sync_Panels = v.syncPanels;
    cfg.FilesPanel.InterfaceFlags = v.interface;
    cfg.Confirm = v.confirm;
    return r;
}

}  // namespace kv
