// kv.ini loading, cleaning and saving; the language lookup; where the files are.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "main/settings/settings.h"
#include "panel/panel_texts.h"
#include "platform/text_codec.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using kv::KvConfig;
using kv::TFPanelSettings;
using kv::platform::PrivateProfileFile;

namespace {

class SettingsDir : public ::testing::Test {
protected:
    kv::test::TempDir tmp{"kv_settings"};
    static void put(const fs::path& p, std::string_view text) { std::ofstream(p, std::ios::binary) << text; }
    static std::string get(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir = tmp.path();
};

// What the program holds right before Load_INI at start: fresh panels, then the defaults.
struct StartState {
    KvConfig cfg;
    TFPanelSettings left, right;
    StartState() {
        kv::ResetPanelSettings(left, "Left");
        kv::ResetPanelSettings(right, "Right");
        kv::Global_Init(cfg, "/opt/korvalen/bin/");
        kv::Default_Init(cfg);
    }
    void load(std::string_view iniText) {
        kv::Load_INI(PrivateProfileFile::FromText(iniText), cfg, left, right);
    }
    std::string save() {
        PrivateProfileFile ini = PrivateProfileFile::FromText("");
        kv::Save_INI(ini, cfg, left, right);
        return ini.Text();
    }
};

// Every key Save_INI writes, in the order stored kv.ini files have always had.
std::vector<std::pair<std::string, std::string>> expectedKeyOrder() {
    std::vector<std::pair<std::string, std::string>> keys;
    auto add = [&](std::string section, std::initializer_list<const char*> names) {
        for (const char* n : names) keys.emplace_back(section, n);
    };
    add("Global", {"ProgName", "ProgVersion", "Build", "ProgDate", "Root", "Active", "Left_Style",
                   "Right_Style", "Language", "SysTrayIcon", "OnTop", "DelToRecycle", "Main_Splitter",
                   "IniLoad", "Sync_Panels", "Show_ToolBar", "Show_StatusBar", "Show_DriveBar",
                   "QuickSearchOnTyping"});
    add("MainForm", {"StateWin", "Top", "Left", "Width", "Height", "Panel_Width"});
    add("Form_Clipboard", {"Top", "Left", "Width", "Height"});
    add("Interface", {"Show_BackgroundFon", "Show_ToolBar", "Show_ComLine", "Show_HotButtons"});
    add("DialUp", {"Redial", "CloseOnBusy", "CloseOnConnect", "RedialTime"});
    add("Confirm", {"Copy", "Move", "Delete", "Exit"});
    for (const char* panel : {"Panel_Left", "Panel_Right"})
        add(panel, {"Left",
                    "Top",
                    "Width",
                    "Height",
                    "Columns",
                    "Length",
                    "Show_FreeDisk",
                    "Show_FileName",
                    "Show_FileSize",
                    "Show_FileDate",
                    "Show_FileColors",
                    "Show_CurDir",
                    "Show_FileHide",
                    "Show_FilesColor",
                    "Show_ScrollBar",
                    "Show_ToolBar",
                    "Param_ExecBegin",
                    "SorthMethod",
                    "FileColor",
                    "DirectoryColor",
                    "FileSelectColor",
                    "DirectorySelectColor",
                    "PanelFon",
                    "PanelSelectFon",
                    "LineColor",
                    "LineColorSlave",
                    "SysTextColor",
                    "SysInfoText",
                    "Font_Name",
                    "Font_Size",
                    "Font_Color",
                    "Font_Style"});
    return keys;
}

// A row's default as the file holds it.
std::string defaultText(const kv::SettingSpec& row) {
    switch (row.kind) {
        case kv::SettingKind::Flag: return row.number ? "1" : "0";
        case kv::SettingKind::Integer:
        case kv::SettingKind::WindowState: return std::to_string(row.number);
        case kv::SettingKind::Color:
            return std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(row.number)));
        case kv::SettingKind::Text: return std::string(row.text);
        case kv::SettingKind::SortName: return std::string(kv::SortMethodName(static_cast<int>(row.number)));
        case kv::SettingKind::FontStyle: return row.number ? "[fsBold]" : "[]";
    }
    return {};
}

