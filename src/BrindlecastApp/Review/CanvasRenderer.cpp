#include "BrindlecastApp/Review/CanvasRenderer.h"

#include "BrindlecastApp/Design/ShadowCaster.h"
#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Review/AnnotationGeometry.h"
#include "BrindlecastApp/Review/Color.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "ExportKit/BitmapCoordinates.h"
#include "ExportKit/ExportError.h"
#include "ExportKit/Exporter.h"
#include "Support/Fonts.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace BrindlecastApp {

using SidecarKit::Annotation;
using Support::Point;
using Support::Rect;

namespace {

constexpr double kClipOutset = 6;
constexpr double kCardShadowBlur = 22;
constexpr double kCardShadowOffset = 8;
constexpr double kDetectionRadius = 3;
constexpr double kDetectionOutlineWidth = 1.5;
constexpr double kCropDim = 0.55;
// A scaled copy of the capture is kept up to this many device pixels; larger ones are drawn
// through the painter's scaling on each frame.
constexpr qint64 kLargestScaledImage = qint64(40) << 20;

QRectF toQ(const Rect& r) { return r.toQRectF(); }

QColor white(double alpha) { return QColor::fromRgbF(1, 1, 1, float(alpha)); }
QColor black(double alpha) { return QColor::fromRgbF(0, 0, 0, float(alpha)); }
QColor gray(double level) { return QColor::fromRgbF(float(level), float(level), float(level), 1); }

QPainterPath rounded(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

bool isOpaque(const QImage& image) { return !image.hasAlphaChannel(); }

bool isFullyOpaque(const QImage& image) {
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            if (qAlpha(line[x]) != 255) return false;
        }
    }
    return true;
}

// Image pixels to view points: the export draws in image pixels, the canvas shows them scaled.
QTransform imageToView(const CanvasGeometry::ImageViewMapping& mapping) {
    const Rect& fr = mapping.fitRect();
    return QTransform::fromTranslate(fr.x(), fr.y()).scale(mapping.scale(), mapping.scale());
}

double rotationOf(const Annotation::Kind& kind) {
    if (const auto* b = std::get_if<Annotation::Blur>(&kind)) return b->rotation;
    return 0;
}

QPen dashedPen(const QColor& color, double width, QList<qreal> dashes) {
    QPen pen(color, width);
    pen.setDashPattern(dashes);
    pen.setDashOffset(0);
    return pen;
}

} // namespace

QColor CanvasRenderer::systemRed() { return QColor(255, 59, 48); }
QColor CanvasRenderer::systemOrange() { return QColor(255, 149, 0); }

std::optional<QRectF> CanvasRenderer::lockBadgeCircle(const QRectF& box) {
    const double d = std::max(std::min(box.height() - 4, 16.0), 10.0);
    if (box.width() <= d + 6) return std::nullopt;
    return QRectF(box.right() - d - 3, box.center().y() - d / 2, d, d);
}

QRectF CanvasRenderer::copyFlashChip(const QRectF& rect, const QString& message) {
    const QFontMetricsF metrics(Support::Fonts::interfaceFont(12, QFont::DemiBold));
    const double w = metrics.horizontalAdvance(message);
    const double h = metrics.height();
    return QRectF(rect.center().x() - w / 2 - 8, rect.top() - h - 14, w + 16, h + 8);
}

void CanvasRenderer::clearCaches() {
    cells_.clear();
    sprites_.clear();
    scaled_ = ScaledImage{};
    shadow_ = CardShadow{};
}

