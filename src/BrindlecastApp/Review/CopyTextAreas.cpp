#include "BrindlecastApp/Review/CopyTextAreas.h"

#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <cmath>

namespace BrindlecastApp::CopyTextAreas {

using Support::Rect;

Rect rotatedEnclosingBox(const Rect& rect, double radians) {
    const Rect r = rect.standardized();
    if (radians == 0) return r;
    const double c = std::abs(std::cos(radians));
    const double s = std::abs(std::sin(radians));
    const double w = r.width() * c + r.height() * s;
    const double h = r.width() * s + r.height() * c;
    return Rect(r.midX() - w / 2, r.midY() - h / 2, w, h);
}

std::vector<Rect> excluded(const ReviewViewModel& model) {
    std::vector<Rect> areas;
    for (const auto& detection : model.detectionsToRedact()) areas.push_back(detection.boundingBox());
    const Rect whole(0, 0, model.image().width(), model.image().height());
    for (const auto& annotation : model.annotations()) {
        const auto* blur = std::get_if<SidecarKit::Annotation::Blur>(&annotation.kind);
        if (!blur) continue;
        const Rect box = rotatedEnclosingBox(blur->rect, blur->rotation);
        const bool finite = std::isfinite(box.x()) && std::isfinite(box.y()) && std::isfinite(box.width()) &&
                            std::isfinite(box.height());
        areas.push_back(finite ? box : whole);
    }
    return areas;
}

} // namespace BrindlecastApp::CopyTextAreas
