#pragma once
#include <QIcon>

namespace kv {
// The program's icon: two blue panels side by side, drawn so no image file is needed.
QIcon korvalenIcon();
}  // namespace kv
