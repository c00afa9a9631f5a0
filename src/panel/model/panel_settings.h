#pragma once
// The per-panel settings that kv.ini stores under "Panel_Left" / "Panel_Right".
// The panel model holds one of these (its public fields are read and written by the
// main window, the options dialogs and the configuration code); the widget paints by them.
#include <cstdint>
#include <string>

namespace kv {

// Colours are 0x00BBGGRR; a set top bit means a system colour (0x8000000F is button face).
using TColorRef = std::uint32_t;

// The panels' own font: Liberation Sans has the widths of the old sans-serif screen font, which
// the panel's pixel figures (column widths, NameRight) were made for. A fresh kv.ini names it.
inline constexpr const char* kPanelFontName = "Liberation Sans";

enum TSortMethod : std::uint8_t { srNone = 0, srName = 1, srExt = 2, srSize = 3, srDate = 4 };

struct TFPanelSettings {
    // Geometry as stored in kv.ini; the layout pass recomputes it.
    int Left = 0, Top = 0, Width = 640, Height = 453;

    int Style = 1;    // 1 brief, 2 information, 3 full
    int Columns = 3;  // forced to 1 in style 3
    int Length = 8;   // row-height base

    std::uint8_t SortMethod = srExt;

    std::uint8_t Show_FreeDisk = 1;
    std::uint8_t Show_FileName = 1;
    std::uint8_t Show_FileSize = 1;
    std::uint8_t Show_FileDate = 1;
    std::uint8_t Show_FileHide = 1;
    std::uint8_t Show_FileColors = 1;
    std::uint8_t Show_CurDir = 1;
    std::uint8_t Show_ScrollBar = 1;
    std::uint8_t Param_ExecBegin = 1;
    std::uint8_t Show_FilesColor = 1;  // stored only
    std::uint8_t Show_ToolBar = 1;     // stored only

    TColorRef FileColor = 0xFFFFFF;
    TColorRef DirectoryColor = 0xFFFFFF;
    TColorRef FileSelectColor = 0x00FFFF;
    TColorRef DirectorySelectColor = 0x000000;
    TColorRef PanelFon = 0x800000;
    TColorRef PanelSelectFon = 0xA8A800;
    TColorRef LineColor = 0xFFFFFF;
    TColorRef LineColorSlave = 0x8000000F;
    TColorRef SysTextColor = 0x00FFFF;
    TColorRef SysInfoText = 0xFFFFFF;

    // The canvas font; an empty name (hand-edited kv.ini) draws kPanelFontName.
    std::string Font_Name = kPanelFontName;
    int Font_Size = 8;
    TColorRef Font_Color = 0xFFFFFF;  // the panel font is white, like its names
    bool Font_Bold = false;
    bool Font_Italic = false;  // never written; a bold italic font saves as "[]"

    std::uint8_t FolderIndent = 0;  // Ctrl+I, not stored
};

}  // namespace kv
