#include "BrindlecastApp/Design/Glass.h"

#include "BrindlecastApp/Design/PathBuilder.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPen>

namespace BrindlecastApp::Glass {

namespace {

QColor rgba(int r, int g, int b, double opacity) { return Design::withOpacity(QColor::fromRgb(r, g, b), opacity); }

} // namespace

QColor fill(GlassVariant variant, const Tokens& t) {
    const bool dark = t.isDark();
    switch (variant) {
    case GlassVariant::window: return dark ? rgba(14, 14, 18, 0.985) : rgba(248, 248, 250, 0.98);
    case GlassVariant::toolbar:
    case GlassVariant::popover: return dark ? rgba(22, 22, 28, 0.97) : rgba(250, 250, 252, 0.94);
    case GlassVariant::sidebar: return dark ? Design::white(0.05) : Design::white(0.45);
    }
    return {};
}

QColor material(GlassVariant variant, const Tokens& t) {
    enum class Kind { popover, hudWindow, sidebar };
    const bool dark = t.isDark();
    Kind kind = Kind::popover;
    switch (variant) {
    case GlassVariant::window:
    case GlassVariant::toolbar: kind = dark ? Kind::hudWindow : Kind::popover; break;
    case GlassVariant::popover: kind = Kind::popover; break;
    case GlassVariant::sidebar: kind = Kind::sidebar; break;
    }
    switch (kind) {
    case Kind::popover: return dark ? rgba(42, 42, 46, 0.72) : rgba(246, 246, 248, 0.72);
    case Kind::hudWindow: return rgba(18, 18, 22, 0.76);
    case Kind::sidebar: return dark ? rgba(30, 30, 34, 0.42) : rgba(236, 236, 240, 0.5);
    }
    return {};
}

QColor opaqueBase(const Tokens& t) { return t.isDark() ? QColor::fromRgb(28, 28, 32) : QColor::fromRgb(246, 246, 248); }

double radius(GlassVariant variant, const Tokens& t, std::optional<double> given) {
    if (given) return *given;
    switch (variant) {
    case GlassVariant::window:
    case GlassVariant::sidebar: return t.radii.window;
    case GlassVariant::toolbar: return t.radii.toolbar;
    case GlassVariant::popover: return t.radii.popover;
    }
    return t.radii.window;
}

QList<Tokens::Shadow> shadows(GlassVariant variant, const Tokens& t) {
    switch (variant) {
    case GlassVariant::window: return {};
    case GlassVariant::toolbar:
    case GlassVariant::popover: return {t.toolbarShadow};
    case GlassVariant::sidebar: return {Tokens::Shadow{Design::black(0.18), 9, 0, 5}};
    }
    return {};
}

double highlightOpacity(const Tokens& t) { return t.isDark() ? 0.14 : 0.9; }

void paintTopHighlight(QPainter& painter, const QRectF& rect, double cornerRadius, double opacity, double band) {
    if (band <= 0) return;
    QLinearGradient fade(QPointF(0, rect.top()), QPointF(0, rect.top() + band));
    fade.setColorAt(0, Design::white(opacity));
    fade.setColorAt(1, Design::white(0));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QBrush(fade), 1));
    painter.drawPath(continuousRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), std::max(0.0, cornerRadius - 0.5)));
    painter.restore();
}

void paintPanel(QPainter& painter, const QRectF& rect, GlassVariant variant, const Tokens& t, double cornerRadius,
                Backdrop backdrop) {
    const QPainterPath shape = continuousRoundedRect(rect, cornerRadius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    if (backdrop == Backdrop::opaque) {
        painter.setBrush(opaqueBase(t));
        painter.drawPath(shape);
    }
    // Over a blur the material stands in front of the fill and hides it.
    painter.setBrush(backdrop == Backdrop::blurred ? material(variant, t) : fill(variant, t));
    painter.drawPath(shape);
    painter.restore();

    paintTopHighlight(painter, rect, cornerRadius, highlightOpacity(t), cornerRadius);

    // The border straddles the outline; the widget's edge would cut its outer half, so it is drawn
    // just inside instead.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen border(t.isDark() ? Design::white(0.16) : Design::white(0.6), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    border.setMiterLimit(10);
    painter.setPen(border);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(continuousRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), std::max(0.0, cornerRadius - 0.5)));
    painter.restore();
}

} // namespace BrindlecastApp::Glass
