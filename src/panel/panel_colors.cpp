#include "panel/panel_colors.h"

namespace kv {

QColor toQColor(TColorRef c, const QPalette& pal) {
    if (c & 0x80000000u) {
        switch (c & 0xFF) {
            case 0x01:
            case 0x02:
            case 0x03: return pal.color(QPalette::Highlight);  // desktop, captions
            case 0x04:
            case 0x0F: return pal.color(QPalette::Button);  // menu, button face
            case 0x05: return pal.color(QPalette::Base);    // window
            case 0x06: return pal.color(QPalette::Shadow);  // window frame
            case 0x07:
            case 0x08: return pal.color(QPalette::Text);  // menu / window text
            case 0x0D: return pal.color(QPalette::Highlight);
            case 0x0E: return pal.color(QPalette::HighlightedText);
            case 0x10: return pal.color(QPalette::Dark);                      // button shadow
            case 0x11: return pal.color(QPalette::Disabled, QPalette::Text);  // grey text
            case 0x12: return pal.color(QPalette::ButtonText);
            case 0x14: return pal.color(QPalette::Light);   // button highlight
            case 0x15: return pal.color(QPalette::Shadow);  // 3D dark shadow
            case 0x16: return pal.color(QPalette::Midlight);
            case 0x17: return pal.color(QPalette::ToolTipText);
            case 0x18: return pal.color(QPalette::ToolTipBase);
            default: return pal.color(QPalette::Button);
        }
    }
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}

TColorRef fromQColor(const QColor& c) {
    return static_cast<TColorRef>(c.red()) | (static_cast<TColorRef>(c.green()) << 8) |
           (static_cast<TColorRef>(c.blue()) << 16);
}

}  // namespace kv
