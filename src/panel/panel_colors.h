#pragma once
// Stored colours (0x00BBGGRR, top bit = system colour) to Qt colours.
#include <QColor>
#include <QPalette>

#include "panel/model/panel_settings.h"

namespace kv {

// A system colour (top bit set) is taken from the palette role that matches its
// index (0x0F button face -> Button, 0x05 window -> Base, ...).
QColor toQColor(TColorRef c, const QPalette& pal = QPalette());
// The stored form of a plain colour.
TColorRef fromQColor(const QColor& c);

}  // namespace kv
