#include "BrindlecastApp/Review/AnnotationSprites.h"

#include "BrindlecastApp/Review/AnnotationGeometry.h"
#include "BrindlecastApp/Review/CopyTextAreas.h"
#include "ExportKit/BitmapCoordinates.h"
#include "ExportKit/ExportError.h"
#include "ExportKit/Exporter.h"

#include <QPainter>

#include <cmath>

namespace BrindlecastApp {

using SidecarKit::Annotation;
using Support::Rect;

namespace {

constexpr int kPhaseSteps = 8;

// How far a stroke of `width` can paint beyond its path: outline, round caps and a shadow.
double strokeReach(const Annotation::Style& style) {
    const double w = std::isfinite(style.lineWidth) ? std::max(style.lineWidth, 0.0) : 0;
    double reach = (w + std::max(0.55 * w, 3.0)) / 2 + 2;
    if (style.shadow) reach += 1.5 * std::max(w, 4.0) + std::max(0.5 * w, 2.0) + 2;
    return reach;
}

Rect grown(const Rect& r, double by) { return r.isNull() ? r : r.insetBy(-by, -by); }

bool finite(const Rect& r) {
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width()) && std::isfinite(r.height());
}

} // namespace

AnnotationSprites::AnnotationSprites(std::int64_t byteBudget) : byteBudget_(byteBudget) {}

Rect AnnotationSprites::paintedBounds(const Annotation& annotation) {
    const Rect bounds = AnnotationGeometry::annotationBounds(annotation);
    if (bounds.isNull() || !finite(bounds)) return Rect::null();
    return std::visit(
        [&](const auto& k) -> Rect {
            using K = std::decay_t<decltype(k)>;
            if constexpr (std::is_same_v<K, Annotation::Arrow>) {
                // The wings reach beyond the tip.
                return grown(bounds, std::max(4 * k.style.lineWidth, 10.0) + strokeReach(k.style));
            } else if constexpr (std::is_same_v<K, Annotation::Box> || std::is_same_v<K, Annotation::Ellipse>) {
                return grown(CopyTextAreas::rotatedEnclosingBox(k.rect, k.rotation), strokeReach(k.style));
            } else if constexpr (std::is_same_v<K, Annotation::Text>) {
                const double size = AnnotationGeometry::textFontSize(k.style.lineWidth);
                // Turned about a point near its origin: everything within reach of that point.
                const double reach = std::hypot(bounds.width(), bounds.height()) + size;
                const Rect around(k.origin.x - reach, k.origin.y - reach, 2 * reach, 2 * reach);
                return k.rotation == 0 ? grown(bounds, size * 0.5 + 8) : around;
            } else if constexpr (std::is_same_v<K, Annotation::Line> || std::is_same_v<K, Annotation::Freeform>) {
                return grown(bounds, strokeReach(k.style));
            } else if constexpr (std::is_same_v<K, Annotation::Badge>) {
                return grown(bounds, 2);
            } else {
                return Rect::null(); // blurs are the redaction cells' business; unknown kinds draw nothing
            }
        },
        annotation.kind);
}

std::optional<AnnotationSprites::Sprite> AnnotationSprites::sprite(const Request& r) {
    if (!r.annotation || !(r.scale > 0) || !(r.devicePixelRatio > 0)) return std::nullopt;
    const Rect bounds = paintedBounds(*r.annotation);
    if (bounds.isNull()) return std::nullopt;
    const double k = r.scale * r.devicePixelRatio;
    const QPointF origin = r.imageOrigin * r.devicePixelRatio;
    if (!std::isfinite(origin.x()) || !std::isfinite(origin.y())) return std::nullopt;
    double wholeX = std::floor(origin.x()), wholeY = std::floor(origin.y());
    int phaseX = int(std::lround((origin.x() - wholeX) * kPhaseSteps));
    int phaseY = int(std::lround((origin.y() - wholeY) * kPhaseSteps));
    if (phaseX == kPhaseSteps) phaseX = 0, wholeX += 1;
    if (phaseY == kPhaseSteps) phaseY = 0, wholeY += 1;
    const QPointF phase(double(phaseX) / kPhaseSteps, double(phaseY) / kPhaseSteps);

    // The sprite's device rectangle, relative to the image origin's whole device pixel.
    const QRectF device(phase + QPointF(bounds.x(), bounds.y()) * k, QSizeF(bounds.width() * k, bounds.height() * k));
    if (!std::isfinite(device.left()) || !std::isfinite(device.right()) || !std::isfinite(device.top()) ||
        !std::isfinite(device.bottom()) || device.width() * device.height() > double(kLargestPixels)) {
        return std::nullopt;
    }
    const QRect pixels(QPoint(int(std::floor(device.left())), int(std::floor(device.top()))),
                       QPoint(int(std::ceil(device.right())), int(std::ceil(device.bottom()))));
    const QPointF topLeft = (QPointF(wholeX, wholeY) + QPointF(pixels.topLeft())) / r.devicePixelRatio;

    Key key{r.annotation->kind, r.imageHeight, r.scale, r.devicePixelRatio, r.minimumLineWidth, r.minimumDashUnit, phaseX, phaseY};
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->key == key) {
            entries_.splice(entries_.begin(), entries_, it);
            return Sprite{entries_.front().image, (QPointF(wholeX, wholeY) + QPointF(entries_.front().deviceOffset)) / r.devicePixelRatio};
        }
    }

    // Drawn on a 72 dpi bitmap, as the export draws, so text is laid out at the same size.
    QImage image = ExportKit::BitmapCoordinates::makeWorkingBitmap(pixels.size());
    if (image.isNull()) return std::nullopt;
    {
        QPainter painter(&image);
        painter.translate(phase - QPointF(pixels.topLeft()));
        painter.scale(k, k);
        try {
            ExportKit::Exporter::drawAnnotation(painter, *r.annotation, r.imageHeight, {r.minimumLineWidth, r.minimumDashUnit});
        } catch (const ExportKit::ExportError&) {
            return std::nullopt;
        }
    }
    image.setDevicePixelRatio(r.devicePixelRatio);
    ++renders_;
    entries_.push_front(Entry{std::move(key), image, pixels.topLeft()});
    bytes_ += image.sizeInBytes();
    while (bytes_ > byteBudget_ && entries_.size() > 1) {
        bytes_ -= entries_.back().image.sizeInBytes();
        entries_.pop_back();
    }
    return Sprite{image, topLeft};
}

void AnnotationSprites::clear() {
    entries_.clear();
    bytes_ = 0;
}

} // namespace BrindlecastApp
