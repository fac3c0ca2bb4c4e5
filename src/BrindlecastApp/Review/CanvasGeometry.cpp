#include "BrindlecastApp/Review/CanvasGeometry.h"

#include "BrindlecastApp/Review/FiniteGeometry.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <algorithm>
#include <cmath>

namespace BrindlecastApp::CanvasGeometry {

using FiniteGeometry::isFinite;
using Support::Point;
using Support::Rect;
using Support::Size;

namespace {

double clampSymmetric(double value, double limit) { return std::min(std::max(value, -limit), limit); }

bool hasArea(const Rect& r) { return !r.isNull() && r.width() > 0 && r.height() > 0; }

Size imageSizeOf(const ReviewViewModel& model) { return {double(model.image().width()), double(model.image().height())}; }

} // namespace

Rect workingArea(const Rect& bounds, double topChromeHeight) {
    const double top = topChromeHeight + kGapUnderTopChrome;
    return Rect(bounds.x() + kSideMargin, bounds.y() + top, bounds.width() - 2 * kSideMargin,
                bounds.height() - top - kBottomMargin);
}

Rect contentRect(Size imageSize, AnnotationTool tool, const std::optional<Rect>& cropRect) {
    if (tool == AnnotationTool::crop || !cropRect) return Rect(0, 0, imageSize.width, imageSize.height);
    return *cropRect;
}

Rect contentRect(const ReviewViewModel& model) { return contentRect(imageSizeOf(model), model.tool(), model.cropRect()); }

Fit fitRect(Size imageSize, const Rect& content, const Rect& area, double zoom, Point pan) {
    if (!(imageSize.width > 0 && imageSize.height > 0) || !hasArea(content) || !hasArea(area)) return {};
    if (!isFinite(content) || !isFinite(area) || !isFinite(pan) || !(isFinite(zoom) && zoom > 0)) return {};

    const double fit = std::min(area.width() / content.width(), area.height() / content.height());
    const double s = fit * zoom;
    double x = area.minX() + (area.width() - s * content.width()) / 2;
    double y = area.minY() + (area.height() - s * content.height()) / 2;
    if (zoom > kZoomThreshold) {
        const double mx = std::max((s * content.width() - area.width()) / 2, 0.0);
        const double my = std::max((s * content.height() - area.height()) / 2, 0.0);
        x += clampSymmetric(pan.x, mx);
        y += clampSymmetric(pan.y, my);
    }
    const Rect placed(x - s * content.minX(), y - s * content.minY(), s * imageSize.width, s * imageSize.height);
    if (!isFinite(placed) || !isFinite(fit)) return {};
    return {placed, fit};
}

Fit fitRect(const ReviewViewModel& model, const Rect& bounds, Point pan) {
    return fitRect(imageSizeOf(model), contentRect(model), workingArea(bounds, model.topChromeHeight()), model.zoom(), pan);
}

bool shouldPublishFitScale(double current, double computed) {
    return std::abs(computed - current) > kFitScaleChangeThreshold;
}

ImageViewMapping::ImageViewMapping(const Rect& fitRect, Size imageSize) : fitRect_(fitRect), imageSize_(imageSize) {
    if (!fitRect.isNull() && imageSize.width > 0 && isFinite(fitRect)) {
        scale_ = std::max(fitRect.width() / imageSize.width, 0.0);
    } else {
        fitRect_ = Rect();
    }
}

Point ImageViewMapping::toView(const Point& p) const {
    return {fitRect_.x() + scale_ * p.x, fitRect_.y() + scale_ * p.y};
}

Rect ImageViewMapping::toView(const Rect& r) const {
    if (r.isNull()) return Rect::null();
    const Point origin = toView(r.origin);
    return Rect(origin.x, origin.y, r.width() * scale_, r.height() * scale_);
}

Point ImageViewMapping::toImage(const Point& q) const {
    if (!(scale_ > 0) || !isFinite(q)) return {0, 0};
    return {std::clamp((q.x - fitRect_.x()) / scale_, 0.0, imageSize_.width),
            std::clamp((q.y - fitRect_.y()) / scale_, 0.0, imageSize_.height)};
}

Point panBy(Point pan, Point delta, Size imageSize, double fitScale, double zoom, const Rect& area) {
    if (!(zoom > kZoomThreshold) || !isFinite(delta) || !isFinite(zoom) || !isFinite(fitScale)) return pan;
    const double width = fitScale * zoom * imageSize.width;
    const double height = fitScale * zoom * imageSize.height;
    const double mx = std::max((width - area.width()) / 2, 0.0);
    const double my = std::max((height - area.height()) / 2, 0.0);
    return {clampSymmetric(pan.x + delta.x, mx), clampSymmetric(pan.y + delta.y, my)};
}

Rect dragCropDraft(const Rect& draft, CropHandle handle, double dx, double dy, Size imageSize,
                   std::optional<double> cropRatio) {
    if (!isFinite(dx) || !isFinite(dy) || !isFinite(draft)) return draft;
    double x = draft.x(), y = draft.y(), w = draft.width(), h = draft.height();
    if (handle == CropHandle::move) {
        x = std::min(imageSize.width - w, std::max(0.0, x + dx));
        y = std::min(imageSize.height - h, std::max(0.0, y + dy));
        return Rect(x, y, w, h);
    }

    const bool top = handle == CropHandle::top || handle == CropHandle::topLeft || handle == CropHandle::topRight;
    const bool bottom = handle == CropHandle::bottom || handle == CropHandle::bottomLeft || handle == CropHandle::bottomRight;
    const bool left = handle == CropHandle::left || handle == CropHandle::topLeft || handle == CropHandle::bottomLeft;
    const bool right = handle == CropHandle::right || handle == CropHandle::topRight || handle == CropHandle::bottomRight;
    if (top) {
        y += dy;
        h -= dy;
    }
    if (bottom) h += dy;
    if (left) {
        x += dx;
        w -= dx;
    }
    if (right) w += dx;

    if (cropRatio && std::isfinite(*cropRatio) && *cropRatio > 0) {
        const double ratio = *cropRatio;
        if (handle == CropHandle::left || handle == CropHandle::right) {
            const double newHeight = w / ratio;
            y -= (newHeight - h) / 2; // stays vertically centred
            h = newHeight;
        } else {
            const double newWidth = ratio * h;
            if (handle == CropHandle::top || handle == CropHandle::bottom) {
                x -= (newWidth - w) / 2; // stays horizontally centred
            } else if (left) {
                x = x + w - newWidth; // the right edge stays
            }
            w = newWidth;
        }
    }

    if (w < kMinimumCropDraftSide || h < kMinimumCropDraftSide) return draft;
    const Rect clipped = Rect(x, y, w, h).intersection(Rect(0, 0, imageSize.width, imageSize.height));
    return clipped.isNull() ? draft : clipped;
}

void dragCropDraft(ReviewViewModel& model, CropHandle handle, double dx, double dy) {
    if (!model.cropDraft()) return;
    model.setCropDraft(dragCropDraft(*model.cropDraft(), handle, dx, dy, imageSizeOf(model), model.cropRatio()));
}

std::optional<CropHandle> cropHandleHit(const Point& p, const Rect& r) {
    if (r.isNull() || !isFinite(p) || !isFinite(r)) return std::nullopt;
    const double t = kCropHandleTolerance;
    const double dL = std::abs(p.x - r.minX()), dR = std::abs(p.x - r.maxX());
    const double dT = std::abs(p.y - r.minY()), dB = std::abs(p.y - r.maxY());
    const bool withinX = r.minX() - t < p.x && p.x < r.maxX() + t;
    const bool withinY = r.minY() - t < p.y && p.y < r.maxY() + t;
    if (dL <= t && dT <= t) return CropHandle::topLeft;
    if (dR <= t && dT <= t) return CropHandle::topRight;
    if (dL <= t && dB <= t) return CropHandle::bottomLeft;
    if (dR <= t && dB <= t) return CropHandle::bottomRight;
    if (dT <= t && withinX) return CropHandle::top;
    if (dB <= t && withinX) return CropHandle::bottom;
    if (dL <= t && withinY) return CropHandle::left;
    if (dR <= t && withinY) return CropHandle::right;
    if (r.insetBy(t, t).contains(p)) return CropHandle::move;
    return std::nullopt;
}

SidecarKit::Annotation::Style defaultStyle(const ReviewViewModel& model) {
    const double opacity = model.tool() == AnnotationTool::highlighter ? 0.45 : model.defaultStrokeOpacity();
    return {model.defaultStrokeColorHex(), model.defaultStrokeWidth(), opacity, model.defaultStrokeOutline(),
            model.defaultOutlineColorHex(), model.defaultStrokeShadow()};
}

SidecarKit::Annotation::Style textStyle(const ReviewViewModel& model) {
    SidecarKit::Annotation::Style style = defaultStyle(model);
    style.lineWidth = std::max(model.image().height() * 0.04, 28.0);
    style.opacity = model.defaultStrokeOpacity();
    return style;
}

} // namespace BrindlecastApp::CanvasGeometry
