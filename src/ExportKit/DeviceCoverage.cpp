#include "ExportKit/DeviceCoverage.h"

#include <QImage>
#include <QPainter>
#include <QPainterPathStroker>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace ExportKit::DeviceCoverage {

namespace {

QRectF deviceRect(const QPainter& painter) {
    const QPaintDevice* device = painter.device();
    return QRectF(0, 0, device->width(), device->height());
}

double deviceScale(const QPainter& painter) { return std::sqrt(std::fabs(painter.transform().determinant())); }

// The device's corners in painter coordinates, or nothing when the transform cannot be undone.
std::optional<std::array<QPointF, 4>> deviceCorners(const QPainter& painter) {
    bool invertible = false;
    const QTransform toPainter = painter.transform().inverted(&invertible);
    if (!invertible) return std::nullopt;
    const QRectF device = deviceRect(painter);
    return std::array<QPointF, 4>{toPainter.map(device.topLeft()), toPainter.map(device.topRight()),
                                  toPainter.map(device.bottomLeft()), toPainter.map(device.bottomRight())};
}

// Pixels within this of a covering edge, in device pixels, are not counted on: the rasteriser
// flattens curves, and round ends are drawn as Bezier arcs a few thousandths out.
double coverageMargin(double radius) { return 2 + 0.001 * radius; }

} // namespace

bool widerThanDevice(const QPainter& painter, double size) {
    const QRectF device = deviceRect(painter);
    return size * deviceScale(painter) > std::hypot(device.width(), device.height());
}

bool strokeCoversDevice(const QPainter& painter, const QPainterPath& path, double width) {
    const double scale = deviceScale(painter);
    const double radius = width * scale / 2;
    const double reach = (radius - coverageMargin(radius)) / scale; // in painter units
    if (!(reach > 0) || !std::isfinite(reach)) return false;
    const auto corners = deviceCorners(painter);
    if (!corners) return false;
    const auto reachesAllCorners = [&](QPointF point) {
        return std::all_of(corners->begin(), corners->end(), [&](QPointF corner) {
            return std::hypot(corner.x() - point.x(), corner.y() - point.y()) <= reach;
        });
    };
    // The points that lie on the path: the ends of its lines and curves, and where each starts.
    const int count = path.elementCount();
    for (int i = 0; i < count; ++i) {
        const QPainterPath::Element element = path.elementAt(i);
        bool onPath = false;
        switch (element.type) {
        case QPainterPath::MoveToElement:
            onPath = i + 1 < count && path.elementAt(i + 1).type != QPainterPath::MoveToElement;
            break;
        case QPainterPath::LineToElement:
            onPath = true;
            break;
        case QPainterPath::CurveToElement:
            break; // a control point
        case QPainterPath::CurveToDataElement:
            onPath = i + 1 == count || path.elementAt(i + 1).type != QPainterPath::CurveToDataElement;
            break;
        }
        if (onPath && reachesAllCorners(element)) return true;
    }
    return false;
}

bool rectCoversDevice(const QPainter& painter, const QRectF& rect) {
    const auto corners = deviceCorners(painter);
    if (!corners) return false;
    const double margin = coverageMargin(std::max(rect.width(), rect.height())) / deviceScale(painter);
    const QRectF inner = rect.normalized().adjusted(margin, margin, -margin, -margin);
    return inner.isValid() &&
           std::all_of(corners->begin(), corners->end(), [&](QPointF corner) { return inner.contains(corner); });
}

bool ellipseCoversDevice(const QPainter& painter, const QRectF& rect) {
    const auto corners = deviceCorners(painter);
    if (!corners) return false;
    const QRectF r = rect.normalized();
    const double margin = coverageMargin(std::max(r.width(), r.height())) / deviceScale(painter);
    const double a = r.width() / 2 - margin;
    const double b = r.height() / 2 - margin;
    if (!(a > 0) || !(b > 0)) return false;
    // An ellipse is convex: holding the device's corners, it holds the device.
    return std::all_of(corners->begin(), corners->end(), [&](QPointF corner) {
        const double u = (corner.x() - r.center().x()) / a;
        const double v = (corner.y() - r.center().y()) / b;
        return u * u + v * v <= 1;
    });
}

QRgb solidPixel(const QColor& color) {
    QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
    probe.fill(Qt::transparent);
    QPainter painter(&probe);
    painter.fillRect(QRect(0, 0, 1, 1), color);
    painter.end();
    return reinterpret_cast<const QRgb*>(probe.constScanLine(0))[0];
}

bool paintsOpaque(const QColor& color) { return qAlpha(solidPixel(color)) == 255; }

void fillDevice(QPainter& painter, const QBrush& brush) {
    painter.save();
    painter.resetTransform();
    painter.fillRect(deviceRect(painter).toAlignedRect(), brush);
    painter.restore();
}

void fillCutToDevice(QPainter& painter, const QPainterPath& area, const QBrush& brush) {
    QPainterPath device;
    device.addRect(deviceRect(painter).adjusted(-2, -2, 2, 2));
    const QPainterPath onDevice = painter.transform().map(area).intersected(device);
    painter.save();
    painter.resetTransform();
    painter.fillPath(onDevice, brush);
    painter.restore();
}

void strokeOnDevice(QPainter& painter, const QPainterPath& path, const QPen& pen, bool cut) {
    const bool round = pen.capStyle() == Qt::RoundCap && pen.joinStyle() == Qt::RoundJoin;
    if (round && strokeCoversDevice(painter, path, pen.widthF())) {
        fillDevice(painter, pen.brush());
    } else if (cut || widerThanDevice(painter, pen.widthF())) {
        fillCutToDevice(painter, QPainterPathStroker(pen).createStroke(path), pen.brush());
    } else {
        painter.strokePath(path, pen);
    }
}

} // namespace ExportKit::DeviceCoverage
