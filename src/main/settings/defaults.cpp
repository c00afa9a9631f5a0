// The settings every start begins from, and "Set default configuration".
#include "main/settings/settings.h"
#include "main/settings/settings_engine.h"

namespace kv {

KvConfig& kvConfig() {
    static KvConfig config;
    return config;
}

void Global_Init(KvConfig& cfg, std::string root) {
    ApplyConfigDefaults(ResetBy::GlobalInit, cfg);  // name, date, "Left" active, bar flags ...
    TMainSettings& m = cfg.Main;
    m.ProgVersion = "1.00 pre-release" + m.Build;
    m.Title = "Korvalen v1.00";
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    m.Root = std::move(root);
    m.WinType = "WinNT";  // the NT branches (20 ms auto-scroll) are the ones that fit Linux
}

void Default_Init(KvConfig& cfg) { ApplyConfigDefaults(ResetBy::DefaultInit, cfg); }

void ResetPanelSettings(TFPanelSettings& panel, std::string_view side) {
    panel = TFPanelSettings{};
    ApplyPanelDefaults(panel);
    panel.Style = side == "Left" ? 1 : 3;
    panel.Columns = panel.Style == 3 ? 1 : 3;
}

void SetDefaultConfiguration(KvConfig& cfg, TFPanelSettings& left, TFPanelSettings& right) {
    Default_Init(cfg);
    auto reset = [](TFPanelSettings& p, std::string_view side) {
        // The reset names a font and a size only; colour and style stay as the user had them.
        const TColorRef color = p.Font_Color;
        const bool bold = p.Font_Bold, italic = p.Font_Italic;
        ResetPanelSettings(p, side);
        p.Font_Name = "MS Sans Serif";
        p.Font_Size = 8;
        p.Font_Color = color;
        p.Font_Bold = bold;
        p.Font_Italic = italic;
    };
    reset(left, "Left");
    reset(right, "Right");
    cfg.Main.Title = "Korvalen v1.00";
    cfg.MainForm = TMainFormBounds{.Left = 0, .Top = 0, .Width = 640, .Height = 453, .Maximized = false};
    cfg.FilesPanel.Panel_Width = 640 / 2 - cfg.Main.Main_Splitter;
    cfg.Main.OnTop = false;
}

std::string SetDefaultConfigQuestion(const KvConfig& cfg, const TLanguage& lang) {
    return lang.MainText(cfg.Main.Language, "Commands", "Confirm_SetDefaultConfig",
                         "Do you want set default configuration of Korvalen ?");
}

}  // namespace kv
