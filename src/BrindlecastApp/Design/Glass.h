#pragma once

#include "BrindlecastApp/Design/Tokens.h"

#include <QColor>
#include <QList>
#include <QPainterPath>
#include <QRectF>
#include <optional>

class QPainter;

namespace BrindlecastApp {

// The four kinds of glass surface.
enum class GlassVariant { window, toolbar, popover, sidebar };

// Where the compositor blurs what lies behind the window, a glass surface shows that blur under
// the translucent material of its variant and scheme; elsewhere the glass fills are painted as
// they are: they are nearly opaque, and the highlight, border and shadows carry the look.
namespace Glass {

// What lies under the glass: the window's own clear pixels (the fill is painted as it is), a blur
// of what lies behind the window (the material is painted over it), or nothing see-through at all
// (reduce transparency, or unblurred windows behind: the opaque base under the fill).
enum class Backdrop { clear, blurred, opaque };

QColor fill(GlassVariant variant, const Tokens& t);
// The material over a blurred backdrop: light and dark popover, dark heads-up and sidebar tints.
QColor material(GlassVariant variant, const Tokens& t);
// The reduce-transparency surface is this opaque base with the variant's fill laid over it.
QColor opaqueBase(const Tokens& t);
// `radius` when given, else the variant's token radius (a sidebar takes the window radius).
double radius(GlassVariant variant, const Tokens& t, std::optional<double> radius = std::nullopt);
QList<Tokens::Shadow> shadows(GlassVariant variant, const Tokens& t);

// The lit top edge: the shape inset by half a point, stroked 1 point wide in white, fading from
// `opacity` at the top to nothing `band` points lower. A band of 0 draws nothing.
void paintTopHighlight(QPainter& painter, const QRectF& rect, double cornerRadius, double opacity, double band);
double highlightOpacity(const Tokens& t); // 0.9 light, 0.14 dark

// The panel without its shadows: fill (or opaque fill), top highlight and border, in `rect`.
void paintPanel(QPainter& painter, const QRectF& rect, GlassVariant variant, const Tokens& t, double cornerRadius,
                Backdrop backdrop);

} // namespace Glass

} // namespace BrindlecastApp
