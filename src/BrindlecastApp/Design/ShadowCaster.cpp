#include "BrindlecastApp/Design/ShadowCaster.h"

#include "BrindlecastApp/Design/BoxBlur.h"
#include "BrindlecastApp/Design/Fade.h"

#include <QPainter>
#include <QWidget>

#include <cmath>

namespace BrindlecastApp {

namespace {

// How far the layers reach beyond the shape, in points.
double reach(const QList<Tokens::Shadow>& shadows) {
    double result = 0;
    for (const Tokens::Shadow& s : shadows) result += std::ceil(s.radius) + std::max(std::abs(s.x), std::abs(s.y)) + 1;
    return result;
}

// The layers made lately, for any caster: the editor's panels and buttons are made anew with each
// capture it shows, with the same shapes and shadows as before. GUI thread only.
struct MadeLayer {
    QList<Tokens::Shadow> shadows;
    QPainterPath shape;
    double scale = 0;
    ShadowCaster::Layer layer;
};
constexpr int kMadeLayersKept = 24;

QList<MadeLayer>& madeLayers() {
    static QList<MadeLayer> made;
    return made;
}

} // namespace

const ShadowCaster::Layer& ShadowCaster::shadowLayer(double scale) const {
    const QList<Tokens::Shadow> shadows = castShadows();
    const QPainterPath shape = shadowShape();
    if (shadows == cachedShadows_ && shape == cachedShape_ && scale == cachedScale_) return cached_;
    cachedShadows_ = shadows;
    cachedShape_ = shape;
    cachedScale_ = scale;
    cached_ = Layer{};

    QList<MadeLayer>& made = madeLayers();
    for (qsizetype i = 0; i < made.size(); ++i) {
        if (made[i].scale == scale && made[i].shadows == shadows && made[i].shape == shape) {
            made.move(i, 0);
            cached_ = made.front().layer;
            return cached_;
        }
    }
    const auto keep = [&](const Layer& layer) {
        made.prepend(MadeLayer{shadows, shape, scale, layer});
        if (made.size() > kMadeLayersKept) made.removeLast();
    };

    bool visible = false;
    for (const Tokens::Shadow& s : shadows) visible |= s.color.alpha() > 0;
    if (!visible || shape.isEmpty()) return cached_;

    const double margin = reach(shadows);
    const QRectF area = shape.boundingRect().adjusted(-margin, -margin, margin, margin);
    QImage source(QSize(static_cast<int>(std::ceil(area.width() * scale)), static_cast<int>(std::ceil(area.height() * scale))),
                  QImage::Format_ARGB32_Premultiplied);
    source.fill(Qt::transparent);
    QPainter painter(&source);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    painter.translate(-area.topLeft());
    painter.fillPath(shape, Qt::black);
    painter.end();

    QImage result = ShadowPainter::apply(source, shadows, scale);
    // The widget paints its own surface; under a translucent surface only the shadow may show.
    QPainter clear(&result);
    clear.setRenderHint(QPainter::Antialiasing);
    clear.setCompositionMode(QPainter::CompositionMode_Clear);
    clear.scale(scale, scale);
    clear.translate(-area.topLeft());
    clear.fillPath(shape, Qt::black);
    clear.end();
    result.setDevicePixelRatio(scale);
    cached_ = Layer{result, area.topLeft()};
    keep(cached_);
    return cached_;
}

namespace ShadowPainter {

QImage apply(const QImage& source, const QList<Tokens::Shadow>& shadows, double scale) {
    // The layers are laid pixel for pixel: an image that carries a pixel ratio would be drawn into
    // them at its size in points, a quarter of it at 2x. The result carries the source's ratio.
    QImage composed = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const double sourceRatio = composed.devicePixelRatio();
    composed.setDevicePixelRatio(1);
    for (const Tokens::Shadow& s : shadows) {
        if (s.color.alpha() == 0) continue;
        QImage shadow(composed.size(), QImage::Format_ARGB32_Premultiplied);
        shadow.fill(Qt::transparent);
        {
            QPainter p(&shadow);
            p.drawImage(0, 0, composed);
            p.setCompositionMode(QPainter::CompositionMode_SourceIn);
            p.fillRect(shadow.rect(), s.color);
        }
        // A shadow radius reads as about two standard deviations of blur.
        boxBlur(shadow, s.radius * scale / 2);
        QImage layered(composed.size(), QImage::Format_ARGB32_Premultiplied);
        layered.fill(Qt::transparent);
        {
            QPainter p(&layered);
            p.drawImage(QPointF(s.x * scale, s.y * scale), shadow);
            p.drawImage(0, 0, composed);
        }
        composed = layered;
    }
    composed.setDevicePixelRatio(sourceRatio);
    return composed;
}

QMargins reach(const QList<Tokens::Shadow>& shadows) {
    QMargins margins;
    for (const Tokens::Shadow& s : shadows) {
        if (s.color.alpha() == 0) continue;
        const int blur = int(std::ceil(s.radius));
        const auto side = [blur](double offset) { return std::max(0, blur + int(std::ceil(offset))); };
        margins += QMargins(side(-s.x), side(-s.y), side(s.x), side(s.y));
    }
    return margins;
}

namespace {

void paintShadowsBelow(QPainter& painter, const QWidget& host, const QWidget& container, double scale) {
    for (QObject* object : container.children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (!child || !child->isVisible() || child->isWindow()) continue;
        if (auto* caster = dynamic_cast<const ShadowCaster*>(child)) {
            const ShadowCaster::Layer& layer = caster->shadowLayer(scale);
            if (!layer.image.isNull()) {
                // A caster fading in or out (or inside a container that fades) casts a fading shadow.
                painter.save();
                painter.setOpacity(painter.opacity() * Fade::opacityOf(*child, &host));
                painter.drawImage(QPointF(child->mapTo(&host, QPoint(0, 0))) + layer.origin, layer.image);
                painter.restore();
            }
            continue; // a caster that holds children paints their shadows itself
        }
        if (child->inherits("BrindlecastApp::ShadowHost")) continue;
        paintShadowsBelow(painter, host, *child, scale);
    }
}

} // namespace

void paintChildShadows(QPainter& painter, const QWidget& host) {
    paintShadowsBelow(painter, host, host, host.devicePixelRatioF());
}

} // namespace ShadowPainter

void ShapeShadow::paint(QPainter& painter, const QPainterPath& shape, const Tokens::Shadow& shadow) {
    shape_ = shape;
    shadow_ = shadow;
    const Layer& layer = shadowLayer(painter.device() ? painter.device()->devicePixelRatioF() : 1.0);
    if (!layer.image.isNull()) painter.drawImage(layer.origin, layer.image);
}

} // namespace BrindlecastApp
