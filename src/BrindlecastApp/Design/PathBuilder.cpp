#include "BrindlecastApp/Design/PathBuilder.h"

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

PathBuilder& PathBuilder::A(double cx, double cy, double r, double a0, double a1, bool increasing) {
    double forward = std::fmod(a1 - a0, 360.0);
    if (forward < 0) forward += 360;
    const double sweep = increasing ? forward : (forward == 0 ? 0 : forward - 360);
    // Qt counts angles counter-clockwise on screen, so both the start and the sweep change sign.
    path_.arcTo(QRectF(cx - r, cy - r, 2 * r, 2 * r), -a0, -sweep);
    return *this;
}

PathBuilder& PathBuilder::R(double x, double y, double w, double h, double r) {
    addContinuousRoundedRect(path_, QRectF(x, y, w, h), r);
    return *this;
}

void addContinuousRoundedRect(QPainterPath& path, const QRectF& rect, double radius) {
    const QRectF r = rect.normalized();
    // The corner starts 1.28 radii from the corner point and its control points sit close to the
    // corner, which flattens the curve where it meets the straight side.
    const double k = std::clamp(radius * 1.28, 0.0, std::min(r.width(), r.height()) / 2);
    if (k <= 0) {
        path.addRect(r);
        return;
    }
    const double c = k * 0.34; // distance of the control points from the corner point
    const double l = r.left(), t = r.top(), rr = r.right(), b = r.bottom();
    path.moveTo(l + k, t);
    path.lineTo(rr - k, t);
    path.cubicTo(rr - c, t, rr, t + c, rr, t + k);
    path.lineTo(rr, b - k);
    path.cubicTo(rr, b - c, rr - c, b, rr - k, b);
    path.lineTo(l + k, b);
    path.cubicTo(l + c, b, l, b - c, l, b - k);
    path.lineTo(l, t + k);
    path.cubicTo(l, t + c, l + c, t, l + k, t);
    path.closeSubpath();
}

QPainterPath continuousRoundedRect(const QRectF& rect, double radius) {
    QPainterPath path;
    addContinuousRoundedRect(path, rect, radius);
    return path;
}

} // namespace BrindlecastApp
