#include "DetectionKit/ImageBoxes.h"

namespace DetectionKit::ImageBoxes {

Support::Rect findingBox(const Support::Rect& n, double w, double h) {
    const Support::Rect pixels(n.minX() * w, (1.0 - n.maxY()) * h, n.width() * w, n.height() * h);
    return pixels.insetBy(-kGrowth, -kGrowth).intersection(Support::Rect(0, 0, w, h));
}

Support::Rect normalized(const Support::Rect& p, double w, double h) {
    if (w <= 0 || h <= 0) return Support::Rect::null();
    return Support::Rect(p.minX() / w, 1.0 - p.maxY() / h, p.width() / w, p.height() / h);
}

} // namespace DetectionKit::ImageBoxes
