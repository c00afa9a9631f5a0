// The kv.ini rows and the one engine that applies their defaults, reads, cleans and writes them.
// The row order is the key order of the files users already have: keep it when adding keys (new
// keys go at the end of their section).
#include "main/settings/settings_schema.h"

#include <algorithm>
#include <array>
#include <strings.h>
#include <type_traits>
#include <variant>

#include "main/settings/language.h"
#include "main/settings/settings_engine.h"

namespace kv {
namespace {

using platform::PrivateProfileFile;
using K = SettingKind;
using R = ResetBy;
using O = OutOfRange;

// Where a row's value lives: a function handing out a reference into the target, by type.
template <class Target>
using Field = std::variant<bool& (*)(Target&), std::uint8_t& (*)(Target&), int& (*)(Target&),
                           TColorRef& (*)(Target&), std::string& (*)(Target&)>;

// A row's spec, written as S(section, key, kind, default number).text(...).range(...) ...
struct S {
    SettingSpec s{};
    constexpr S(std::string_view section, std::string_view key, SettingKind kind, long long number = 0) {
        s.section = section;
        s.key = key;
        s.kind = kind;
        s.number = number;
    }
    constexpr S& text(std::string_view t) { return s.text = t, *this; }
    constexpr S& range(int lo, int hi) { return s.min = lo, s.max = hi, *this; }
    constexpr S& atLeast(int lo) { return s.min = lo, *this; }
    constexpr S& outside(OutOfRange o) { return s.outside = o, *this; }
    constexpr S& by(ResetBy r) { return s.reset = r, *this; }
    constexpr S& writtenOnly() { return s.writtenOnly = true, *this; }
    constexpr S& savedAsOne() { return s.savedAsOne = true, *this; }
    constexpr S& emptySavesDefault() { return s.emptySavesDefault = true, *this; }
    constexpr S& missingReadsDefault() { return s.missingReadsDefault = true, *this; }
    constexpr S& keptWhenMaximized() { return s.keptWhenMaximized = true, *this; }
    constexpr operator SettingSpec() const { return s; }
};

template <class Target>
struct Row {
    SettingSpec spec;
    Field<Target> field;
};

template <auto Record, auto Member>
auto& in(ConfigTarget& t) {
    return (t.cfg.*Record).*Member;
}
template <auto Member>
auto& interfaceFlag(ConfigTarget& t) {
    return t.cfg.FilesPanel.InterfaceFlags.*Member;
}
int& leftStyle(ConfigTarget& t) { return t.left.Style; }
int& rightStyle(ConfigTarget& t) { return t.right.Style; }
template <auto Member>
auto& panel(TFPanelSettings& p) {
    return p.*Member;
}

using M = TMainSettings;
constexpr auto kMain = &KvConfig::Main;
constexpr auto kForm = &KvConfig::MainForm;
constexpr auto kClip = &KvConfig::ClipboardBounds;
constexpr auto kDial = &KvConfig::DialUpSettings;
constexpr auto kConfirm = &KvConfig::Confirm;
using IF = TInterfaceFlags;
using P = TFPanelSettings;

// Defaults of the program-wide keys. Program identity is written for the user to see and never
// read back; the window bounds start as the window's design bounds (TMainFormBounds).
const Row<ConfigTarget> kConfigRows[] = {
    {S("Global", "ProgName", K::Text).text("Korvalen").by(R::GlobalInit).writtenOnly(),
     &in<kMain, &M::ProgName>},
    {S("Global", "ProgVersion", K::Text).text("1.00 pre-release30").writtenOnly(),
     &in<kMain, &M::ProgVersion>},
    {S("Global", "Build", K::Text).text("30").writtenOnly(), &in<kMain, &M::Build>},
    {S("Global", "ProgDate", K::Text).text("15.09.1998").by(R::GlobalInit).writtenOnly(),
     &in<kMain, &M::ProgDate>},
    {S("Global", "Root", K::Text).writtenOnly(), &in<kMain, &M::Root>},
    {S("Global", "Active", K::Text).text("Left").by(R::GlobalInit).writtenOnly(), &in<kMain, &M::Active>},
    {S("Global", "Left_Style", K::Integer, 1).range(1, 3).outside(O::ResetsBothStyles), &leftStyle},
    {S("Global", "Right_Style", K::Integer, 3).range(1, 3).outside(O::ResetsBothStyles), &rightStyle},
    {S("Global", "Language", K::Text).text(kEnglish).by(R::DefaultInit).emptySavesDefault(),
     &in<kMain, &M::Language>},
    {S("Global", "SysTrayIcon", K::Flag, 1).by(R::DefaultInit), &in<kMain, &M::SysTrayIcon>},
    {S("Global", "OnTop", K::Flag, 0), &in<kMain, &M::OnTop>},
    {S("Global", "DelToRecycle", K::Flag, 0).by(R::GlobalInit), &in<kMain, &M::DelToRecycle>},
    {S("Global", "Main_Splitter", K::Integer, 7).range(1, 60).by(R::DefaultInit),
     &in<kMain, &M::Main_Splitter>},
    {S("Global", "IniLoad", K::Flag, 0).by(R::GlobalInit).savedAsOne(), &in<kMain, &M::IniLoad>},
    {S("Global", "Sync_Panels", K::Flag, 0).by(R::DefaultInit), &in<kMain, &M::Sync_Panels>},
    {S("Global", "Show_ToolBar", K::Flag, 1).by(R::GlobalInit).missingReadsDefault(),
     &in<kMain, &M::Show_ToolBar>},
    {S("Global", "Show_StatusBar", K::Flag, 1).by(R::GlobalInit).missingReadsDefault(),
     &in<kMain, &M::Show_StatusBar>},
    {S("Global", "Show_DriveBar", K::Flag, 1).by(R::GlobalInit).missingReadsDefault(),
     &in<kMain, &M::Show_DriveBar>},
    {S("Global", "QuickSearchOnTyping", K::Flag, 0).by(R::DefaultInit), &in<kMain, &M::QuickSearchOnTyping>},

    // A maximised window keeps the bounds it had before loading; a window of no size could not
    // be found again, so a size below 1 keeps the size it had.
    {S("MainForm", "StateWin", K::WindowState, 0), &in<kForm, &TMainFormBounds::Maximized>},
    {S("MainForm", "Top", K::Integer, 112).keptWhenMaximized(), &in<kForm, &TMainFormBounds::Top>},
    {S("MainForm", "Left", K::Integer, 159).keptWhenMaximized(), &in<kForm, &TMainFormBounds::Left>},
    {S("MainForm", "Width", K::Integer, 640).atLeast(1).outside(O::BelowMinKeepsValue).keptWhenMaximized(),
     &in<kForm, &TMainFormBounds::Width>},
    {S("MainForm", "Height", K::Integer, 453).atLeast(1).outside(O::BelowMinKeepsValue).keptWhenMaximized(),
     &in<kForm, &TMainFormBounds::Height>},
    {S("MainForm", "Panel_Width", K::Integer, 0), &in<&KvConfig::FilesPanel, &TFilesPanelState::Panel_Width>},

    // Values below 1 are the clipboard viewer's to replace.
    {S("Form_Clipboard", "Top", K::Integer), &in<kClip, &TClipboardBounds::Top>},
    {S("Form_Clipboard", "Left", K::Integer), &in<kClip, &TClipboardBounds::Left>},
    {S("Form_Clipboard", "Width", K::Integer), &in<kClip, &TClipboardBounds::Width>},
    {S("Form_Clipboard", "Height", K::Integer), &in<kClip, &TClipboardBounds::Height>},

    {S("Interface", "Show_BackgroundFon", K::Flag, 1).by(R::DefaultInit),
     &interfaceFlag<&IF::Show_BackgroundFon>},
    {S("Interface", "Show_ToolBar", K::Flag, 1).by(R::DefaultInit), &interfaceFlag<&IF::Show_ToolBar>},
    {S("Interface", "Show_ComLine", K::Flag, 1).by(R::DefaultInit), &interfaceFlag<&IF::Show_ComLine>},
    {S("Interface", "Show_HotButtons", K::Flag, 1).by(R::DefaultInit), &interfaceFlag<&IF::Show_HotButtons>},

    {S("DialUp", "Redial", K::Flag, 1).by(R::DefaultInit), &in<kDial, &TDialUpSettings::Redial>},
    {S("DialUp", "CloseOnBusy", K::Flag, 0).by(R::DefaultInit), &in<kDial, &TDialUpSettings::CloseOnBusy>},
    {S("DialUp", "CloseOnConnect", K::Flag, 0).by(R::DefaultInit),
     &in<kDial, &TDialUpSettings::CloseOnConnect>},
    {S("DialUp", "RedialTime", K::Integer, 10).by(R::DefaultInit), &in<kDial, &TDialUpSettings::RedialTime>},

    {S("Confirm", "Copy", K::Flag, 1).by(R::DefaultInit), &in<kConfirm, &TConfirmSettings::Copy>},
    {S("Confirm", "Move", K::Flag, 1).by(R::DefaultInit), &in<kConfirm, &TConfirmSettings::Move>},
    {S("Confirm", "Delete", K::Flag, 1).by(R::DefaultInit), &in<kConfirm, &TConfirmSettings::Delete>},
    {S("Confirm", "Exit", K::Flag, 0).by(R::DefaultInit), &in<kConfirm, &TConfirmSettings::Exit>},
};

// The keys of "Panel_Left" and "Panel_Right". Their defaults are a fresh panel's (the member
// initialisers of TFPanelSettings, which the panel widgets start from); the left side's column
// count is shown, ResetPanelSettings gives a style-3 panel one column.
constexpr std::string_view kPanel = "Panel";
const Row<TFPanelSettings> kPanelRows[] = {
    {S(kPanel, "Left", K::Integer, 0).by(R::PanelReset), &panel<&P::Left>},
    {S(kPanel, "Top", K::Integer, 0).by(R::PanelReset), &panel<&P::Top>},
    {S(kPanel, "Width", K::Integer, 640).by(R::PanelReset), &panel<&P::Width>},
    {S(kPanel, "Height", K::Integer, 453).by(R::PanelReset), &panel<&P::Height>},
    {S(kPanel, "Columns", K::Integer, 3).range(1, 12).by(R::PanelReset), &panel<&P::Columns>},
    {S(kPanel, "Length", K::Integer, 8).range(4, 100).by(R::PanelReset), &panel<&P::Length>},
    {S(kPanel, "Show_FreeDisk", K::Flag, 1).by(R::PanelReset), &panel<&P::Show_FreeDisk>},
    {S(kPanel, "Show_FileName", K::Flag, 1).by(R::PanelReset), &panel<&P::Show_FileName>},
    {S(kPanel, "Show_FileSize", K::Flag, 1).by(R::PanelReset), &panel<&P::Show_FileSize>},
    {S(kPanel, "Show_FileDate", K::Flag, 1).by(R::PanelReset), &panel<&P::Show_FileDate>},
    {S(kPanel, "Show_FileColors", K::Flag, 1).by(R::PanelReset), &panel<&P::Show_FileColors>},
    {S(kPanel, "Show_CurDir", K::Flag, 1).by(R::PanelReset), &panel<&P::Show_CurDir>},
    {S(kPanel, "Show_FileHide", K::Flag, 1).by(R::PanelReset), &panel<&P::Show_FileHide>},
    {S(kPanel, "Show_FilesColor", K::Flag, 1).by(R::PanelReset), &panel<&P::Show_FilesColor>},
    {S(kPanel, "Show_ScrollBar", K::Flag, 1).by(R::PanelReset), &panel<&P::Show_ScrollBar>},
    {S(kPanel, "Show_ToolBar", K::Flag, 1).by(R::PanelReset), &panel<&P::Show_ToolBar>},
    {S(kPanel, "Param_ExecBegin", K::Flag, 1).by(R::PanelReset), &panel<&P::Param_ExecBegin>},
    {S(kPanel, "SorthMethod", K::SortName, srExt).by(R::PanelReset), &panel<&P::SortMethod>},
    {S(kPanel, "FileColor", K::Color, 0xFFFFFF).by(R::PanelReset), &panel<&P::FileColor>},
    {S(kPanel, "DirectoryColor", K::Color, 0xFFFFFF).by(R::PanelReset), &panel<&P::DirectoryColor>},
    {S(kPanel, "FileSelectColor", K::Color, 0x00FFFF).by(R::PanelReset), &panel<&P::FileSelectColor>},
    {S(kPanel, "DirectorySelectColor", K::Color, 0x000000).by(R::PanelReset),
     &panel<&P::DirectorySelectColor>},
    {S(kPanel, "PanelFon", K::Color, 0x800000).by(R::PanelReset), &panel<&P::PanelFon>},
    {S(kPanel, "PanelSelectFon", K::Color, 0xA8A800).by(R::PanelReset), &panel<&P::PanelSelectFon>},
    {S(kPanel, "LineColor", K::Color, 0xFFFFFF).by(R::PanelReset), &panel<&P::LineColor>},
    {S(kPanel, "LineColorSlave", K::Color, 0x8000000F).by(R::PanelReset), &panel<&P::LineColorSlave>},
    {S(kPanel, "SysTextColor", K::Color, 0x00FFFF).by(R::PanelReset), &panel<&P::SysTextColor>},
    {S(kPanel, "SysInfoText", K::Color, 0xFFFFFF).by(R::PanelReset), &panel<&P::SysInfoText>},
    // A name left empty by hand draws the panel's default font, and is saved under its name.
    {S(kPanel, "Font_Name", K::Text).text(kPanelFontName).by(R::PanelReset).emptySavesDefault(),
     &panel<&P::Font_Name>},
    // Below 4 pt the number is unreadable as a size (0, negative, garbage): the default size.
    {S(kPanel, "Font_Size", K::Integer, 8).range(4, 72).outside(O::BelowMinIsDefault).by(R::PanelReset),
     &panel<&P::Font_Size>},
    {S(kPanel, "Font_Color", K::Color, 0xFFFFFF).by(R::PanelReset), &panel<&P::Font_Color>},
    {S(kPanel, "Font_Style", K::FontStyle, 0).by(R::PanelReset), &panel<&P::Font_Bold>},
};

constexpr std::array<std::string_view, 5> kSortNames = {"srNone", "srName", "srExt", "srSize", "srDate"};

bool sameKey(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The row's value as a number (numeric kinds) or text, through its field.
template <class Target>
long long numberOf(const Field<Target>& field, Target& t) {
    return std::visit(
        [&](auto get) -> long long {
            using V = std::remove_reference_t<decltype(get(t))>;
            if constexpr (std::is_same_v<V, std::string>)
                return 0;
            else
                return static_cast<long long>(get(t));
        },
        field);
}
template <class Target>
void setNumber(const Field<Target>& field, Target& t, long long v) {
    std::visit(
        [&](auto get) {
            using V = std::remove_reference_t<decltype(get(t))>;
            if constexpr (std::is_same_v<V, bool>)
                get(t) = v != 0;
            else if constexpr (!std::is_same_v<V, std::string>)
                get(t) = static_cast<V>(v);
        },
        field);
}
template <class Target>
std::string* textOf(const Field<Target>& field, Target& t) {
    if (auto get = std::get_if<std::string& (*)(Target&)>(&field)) return &(*get)(t);
    return nullptr;
}

template <class Target>
void applyDefault(const Row<Target>& row, Target& t) {
    if (std::string* s = textOf(row.field, t))
        *s = std::string(row.spec.text);
    else
        setNumber(row.field, t, row.spec.number);
}

// An Integer outside the row's range, as loading leaves it; `before` is the value held before
// the key was read. ResetsBothStyles is settled by Load_INI, which sees both styles.
int cleaned(const SettingSpec& s, int read, int before) {
    if (read > s.max && s.outside != O::ResetsBothStyles) return s.max;
    if (read >= s.min) return read;
    switch (s.outside) {
        case O::Clamp: return s.min;
        case O::BelowMinIsDefault: return static_cast<int>(s.number);
        case O::BelowMinKeepsValue: return before;
        case O::ResetsBothStyles: return read;
    }
    return read;
}

template <class Target>
void loadRow(const PrivateProfileFile& ini, std::string_view section, const Row<Target>& row, Target& t) {
    const SettingSpec& s = row.spec;
    if (s.writtenOnly) return;
    const long long current = numberOf(row.field, t);
    switch (s.kind) {
        case K::Flag:
            setNumber(row.field, t,
                      ini.ReadBool(section, s.key, s.missingReadsDefault ? s.number != 0 : current != 0));
            break;
        case K::Integer: {
            const int before = static_cast<int>(current);
            setNumber(row.field, t, cleaned(s, ini.ReadInteger(section, s.key, before), before));
            break;
        }
        case K::Color:
            setNumber(row.field, t,
                      static_cast<TColorRef>(ini.ReadInteger(section, s.key, static_cast<int>(current))));
            break;
        case K::Text: {
            std::string& v = *textOf(row.field, t);
            v = ini.ReadString(section, s.key, v);
            break;
        }
        case K::SortName:
            // A missing key reads as "srName", although a fresh panel sorts by extension: stored
            // files have always loaded that way. An unknown name leaves the order as it was.
            if (const int sort = SortMethodFromName(ini.ReadString(section, s.key, "srName")); sort >= 0)
                setNumber(row.field, t, sort);
            break;
        case K::FontStyle:
            // Only bold is stored; italic never survives a save, so it is dropped on load too.
            setNumber(row.field, t, ini.ReadString(section, s.key, "") == "[fsBold]");
            if constexpr (std::is_same_v<Target, TFPanelSettings>) t.Font_Italic = false;
            break;
        case K::WindowState: setNumber(row.field, t, ini.ReadInteger(section, s.key, 0) == 1); break;
    }
}

template <class Target>
void saveRow(PrivateProfileFile& ini, std::string_view section, const Row<Target>& row, Target& t) {
    const SettingSpec& s = row.spec;
    const long long v = numberOf(row.field, t);
    switch (s.kind) {
        case K::Flag: ini.WriteBool(section, s.key, s.savedAsOne || v != 0); break;
        case K::Integer: ini.WriteInteger(section, s.key, static_cast<int>(v)); break;
        case K::Color:  // signed, as the file has always held them
            ini.WriteInteger(section, s.key, static_cast<int>(static_cast<TColorRef>(v)));
            break;
        case K::Text: {
            const std::string& text = *textOf(row.field, t);
            ini.WriteString(section, s.key,
                            text.empty() && s.emptySavesDefault ? s.text : std::string_view(text));
            break;
        }
        case K::SortName: ini.WriteString(section, s.key, SortMethodName(static_cast<int>(v))); break;
        case K::FontStyle: {
            bool italic = false;
            if constexpr (std::is_same_v<Target, TFPanelSettings>) italic = t.Font_Italic;
            ini.WriteString(section, s.key, v != 0 && !italic ? "[fsBold]" : "[]");
            break;
        }
        case K::WindowState: ini.WriteInteger(section, s.key, v != 0 ? 1 : 0); break;
    }
}

bool isPanelSection(std::string_view section) {
    return sameKey(section, "Panel_Left") || sameKey(section, "Panel_Right");
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

const SettingSpec* FindSetting(std::string_view section, std::string_view key) {
    if (isPanelSection(section)) {
        for (const auto& row : kPanelRows)
            if (sameKey(row.spec.key, key)) return &row.spec;
        return nullptr;
    }
    for (const auto& row : kConfigRows)
        if (sameKey(row.spec.section, section) && sameKey(row.spec.key, key)) return &row.spec;
    return nullptr;
}

std::vector<SettingPlace> SettingsInFileOrder() {
    std::vector<SettingPlace> places;
    for (const auto& row : kConfigRows) places.push_back({std::string(row.spec.section), &row.spec});
    for (const char* side : {"Panel_Left", "Panel_Right"})
        for (const auto& row : kPanelRows) places.push_back({side, &row.spec});
    return places;
}

void ApplyConfigDefaults(ResetBy who, KvConfig& cfg) {
    TFPanelSettings unused;
    ConfigTarget t{cfg, unused, unused};
    for (const auto& row : kConfigRows)
        if (row.spec.reset == who) applyDefault(row, t);
}

void ApplyPanelDefaults(TFPanelSettings& p) {
    for (const auto& row : kPanelRows)
        if (row.spec.reset == ResetBy::PanelReset) applyDefault(row, p);
}

void LoadRows(const PrivateProfileFile& ini, ConfigTarget t) {
    for (const auto& row : kConfigRows) {
        if (row.spec.keptWhenMaximized && t.cfg.MainForm.Maximized) continue;  // StateWin is read first
        loadRow(ini, row.spec.section, row, t);
    }
    for (const auto& row : kPanelRows) loadRow(ini, "Panel_Left", row, t.left);
    for (const auto& row : kPanelRows) loadRow(ini, "Panel_Right", row, t.right);
}

void SaveRows(PrivateProfileFile& ini, ConfigTarget t) {
    for (const auto& row : kConfigRows) saveRow(ini, row.spec.section, row, t);
    for (const auto& row : kPanelRows) saveRow(ini, "Panel_Left", row, t.left);
    for (const auto& row : kPanelRows) saveRow(ini, "Panel_Right", row, t.right);
}

}  // namespace kv
