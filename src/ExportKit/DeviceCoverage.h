#pragma once

#include <QBrush>
#include <QPainterPath>
#include <QPen>
#include <QRgb>

class QColor;
class QPainter;

// What a mark covers of the painter's device, and drawing marks far larger than the device.
// A damaged document can ask for strokes and glyphs thousands of pixels wide: most of their
// outline lies off the device, yet the rasteriser's time grows with the whole outline.
namespace ExportKit::DeviceCoverage {

// Whether `size`, in the painter's units, is more than the painter's device is across.
bool widerThanDevice(const QPainter& painter, double size);

// Whether a round-capped, round-joined stroke of `width` (painter units) along `path` (painter
// coordinates) covers every pixel of the painter's device fully. Conservative: some point on the
// path must lie within half the width, less a margin for how round ends are approximated, of
// every corner of the device.
bool strokeCoversDevice(const QPainter& painter, const QPainterPath& path, double width);

// Whether `area` (painter coordinates) covers every pixel of the painter's device fully; only
// rectangles and ellipses are recognised, anything else is not known to cover it.
bool rectCoversDevice(const QPainter& painter, const QRectF& rect);
bool ellipseCoversDevice(const QPainter& painter, const QRectF& rect);

// The pixel that painting `color` over transparency with full coverage gives.
QRgb solidPixel(const QColor& color);
bool paintsOpaque(const QColor& color);

// Paints every pixel of the device with `brush` (a solid colour), as a fill of full coverage.
void fillDevice(QPainter& painter, const QBrush& brush);

// Fills `area` (painter coordinates) after cutting it down to the device.
void fillCutToDevice(QPainter& painter, const QPainterPath& area, const QBrush& brush);

// Strokes `path` with `pen`: a round stroke over all of the device fills it, and one wider than
// the device (or any when `cut`) is filled as its outline cut down to the device.
void strokeOnDevice(QPainter& painter, const QPainterPath& path, const QPen& pen, bool cut = false);

} // namespace ExportKit::DeviceCoverage
