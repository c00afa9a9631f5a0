// Reading and writing kv.ini. The key order of Save_INI is the order of the file users already
// have; keep it when adding keys (new keys go at the end of their section).
#include <algorithm>
#include <array>
#include <system_error>

#include "main/settings/settings.h"

namespace kv {
namespace {

using platform::PrivateProfileFile;

constexpr std::array<std::string_view, 5> kSortNames = {"srNone", "srName", "srExt", "srSize", "srDate"};

std::string_view panelSection(bool left) { return left ? "Panel_Left" : "Panel_Right"; }

void readFlag(const PrivateProfileFile& ini, std::string_view s, std::string_view k, bool& v) {
    v = ini.ReadBool(s, k, v);
}
void readFlag(const PrivateProfileFile& ini, std::string_view s, std::string_view k, std::uint8_t& v) {
    v = ini.ReadBool(s, k, v != 0) ? 1 : 0;
}
void readInt(const PrivateProfileFile& ini, std::string_view s, std::string_view k, int& v) {
    v = ini.ReadInteger(s, k, v);
}
void readColor(const PrivateProfileFile& ini, std::string_view s, std::string_view k, TColorRef& v) {
    v = static_cast<TColorRef>(ini.ReadInteger(s, k, static_cast<int>(v)));
}
void writeColor(PrivateProfileFile& ini, std::string_view s, std::string_view k, TColorRef v) {
    ini.WriteInteger(s, k, static_cast<int>(v));  // signed, as the file has always held them
}

// The panel keys in file order; one list drives both reading and writing.
struct PanelFlagKey {
    std::string_view key;
    std::uint8_t TFPanelSettings::*field;
};
constexpr std::array<PanelFlagKey, 11> kPanelFlags = {{
    {"Show_FreeDisk", &TFPanelSettings::Show_FreeDisk},
    {"Show_FileName", &TFPanelSettings::Show_FileName},
    {"Show_FileSize", &TFPanelSettings::Show_FileSize},
    {"Show_FileDate", &TFPanelSettings::Show_FileDate},
    {"Show_FileColors", &TFPanelSettings::Show_FileColors},
    {"Show_CurDir", &TFPanelSettings::Show_CurDir},
    {"Show_FileHide", &TFPanelSettings::Show_FileHide},
    {"Show_FilesColor", &TFPanelSettings::Show_FilesColor},
    {"Show_ScrollBar", &TFPanelSettings::Show_ScrollBar},
    {"Show_ToolBar", &TFPanelSettings::Show_ToolBar},
    {"Param_ExecBegin", &TFPanelSettings::Param_ExecBegin},
}};
struct PanelColorKey {
    std::string_view key;
    TColorRef TFPanelSettings::*field;
};
constexpr std::array<PanelColorKey, 10> kPanelColors = {{
    {"FileColor", &TFPanelSettings::FileColor},
    {"DirectoryColor", &TFPanelSettings::DirectoryColor},
    {"FileSelectColor", &TFPanelSettings::FileSelectColor},
    {"DirectorySelectColor", &TFPanelSettings::DirectorySelectColor},
    {"PanelFon", &TFPanelSettings::PanelFon},
    {"PanelSelectFon", &TFPanelSettings::PanelSelectFon},
    {"LineColor", &TFPanelSettings::LineColor},
    {"LineColorSlave", &TFPanelSettings::LineColorSlave},
    {"SysTextColor", &TFPanelSettings::SysTextColor},
    {"SysInfoText", &TFPanelSettings::SysInfoText},
}};

void loadPanel(const PrivateProfileFile& ini, TFPanelSettings& p, bool left) {
    const std::string_view s = panelSection(left);
    readInt(ini, s, "Left", p.Left);
    readInt(ini, s, "Top", p.Top);
    readInt(ini, s, "Width", p.Width);
    readInt(ini, s, "Height", p.Height);
    readInt(ini, s, "Columns", p.Columns);
    readInt(ini, s, "Length", p.Length);
    for (const auto& f : kPanelFlags) readFlag(ini, s, f.key, p.*f.field);
    // A missing key reads as "srName", although a fresh panel sorts by extension: stored files
    // have always loaded that way.
    if (const int sort = SortMethodFromName(ini.ReadString(s, "SorthMethod", "srName")); sort >= 0)
        p.SortMethod = static_cast<std::uint8_t>(sort);
    for (const auto& c : kPanelColors) readColor(ini, s, c.key, p.*c.field);
    p.Font_Name = ini.ReadString(s, "Font_Name", p.Font_Name);
    readInt(ini, s, "Font_Size", p.Font_Size);
    readColor(ini, s, "Font_Color", p.Font_Color);
    const bool bold = ini.ReadString(s, "Font_Style", "") == "[fsBold]";
    p.Font_Bold = bold;
    p.Font_Italic = false;

    // Hand-edited values that would break the layout (no rows, division by zero) or the font.
    if (p.Style == 3 && p.Columns != 1) p.Columns = 1;
    p.Columns = std::clamp(p.Columns, kColumnsMin, kColumnsMax);
    p.Length = std::clamp(p.Length, kLengthMin, kLengthMax);
    if (p.Font_Size < kFontSizeMin) p.Font_Size = 8;
    p.Font_Size = std::min(p.Font_Size, kFontSizeMax);
}

void savePanel(PrivateProfileFile& ini, const TFPanelSettings& p, bool left) {
    const std::string_view s = panelSection(left);
    ini.WriteInteger(s, "Left", p.Left);
    ini.WriteInteger(s, "Top", p.Top);
    ini.WriteInteger(s, "Width", p.Width);
    ini.WriteInteger(s, "Height", p.Height);
    ini.WriteInteger(s, "Columns", p.Columns);
    ini.WriteInteger(s, "Length", p.Length);
    for (const auto& f : kPanelFlags) ini.WriteBool(s, f.key, p.*f.field != 0);
    ini.WriteString(s, "SorthMethod", SortMethodName(p.SortMethod));
    for (const auto& c : kPanelColors) writeColor(ini, s, c.key, p.*c.field);
    ini.WriteString(s, "Font_Name", p.Font_Name);
    ini.WriteInteger(s, "Font_Size", p.Font_Size);
    writeColor(ini, s, "Font_Color", p.Font_Color);
    ini.WriteString(s, "Font_Style", p.Font_Bold && !p.Font_Italic ? "[fsBold]" : "[]");
}

void readBounds(const PrivateProfileFile& ini, std::string_view s, int& left, int& top, int& width, int& height) {
    readInt(ini, s, "Top", top);
    readInt(ini, s, "Left", left);
    readInt(ini, s, "Width", width);
    readInt(ini, s, "Height", height);
}

}  // namespace

std::string_view SortMethodName(int sortMethod) {
    if (sortMethod >= 0 && sortMethod < static_cast<int>(kSortNames.size())) return kSortNames[sortMethod];
    return "srName";
}

int SortMethodFromName(std::string_view name) {
    for (std::size_t i = 0; i < kSortNames.size(); ++i)
        if (kSortNames[i] == name) return static_cast<int>(i);
    return -1;
}

void Load_INI(const PrivateProfileFile& ini, KvConfig& cfg, TFPanelSettings& left, TFPanelSettings& right) {
    TMainSettings& m = cfg.Main;
    readFlag(ini, "Global", "IniLoad", m.IniLoad);
    readFlag(ini, "Global", "SysTrayIcon", m.SysTrayIcon);
    readFlag(ini, "Global", "OnTop", m.OnTop);
    readFlag(ini, "Global", "Sync_Panels", m.Sync_Panels);
    readFlag(ini, "Global", "DelToRecycle", m.DelToRecycle);
    int leftStyle = ini.ReadInteger("Global", "Left_Style", left.Style);
    int rightStyle = ini.ReadInteger("Global", "Right_Style", right.Style);
    m.Language = ini.ReadString("Global", "Language", m.Language);
    readInt(ini, "Global", "Main_Splitter", m.Main_Splitter);
    m.Main_Splitter = std::clamp(m.Main_Splitter, kSplitterMin, kSplitterMax);
    m.Show_ToolBar = ini.ReadBool("Global", "Show_ToolBar", true);
    m.Show_StatusBar = ini.ReadBool("Global", "Show_StatusBar", true);
    m.Show_DriveBar = ini.ReadBool("Global", "Show_DriveBar", true);

    // Two information panels cannot both show the other's details: the left one goes back to
    // files. Any style the panels do not have (above 3, and also 0 or below) resets both.
    auto known = [](int style) { return style >= 1 && style <= 3; };
    if (leftStyle == 2 && rightStyle == 2) leftStyle = 1;
    else if (!known(leftStyle) || !known(rightStyle)) leftStyle = rightStyle = 1;
    left.Style = leftStyle;
    right.Style = rightStyle;

    TMainFormBounds& w = cfg.MainForm;
    w.Maximized = ini.ReadInteger("MainForm", "StateWin", 0) == 1;
    if (!w.Maximized) {
        TMainFormBounds read = w;
        readBounds(ini, "MainForm", read.Left, read.Top, read.Width, read.Height);
        w.Left = read.Left;
        w.Top = read.Top;
        if (read.Width > 0) w.Width = read.Width;  // a window of no size could not be found again
        if (read.Height > 0) w.Height = read.Height;
    }
    readInt(ini, "MainForm", "Panel_Width", cfg.FilesPanel.Panel_Width);

    TClipboardBounds& cb = cfg.ClipboardBounds;
    readBounds(ini, "Form_Clipboard", cb.Left, cb.Top, cb.Width, cb.Height);

    TInterfaceFlags& f = cfg.FilesPanel.InterfaceFlags;
    readFlag(ini, "Interface", "Show_BackgroundFon", f.Show_BackgroundFon);
    readFlag(ini, "Interface", "Show_ToolBar", f.Show_ToolBar);
    readFlag(ini, "Interface", "Show_ComLine", f.Show_ComLine);
    readFlag(ini, "Interface", "Show_HotButtons", f.Show_HotButtons);

    TDialUpSettings& d = cfg.DialUpSettings;
    readFlag(ini, "DialUp", "Redial", d.Redial);
    readFlag(ini, "DialUp", "CloseOnBusy", d.CloseOnBusy);
    readFlag(ini, "DialUp", "CloseOnConnect", d.CloseOnConnect);
    readInt(ini, "DialUp", "RedialTime", d.RedialTime);

    TConfirmSettings& c = cfg.Confirm;
    readFlag(ini, "Confirm", "Copy", c.Copy);
    readFlag(ini, "Confirm", "Move", c.Move);
    readFlag(ini, "Confirm", "Delete", c.Delete);
    readFlag(ini, "Confirm", "Exit", c.Exit);

    loadPanel(ini, left, true);
    loadPanel(ini, right, false);
}

void Load_INI(const std::filesystem::path& iniPath, KvConfig& cfg, TFPanelSettings& left, TFPanelSettings& right) {
    Load_INI(PrivateProfileFile(iniPath), cfg, left, right);
}

void Save_INI(PrivateProfileFile& ini, KvConfig& cfg, const TFPanelSettings& left, const TFPanelSettings& right) {
    TMainSettings& m = cfg.Main;
    if (m.Language.empty()) m.Language = std::string(kEnglish);
    ini.WriteString("Global", "ProgName", m.ProgName);
    ini.WriteString("Global", "ProgVersion", m.ProgVersion);
    ini.WriteString("Global", "Build", m.Build);
    ini.WriteString("Global", "ProgDate", m.ProgDate);
    ini.WriteString("Global", "Root", m.Root);
    ini.WriteString("Global", "Active", m.Active);
    ini.WriteInteger("Global", "Left_Style", left.Style);
    ini.WriteInteger("Global", "Right_Style", right.Style);
    ini.WriteString("Global", "Language", m.Language);
    ini.WriteBool("Global", "SysTrayIcon", m.SysTrayIcon);
    ini.WriteBool("Global", "OnTop", m.OnTop);
    ini.WriteBool("Global", "DelToRecycle", m.DelToRecycle);
    ini.WriteInteger("Global", "Main_Splitter", m.Main_Splitter);
    ini.WriteBool("Global", "IniLoad", true);
    ini.WriteBool("Global", "Sync_Panels", m.Sync_Panels);
    ini.WriteBool("Global", "Show_ToolBar", m.Show_ToolBar);
    ini.WriteBool("Global", "Show_StatusBar", m.Show_StatusBar);
    ini.WriteBool("Global", "Show_DriveBar", m.Show_DriveBar);

    const TMainFormBounds& w = cfg.MainForm;
    ini.WriteInteger("MainForm", "StateWin", w.Maximized ? 1 : 0);
    ini.WriteInteger("MainForm", "Top", w.Top);
    ini.WriteInteger("MainForm", "Left", w.Left);
    ini.WriteInteger("MainForm", "Width", w.Width);
    ini.WriteInteger("MainForm", "Height", w.Height);
    ini.WriteInteger("MainForm", "Panel_Width", cfg.FilesPanel.Panel_Width);

    const TClipboardBounds& cb = cfg.ClipboardBounds;
    ini.WriteInteger("Form_Clipboard", "Top", cb.Top);
    ini.WriteInteger("Form_Clipboard", "Left", cb.Left);
    ini.WriteInteger("Form_Clipboard", "Width", cb.Width);
    ini.WriteInteger("Form_Clipboard", "Height", cb.Height);

    const TInterfaceFlags& f = cfg.FilesPanel.InterfaceFlags;
    ini.WriteBool("Interface", "Show_BackgroundFon", f.Show_BackgroundFon);
    ini.WriteBool("Interface", "Show_ToolBar", f.Show_ToolBar);
    ini.WriteBool("Interface", "Show_ComLine", f.Show_ComLine);
    ini.WriteBool("Interface", "Show_HotButtons", f.Show_HotButtons);

    const TDialUpSettings& d = cfg.DialUpSettings;
    ini.WriteBool("DialUp", "Redial", d.Redial);
    ini.WriteBool("DialUp", "CloseOnBusy", d.CloseOnBusy);
    ini.WriteBool("DialUp", "CloseOnConnect", d.CloseOnConnect);
    ini.WriteInteger("DialUp", "RedialTime", d.RedialTime);

    const TConfirmSettings& c = cfg.Confirm;
    ini.WriteBool("Confirm", "Copy", c.Copy);
    ini.WriteBool("Confirm", "Move", c.Move);
    ini.WriteBool("Confirm", "Delete", c.Delete);
    ini.WriteBool("Confirm", "Exit", c.Exit);

    savePanel(ini, left, true);
    savePanel(ini, right, false);
}

SaveResult Save_INI(const std::filesystem::path& iniPath, KvConfig& cfg, const TFPanelSettings& left,
                    const TFPanelSettings& right) {
    auto failed = [&](std::string detail) {
        return SaveResult{false, "Unable to write to " + iniPath.string(), std::move(detail)};
    };
    if (iniPath.has_parent_path()) {
        std::error_code ec;
        std::filesystem::create_directories(iniPath.parent_path(), ec);
        if (ec) return failed("cannot create the folder: " + ec.message());
    }
    PrivateProfileFile ini(iniPath);
    Save_INI(ini, cfg, left, right);
    if (const auto r = ini.Commit(); !r) return failed(r.error);
    return {};
}

}  // namespace kv
