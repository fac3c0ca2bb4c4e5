// The canvas's mouse gestures: select, move, resize, rotate, create with every drawing tool,
// release suggested redactions, refuse mandatory ones, marquee selection, panning and cropping.
#include "BrindlecastApp/Review/AnnotationGeometry.h"
#include "BrindlecastApp/Review/ReviewCanvasView.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <QApplication>
#include <QMouseEvent>

#include <cmath>
#include <numbers>

namespace BrindlecastApp {

using SidecarKit::Annotation;
using Support::Point;
using Support::Rect;

namespace {

// A press that moves no further than this (image pixels) makes nothing.
constexpr double kClickSlop = 3;
// A marquee must be larger than this on one side (image pixels) to select.
constexpr double kMarqueeSlop = 4;
constexpr double kFreeformStep = 3;

Rect spanned(const Point& a, const Point& b) {
    return Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y));
}

double distance(const Point& a, const Point& b) { return std::hypot(b.x - a.x, b.y - a.y); }

double rotationOf(const Annotation& annotation) {
    if (const auto* k = std::get_if<Annotation::Box>(&annotation.kind)) return k->rotation;
    if (const auto* k = std::get_if<Annotation::Ellipse>(&annotation.kind)) return k->rotation;
    if (const auto* k = std::get_if<Annotation::Text>(&annotation.kind)) return k->rotation;
    if (const auto* k = std::get_if<Annotation::Blur>(&annotation.kind)) return k->rotation;
    return 0;
}

bool isText(const Annotation& annotation) { return std::holds_alternative<Annotation::Text>(annotation.kind); }

Point pointOf(const QPointF& p) { return {p.x(), p.y()}; }

} // namespace

void ReviewCanvasView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    setCommandHeld(event->modifiers() & Qt::ControlModifier);
    pressAt(event->position(), event->modifiers(), 1);
}

void ReviewCanvasView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
    pressAt(event->position(), event->modifiers(), 2);
}

void ReviewCanvasView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return QWidget::mouseMoveEvent(event);
    dragTo(event->position());
}

void ReviewCanvasView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    releaseAt(event->position());
}

void ReviewCanvasView::pressAt(const QPointF& position, Qt::KeyboardModifiers modifiers, int clickCount) {
    if (!model_) return;
    ReviewViewModel& model = *model_;
    if (textEditor_) commitTextEditing();
    setFocus(Qt::MouseFocusReason);

    const CanvasGeometry::ImageViewMapping map = mapping();
    const Point p = pointOf(position);
    const Point ip = map.toImage(p);
    const bool selectMode = (modifiers & Qt::ControlModifier) || model.tool() == AnnotationTool::select;
    const std::optional<Annotation> selected = model.selectedAnnotation();

    // Grips of the single selection come first, whatever the tool.
    if (selected) {
        if (const auto handle = AnnotationGeometry::handleHit(p, *selected, map)) {
            model.snapshotForUndo();
            if (*handle == ResizeHandle::rotate) {
                const Point centre = AnnotationGeometry::rotationPivot(*selected);
                const Point cv = map.toView(centre);
                drag_ = CanvasDrag::Rotate{centre, std::atan2(p.y - cv.y, p.x - cv.x), rotationOf(*selected)};
            } else {
                drag_ = CanvasDrag::Resize{*handle};
            }
            return;
        }
    }

    if (selectMode) {
        const auto hit = AnnotationGeometry::hitAnnotation(ip, model.annotations());
        // A double-click on a text opens it, also when it is the one selected annotation.
        if (clickCount == 2 && hit && isText(*hit)) {
            openForEditing(*hit);
            return;
        }
        if (selected) {
            const Rect grown = AnnotationGeometry::annotationBounds(*selected).insetBy(-AnnotationGeometry::kBodyHitMargin,
                                                                                     -AnnotationGeometry::kBodyHitMargin);
            if (grown.contains(ip)) {
                // The selection is dragged even where another annotation lies on top of it.
                model.snapshotForUndo();
                drag_ = CanvasDrag::Move{selected->id, ip};
                return;
            }
        }
        if (hit && (modifiers & Qt::ShiftModifier)) {
            QSet<QUuid> ids = model.selectedAnnotationIDs();
            if (ids.contains(hit->id)) {
                ids.remove(hit->id);
            } else {
                ids.insert(hit->id);
            }
            model.setSelectedAnnotationIDs(ids);
            update();
            return;
        }
        if (hit) {
            if (!model.selectedAnnotationIDs().contains(hit->id)) model.setSelectedAnnotationID(hit->id);
            model.snapshotForUndo();
            drag_ = CanvasDrag::Move{hit->id, ip};
            update();
            return;
        }
        const auto& suggested = model.suggested();
        for (int i = int(suggested.size()) - 1; i >= 0; --i) {
            if (suggested[std::size_t(i)].boundingBox().contains(ip)) {
                model.toggleSuggested(i);
                update();
                return;
            }
        }
        for (const auto& detection : model.mandatory()) {
            if (detection.boundingBox().contains(ip)) {
                model.reportMandatoryTamper();
                QApplication::beep();
                update();
                return;
            }
        }
        model.setSelectedAnnotationIDs({});
        if (model.zoom() <= CanvasGeometry::kZoomThreshold) {
            drag_ = CanvasDrag::Marquee{ip, ip};
        } else {
            drag_ = CanvasDrag::Pan{position};
        }
        update();
        return;
    }

    switch (model.tool()) {
    case AnnotationTool::arrow:
    case AnnotationTool::rectSelect:
    case AnnotationTool::box:
    case AnnotationTool::line:
    case AnnotationTool::ellipse:
    case AnnotationTool::blur:
    case AnnotationTool::copyText:
        drag_ = CanvasDrag::Create{ip, ip};
        break;
    case AnnotationTool::freeform:
    case AnnotationTool::highlighter:
        drag_ = CanvasDrag::Freeform{{ip}};
        break;
    case AnnotationTool::text: {
        const auto hit = AnnotationGeometry::hitAnnotation(ip, model.annotations());
        if (hit && isText(*hit)) {
            openForEditing(*hit);
        } else {
            openTextEditor(ip, QString(), textStyle().lineWidth, std::nullopt);
        }
        return;
    }
    case AnnotationTool::badge: {
        const std::int64_t number = model.nextBadgeNumber();
        const double radius = std::max(model.image().height() * 0.024, 20.0);
        model.addAnnotation(Annotation::Badge{ip, number, radius, defaultStyle()});
        if (model.badgeStart()) model.setBadgeStart(number + 1);
        break;
    }
    case AnnotationTool::crop:
        if (model.cropDraft()) {
            if (const auto handle = CanvasGeometry::cropHandleHit(p, map.toView(*model.cropDraft()))) {
                drag_ = CanvasDrag::Crop{*handle, ip};
            }
        }
        break;
    case AnnotationTool::select:
    case AnnotationTool::detectPII:
        break;
    }
    update();
}

