#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

namespace Support {

// Points, sizes and rectangles with the rectangle rules the design was written against:
// a distinct null rectangle (no position at all) apart from empty ones (zero width or height),
// negative sizes allowed and standardised on demand, touching rectangles intersecting in an
// empty rectangle without "intersecting", and half-open containment of points.
struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
    QPointF toQPointF() const { return {x, y}; }
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    Point origin;
    Size size;

    constexpr Rect() = default;
    constexpr Rect(double x, double y, double width, double height)
        : origin{x, y}, size{width, height} {}

    // The null rectangle: origin at +infinity, zero size. Absorbed by union, produced by a
    // failed intersection.
    static Rect null();

    bool isNull() const;
    // Null, or zero width or zero height.
    bool isEmpty() const;

    double x() const { return origin.x; }
    double y() const { return origin.y; }
    double width() const { return size.width; }
    double height() const { return size.height; }

    // Edges of the standardised rectangle.
    double minX() const;
    double maxX() const;
    double midX() const;
    double minY() const;
    double maxY() const;
    double midY() const;

    // The same area with non-negative width and height; null stays null.
    Rect standardized() const;
    // The shared area, or null when the two do not meet (touching edges give an empty rectangle).
    Rect intersection(const Rect& other) const;
    // True when the intersection is not empty.
    bool intersects(const Rect& other) const;
    // The smallest rectangle holding both; a null operand is ignored.
    Rect united(const Rect& other) const;
    // Origin rounded down and far edges rounded up to whole numbers; null stays null.
    Rect integral() const;
    // Each edge moved inwards by dx / dy; null when the result would have a negative size.
    Rect insetBy(double dx, double dy) const;
    Rect offsetBy(double dx, double dy) const;
    // Half-open: the minimum edges are inside, the maximum edges are not.
    bool contains(const Point& point) const;
    // True when `other` lies wholly inside; nothing contains or is contained in null.
    bool contains(const Rect& other) const;

    // Field by field; use equalTo for geometric equality.
    friend bool operator==(const Rect&, const Rect&) = default;
    // Both null, or the standardised rectangles are equal.
    bool equalTo(const Rect& other) const;

    QRectF toQRectF() const;
    static Rect fromQRectF(const QRectF& rect);
};

} // namespace Support
