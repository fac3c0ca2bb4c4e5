// The crop draft, the committed crop and the display scale of ReviewViewModel.

#include "BrindlecastApp/Review/FiniteGeometry.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

using Support::Rect;
using FiniteGeometry::isFinite;

namespace {

// The draft shrunk on one side to `ratio` (never grown), about its centre, kept inside the image.
Rect refitted(const Rect& draft, double ratio, double imageWidth, double imageHeight) {
    double w = draft.width();
    double h = w / ratio;
    if (draft.height() < h) {
        h = draft.height();
        w = h * ratio;
    }
    double x = draft.midX() - w / 2;
    double y = draft.midY() - h / 2;
    x = std::min(std::max(x, 0.0), imageWidth - w);
    y = std::min(std::max(y, 0.0), imageHeight - h);
    return Rect(x, y, w, h);
}

} // namespace

void ReviewViewModel::beginCropDraft() {
    setCropDraft(cropRect_ ? *cropRect_ : Rect(0, 0, image_.width(), image_.height()));
}

void ReviewViewModel::setCropDraftRatio(std::optional<double> ratio) {
    setCropRatio(ratio);
    if (cropRatio_ && cropDraft_) setCropDraft(refitted(*cropDraft_, *cropRatio_, image_.width(), image_.height()));
}

void ReviewViewModel::cancelCropDraft() {
    setCropDraft(std::nullopt);
    setTool(AnnotationTool::select);
}

void ReviewViewModel::applyCropDraft() {
    if (cropDraft_) {
        // A draft within 2 pixels of every edge is the whole image: no crop at all.
        const Rect grown = cropDraft_->insetBy(-2, -2);
        if (grown.contains(Rect(0, 0, image_.width(), image_.height()))) {
            setCropRect(std::nullopt);
        } else {
            setCrop(*cropDraft_);
        }
    }
    setCropDraft(std::nullopt);
    setTool(AnnotationTool::select);
}

void ReviewViewModel::setCrop(const Rect& rect) {
    if (!isFinite(rect)) {
        setCropRect(std::nullopt);
        return;
    }
    const Rect r = rect.intersection(Rect(0, 0, image_.width(), image_.height()));
    if (!r.isNull() && r.width() > 4 && r.height() > 4) {
        setCropRect(r);
    } else {
        setCropRect(std::nullopt);
    }
}

void ReviewViewModel::setDisplayScale(double scale) {
    if (!(fitScale_ > 0) || !isFinite(scale)) return;
    setZoom(std::min(std::max(scale / fitScale_, 0.25), 4.0));
}

} // namespace BrindlecastApp
