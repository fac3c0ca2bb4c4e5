#pragma once

#include <QColor>
#include <QList>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <optional>

class QPainter;

namespace BrindlecastApp {

// The application's own line icons, designed on a 24 x 24 grid and drawn as vectors at any size.
// The raw values are an interface: the editor looks a tool's icon up by name.
namespace Icon {

enum class Glyph {
    cursor, rectSelect, rectangle, freeform, text, pixelate, detectPII, textSelect, strokeDot, fillRing,
    crop, backdrop, undo, redo, gear, ellipsis, copy, checkmark, sidebarToggle, plus, minus, fit, frame,
    folder, shield, battery, wifi, spotlight, controlCenter
};

const QList<Glyph>& allGlyphs(); // the 29 glyphs in declaration order
QString rawValue(Glyph glyph);
// Exact, case-sensitive: "rect-select" gives rectSelect; "rectSelect" and "Rect-Select" give nothing.
std::optional<Glyph> fromRawValue(const QString& raw);

// Filled glyphs: cursor, pixelate, strokeDot, ellipsis. Every other glyph is stroked.
bool isFilled(Glyph glyph);
// Stroke width in points (not scaled with the size): 1.6, 1.7 or 1.8. Zero for filled glyphs.
double lineWidth(Glyph glyph);
// rectSelect alone is dashed: 3.2 points on, 3.0 off. Empty for every other glyph.
QList<double> dashPattern(Glyph glyph);

// The glyph's primitives in the 24-unit space, (0, 0) at the top left, y downwards.
void draw(Glyph glyph, QPainterPath& path);
// The glyph scaled by min(width, height) / 24 and moved to the rectangle's top-left corner: it keeps
// its proportions and, in a non-square rectangle, is not centred.
QPainterPath path(Glyph glyph, const QRectF& rect);

// Draws the glyph filling a `size` x `size` square at `topLeft` in `color`.
void paint(QPainter& painter, Glyph glyph, const QPointF& topLeft, double size, const QColor& color);

} // namespace Icon

} // namespace BrindlecastApp
