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

void GlassPanel::setRadius(std::optional<double> radius) {
    if (radius == radius_) return;
    radius_ = radius;
    // The shadow is painted by the container.
    if (QWidget* container = parentWidget()) container->update();
    update();
}

QList<Tokens::Shadow> GlassPanel::castShadows() const { return Glass::shadows(variant_, tokensFor(this)); }

QPainterPath GlassPanel::shadowShape() const { return continuousRoundedRect(rect(), cornerRadius()); }

bool GlassPanel::isWindowsFirstGlass() const {
    for (const QWidget* up = parentWidget(); up; up = up->isWindow() ? nullptr : up->parentWidget())
        if (qobject_cast<const GlassPanel*>(up)) return false;
    return true;
}

Glass::Backdrop GlassPanel::backdrop() const {
    if (reduceTransparencyFor(this)) return Glass::Backdrop::opaque;
    const WindowSurface* surface = WindowSurface::of(this);
    if (surface && surface->isBlurredBehind()) return Glass::Backdrop::blurred;
    // Glass over other glass shows that glass, as it should. The first glass of a see-through
    // window would show the windows behind it, their text readable through a fill of 94 to 98 %:
    // with nothing blurring them it lies on the opaque base.
    if (surface && surface->isSeeThrough() && isWindowsFirstGlass()) return Glass::Backdrop::opaque;
    return Glass::Backdrop::clear;
}

void GlassPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Glass::paintPanel(painter, rect(), variant_, tokensFor(this), cornerRadius(), backdrop());
    ShadowPainter::paintChildShadows(painter, *this);
}

} // namespace BrindlecastApp
