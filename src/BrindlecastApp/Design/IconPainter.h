#pragma once

#include "BrindlecastApp/Design/Icon.h"
#include "BrindlecastApp/Design/Symbols.h"

#include <QColor>
#include <QRectF>
#include <QSizeF>
#include <functional>

class QPainter;

namespace BrindlecastApp {

// What a button shows as its icon: one of our glyphs or a named symbol, centred in the area it is
// given, in the colour it is given (the button's foreground).
struct IconPainter {
    QSizeF size;
    std::function<void(QPainter&, const QRectF& area, const QColor& color)> draw;

    static IconPainter glyph(Icon::Glyph glyph, double size);
    static IconPainter symbol(const QString& name, double pointSize, SymbolWeight weight = SymbolWeight::regular);

    void paintCentred(QPainter& painter, const QRectF& area, const QColor& color) const;
};

} // namespace BrindlecastApp