void CanvasRenderer::paint(QPainter& painter, const ReviewViewModel& model, const Scene& scene) {
    painter.save();
    if (scene.mat) painter.fillRect(scene.bounds, *scene.mat);

    const Rect bounds = Rect::fromQRectF(scene.bounds);
    const CanvasGeometry::Fit fit = CanvasGeometry::fitRect(model, bounds, scene.pan);
    const Support::Size imageSize{double(model.image().width()), double(model.image().height())};
    const CanvasGeometry::ImageViewMapping mapping(fit.fitRect, imageSize);
    const double s = mapping.scale();
    if (fit.fitRect.isNull() || !(s > 0)) {
        painter.restore();
        return; // only the mat shows
    }
    const QRectF fr = toQ(fit.fitRect);
    // What leaves is the committed crop (unless the crop tool is editing it): the backdrop, the
    // rounded corners and the card frame it, as the export frames the cropped image.
    std::optional<QRectF> crop;
    if (model.tool() != AnnotationTool::crop && model.cropRect()) crop = toQ(mapping.toView(*model.cropRect()));
    const QRectF shown = crop.value_or(fr);
    const ExportKit::Backdrop& backdrop = model.backdrop();
    const bool hasBackdrop = !std::holds_alternative<ExportKit::Backdrop::None>(backdrop.style);
    const double radius =
        hasBackdrop ? std::max(0.0, std::min(s * backdrop.cornerRadius, std::min(shown.width(), shown.height()) / 2)) : 0;
    const double imageHeight = imageSize.height;
    const double dpr = scene.devicePixelRatio;

    // Everything of the picture is clipped to the working area and to what leaves: the crop, and
    // around it the backdrop while the backdrop and the capture are drawn.
    const QRectF area = toQ(CanvasGeometry::workingArea(bounds, model.topChromeHeight()))
                            .adjusted(-kClipOutset, -kClipOutset, kClipOutset, kClipOutset);
    QPainterPath clip;
    clip.addRect(area);
    QPainterPath framed = clip;
    if (crop) {
        const double pad = hasBackdrop && std::isfinite(backdrop.padding * s) ? std::max(0.0, backdrop.padding * s) : 0;
        QPainterPath cropped;
        cropped.addRect(*crop);
        QPainterPath withBackdrop;
        withBackdrop.addRect(crop->adjusted(-pad, -pad, pad, pad));
        clip = clip.intersected(cropped);
        framed = framed.intersected(withBackdrop);
    }
    painter.setClipPath(framed);

    if (hasBackdrop) drawBackdrop(painter, model, shown, s);
    const bool card = !hasBackdrop || isOpaque(model.activeImage());
    if (card) drawCard(painter, shown, radius, scene);
    painter.setClipPath(clip);
    drawImage(painter, model.activeImage(), fr, shown, radius, dpr);
    if (card) {
        painter.save();
        painter.setClipPath(framed);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(scene.mat ? white(0.12) : black(0.1), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(rounded(shown.adjusted(-0.5, -0.5, 0.5, 0.5), radius));
        painter.restore();
    }
    if (model.tool() == AnnotationTool::crop && model.cropDraft()) {
        drawCropChrome(painter, fr, toQ(mapping.toView(*model.cropDraft())), scene.accent);
    }

    const Annotation::RedactionStyle style = model.redactionStyle();
    for (const auto& detection : model.mandatory()) {
        const Rect box = detection.boundingBox();
        const QRectF v = toQ(mapping.toView(box));
        drawRedaction(painter, box, style, 0, mapping, imageHeight, dpr);
        if (model.showDetectionOutlines()) {
            painter.save();
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(Design::withOpacity(systemRed(), 0.9), kDetectionOutlineWidth));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(rounded(v, kDetectionRadius));
            painter.restore();
        }
        drawLockBadge(painter, v);
    }
    const auto& suggested = model.suggested();
    for (int i = 0; i < int(suggested.size()); ++i) {
        const Rect box = suggested[std::size_t(i)].boundingBox();
        const QRectF v = toQ(mapping.toView(box));
        const bool released = model.releasedSuggested().count(i) > 0;
        if (!released) drawRedaction(painter, box, style, 0, mapping, imageHeight, dpr);
        if (!model.showDetectionOutlines()) continue;
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(released ? dashedPen(systemRed(), kDetectionOutlineWidth, {4 / kDetectionOutlineWidth, 3 / kDetectionOutlineWidth})
                                : QPen(systemOrange(), kDetectionOutlineWidth));
        painter.drawPath(rounded(v, kDetectionRadius));
        painter.restore();
    }

    std::vector<const Annotation*> ordered;
    for (const Annotation& a : model.annotations()) {
        if (!scene.hidden || a.id != *scene.hidden) ordered.push_back(&a);
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const Annotation* a, const Annotation* b) { return a->zIndex < b->zIndex; });
    for (const Annotation* a : ordered) drawAnnotation(painter, *a, mapping, imageHeight, dpr);

    if (scene.preview) drawAnnotation(painter, *scene.preview, mapping, imageHeight, dpr);
    if (scene.selectRectangle) {
        painter.save();
        painter.setPen(dashedPen(scene.accent, 1.5, {5 / 1.5, 4 / 1.5}));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(toQ(mapping.toView(*scene.selectRectangle)));
        painter.restore();
    }
    if (scene.marquee) {
        const QRectF band = toQ(mapping.toView(scene.marquee->standardized()));
        painter.save();
        painter.fillRect(band, Design::withOpacity(scene.accent, 0.12));
        painter.setPen(dashedPen(scene.accent, 1, {5, 4}));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(band);
        painter.restore();
    }
    drawSelection(painter, model, mapping, scene.accent);

    painter.setClipping(false);
    if (scene.flash) drawCopyFlash(painter, *scene.flash);
    painter.restore();
}