// A value of the row's kind that is not its default (and inside its range), as the file holds it.
std::string otherThanDefault(const kv::SettingSpec& row) {
    switch (row.kind) {
        case kv::SettingKind::Flag: return row.number ? "0" : "1";
        case kv::SettingKind::Integer:
            if (!row.ranged()) return std::to_string(row.number + 1);
            return std::to_string(row.number != row.min ? row.min : row.max);
        case kv::SettingKind::Color:
            return std::to_string(
                static_cast<std::int32_t>(static_cast<std::uint32_t>(row.number) ^ 0x010203u));
        case kv::SettingKind::Text: return std::string(row.text) + "x";
        case kv::SettingKind::SortName: return row.number == kv::srNone ? "srDate" : "srNone";
        case kv::SettingKind::FontStyle: return row.number ? "[]" : "[fsBold]";
        case kv::SettingKind::WindowState: return row.number ? "0" : "1";
    }
    return {};
}

std::vector<std::pair<std::string, std::string>> keysInFile(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> keys;
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        if (line.front() == '[')
            section = line.substr(1, line.find(']') - 1);
        else
            keys.emplace_back(section, line.substr(0, line.find('=')));
    }
    return keys;
}

TEST_F(SettingsDir, FirstRunWritesEveryKeyInOrderWithIniLoadAndActiveLeft) {
    StartState s;
    const fs::path ini = dir / "config" / "korvalen" / "kv.ini";  // the folder does not exist yet
    s.load("");
    const kv::SaveResult r = kv::Save_INI(ini, s.cfg, s.left, s.right);
    ASSERT_TRUE(r) << r.message << ": " << r.detail;

    const std::string text = get(ini);
    EXPECT_EQ(keysInFile(text), expectedKeyOrder());
    const auto f = PrivateProfileFile(ini);
    EXPECT_EQ(f.ReadString("Global", "IniLoad", ""), "1");
    EXPECT_EQ(f.ReadString("Global", "Active", ""), "Left");
    EXPECT_EQ(f.ReadString("Global", "Root", ""), "/opt/korvalen/bin");
    EXPECT_EQ(f.ReadString("Global", "ProgVersion", ""), "1.00 pre-release30");
    EXPECT_EQ(f.ReadString("Panel_Left", "LineColorSlave", ""), "-2147483633");  // button face
    EXPECT_EQ(f.ReadString("Panel_Right", "Font_Color", ""), "16777215");        // white
    // No kv.ini reads as "srName", although a fresh panel sorts by extension.
    EXPECT_EQ(f.ReadString("Panel_Left", "SorthMethod", ""), "srName");
    EXPECT_EQ(f.ReadString("Panel_Right", "Columns", ""), "1");
    // The font the panels draw with, by its name: an empty name would leave the choice to whoever
    // reads the file next.
    EXPECT_EQ(f.ReadString("Panel_Left", "Font_Name", ""), "Liberation Sans");
    EXPECT_EQ(f.ReadString("Panel_Right", "Font_Name", ""), "Liberation Sans");
}

