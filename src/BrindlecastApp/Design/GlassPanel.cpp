#include "BrindlecastApp/Design/GlassPanel.h"

#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/WindowSurface.h"

#include <QPainter>

namespace BrindlecastApp {

GlassPanel::GlassPanel(GlassVariant variant, std::optional<double> radius, QWidget* parent)
    : QWidget(parent), variant_(variant), radius_(radius) {
    setAttribute(Qt::WA_TranslucentBackground); // the corners outside the shape stay see-through
}

double GlassPanel::cornerRadius() const { return Glass::radius(variant_, tokensFor(this), radius_); }

QList<Tokens::Shadow> GlassPanel::castShadows() const { return Glass::shadows(variant_, tokensFor(this)); }

QPainterPath GlassPanel::shadowShape() const { return continuousRoundedRect(rect(), cornerRadius()); }

Glass::Backdrop GlassPanel::backdrop() const {
    if (reduceTransparencyFor(this)) return Glass::Backdrop::opaque;
    const WindowSurface* surface = WindowSurface::of(this);
    return surface && surface->isBlurredBehind() ? Glass::Backdrop::blurred : Glass::Backdrop::clear;
}

void GlassPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Glass::paintPanel(painter, rect(), variant_, tokensFor(this), cornerRadius(), backdrop());
    ShadowPainter::paintChildShadows(painter, *this);
}

} // namespace BrindlecastApp
