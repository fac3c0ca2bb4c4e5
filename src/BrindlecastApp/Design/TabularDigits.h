#pragma once

#include <QFont>
#include <QRectF>
#include <QString>

class QPainter;

namespace BrindlecastApp::TabularDigits {

// Text whose figures all take one width, the widest figure's, each centred in its cell, so that a
// readout whose numbers change does not grow, shrink or shift. (The Qt this runs on has no switch
// for a font's own tabular figures.) Everything else keeps the font's own spacing.

double horizontalAdvance(const QFont& font, const QString& text);

// Draws `text` in the painter's font and pen, left-aligned and centred vertically in `rect`.
void draw(QPainter& painter, const QRectF& rect, const QString& text);

} // namespace BrindlecastApp::TabularDigits
