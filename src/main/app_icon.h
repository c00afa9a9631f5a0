#pragma once
#include <QIcon>
#include <QImage>

namespace kv {
// The program's icon: two blue panels side by side, drawn so no image file is needed.
// data/korvalen.svg is the same drawing for the desktop's icon theme.
QIcon korvalenIcon();
// The same drawing as an image of size x size pixels (no application object needed).
QImage korvalenIconImage(int size);
}  // namespace kv