void ReviewCanvasView::dragTo(const QPointF& position) {
    if (!model_) return;
    ReviewViewModel& model = *model_;
    const CanvasGeometry::ImageViewMapping map = mapping();
    const Point p = pointOf(position);
    const Point ip = map.toImage(p);
    std::visit(
        [&](auto& d) {
            using D = std::decay_t<decltype(d)>;
            if constexpr (std::is_same_v<D, CanvasDrag::Create>) {
                d.current = ip;
            } else if constexpr (std::is_same_v<D, CanvasDrag::Freeform>) {
                if (!d.points.empty() && distance(d.points.back(), ip) < kFreeformStep) return;
                d.points.push_back(ip);
            } else if constexpr (std::is_same_v<D, CanvasDrag::Move>) {
                const double dx = ip.x - d.last.x, dy = ip.y - d.last.y;
                if (model.selectedAnnotationIDs().size() < 2) {
                    model.moveAnnotation(d.id, dx, dy);
                } else {
                    model.moveSelected(dx, dy);
                }
                d.last = ip;
            } else if constexpr (std::is_same_v<D, CanvasDrag::Resize>) {
                model.resizeSelected(d.handle, ip);
            } else if constexpr (std::is_same_v<D, CanvasDrag::Rotate>) {
                // Clockwise on screen is clockwise in the file: y grows downwards in both.
                const Point cv = map.toView(d.center);
                const double angle = std::atan2(p.y - cv.y, p.x - cv.x);
                model.rotateSelected(d.startRotation + std::remainder(angle - d.startAngle, 2 * std::numbers::pi));
            } else if constexpr (std::is_same_v<D, CanvasDrag::Pan>) {
                panBy({position.x() - d.last.x(), position.y() - d.last.y()});
                d.last = position;
            } else if constexpr (std::is_same_v<D, CanvasDrag::Crop>) {
                CanvasGeometry::dragCropDraft(model, d.handle, ip.x - d.last.x, ip.y - d.last.y);
                d.last = ip;
            } else if constexpr (std::is_same_v<D, CanvasDrag::Marquee>) {
                d.current = ip;
            }
        },
        drag_);
    update();
}

void ReviewCanvasView::releaseAt(const QPointF& position) {
    if (!model_) return;
    ReviewViewModel& model = *model_;
    const Point ip = toImage(pointOf(position));
    const CanvasDrag::Value ended = std::exchange(drag_, CanvasDrag::None{});
    if (const auto* marquee = std::get_if<CanvasDrag::Marquee>(&ended)) {
        const Rect band = spanned(marquee->start, ip);
        if (band.width() > kMarqueeSlop || band.height() > kMarqueeSlop) {
            QSet<QUuid> ids;
            for (const Annotation& a : model.annotations()) {
                const Rect bounds = AnnotationGeometry::annotationBounds(a);
                if (!bounds.isNull() && bounds.intersects(band)) ids.insert(a.id);
            }
            model.setSelectedAnnotationIDs(ids);
        }
    } else if (const auto* freeform = std::get_if<CanvasDrag::Freeform>(&ended)) {
        if (freeform->points.size() >= 2) model.addAnnotation(Annotation::Freeform{freeform->points, defaultStyle(), false});
    } else if (const auto* create = std::get_if<CanvasDrag::Create>(&ended)) {
        if (distance(create->start, ip) > kClickSlop) {
            const Rect r = spanned(create->start, ip);
            switch (model.tool()) {
            case AnnotationTool::arrow:
                model.addAnnotation(Annotation::Arrow{create->start, ip, defaultStyle(), std::nullopt});
                break;
            case AnnotationTool::line:
                model.addAnnotation(Annotation::Line{create->start, ip, defaultStyle(), model.defaultLineDashed()});
                break;
            case AnnotationTool::box: model.addAnnotation(Annotation::Box{r, defaultStyle(), model.defaultFill(), 0}); break;
            case AnnotationTool::ellipse:
                model.addAnnotation(Annotation::Ellipse{r, defaultStyle(), model.defaultFill(), 0});
                break;
            case AnnotationTool::blur: model.addAnnotation(Annotation::Blur{r, model.redactionStyle(), 0}); break;
            case AnnotationTool::rectSelect:
                model.setCrop(AnnotationGeometry::marqueeRect(create->start, ip, model.cropRatio()));
                break;
            case AnnotationTool::copyText: copyText(r); break;
            default: break;
            }
        }
    }
    update();
}

} // namespace BrindlecastApp