void CanvasRenderer::drawBackdrop(QPainter& painter, const ReviewViewModel& model, const QRectF& shown, double s) {
    const ExportKit::Backdrop& backdrop = model.backdrop();
    const double pad = backdrop.padding * s;
    if (!std::isfinite(pad)) return;
    const QRectF outer = shown.adjusted(-pad, -pad, pad, pad);
    const double radius = std::max(0.0, std::min(s * backdrop.cornerRadius, std::min(outer.width(), outer.height()) / 2));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipPath(rounded(outer, radius), Qt::IntersectClip);
    if (const auto* solid = std::get_if<ExportKit::Backdrop::Solid>(&backdrop.style)) {
        painter.fillRect(outer, Color::fromHex(solid->colorHex).toQColor());
    } else if (const auto* gradient = std::get_if<ExportKit::Backdrop::Gradient>(&backdrop.style)) {
        // On the y-down canvas angle 0 runs left to right and positive angles turn counter-clockwise.
        const double half = std::max(outer.width(), outer.height()) / 2;
        const QPointF mid = outer.center();
        const QPointF along(std::cos(gradient->angle) * half, -std::sin(gradient->angle) * half);
        QLinearGradient fill(mid - along, mid + along);
        fill.setColorAt(0, Color::fromHex(gradient->colorHexA).toQColor());
        fill.setColorAt(1, Color::fromHex(gradient->colorHexB).toQColor());
        fill.setSpread(QGradient::PadSpread);
        painter.fillRect(outer, fill);
    }
    painter.restore();
}

void CanvasRenderer::drawCard(QPainter& painter, const QRectF& shown, double radius, const Scene& scene) {
    const double alpha = scene.mat ? 0.55 : 0.22;
    const double dpr = scene.devicePixelRatio;
    // The shadow of a small card, blurred once by the design system's shadow stack, then laid out
    // in nine pieces around the real one: its middle rows and columns are even, so they stretch.
    // A card smaller than that small card (a thin strip, a tiny capture) gets a shadow of its own
    // size, drawn whole.
    const double margin = kCardShadowBlur * 2 + kCardShadowOffset;
    const double side = 2 * (kCardShadowBlur * 1.5 + kCardShadowOffset + radius) + 2;
    const bool sliced = shown.width() >= side && shown.height() >= side;
    const QSizeF size = sliced ? QSizeF(side, side) : shown.size();
    if (shadow_.size != size || shadow_.radius != radius || shadow_.alpha != alpha || shadow_.devicePixelRatio != dpr) {
        shadow_ = CardShadow{size, radius, alpha, dpr, {}, {}};
        const QRectF local(QPointF(margin, margin), size);
        const QSize pixels(int(std::ceil((size.width() + 2 * margin) * dpr)), int(std::ceil((size.height() + 2 * margin) * dpr)));
        QImage source(pixels, QImage::Format_ARGB32_Premultiplied);
        source.fill(Qt::transparent);
        {
            QPainter p(&source);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(dpr, dpr);
            p.fillPath(rounded(local, radius), Qt::black);
        }
        QImage shadow = ShadowPainter::apply(source, {Tokens::Shadow{black(alpha), kCardShadowBlur, 0, kCardShadowOffset}}, dpr);
        {
            // Only the shadow: the card itself is filled below in its own colour.
            QPainter clear(&shadow);
            clear.setRenderHint(QPainter::Antialiasing);
            clear.setCompositionMode(QPainter::CompositionMode_Clear);
            clear.scale(dpr, dpr);
            clear.fillPath(rounded(local, radius), Qt::black);
        }
        shadow_.image = shadow;
        shadow_.offset = QPointF(-margin, -margin);
    }
    if (!shadow_.image.isNull() && !sliced) {
        painter.drawImage(QRectF(shown.topLeft() + shadow_.offset, shown.size() + QSizeF(2 * margin, 2 * margin)), shadow_.image);
    } else if (!shadow_.image.isNull()) {
        const QImage& image = shadow_.image;
        const int n = image.width();
        const int middle = n / 2;
        // Source cuts (device pixels) and target cuts (view points) along each axis.
        const int cuts[4] = {0, middle - 1, middle + 1, n};
        const QRectF outer(shown.topLeft() + shadow_.offset, shown.size() + QSizeF(2 * margin, 2 * margin));
        const double edge = (middle - 1) / dpr;
        const double xs[4] = {outer.left(), outer.left() + edge, outer.right() - (n - middle - 1) / dpr, outer.right()};
        const double ys[4] = {outer.top(), outer.top() + edge, outer.bottom() - (n - middle - 1) / dpr, outer.bottom()};
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                if (row == 1 && column == 1) continue; // under the card
                const QRect from(cuts[column], cuts[row], cuts[column + 1] - cuts[column], cuts[row + 1] - cuts[row]);
                const QRectF to(QPointF(xs[column], ys[row]), QPointF(xs[column + 1], ys[row + 1]));
                painter.drawImage(to, image, from);
            }
        }
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(rounded(shown, radius), scene.mat ? *scene.mat : gray(0.97));
    painter.restore();
}

