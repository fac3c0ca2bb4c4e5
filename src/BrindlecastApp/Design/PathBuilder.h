#pragma once

#include <QPainterPath>

namespace BrindlecastApp {

// Appends the drawing primitives of our vector glyphs to a path in the glyph's own units: y grows
// downwards and arc angles grow clockwise on screen (0 along +x, 90 along +y).
class PathBuilder {
public:
    explicit PathBuilder(QPainterPath& path) : path_(path) {}

    PathBuilder& M(double x, double y) { path_.moveTo(x, y); return *this; }
    PathBuilder& L(double x, double y) { path_.lineTo(x, y); return *this; }
    // Cubic curve to (x, y) through the control points (c1x, c1y) and (c2x, c2y).
    PathBuilder& C(double x, double y, double c1x, double c1y, double c2x, double c2y) {
        path_.cubicTo(c1x, c1y, c2x, c2y, x, y);
        return *this;
    }
    // Circular arc around (cx, cy) from a0 until it reaches a1 (modulo 360), sweeping with growing
    // angle when `increasing`; joined to the current point by a line when they differ.
    PathBuilder& A(double cx, double cy, double r, double a0, double a1, bool increasing);
    // Rounded rectangle with continuous corners.
    PathBuilder& R(double x, double y, double w, double h, double r);
    // Ellipse inscribed in the rectangle.
    PathBuilder& E(double x, double y, double w, double h) { path_.addEllipse(x, y, w, h); return *this; }
    PathBuilder& Z() { path_.closeSubpath(); return *this; }

private:
    QPainterPath& path_;
};

// A rounded rectangle whose corners ease into the sides (a squircle-like "continuous" corner)
// rather than meeting them as quarter circles. A radius of 0 gives a plain rectangle.
QPainterPath continuousRoundedRect(const QRectF& rect, double radius);
void addContinuousRoundedRect(QPainterPath& path, const QRectF& rect, double radius);

} // namespace BrindlecastApp
