#pragma once

#include "Support/Geometry.h"

#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRectF>

class QPainter;

namespace ExportKit::BitmapCoordinates {

// The renderer's formulas are written for bitmaps whose origin is the bottom-left corner with y
// growing upwards; QImage and QPainter put the origin at the top-left with y growing downwards.
// Every conversion between the two happens here, once, with the image height H.

// (x, y, w, h) top-left becomes (minX, H - maxY, w, h) bottom-left of the standardised rectangle.
// The same formula converts back.
Support::Rect toBottomLeft(const Support::Rect& topLeft, double height);
Support::Rect toTopLeft(const Support::Rect& bottomLeft, double height);
// A point (x, y) bottom-left is (x, H - y) in painter (top-left) coordinates.
QPointF painterPoint(const Support::Point& bottomLeft, double height);
// A QRectF in painter (top-left) coordinates for a bottom-left rectangle.
QRectF painterRect(const Support::Rect& bottomLeft, double height);

// Row `row` of a grid whose row 0 lies at the bottom-left rectangle's bottom edge, in painter
// coordinates: cells stack upwards from the region's bottom edge.
QRectF gridCell(const Support::Rect& bottomLeft, double height, double cell, long long row, long long column);

// A bitmap row counted from the bottom (row 0 is the lowest) as a QImage scan line.
int scanLineForRowFromBottom(int row, int rowCount);

// The unit direction of a gradient angle measured counter-clockwise in the bottom-left system,
// in painter coordinates (the y component's sign flips).
QPointF directionForAngle(double radians);

// A drop shadow offset "downwards by dy" in the bottom-left system: (0, -dy) there, (0, +dy) here.
QPointF shadowOffsetDownwards(double dy);

// Turns what is drawn next clockwise on the image by `radians` about `pivot` (painter
// coordinates). The bottom-left system rotates by minus the angle for the same look.
void rotateClockwise(QPainter& painter, QPointF pivot, double radians);

// The baseline y, in painter coordinates, of text whose baseline sits `aboveBottom` pixels above
// the image's bottom edge.
double baselineAboveBottom(double aboveBottom, double height);

// 72 dpi in dots per metre, the unit QImage stores: a point is then a pixel.
inline constexpr int kDotsPerMetreAt72Dpi = 2835;

// The interface font at a size in pixels (points on the 72 dpi working bitmaps).
QFont systemFont(double pixelSize, bool bold = false);

// A new image of the given pixel size in the working format: ARGB32 premultiplied, transparent,
// 72 dots per inch so that a point is a pixel. Null when it cannot be allocated.
QImage makeWorkingBitmap(int width, int height);
QImage makeWorkingBitmap(QSize size);

} // namespace ExportKit::BitmapCoordinates
