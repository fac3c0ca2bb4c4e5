#pragma once

#include "SidecarKit/Annotation.h"
#include "Support/Geometry.h"

#include <cmath>
#include <numbers>

namespace BrindlecastApp::FiniteGeometry {

// Stored geometry can hold anything a damaged document put there. These tests keep values
// that are not numbers, or infinite, away from arithmetic whose result is stored or cast.

inline bool isFinite(double value) { return std::isfinite(value); }
inline bool isFinite(const Support::Point& p) { return std::isfinite(p.x) && std::isfinite(p.y); }
inline bool isFinite(const Support::Rect& r) {
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width()) && std::isfinite(r.height());
}

// True when every number of the kind's geometry and style is finite. Unknown kinds are kept as
// read and count as finite.
bool isFinite(const SidecarKit::Annotation::Kind& kind);

// A rotation brought into (-pi, pi] for trigonometry; one that is not finite counts as none.
inline double turnAngle(double radians) {
    if (!std::isfinite(radians)) return 0;
    return std::remainder(radians, 2 * std::numbers::pi);
}

} // namespace BrindlecastApp::FiniteGeometry
