#include "BrindlecastApp/Review/AnnotationGeometry.h"

#include "BrindlecastApp/Review/FiniteGeometry.h"
#include "ExportKit/BitmapCoordinates.h"
#include "ExportKit/RedactionPattern.h"

#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

namespace BrindlecastApp::AnnotationGeometry {

using CanvasGeometry::ImageViewMapping;
using FiniteGeometry::isFinite;
using SidecarKit::Annotation;
using Support::Point;
using Support::Rect;
using Support::Size;

namespace {

// Font engines lay glyphs out in integers; beyond this the text is measured smaller and scaled.
constexpr double kLargestMeasuredFontSize = 1024;

// Positions beyond this are not placed on screen (the export draws nothing there either).
bool placeable(double v) { return std::isfinite(v) && std::abs(v) <= ExportKit::Exporter::RedactionPattern::kLargestCoordinate; }
bool placeable(const Point& p) { return placeable(p.x) && placeable(p.y); }
bool placeable(const Rect& r) {
    return !r.isNull() && placeable(r.x()) && placeable(r.y()) && placeable(r.width()) && placeable(r.height());
}

Rect spanned(const Point& a, const Point& b) {
    return Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y));
}

bool near(const Point& p, const Point& handle) { return std::hypot(p.x - handle.x, p.y - handle.y) <= kHandleHitRadius; }

// The rectangle-like kinds' rotation, or nothing for the other kinds.
std::optional<double> frameRotation(const Annotation::Kind& kind) {
    if (const auto* k = std::get_if<Annotation::Box>(&kind)) return k->rotation;
    if (const auto* k = std::get_if<Annotation::Ellipse>(&kind)) return k->rotation;
    if (const auto* k = std::get_if<Annotation::Text>(&kind)) return k->rotation;
    if (const auto* k = std::get_if<Annotation::Blur>(&kind)) return k->rotation;
    return std::nullopt;
}

std::vector<Point> corners(const Rect& r) {
    return {{r.minX(), r.minY()}, {r.maxX(), r.minY()}, {r.minX(), r.maxY()}, {r.maxX(), r.maxY()}};
}

Point rotationKnob(const Rect& r) { return {r.midX(), r.minY() - kRotationStemLength}; }

// The frame of a rectangle-like annotation in view points, or nothing when it cannot be placed.
std::optional<Rect> viewFrame(const Annotation& annotation, const ImageViewMapping& mapping) {
    const Rect bounds = annotationBounds(annotation);
    if (!placeable(bounds)) return std::nullopt;
    const Rect frame = mapping.toView(bounds).standardized();
    if (!placeable(frame)) return std::nullopt;
    return frame;
}

} // namespace

double textFontSize(double lineWidth) { return std::isfinite(lineWidth) && lineWidth >= 6 ? lineWidth : 16.0; }

Size textSize(const QString& string, double fontSize) {
    if (string.isEmpty() || !(std::isfinite(fontSize) && fontSize > 0)) return {0, 0};
    const double measured = std::min(fontSize, kLargestMeasuredFontSize);
    const double factor = fontSize / measured;

    // Measured on a 72 dpi bitmap, where a point is a pixel, as the export lays text out.
    static const QImage device = ExportKit::BitmapCoordinates::makeWorkingBitmap(1, 1);
    QString body = string;
    body.replace("\r\n", "\n").replace(u'\r', u'\n').replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(body, ExportKit::BitmapCoordinates::systemFont(measured), &device);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    double widest = 0;
    double height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(1e7);
        widest = std::max(widest, line.naturalTextWidth());
        height += line.height();
    }
    layout.endLayout();
    return {widest * factor, height * factor};
}

