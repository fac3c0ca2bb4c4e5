#include "Support/Geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Support {

namespace {
constexpr double kInfinity = std::numeric_limits<double>::infinity();
}

Rect Rect::null() { return Rect(kInfinity, kInfinity, 0, 0); }

bool Rect::isNull() const { return origin.x == kInfinity || origin.y == kInfinity; }

bool Rect::isEmpty() const { return isNull() || size.width == 0 || size.height == 0; }

Rect Rect::standardized() const {
    if (isNull()) return null();
    Rect r = *this;
    if (r.size.width < 0) {
        r.origin.x += r.size.width;
        r.size.width = -r.size.width;
    }
    if (r.size.height < 0) {
        r.origin.y += r.size.height;
        r.size.height = -r.size.height;
    }
    return r;
}

double Rect::minX() const { return standardized().origin.x; }
double Rect::maxX() const {
    const Rect r = standardized();
    return r.origin.x + r.size.width;
}
double Rect::midX() const {
    const Rect r = standardized();
    return r.origin.x + r.size.width / 2;
}
double Rect::minY() const { return standardized().origin.y; }
double Rect::maxY() const {
    const Rect r = standardized();
    return r.origin.y + r.size.height;
}
double Rect::midY() const {
    const Rect r = standardized();
    return r.origin.y + r.size.height / 2;
}

Rect Rect::intersection(const Rect& other) const {
    if (isNull() || other.isNull()) return null();
    const Rect a = standardized();
    const Rect b = other.standardized();
    const double x1 = std::max(a.minX(), b.minX());
    const double x2 = std::min(a.maxX(), b.maxX());
    const double y1 = std::max(a.minY(), b.minY());
    const double y2 = std::min(a.maxY(), b.maxY());
    if (x2 < x1 || y2 < y1) return null();
    return Rect(x1, y1, x2 - x1, y2 - y1);
}

bool Rect::intersects(const Rect& other) const { return !intersection(other).isEmpty(); }

Rect Rect::united(const Rect& other) const {
    if (isNull()) return other.standardized();
    if (other.isNull()) return standardized();
    const double x1 = std::min(minX(), other.minX());
    const double x2 = std::max(maxX(), other.maxX());
    const double y1 = std::min(minY(), other.minY());
    const double y2 = std::max(maxY(), other.maxY());
    return Rect(x1, y1, x2 - x1, y2 - y1);
}

Rect Rect::integral() const {
    if (isNull()) return null();
    const double x1 = std::floor(minX());
    const double y1 = std::floor(minY());
    const double x2 = std::ceil(maxX());
    const double y2 = std::ceil(maxY());
    return Rect(x1, y1, x2 - x1, y2 - y1);
}

Rect Rect::insetBy(double dx, double dy) const {
    if (isNull()) return null();
    Rect r = standardized();
    r.origin.x += dx;
    r.origin.y += dy;
    r.size.width -= 2 * dx;
    r.size.height -= 2 * dy;
    if (r.size.width < 0 || r.size.height < 0) return null();
    return r;
}

Rect Rect::offsetBy(double dx, double dy) const {
    if (isNull()) return null();
    return Rect(origin.x + dx, origin.y + dy, size.width, size.height);
}

bool Rect::contains(const Point& p) const {
    if (isNull()) return false;
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
}

bool Rect::contains(const Rect& other) const {
    if (isNull() || other.isNull()) return false;
    return other.minX() >= minX() && other.maxX() <= maxX() && other.minY() >= minY() &&
           other.maxY() <= maxY();
}

bool Rect::equalTo(const Rect& other) const {
    if (isNull() || other.isNull()) return isNull() && other.isNull();
    return standardized() == other.standardized();
}

QRectF Rect::toQRectF() const {
    const Rect r = standardized();
    return QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height);
}

Rect Rect::fromQRectF(const QRectF& rect) {
    return Rect(rect.x(), rect.y(), rect.width(), rect.height());
}

} // namespace Support