TEST(LoadIni, CleansStylesColumnsAndHandEditedGarbage) {
    struct Case {
        const char* name;
        const char* ini;
        std::function<void(const StartState&)> check;
    } cases[] = {
        {"two information panels", "[Global]\nLeft_Style=2\nRight_Style=2\n",
         [](const StartState& s) { EXPECT_EQ(std::pair(s.left.Style, s.right.Style), std::pair(1, 2)); }},
        {"unknown style resets both", "[Global]\nLeft_Style=5\nRight_Style=2\n",
         [](const StartState& s) { EXPECT_EQ(std::pair(s.left.Style, s.right.Style), std::pair(1, 1)); }},
        {"style 0 resets both too", "[Global]\nLeft_Style=0\nRight_Style=3\n",
         [](const StartState& s) { EXPECT_EQ(std::pair(s.left.Style, s.right.Style), std::pair(1, 1)); }},
        {"styles kept", "[Global]\nLeft_Style=3\nRight_Style=2\n",
         [](const StartState& s) { EXPECT_EQ(std::pair(s.left.Style, s.right.Style), std::pair(3, 2)); }},
        {"full view has one column", "[Global]\nRight_Style=3\n[Panel_Right]\nColumns=4\n",
         [](const StartState& s) { EXPECT_EQ(s.right.Columns, 1); }},
        {"columns into 1..12",
         "[Panel_Left]\nColumns=0\n[Panel_Right]\nColumns=40\n[Global]\nRight_Style=1\n",
         [](const StartState& s) {
             EXPECT_EQ(std::pair(s.left.Columns, s.right.Columns), std::pair(1, 12));
         }},
        {"length into 4..100", "[Panel_Left]\nLength=0\n[Panel_Right]\nLength=500\n",
         [](const StartState& s) { EXPECT_EQ(std::pair(s.left.Length, s.right.Length), std::pair(4, 100)); }},
        {"splitter into 1..60", "[Global]\nMain_Splitter=-5\n",
         [](const StartState& s) { EXPECT_EQ(s.cfg.Main.Main_Splitter, 1); }},
        {"unreadable splitter keeps the default", "[Global]\nMain_Splitter=wide\n",
         [](const StartState& s) { EXPECT_EQ(s.cfg.Main.Main_Splitter, 7); }},
        {"font size 0 is the default size", "[Panel_Left]\nFont_Size=0\n[Panel_Right]\nFont_Size=300\n",
         [](const StartState& s) {
             EXPECT_EQ(std::pair(s.left.Font_Size, s.right.Font_Size), std::pair(8, 72));
         }},
        {"font size 4 is the smallest kept, 3 the default",
         "[Panel_Left]\nFont_Size=4\n[Panel_Right]\nFont_Size=3\n",
         [](const StartState& s) {
             EXPECT_EQ(std::pair(s.left.Font_Size, s.right.Font_Size), std::pair(4, 8));
         }},
        {"font size 72 is the largest", "[Panel_Left]\nFont_Size=72\n[Panel_Right]\nFont_Size=73\n",
         [](const StartState& s) {
             EXPECT_EQ(std::pair(s.left.Font_Size, s.right.Font_Size), std::pair(72, 72));
         }},
        {"an empty font name is kept, it draws the panel font", "[Panel_Left]\nFont_Name=\n",
         [](const StartState& s) { EXPECT_EQ(s.left.Font_Name, ""); }},
        {"missing sort key sorts by name", "",
         [](const StartState& s) { EXPECT_EQ(s.left.SortMethod, kv::srName); }},
        {"unknown sort name keeps the panel's order", "[Panel_Left]\nSorthMethod=srFoo\n",
         [](const StartState& s) { EXPECT_EQ(s.left.SortMethod, kv::srExt); }},
        {"sort by date", "[Panel_Right]\nSorthMethod=srDate\n",
         [](const StartState& s) { EXPECT_EQ(s.right.SortMethod, kv::srDate); }},
        {"maximised window ignores the bounds",
         "[MainForm]\nStateWin=1\nTop=5\nLeft=6\nWidth=700\nHeight=500\n",
         [](const StartState& s) {
             EXPECT_TRUE(s.cfg.MainForm.Maximized);
             EXPECT_EQ(s.cfg.MainForm.Left, 159);
             EXPECT_EQ(s.cfg.MainForm.Width, 640);
         }},
        {"normal window reads the bounds", "[MainForm]\nStateWin=0\nTop=5\nLeft=6\nWidth=700\nHeight=500\n",
         [](const StartState& s) {
             EXPECT_FALSE(s.cfg.MainForm.Maximized);
             EXPECT_EQ(s.cfg.MainForm.Top, 5);
             EXPECT_EQ(s.cfg.MainForm.Left, 6);
             EXPECT_EQ(s.cfg.MainForm.Width, 700);
             EXPECT_EQ(s.cfg.MainForm.Height, 500);
         }},
        {"a window of no size keeps its size", "[MainForm]\nWidth=0\nHeight=-3\n",
         [](const StartState& s) {
             EXPECT_EQ(std::pair(s.cfg.MainForm.Width, s.cfg.MainForm.Height), std::pair(640, 453));
         }},
        {"bold font", "[Panel_Left]\nFont_Style=[fsBold]\n",
         [](const StartState& s) { EXPECT_TRUE(s.left.Font_Bold); }},
        {"bold italic loads regular", "[Panel_Left]\nFont_Style=[fsBold,fsItalic]\n",
         [](const StartState& s) { EXPECT_FALSE(s.left.Font_Bold || s.left.Font_Italic); }},
        {"colours: hex, system, decimal",
         "[Panel_Left]\nFileColor=0x00FF00\nLineColorSlave=-2147483633\nPanelFon=255\n",
         [](const StartState& s) {
             EXPECT_EQ(s.left.FileColor, 0x00FF00u);
             EXPECT_EQ(s.left.LineColorSlave, 0x8000000Fu);
             EXPECT_EQ(s.left.PanelFon, 0xFFu);
         }},
        {"bar flags default to shown", "[Global]\nShow_StatusBar=0\n",
         [](const StartState& s) {
             EXPECT_FALSE(s.cfg.Main.Show_StatusBar);
             EXPECT_TRUE(s.cfg.Main.Show_ToolBar && s.cfg.Main.Show_DriveBar);
         }},
        {"lower-case language is kept as read", "[Global]\nLanguage=russian\n",
         [](const StartState& s) { EXPECT_EQ(s.cfg.Main.Language, "russian"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartState s;
        s.load(c.ini);
        c.check(s);
    }
}

TEST(SaveIni, BoldItalicSavesAsRegularAndOtherSortValuesAsName) {
    StartState s;
    s.left.Font_Bold = true;
    s.left.Font_Italic = true;
    s.right.Font_Bold = true;
    s.right.SortMethod = 9;
    s.right.Font_Name.clear();
    s.cfg.Main.Language.clear();
    const auto ini = PrivateProfileFile::FromText(s.save());
    EXPECT_EQ(ini.ReadString("Panel_Right", "Font_Name", ""), "Liberation Sans");
    EXPECT_EQ(ini.ReadString("Panel_Left", "Font_Style", ""), "[]");
    EXPECT_EQ(ini.ReadString("Panel_Right", "Font_Style", ""), "[fsBold]");
    EXPECT_EQ(ini.ReadString("Panel_Right", "SorthMethod", ""), "srName");
    EXPECT_EQ(ini.ReadString("Global", "Language", ""), "ENGLISH");

    StartState back;
    back.load(ini.Text());
    EXPECT_FALSE(back.left.Font_Bold || back.left.Font_Italic);
    EXPECT_TRUE(back.right.Font_Bold);
}

// Whatever Save_INI writes, Load_INI reads back: a second save of the loaded state is identical.
TEST(SaveIni, LoadOfASaveGivesTheSameSettings) {
    StartState s;
    auto& m = s.cfg.Main;
    m.Active = "Left";  // "Active" is not read back, so the round trip keeps the start value
    m.Language = "RUSSIAN";
    m.SysTrayIcon = false;
    m.OnTop = true;
    m.DelToRecycle = true;
    m.Main_Splitter = 12;
    m.Sync_Panels = true;
    m.Show_ToolBar = false;
    m.Show_DriveBar = false;
    m.QuickSearchOnTyping = true;
    s.cfg.MainForm = {.Left = 10, .Top = 20, .Width = 800, .Height = 600, .Maximized = false};
    s.cfg.FilesPanel.Panel_Width = 388;
    s.cfg.ClipboardBounds = {.Left = 1, .Top = 2, .Width = 300, .Height = 200};
    s.cfg.FilesPanel.InterfaceFlags.Show_ComLine = false;
    s.cfg.DialUpSettings = {.Redial = false, .CloseOnBusy = true, .CloseOnConnect = true, .RedialTime = 45};
    s.cfg.Confirm = {.Copy = false, .Move = false, .Delete = false, .Exit = true};
    s.left.Style = 2;
    s.left.Columns = 5;
    s.left.Length = 12;
    s.left.Show_FileHide = 0;
    s.left.Param_ExecBegin = 0;
    s.left.SortMethod = kv::srSize;
    s.left.PanelFon = 0x123456;
    s.left.LineColorSlave = 0x80000005;
    s.right.Font_Name = "DejaVu Sans Mono";
    s.right.Font_Size = 11;
    s.right.Font_Color = 0xFFFFFF;
    s.right.Font_Bold = true;
    s.right.SortMethod = kv::srNone;
    const std::string first = s.save();

    StartState back;
    back.load(first);
    EXPECT_EQ(back.save(), first);
    EXPECT_EQ(back.left.PanelFon, 0x123456u);
    EXPECT_EQ(back.right.Font_Name, "DejaVu Sans Mono");
    EXPECT_EQ(back.cfg.Confirm.Exit, true);
    EXPECT_TRUE(back.cfg.Main.IniLoad);
}

// The schema's rows against the records they describe: what a row says is the default is what a
// fresh start holds and saves, and every default lies in the row's range.
TEST(SettingsSchema, RowDefaultsAreTheFreshStateAndLieInTheirRanges) {
    StartState fresh;
    fresh.left = TFPanelSettings{};  // as the panel widgets start: the record's own initialisers
    const auto saved = PrivateProfileFile::FromText(fresh.save());
    for (const kv::SettingPlace& place : kv::SettingsInFileOrder()) {
        const kv::SettingSpec& row = *place.spec;
        SCOPED_TRACE(place.section + "/" + std::string(row.key));
        if (row.kind == kv::SettingKind::Integer) {
            EXPECT_LE(row.min, row.number);
            EXPECT_GE(row.max, row.number);
        }
        if (row.key == "Root") continue;  // the program's folder
        if (place.section == "Panel_Right" && row.key == "Columns") {
            EXPECT_EQ(saved.ReadString(place.section, row.key, "?"), "1");  // style 3 has one column
            continue;
        }
        EXPECT_EQ(saved.ReadString(place.section, row.key, "?"), row.savedAsOne ? "1" : defaultText(row));
        EXPECT_EQ(kv::FindSetting(place.section, row.key), &row);
    }
    // The lookup the options dialogs take their ranges from, case-insensitive like the file.
    const kv::SettingSpec* font = kv::FindSetting("panel_right", "FONT_SIZE");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(std::pair(font->min, font->max), std::pair(4, 72));
    const kv::SettingSpec* splitter = kv::FindSetting("Global", "Main_Splitter");
    ASSERT_NE(splitter, nullptr);
    EXPECT_EQ(std::pair(splitter->min, splitter->max), std::pair(1, 60));
    EXPECT_EQ(kv::FindSetting("Panel_Left", "Language"), nullptr);
    EXPECT_EQ(kv::FindSetting("Global", "Font_Size"), nullptr);
}

// Every readable key is read and written: a file with each key off its default loads into a
// fresh state that saves those values; the defaults' file loaded over that state gives the
// defaults back.
TEST(SettingsSchema, DefaultsSavedAndLoadedBackAreEqual) {
    StartState fresh;
    const std::string defaults = fresh.save();

    PrivateProfileFile changed = PrivateProfileFile::FromText("");
    std::vector<std::pair<const kv::SettingPlace*, std::string>> written;
    const auto places = kv::SettingsInFileOrder();
    for (const kv::SettingPlace& place : places) {
        const kv::SettingSpec& row = *place.spec;
        // Not read back; the styles are cleaned as a pair (covered above); a maximised window
        // would keep the bounds rather than read them.
        if (row.writtenOnly || row.outside == kv::OutOfRange::ResetsBothStyles ||
            row.kind == kv::SettingKind::WindowState)
            continue;
        written.emplace_back(&place, otherThanDefault(row));
        changed.WriteString(place.section, row.key, written.back().second);
    }
    StartState s;
    s.load(changed.Text());
    const auto resaved = PrivateProfileFile::FromText(s.save());
    for (const auto& [place, value] : written)
        EXPECT_EQ(resaved.ReadString(place->section, place->spec->key, "?"), value)
            << place->section << "/" << place->spec->key;

    s.load(defaults);
    EXPECT_EQ(s.save(), defaults);
}

// Each ranged key, at its edges and one beyond, loads as its row says.
TEST(SettingsSchema, RangedKeysLoadAtTheirEdgesAndCleanedBeyond) {
    int ranged = 0;
    for (const kv::SettingPlace& place : kv::SettingsInFileOrder()) {
        const kv::SettingSpec& row = *place.spec;
        if (!row.ranged()) continue;
        ++ranged;
        const bool styles = row.outside == kv::OutOfRange::ResetsBothStyles;
        auto expectedBelow = [&]() -> long long {
            switch (row.outside) {
                case kv::OutOfRange::Clamp: return row.min;
                case kv::OutOfRange::BelowMinIsDefault:
                case kv::OutOfRange::BelowMinKeepsValue:
                    return row.number;  // a fresh start holds the default
                case kv::OutOfRange::ResetsBothStyles: return 1;
            }
            return 0;
        };
        std::vector<std::pair<long long, long long>> cases;  // {in the file, loaded}
        if (row.min != INT_MIN)
            cases.insert(cases.end(), {{row.min, row.min}, {row.min - 1LL, expectedBelow()}});
        if (row.max != INT_MAX)
            cases.insert(cases.end(), {{row.max, row.max}, {row.max + 1LL, styles ? 1 : row.max}});
        for (const auto& [in, out] : cases) {
            SCOPED_TRACE(place.section + "/" + std::string(row.key) + "=" + std::to_string(in));
            // Panels in style 1, so the full view's one column does not hide the column count.
            const std::string styleLines = styles ? "" : "[Global]\nLeft_Style=1\nRight_Style=1\n";
            StartState s;
            s.load(styleLines + "[" + place.section + "]\n" + std::string(row.key) + "=" +
                   std::to_string(in) + "\n");
            const auto saved = PrivateProfileFile::FromText(s.save());
            EXPECT_EQ(saved.ReadString(place.section, row.key, "?"), std::to_string(out));
            if (styles && out != in) {
                EXPECT_EQ(std::pair(s.left.Style, s.right.Style), std::pair(1, 1));
            }
        }
    }
    EXPECT_GE(ranged, 8);  // styles, splitter, window size, and each panel's columns, length, font size
}

TEST_F(SettingsDir, SaveKeepsWhatItDoesNotOwnAndReportsAFileItCannotWrite) {
    const fs::path ini = dir / "kv.ini";
    put(ini, "; my notes\n[MainForm]\nPath=/home/me/korvalen\n[Global]\nLanguage=RUSSIAN\n");
    StartState s;
    kv::Load_INI(ini, s.cfg, s.left, s.right);
    ASSERT_TRUE(kv::Save_INI(ini, s.cfg, s.left, s.right));
    const std::string text = get(ini);
    EXPECT_EQ(text.rfind("; my notes\n[MainForm]\nPath=/home/me/korvalen\n", 0), 0u) << text;
    EXPECT_EQ(PrivateProfileFile(ini).ReadString("Global", "Language", ""), "RUSSIAN");

    // A file where the folder should be: the folder cannot be made, the message names the file.
    put(dir / "blocked", "x");
    const fs::path unwritable = dir / "blocked" / "kv.ini";
    const kv::SaveResult r = kv::Save_INI(unwritable, s.cfg, s.left, s.right);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "Unable to write to " + unwritable.string());
    EXPECT_EQ(get(dir / "blocked"), "x");
}

TEST(DefaultConfiguration, ResetsSettingsWindowAndPanels) {
    StartState s;
    s.load(
        "[Global]\nLanguage=RUSSIAN\nMain_Splitter=20\nOnTop=1\nLeft_Style=3\nRight_Style=2\n"
        "[Confirm]\nExit=1\n[MainForm]\nStateWin=1\n[Panel_Left]\nFont_Size=14\nFont_Color=0xFF\n"
        "Columns=7\nSorthMethod=srDate\n");
    kv::SetDefaultConfiguration(s.cfg, s.left, s.right);
    EXPECT_EQ(s.cfg.Main.Language, "ENGLISH");
    EXPECT_EQ(s.cfg.Main.Main_Splitter, 7);
    EXPECT_FALSE(s.cfg.Main.OnTop);
    EXPECT_FALSE(s.cfg.Confirm.Exit);
    EXPECT_FALSE(s.cfg.MainForm.Maximized);
    EXPECT_EQ(s.cfg.MainForm.Left, 0);
    EXPECT_EQ(s.cfg.MainForm.Top, 0);
    EXPECT_EQ(s.cfg.MainForm.Width, 640);
    EXPECT_EQ(s.cfg.MainForm.Height, 453);
    EXPECT_EQ(s.cfg.FilesPanel.Panel_Width, 313);
    EXPECT_EQ(std::pair(s.left.Style, s.right.Style), std::pair(1, 3));
    EXPECT_EQ(std::pair(s.left.Columns, s.right.Columns), std::pair(3, 1));
    EXPECT_EQ(s.left.SortMethod, kv::srExt);
    EXPECT_EQ(s.left.Font_Name, "MS Sans Serif");
    EXPECT_EQ(s.left.Font_Size, 8);
    EXPECT_EQ(s.left.Font_Color, 0xFFu);  // the reset names a font, it does not repaint it
}

TEST_F(SettingsDir, LanguageLookupTakesTheFileUnlessExactlyEnglish) {
    // The same file in UTF-8 and in Windows-1251 ("Копия" / "Отмена").
    const std::string utf8 = "[Copy]\nCaption=Копия\n[Commands]\nConfirm_SetDefaultConfig=Сбросить?\n";
    const std::string cp1251 =
        "[Copy]\r\nCaption=\xCA\xEE\xEF\xE8\xFF\r\n[Commands]\r\n"
        "Confirm_SetDefaultConfig=\xD1\xE1\xF0\xEE\xF1\xE8\xF2\xFC?\r\n";
    for (const auto& [name, bytes] : {std::pair("utf8", utf8), std::pair("cp1251", cp1251)}) {
        SCOPED_TRACE(name);
        put(dir / "kv_rus.ini", bytes);
        const kv::TLanguage lang(dir / "kv_rus.ini");
        struct Case {
            std::string_view language, section, key, want;
        } cases[] = {
            {"ENGLISH", "Copy", "Caption", "Copy"},
            {"RUSSIAN", "Copy", "Caption", "Копия"},
            {"russian", "copy", "caption", "Копия"},  // any other value reads the file
            {"English", "Copy", "Caption", "Копия"},  // the test is case-sensitive
            {"RUSSIAN", "Copy", "Button_OK", "Error loading resource"},
        };
        for (const auto& c : cases)
            EXPECT_EQ(lang.DialogText(c.language, c.section, c.key, "Copy"), c.want)
                << c.language << "/" << c.key;
        EXPECT_EQ(lang.MainText("RUSSIAN", "MainMenu", "KV_Exit", "Exit"), "");

        KvConfig cfg;
        cfg.Main.Language = "RUSSIAN";
        EXPECT_EQ(kv::SetDefaultConfigQuestion(cfg, lang), "Сбросить?");
        cfg.Main.Language = "ENGLISH";
        EXPECT_EQ(kv::SetDefaultConfigQuestion(cfg, lang),
                  "Do you want set default configuration of Korvalen ?");
    }
    const kv::TLanguage none(dir / "absent.ini");
    EXPECT_EQ(none.DialogText("RUSSIAN", "Copy", "Caption", "Copy"), "Error loading resource");
}

// The shipped file has a real text for every key the windows read.
TEST(ShippedRussianTexts, EveryKeyIsThereInUtf8) {
    const fs::path file = fs::path(KV_TEST_DATA).parent_path().parent_path() / "data" / "kv_rus.ini";
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << file;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    ASSERT_TRUE(kv::platform::IsValidUtf8(bytes.str()));
    const kv::TLanguage lang(file);

    std::vector<std::string_view> panelKeys;
    for (const auto& k : kv::kPanelTextKeys) panelKeys.push_back(k.first);
    std::vector<std::pair<std::string_view, std::vector<std::string_view>>> sections = {
        {"HotButtons", {kv::kHotButtonKeys.begin(), kv::kHotButtonKeys.end()}},
        {"MainMenu", {std::begin(kv::kMainMenuKeys), std::end(kv::kMainMenuKeys)}},
        {"Commands", {"Confirm_ClearRecycle", "Message_LastPlayFile", "Confirm_SetDefaultConfig"}},
        {"Calculator", {"Caption"}},
        {"Panel", panelKeys},
        {"Menu",
         {"Caption", "Start", "Cancel", "Configuration", "Insert", "Delete", "Change", "ProgramCaption",
          "CommandForRun"}},
        {"Copy",
         {"Caption", "Button_OK", "Button_Cancel", "Label_From", "Label_To", "CheckBox_CheckFreeSpace",
          "CheckBox_SystemCopyFunction"}},
        {"Delete",
         {"Caption", "GroupBoxCaption", "Button_OK", "Button_Cancel", "Label_Quest", "Folder", "File"}},
        {"MkDir", {"Caption", "GroupBoxCaption", "Button_OK", "Button_Cancel"}},
        {"MkFile", {"Caption", "GroupBoxCaption", "Button_OK", "Button_Cancel"}},
        {"AboutSystem",
         {"Caption", "Label_Computer", "Label_Processor", "Label_Memory", "Label_Video", "Label_Drive",
          "Label_OS", "Label_UserName", "bytes"}},
        {"InetDialer",
         {"Caption", "GroupBoxCaption", "Button_Call", "Button_HungUp", "Button_Options", "Button_Cancel",
          "Label_NumberCon", "Label_CaptionOfOptions", "CheckBox_CloseOnConnect", "CheckBox_CloseOnBusy",
          "Label_CallAfterSecund"}},
        {"CD-Player",
         {"Caption", "Button_Options", "Button_Cancel", "Label_ContPlay", "Label_RepeatCurSel", "Label_Track",
          "Label_Pos"}},
        {"Clipboard", {"Caption"}},
        {"ChangeVideo", {"Caption", "Button_Set", "Button_Cancel"}},
        {"Tetris", {"Game", "Start", "Pause", "Help", "Exit", "Level", "Score", "GameOver"}},
        {"Life",
         {"Game", "Menu", "Generate", "Run", "Stop", "Clear", "OneStep", "resetsteps", "Exit", "Step"}},
    };
    for (const auto& [section, keys] : sections)
        for (const auto key : keys) {
            const std::string text = lang.Read(section, key, "");
            EXPECT_FALSE(text.empty()) << section << "/" << key;
            // Cyrillic letters (U+0400..U+04FF) start with 0xD0 or 0xD1 in UTF-8; "OK" is the one Latin text.
            if (text != "OK") {
                EXPECT_NE(text.find_first_of("\xD0\xD1"), std::string::npos)
                    << section << "/" << key << ": " << text;
            }
        }
    EXPECT_EQ(lang.Read("Delete", "GroupBoxCaption", ""),
              " Удаление файлов ");  // quotes keep the frame's blanks
}

TEST_F(SettingsDir, ConfigFilesAreFoundWhereTheyBelong) {
    const fs::path work = dir / "work", xdg = dir / "xdg", home = dir / "home";
    fs::create_directories(work);
    // No ./kv.ini: the per-user config folder; a relative XDG_CONFIG_HOME does not count.
    EXPECT_EQ(kv::FindKvIni(work, xdg.string(), home.string()), xdg / "korvalen" / "kv.ini");
    EXPECT_EQ(kv::FindKvIni(work, "", home.string()), home / ".config" / "korvalen" / "kv.ini");
    EXPECT_EQ(kv::FindKvIni(work, "relative/cfg", home.string()), home / ".config" / "korvalen" / "kv.ini");
    put(work / "kv.ini", "");
    EXPECT_EQ(kv::FindKvIni(work, xdg.string(), home.string()), work / "kv.ini");

    const fs::path data = dir / "share", exe = dir / "bin";
    fs::create_directories(data);
    fs::create_directories(exe);
    const fs::path kvIni = xdg / "korvalen" / "kv.ini";
    EXPECT_EQ(kv::FindKvRusIni(kvIni, {data, exe}), xdg / "korvalen" / "kv_rus.ini");  // none: beside kv.ini
    put(exe / "kv_rus.ini", "");
    EXPECT_EQ(kv::FindKvRusIni(kvIni, {data, exe}), exe / "kv_rus.ini");
    put(data / "kv_rus.ini", "");
    EXPECT_EQ(kv::FindKvRusIni(kvIni, {data, exe}), data / "kv_rus.ini");
    fs::create_directories(kvIni.parent_path());
    put(kvIni.parent_path() / "kv_rus.ini", "");
    EXPECT_EQ(kv::FindKvRusIni(kvIni, {data, exe}), kvIni.parent_path() / "kv_rus.ini");
}

}  // namespace
