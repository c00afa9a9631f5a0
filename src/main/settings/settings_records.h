#pragma once
// The program-wide settings records. One KvConfig lives for the whole run (kvConfig()); every
// window reads it, the options dialogs change it, and only Save_INI writes it to kv.ini, at close.
// The per-panel settings live in each panel (kv::TFPanelSettings, panel/model/panel_settings.h).
#include <string>

namespace kv {

// `Main`: program identity and global flags.
struct TMainSettings {
    std::string ProgName;     // "Korvalen" (Global_Init)
    std::string ProgVersion;  // "1.00 pre-release" + Build
    std::string Build = "30";
    std::string Title;                 // "Korvalen v1.00": the main window's caption when no music plays
    std::string ProgDate;              // "15.09.1998"
    std::string Root;                  // folder of the executable, no trailing "/"
    std::string WinDir;                // never assigned, so empty
    std::string WinType;               // "WinNT" on Linux
    std::string Active = "Left";       // active panel: "Left" or "Right"; only TForm1::SetActive changes it
    std::string Language = "ENGLISH";  // exactly "ENGLISH" keeps the built-in texts
    bool SysTrayIcon = true;
    bool OnTop = false;
    bool IniLoad = false;  // read from kv.ini, always saved as 1; nothing else uses it
    bool Sync_Panels = false;
    int Main_Splitter = 7;  // gap between the panels in pixels, 1..60
    bool DelToRecycle = false;
    bool Show_ToolBar = true;
    bool Show_StatusBar = true;
    bool Show_DriveBar = true;
    // Plain typing with an empty command line opens the panel's quick search (off: it types
    // into the command line, as it always has).
    bool QuickSearchOnTyping = false;
};

// `Confirm`
struct TConfirmSettings {
    bool Copy = true;
    bool Move = true;
    bool Delete = true;  // stored and shown in the options dialog only
    bool Exit = false;   // ask before quitting
};

struct TIntRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// Shown and edited in the options dialog; no other effect.
struct TInterfaceFlags {
    bool Show_BackgroundFon = true;
    bool Show_ToolBar = true;
    bool Show_ComLine = true;
    bool Show_HotButtons = true;
};

// `FilesPanel`: main-window layout state.
struct TFilesPanelState {
    TIntRect SplitRect;                // the gap between the panels, set by every layout pass
    int Panel_Width = 0;               // window width div 2 - Main_Splitter, recomputed at start
    std::string DriveTarget = "Left";  // the panel the drive chooser serves
    TInterfaceFlags InterfaceFlags;
};

// `DialUpSettings`
struct TDialUpSettings {
    bool Redial = true;
    bool CloseOnBusy = false;
    bool CloseOnConnect = false;
    int RedialTime = 10;  // seconds
};

// `ClipboardBounds`: the clipboard viewer's window; values below 1 are the viewer's to replace.
struct TClipboardBounds {
    int Left = 0, Top = 0, Width = 0, Height = 0;
};

// Section "MainForm": the main window's bounds (position and size as QWidget::move/resize take
// them) and whether it is maximised ("StateWin" 1). The defaults are the window's design bounds:
// the size "Set default configuration" gives, so a first start shows every button caption whole.
struct TMainFormBounds {
    int Left = 159, Top = 112, Width = 640, Height = 453;
    bool Maximized = false;
};

struct KvConfig {
    TMainSettings Main;
    TConfirmSettings Confirm;
    TFilesPanelState FilesPanel;
    TDialUpSettings DialUpSettings;
    TClipboardBounds ClipboardBounds;
    TMainFormBounds MainForm;
};

// The one instance of the running program. Functions below take a KvConfig& so tests can use
// their own; the program passes kvConfig().
KvConfig& kvConfig();

}  // namespace kv