void CanvasRenderer::drawImage(QPainter& painter, const QImage& image, const QRectF& fr, const QRectF& shown, double radius,
                               double dpr) {
    if (image.isNull()) return;
    painter.save();
    if (radius > 0) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setClipPath(rounded(shown, radius), Qt::IntersectClip);
    }
    const QSize device(int(std::lround(fr.width() * dpr)), int(std::lround(fr.height() * dpr)));
    const bool keep = qint64(device.width()) * device.height() <= kLargestScaledImage && !device.isEmpty();
    if (keep && (scaled_.cacheKey != image.cacheKey() || scaled_.deviceSize != device)) {
        QImage scaled = device == image.size() ? image : image.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        // A capture without see-through pixels is kept opaque, so that every frame copies it
        // rather than blends it.
        if (scaled.hasAlphaChannel() && isFullyOpaque(scaled)) scaled = scaled.convertToFormat(QImage::Format_RGB32);
        scaled.setDevicePixelRatio(dpr);
        scaled_ = ScaledImage{image.cacheKey(), device, scaled};
    }
    if (keep) {
        painter.drawImage(fr.topLeft(), scaled_.image);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(fr, image);
    }
    painter.restore();
}

void CanvasRenderer::drawRedaction(QPainter& painter, const Rect& imageRect, Annotation::RedactionStyle style,
                                   double rotation, const CanvasGeometry::ImageViewMapping& mapping, double imageHeight,
                                   double dpr) {
    const Rect rect = imageRect.standardized();
    if (rect.isNull() || !std::isfinite(rotation)) return;
    const QRectF v = toQ(mapping.toView(rect));
    painter.save();
    if (rotation != 0) {
        // Clockwise about the rectangle's centre, as the export turns it.
        painter.translate(v.center());
        painter.rotate(rotation * 180 / std::numbers::pi);
        painter.translate(-v.center());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    }
    RedactionCells::Request request{style, rect, imageHeight, mapping.scale(), dpr, kDetectionRadius, v.topLeft()};
    if (const auto texture = cells_.texture(request)) {
        painter.drawImage(texture->topLeft, texture->image);
    } else if (ExportKit::Exporter::RedactionPattern::isDrawable(rect)) {
        // Too large to keep: the export's renderer draws the visible part straight onto the frame.
        painter.setClipPath(rounded(v, kDetectionRadius), Qt::IntersectClip);
        painter.setTransform(imageToView(mapping), true);
        try {
            ExportKit::Exporter::fillRedaction(painter, ExportKit::BitmapCoordinates::toBottomLeft(rect, imageHeight),
                                               imageHeight, style);
        } catch (const ExportKit::ExportError&) {
        }
    }
    painter.restore();
}

void CanvasRenderer::drawAnnotation(QPainter& painter, const Annotation& annotation,
                                    const CanvasGeometry::ImageViewMapping& mapping, double imageHeight, double dpr) {
    if (const auto* blur = std::get_if<Annotation::Blur>(&annotation.kind)) {
        drawRedaction(painter, blur->rect, blur->style, rotationOf(annotation.kind), mapping, imageHeight, dpr);
        return;
    }
    const double s = mapping.scale();
    // On screen a stroke is never thinner than a point, nor a dash shorter than two.
    const ExportKit::Exporter::DrawingMinimums minimums{1 / s, 2 / s};
    const AnnotationSprites::Request request{&annotation, imageHeight, s, dpr, toQ(mapping.fitRect()).topLeft(),
                                             minimums.minimumLineWidth, minimums.minimumDashUnit};
    if (const auto sprite = sprites_.sprite(request)) {
        painter.drawImage(sprite->topLeft, sprite->image);
        return;
    }
    painter.save();
    painter.setTransform(imageToView(mapping), true);
    try {
        ExportKit::Exporter::drawAnnotation(painter, annotation, imageHeight, minimums);
    } catch (const ExportKit::ExportError&) {
        // Geometry the export cannot draw shows nothing here either.
    }
    painter.restore();
}