Rect annotationBounds(const Annotation& annotation) {
    const Annotation::Kind& kind = annotation.kind;
    if (const auto* arrow = std::get_if<Annotation::Arrow>(&kind)) {
        Rect r = spanned(arrow->from, arrow->to);
        if (arrow->control) r = r.united(Rect(arrow->control->x, arrow->control->y, 0, 0));
        return r.insetBy(-6, -6);
    }
    if (const auto* line = std::get_if<Annotation::Line>(&kind)) return spanned(line->from, line->to).insetBy(-6, -6);
    if (const auto* box = std::get_if<Annotation::Box>(&kind)) return box->rect;
    if (const auto* ellipse = std::get_if<Annotation::Ellipse>(&kind)) return ellipse->rect;
    if (const auto* blur = std::get_if<Annotation::Blur>(&kind)) return blur->rect;
    if (const auto* text = std::get_if<Annotation::Text>(&kind)) {
        const Size size = textSize(text->string, textFontSize(text->style.lineWidth));
        return Rect(text->origin.x, text->origin.y, size.width, size.height);
    }
    if (const auto* freeform = std::get_if<Annotation::Freeform>(&kind)) {
        if (freeform->points.empty()) return Rect::null();
        Rect r = Rect::null();
        for (const Point& p : freeform->points) r = r.united(Rect(p.x, p.y, 0, 0));
        return r.insetBy(-freeform->style.lineWidth, -freeform->style.lineWidth);
    }
    if (const auto* badge = std::get_if<Annotation::Badge>(&kind)) {
        return Rect(badge->center.x - badge->radius, badge->center.y - badge->radius, 2 * badge->radius, 2 * badge->radius);
    }
    return Rect::null();
}

Point rotationPivot(const Annotation& annotation) {
    if (const auto* text = std::get_if<Annotation::Text>(&annotation.kind)) {
        return {text->origin.x + 0.5, text->origin.y + textFontSize(text->style.lineWidth) / 2};
    }
    const Rect bounds = annotationBounds(annotation);
    return {bounds.midX(), bounds.midY()};
}

Point arrowMidpoint(const Annotation::Arrow& arrow) {
    if (!arrow.control) return {(arrow.from.x + arrow.to.x) / 2, (arrow.from.y + arrow.to.y) / 2};
    return {0.25 * arrow.from.x + 0.25 * arrow.to.x + 0.5 * arrow.control->x,
            0.25 * arrow.from.y + 0.25 * arrow.to.y + 0.5 * arrow.control->y};
}

QTransform SelectionChrome::transform() const {
    if (rotation == 0 || frame.isNull()) return {};
    // In view coordinates (y downwards) a positive angle turns clockwise on screen.
    return QTransform().translate(pivot.x, pivot.y).rotate(rotation * 180 / std::numbers::pi).translate(-pivot.x, -pivot.y);
}

std::optional<SelectionChrome> selectionChrome(const Annotation& annotation, const ImageViewMapping& mapping) {
    SelectionChrome chrome;
    if (const auto rotation = frameRotation(annotation.kind)) {
        const auto frame = viewFrame(annotation, mapping);
        if (!frame) return std::nullopt;
        chrome.shape = SelectionChrome::Shape::frame;
        chrome.frame = *frame;
        chrome.rotation = FiniteGeometry::turnAngle(*rotation);
        chrome.pivot = mapping.toView(rotationPivot(annotation));
        if (!placeable(chrome.pivot)) return std::nullopt;
        chrome.handles = corners(*frame);
        chrome.knob = rotationKnob(*frame);
        chrome.stem = Rect(frame->midX() - 0.5, frame->minY() - kRotationStemLength, 1, kRotationStemLength);
        return chrome;
    }
    if (const auto* line = std::get_if<Annotation::Line>(&annotation.kind)) {
        chrome.handles = {mapping.toView(line->from), mapping.toView(line->to)};
    } else if (const auto* arrow = std::get_if<Annotation::Arrow>(&annotation.kind)) {
        chrome.handles = {mapping.toView(arrow->from), mapping.toView(arrow->to)};
        chrome.knob = mapping.toView(arrowMidpoint(*arrow));
        if (!placeable(*chrome.knob)) return std::nullopt;
    } else if (const auto* badge = std::get_if<Annotation::Badge>(&annotation.kind)) {
        chrome.shape = SelectionChrome::Shape::ring;
        chrome.ringCenter = mapping.toView(badge->center);
        chrome.ringRadius = badge->radius * mapping.scale() + 3;
        if (!placeable(chrome.ringCenter) || !placeable(chrome.ringRadius)) return std::nullopt;
        return chrome;
    } else {
        return std::nullopt;
    }
    if (!std::all_of(chrome.handles.begin(), chrome.handles.end(), [](const Point& p) { return placeable(p); })) {
        return std::nullopt;
    }
    return chrome;
}

