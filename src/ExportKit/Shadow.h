#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>

#include <functional>

class QImage;
class QPainter;

namespace ExportKit::Shadow {

// A drop shadow: what is drawn casts a blurred, tinted copy of its coverage, offset on the
// device, beneath itself.
struct Parameters {
    QPointF offset;    // device pixels, y downwards
    double blurRadius; // the Gaussian's standard deviation is half of it
    QColor color;      // its alpha scales the coverage
};

// Paints the blurred shadow of what `draw` paints (in the painter's transform), then that itself,
// onto the painter's device. Up to a blur radius of 32 the shadow is exact: `draw` runs against an
// offscreen layer that is composited over the shadow. A wider shadow is blurred on a coarser grid
// and `draw` runs twice, once for that grid and once straight onto the device. `deviceBounds`
// must hold everything `draw` paints, in device pixels.
void paintWithShadow(QPainter& painter, const Parameters& shadow, const QRectF& deviceBounds,
                     const std::function<void(QPainter&)>& draw);

// Paints only the shadow that what `draw` paints casts, as paintWithShadow would.
void paintShadowOnly(QPainter& painter, const Parameters& shadow, const QRectF& deviceBounds,
                     const std::function<void(QPainter&)>& draw);

// Blurs the alpha of an Alpha8 image in place with three box passes that approximate a
// Gaussian of standard deviation `sigma`.
void blurAlpha(QImage& alphaImage, double sigma);

} // namespace ExportKit::Shadow
