#pragma once
// Frame3D: a raised or sunken frame in the old style, drawn inward from a rectangle's
// edge; tool windows use it for their bevels.
#include <QColor>
#include <QRect>

class QPainter;

namespace kv {

// Draws `width` rings: the left and top edges in `top`, the right and bottom edges
// (which win at the two corners they share) in `bottom`. On return `rect` is the area
// inside the frame.
void Frame3D(QPainter& canvas, QRect& rect, int width, const QColor& top, const QColor& bottom);

// The paint hook several dialogs call for their background; it draws nothing, so a
// window keeps its normal background colour.
inline void Show_Fon(QPainter&) {}

}  // namespace kv