std::optional<ResizeHandle> handleHit(const Point& p, const Annotation& annotation, const ImageViewMapping& mapping) {
    if (!isFinite(p)) return std::nullopt;
    if (const auto* line = std::get_if<Annotation::Line>(&annotation.kind)) {
        if (near(p, mapping.toView(line->from))) return ResizeHandle::start;
        if (near(p, mapping.toView(line->to))) return ResizeHandle::end;
        return std::nullopt;
    }
    if (const auto* arrow = std::get_if<Annotation::Arrow>(&annotation.kind)) {
        if (near(p, mapping.toView(arrow->from))) return ResizeHandle::start;
        if (near(p, mapping.toView(arrow->to))) return ResizeHandle::end;
        if (near(p, mapping.toView(arrowMidpoint(*arrow)))) return ResizeHandle::mid;
        return std::nullopt;
    }
    const auto rotation = frameRotation(annotation.kind);
    if (!rotation) return std::nullopt;
    const auto frame = viewFrame(annotation, mapping);
    if (!frame) return std::nullopt;

    // Turn the pointer back by the annotation's clockwise rotation and test the unturned grips.
    const double theta = FiniteGeometry::turnAngle(*rotation);
    const double c = std::cos(theta), s = std::sin(theta);
    const Point pivot = mapping.toView(rotationPivot(annotation));
    if (!placeable(pivot)) return std::nullopt;
    const double cx = pivot.x, cy = pivot.y;
    const double dx = p.x - cx, dy = p.y - cy;
    const Point unturned{cx + c * dx + s * dy, cy - s * dx + c * dy};

    static constexpr ResizeHandle cornerHandles[] = {ResizeHandle::topLeft, ResizeHandle::topRight,
                                                     ResizeHandle::bottomLeft, ResizeHandle::bottomRight};
    const std::vector<Point> grips = corners(*frame);
    for (std::size_t i = 0; i < grips.size(); ++i) {
        if (near(unturned, grips[i])) return cornerHandles[i];
    }
    if (near(unturned, rotationKnob(*frame))) return ResizeHandle::rotate;
    return std::nullopt;
}

std::optional<Annotation> hitAnnotation(const Point& imagePoint, const std::vector<Annotation>& annotations) {
    // Drawing order: ascending z-index, ties in list order; the last drawn is on top.
    std::vector<std::size_t> order(annotations.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return annotations[a].zIndex < annotations[b].zIndex; });
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const Annotation& annotation = annotations[*it];
        if (annotationBounds(annotation).insetBy(-kBodyHitMargin, -kBodyHitMargin).contains(imagePoint)) return annotation;
    }
    return std::nullopt;
}

Rect marqueeRect(const Point& a, const Point& b, std::optional<double> cropRatio) {
    const double x = std::min(a.x, b.x);
    const double width = std::abs(b.x - a.x);
    if (cropRatio && std::isfinite(*cropRatio) && *cropRatio > 0) {
        const double height = width / *cropRatio;
        return Rect(x, a.y <= b.y ? a.y : a.y - height, width, height);
    }
    return Rect(x, std::min(a.y, b.y), width, std::abs(b.y - a.y));
}

} // namespace BrindlecastApp::AnnotationGeometry
