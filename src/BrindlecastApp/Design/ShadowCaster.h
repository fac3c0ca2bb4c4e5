#pragma once

#include "BrindlecastApp/Design/Tokens.h"

#include <QImage>
#include <QList>
#include <QMargins>
#include <QPainterPath>
#include <QPointF>

class QPainter;
class QWidget;

namespace BrindlecastApp {

// A widget whose drop shadows fall outside its bounds. A widget cannot paint beyond its own
// rectangle, so its container paints the shadows (see paintChildShadows) just before Qt paints the
// children on top. GlassPanel and ShadowHost are such containers.
class ShadowCaster {
public:
    virtual ~ShadowCaster() = default;

    // The layers, in order: the second falls from the shape with the first shadow already drawn.
    virtual QList<Tokens::Shadow> castShadows() const = 0;
    // The outline that casts them, in the widget's own coordinates.
    virtual QPainterPath shadowShape() const = 0;

    // The shadows alone (the shape itself left clear), ready to draw at `origin` in widget
    // coordinates; made again only when the shape, the layers or the scale change.
    struct Layer {
        QImage image;
        QPointF origin;
    };
    const Layer& shadowLayer(double scale) const;

private:
    mutable Layer cached_;
    mutable QPainterPath cachedShape_;
    mutable QList<Tokens::Shadow> cachedShadows_;
    mutable double cachedScale_ = 0;
};

// A soft shadow under one shape drawn inside the widget's own bounds (a segment plate, a switch
// knob); the blurred image is made again only when the shape, the shadow or the scale change.
class ShapeShadow : private ShadowCaster {
public:
    void paint(QPainter& painter, const QPainterPath& shape, const Tokens::Shadow& shadow);

private:
    QList<Tokens::Shadow> castShadows() const override { return {shadow_}; }
    QPainterPath shadowShape() const override { return shape_; }

    QPainterPath shape_;
    Tokens::Shadow shadow_;
};

namespace ShadowPainter {

// The stack applied to `source`: each layer tints the alpha of everything so far, blurs it by the
// layer's radius, offsets it and puts it underneath. `scale` is device pixels per point; the image
// must already have room for the shadows.
QImage apply(const QImage& source, const QList<Tokens::Shadow>& shadows, double scale);

// How far the stack reaches past the shape on each side, in whole points: each layer's blur
// around the shape moved by its offset, the next layer falling from the shadows before it.
QMargins reach(const QList<Tokens::Shadow>& shadows);

// Paints the shadows of the ShadowCaster widgets inside `host`, looking through plain containers
// (rows, columns) but not into casters or other hosts, which paint their own.
void paintChildShadows(QPainter& painter, const QWidget& host);

} // namespace ShadowPainter

} // namespace BrindlecastApp
