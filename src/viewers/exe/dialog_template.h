#pragma once
// Dialog templates (DLGTEMPLATE and DLGTEMPLATEEX) read into plain values, for the text
// form and for the preview that rebuilds the dialog with the toolkit's own widgets.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "viewers/exe/byte_reader.h"

namespace kv::exe {

// A class, menu or title field: nothing, a number (0xFFFF then the number) or a text.
struct NameOrNumber {
    enum Kind { kNone, kNumber, kText } kind = kNone;
    std::uint16_t number = 0;
    std::string text;
    std::string display() const;  // "", "#101" or the quoted text
};

struct DialogControl {
    std::uint32_t style = 0, exStyle = 0, helpId = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::int32_t id = 0;
    NameOrNumber windowClass, title;
    // "BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX" for the predefined
    // numbers, the stored text otherwise.
    std::string className() const;
};

struct DialogTemplate {
    bool extended = false;
    std::uint32_t style = 0, exStyle = 0, helpId = 0;
    std::uint16_t declaredControls = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    NameOrNumber menu, windowClass;
    std::string caption;
    bool hasFont = false;
    std::uint16_t pointSize = 0, weight = 0;
    bool italic = false;
    std::uint8_t charset = 0;
    std::string face;
    std::vector<DialogControl> controls;  // fewer than declared when the data ends first
};

inline constexpr std::uint32_t kWsVisible = 0x10000000, kWsDisabled = 0x08000000;

// Nothing when even the dialog's own header is not all there.
std::optional<DialogTemplate> parseDialog(Bytes data);
// Resource-script lines: DIALOG x, y, cx, cy / STYLE / CAPTION / FONT / BEGIN / CONTROL ... / END.
std::vector<std::string> dialogLines(const DialogTemplate& d);

}  // namespace kv::exe
