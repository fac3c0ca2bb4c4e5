#pragma once

#include <QFont>
#include <QRectF>
#include <Qt>
#include <QString>

class QPainter;

namespace BrindlecastApp::TabularDigits {

// Text whose figures all take one width, so that a readout whose numbers change does not grow,
// shrink or shift. The figures are the font's own tabular forms (its "tnum" feature, read from the
// font, since the Qt this runs on has no switch for features); a font without them gets its
// figures centred in cells as wide as the widest one.

// True when `font` brings tabular figures of its own.
bool hasFontFigures(const QFont& font);

double horizontalAdvance(const QFont& font, const QString& text);

// Draws `text` in the painter's font and pen, centred vertically in `rect`; left-aligned, or
// centred when `alignment` holds Qt::AlignHCenter.
void draw(QPainter& painter, const QRectF& rect, const QString& text, Qt::Alignment alignment = Qt::AlignLeft);

} // namespace BrindlecastApp::TabularDigits
