#include "BrindlecastApp/Design/IconPainter.h"

namespace BrindlecastApp {

IconPainter IconPainter::glyph(Icon::Glyph glyph, double size) {
    return IconPainter{QSizeF(size, size), [glyph, size](QPainter& painter, const QRectF& area, const QColor& color) {
                           Icon::paint(painter, glyph, area.topLeft(), size, color);
                       }};
}

IconPainter IconPainter::symbol(const QString& name, double pointSize, SymbolWeight weight) {
    const double side = Symbols::sideForPointSize(pointSize);
    return IconPainter{QSizeF(side, side), [name, weight](QPainter& painter, const QRectF& area, const QColor& color) {
                           Symbols::paint(painter, name, area, color, weight);
                       }};
}

void IconPainter::paintCentred(QPainter& painter, const QRectF& area, const QColor& color) const {
    if (!draw) return;
    const QRectF frame(area.center().x() - size.width() / 2, area.center().y() - size.height() / 2, size.width(),
                       size.height());
    draw(painter, frame, color);
}

} // namespace BrindlecastApp
