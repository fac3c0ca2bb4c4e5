#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <optional>

class QPainter;

namespace BrindlecastApp {

enum class SymbolWeight { regular, medium, semibold, bold };

// The named system symbols the interface shows ("lock.fill", "eye.slash.fill", ...), drawn from
// our own paths on a 24-unit grid, at any size and weight, in one colour.
namespace Symbols {

bool isKnown(const QString& name);

// The symbol's outline as one filled region, centred in `box` and scaled by min(width, height) / 24.
// Nothing for an unknown name.
std::optional<QPainterPath> path(const QString& name, const QRectF& box, SymbolWeight weight = SymbolWeight::regular);

// Draws the symbol; an unknown name draws a visible dashed placeholder box and is logged once.
void paint(QPainter& painter, const QString& name, const QRectF& box, const QColor& color,
           SymbolWeight weight = SymbolWeight::regular);

// The side of the square a symbol takes beside text of `pointSize` points.
double sideForPointSize(double pointSize);

// The symbol alone on a transparent square image of `side` pixels.
QImage image(const QString& name, int side, const QColor& color, SymbolWeight weight = SymbolWeight::regular);

} // namespace Symbols

} // namespace BrindlecastApp