void CanvasRenderer::drawCropChrome(QPainter& painter, const QRectF& fr, const QRectF& r, const QColor& accent) {
    painter.save();
    QPainterPath dim;
    dim.setFillRule(Qt::OddEvenFill);
    dim.addRect(fr);
    dim.addRect(r);
    painter.fillPath(dim, black(kCropDim));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(accent, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(r);
    painter.setPen(QPen(white(0.4), 1));
    for (double third : {1.0 / 3, 2.0 / 3}) {
        const double x = r.left() + r.width() * third;
        const double y = r.top() + r.height() * third;
        painter.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
        painter.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    for (const QPointF corner : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()}) {
        painter.drawEllipse(corner, 4.5, 4.5);
    }
    const QPointF mids[] = {{r.center().x(), r.top()}, {r.center().x(), r.bottom()}, {r.left(), r.center().y()}, {r.right(), r.center().y()}};
    for (int k = 0; k < 4; ++k) {
        const QSizeF bar = k < 2 ? QSizeF(18, 4) : QSizeF(4, 18);
        painter.drawRoundedRect(QRectF(mids[k] - QPointF(bar.width() / 2, bar.height() / 2), bar), 2, 2);
    }
    painter.restore();
}

void CanvasRenderer::drawLockBadge(QPainter& painter, const QRectF& box) {
    const auto circle = lockBadgeCircle(box);
    if (!circle) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(systemRed());
    painter.drawEllipse(*circle);
    const double side = Symbols::sideForPointSize(circle->width() * 0.62);
    const QRectF glyph(circle->center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    if (Symbols::isKnown("lock.fill")) Symbols::paint(painter, "lock.fill", glyph, Qt::white, SymbolWeight::bold);
    painter.restore();
}

void CanvasRenderer::drawSelection(QPainter& painter, const ReviewViewModel& model,
                                   const CanvasGeometry::ImageViewMapping& mapping, const QColor& accent) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const auto& selected = model.selectedAnnotationIDs();
    if (selected.size() >= 2) {
        painter.setPen(dashedPen(accent, 1, {4, 3}));
        painter.setBrush(Qt::NoBrush);
        for (const Annotation& a : model.annotations()) {
            if (!selected.contains(a.id)) continue;
            const Rect bounds = AnnotationGeometry::annotationBounds(a);
            if (bounds.isNull()) continue;
            painter.drawRect(toQ(mapping.toView(bounds)).adjusted(-2, -2, 2, 2));
        }
        painter.restore();
        return;
    }
    const auto annotation = model.selectedAnnotation();
    const auto chrome = annotation ? AnnotationGeometry::selectionChrome(*annotation, mapping) : std::nullopt;
    if (!chrome) {
        painter.restore();
        return;
    }
    auto handle = [&](const Point& centre) {
        painter.setPen(QPen(accent, 1));
        painter.setBrush(Qt::white);
        painter.drawEllipse(QRectF(centre.x - 4.5, centre.y - 4.5, 9, 9));
    };
    auto knob = [&](const Point& centre) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(accent);
        painter.drawEllipse(QRectF(centre.x - 4.5, centre.y - 4.5, 9, 9));
    };
    switch (chrome->shape) {
    case AnnotationGeometry::SelectionChrome::Shape::frame:
        painter.setTransform(chrome->transform(), true);
        painter.setPen(dashedPen(accent, 1, {4, 3}));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(toQ(chrome->frame));
        for (const Point& p : chrome->handles) handle(p);
        painter.setPen(QPen(accent, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(toQ(chrome->stem));
        if (chrome->knob) knob(*chrome->knob);
        break;
    case AnnotationGeometry::SelectionChrome::Shape::endpoints:
        for (const Point& p : chrome->handles) handle(p);
        if (chrome->knob) knob(*chrome->knob);
        break;
    case AnnotationGeometry::SelectionChrome::Shape::ring:
        painter.setPen(dashedPen(accent, 1, {4, 3}));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(chrome->ringCenter.toQPointF(), chrome->ringRadius, chrome->ringRadius);
        break;
    }
    painter.restore();
}

void CanvasRenderer::drawCopyFlash(QPainter& painter, const CopyFlash& flash) {
    const QRectF chip = copyFlashChip(flash.rect, flash.message);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(black(0.78));
    painter.drawRoundedRect(chip, 7, 7);
    const QFont font = Support::Fonts::interfaceFont(12, QFont::DemiBold);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QPointF(chip.left() + 8, chip.top() + 4 + QFontMetricsF(font).ascent()), flash.message);
    painter.restore();
}

} // namespace BrindlecastApp
