#include "BrindlecastApp/Design/Icon.h"

#include "BrindlecastApp/Design/PathBuilder.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <iterator>
#include <utility>

namespace BrindlecastApp::Icon {

namespace {

const std::pair<Glyph, const char*> names[] = {
    {Glyph::cursor, "cursor"},         {Glyph::rectSelect, "rect-select"},
    {Glyph::rectangle, "rectangle"},   {Glyph::freeform, "freeform"},
    {Glyph::text, "text"},             {Glyph::pixelate, "pixelate"},
    {Glyph::detectPII, "detect-pii"},  {Glyph::textSelect, "text-select"},
    {Glyph::strokeDot, "stroke-dot"},  {Glyph::fillRing, "fill-ring"},
    {Glyph::crop, "crop"},             {Glyph::backdrop, "backdrop"},
    {Glyph::undo, "undo"},             {Glyph::redo, "redo"},
    {Glyph::gear, "gear"},             {Glyph::ellipsis, "ellipsis"},
    {Glyph::copy, "copy"},             {Glyph::checkmark, "checkmark"},
    {Glyph::sidebarToggle, "sidebar-toggle"}, {Glyph::plus, "plus"},
    {Glyph::minus, "minus"},           {Glyph::fit, "fit"},
    {Glyph::frame, "frame"},           {Glyph::folder, "folder"},
    {Glyph::shield, "shield"},         {Glyph::battery, "battery"},
    {Glyph::wifi, "wifi"},             {Glyph::spotlight, "spotlight"},
    {Glyph::controlCenter, "control-center"},
};

} // namespace

const QList<Glyph>& allGlyphs() {
    static const QList<Glyph> glyphs = [] {
        QList<Glyph> list;
        for (const auto& entry : names) list << entry.first;
        return list;
    }();
    return glyphs;
}

QString rawValue(Glyph glyph) {
    for (const auto& [g, name] : names) {
        if (g == glyph) return QString::fromLatin1(name);
    }
    return {};
}

std::optional<Glyph> fromRawValue(const QString& raw) {
    for (const auto& [g, name] : names) {
        if (raw == QLatin1String(name)) return g;
    }
    return std::nullopt;
}

bool isFilled(Glyph glyph) {
    return glyph == Glyph::cursor || glyph == Glyph::pixelate || glyph == Glyph::strokeDot || glyph == Glyph::ellipsis;
}

double lineWidth(Glyph glyph) {
    switch (glyph) {
    case Glyph::cursor: case Glyph::pixelate: case Glyph::strokeDot: case Glyph::ellipsis:
        return 0;
    case Glyph::rectangle: case Glyph::backdrop: case Glyph::gear: case Glyph::sidebarToggle: case Glyph::shield:
    case Glyph::wifi:
        return 1.6;
    case Glyph::freeform: case Glyph::textSelect: case Glyph::fillRing: case Glyph::copy: case Glyph::checkmark:
    case Glyph::controlCenter:
        return 1.7;
    default:
        return 1.8;
    }
}

QList<double> dashPattern(Glyph glyph) {
    if (glyph == Glyph::rectSelect) return {3.2, 3.0};
    return {};
}

void draw(Glyph glyph, QPainterPath& path) {
    PathBuilder p(path);
    switch (glyph) {
    case Glyph::cursor:
        p.M(5, 2.5).L(5, 19).L(9.2, 15).L(12.2, 21).L(14.8, 19.9).L(11.8, 14).L(18, 14).Z();
        break;
    case Glyph::rectSelect: p.R(3.5, 3.5, 17, 17, 3); break;
    case Glyph::rectangle: p.R(4.5, 4.5, 15, 15, 3); break;
    case Glyph::freeform:
        p.M(3.5, 14.5).C(11, 13, 6, 8.5, 9.5, 9).C(17, 11, 12.4, 16.8, 15.8, 16.6).C(20.6, 10.6, 17.7, 7.6, 20, 8.4);
        break;
    case Glyph::text: p.M(6, 5).L(18, 5).M(12, 5).L(12, 19); break;
    case Glyph::pixelate:
        for (double y : {3.0, 9.3, 15.6})
            for (double x : {3.0, 9.3, 15.6}) p.R(x, y, 5.4, 5.4, 1);
        break;
    case Glyph::detectPII:
        p.M(3, 8).L(3, 6).A(6, 6, 3, 180, 270, true).L(8, 3);
        p.M(16, 3).L(18, 3).A(18, 6, 3, 270, 0, true).L(21, 8);
        p.M(21, 16).L(21, 18).A(18, 18, 3, 0, 90, true).L(16, 21);
        p.M(8, 21).L(6, 21).A(6, 18, 3, 90, 180, true).L(3, 16);
        p.M(7.5, 10).L(16.5, 10).M(7.5, 13).L(16.5, 13).M(7.5, 16).L(12.5, 16);
        break;
    case Glyph::textSelect:
        p.M(4, 4).L(8, 4).M(4, 4).L(4, 8).M(20, 4).L(16, 4).M(20, 4).L(20, 8);
        p.M(4, 20).L(8, 20).M(4, 20).L(4, 16).M(20, 20).L(16, 20).M(20, 20).L(20, 16);
        p.M(9, 9).L(15, 9).M(12, 9).L(12, 16);
        break;
    case Glyph::strokeDot:
    case Glyph::fillRing: p.E(3.5, 3.5, 17, 17); break;
    case Glyph::crop:
        p.M(7, 2.5).L(7, 15.5).A(9.5, 15.5, 2.5, 180, 90, false).L(22, 18);
        p.M(2, 7).L(14.5, 7).A(14.5, 9.5, 2.5, 270, 0, true).L(17, 22);
        break;
    case Glyph::backdrop:
        p.R(3.5, 4.5, 17, 15, 3).E(7.1, 8.1, 3, 3).M(4, 17).L(9.5, 12).L(13, 15).L(16, 12.5).L(20, 16.5);
        break;
    case Glyph::undo:
        p.M(8.5, 5).L(4.5, 9).L(8.5, 13).M(4.5, 9).L(14, 9).A(14, 14.5, 5.5, -90, 90, true).L(8.5, 20);
        break;
    case Glyph::redo:
        p.M(15.5, 5).L(19.5, 9).L(15.5, 13).M(19.5, 9).L(10, 9).A(10, 14.5, 5.5, -90, 90, false).L(15.5, 20);
        break;
    case Glyph::gear: {
        p.E(8.8, 8.8, 6.4, 6.4);
        const double spokes[8][4] = {{12, 2.5, 12, 5},       {12, 19, 12, 21.5},     {21.5, 12, 19, 12},
                                     {5, 12, 2.5, 12},       {18.7, 5.3, 16.9, 7.1}, {7.1, 16.9, 5.3, 18.7},
                                     {18.7, 18.7, 16.9, 16.9}, {7.1, 7.1, 5.3, 5.3}};
        for (const auto& s : spokes) p.M(s[0], s[1]).L(s[2], s[3]);
        break;
    }
    case Glyph::ellipsis: p.E(3.2, 10.2, 3.6, 3.6).E(10.2, 10.2, 3.6, 3.6).E(17.2, 10.2, 3.6, 3.6); break;
    case Glyph::copy:
        p.R(8, 8, 12.5, 12.5, 3).M(6, 15.5).L(5, 15.5).A(5, 13, 2.5, 90, 180, true).L(2.5, 5);
        p.A(5, 5, 2.5, 180, 270, true).L(13, 2.5).A(13, 5, 2.5, 270, 0, true).L(15.5, 6);
        break;
    case Glyph::checkmark: p.M(4.5, 12.5).L(9.5, 17.5).L(19, 6.5); break;
    case Glyph::sidebarToggle: p.R(3, 4.5, 18, 15, 2.5).M(9, 4.5).L(9, 19.5); break;
    case Glyph::plus: p.M(12, 5).L(12, 19).M(5, 12).L(19, 12); break;
    case Glyph::minus: p.M(5, 12).L(19, 12); break;
    case Glyph::fit:
        p.M(4, 9).L(4, 4).L(9, 4).M(20, 9).L(20, 4).L(15, 4);
        p.M(4, 15).L(4, 20).L(9, 20).M(20, 15).L(20, 20).L(15, 20);
        break;
    case Glyph::frame:
        p.M(8, 3).L(5, 3).A(5, 5, 2, 270, 180, false).L(3, 8);
        p.M(16, 3).L(19, 3).A(19, 5, 2, 270, 0, true).L(21, 8);
        p.M(8, 21).L(5, 21).A(5, 19, 2, 90, 180, true).L(3, 16);
        p.M(16, 21).L(19, 21).A(19, 19, 2, 90, 0, false).L(21, 16);
        break;
    case Glyph::folder:
        p.M(3, 7).A(5, 7, 2, 180, 270, true).L(9, 5).L(11, 7).L(19, 7).A(19, 9, 2, 270, 0, true).L(21, 17);
        p.A(19, 17, 2, 0, 90, true).L(5, 19).A(5, 17, 2, 90, 180, true).Z();
        break;
    case Glyph::shield:
        p.M(12, 2.5).L(20, 5.5).L(20, 11).C(12, 21.5, 20, 16, 16.5, 19.5).C(4, 11, 7.5, 19.5, 4, 16).L(4, 5.5).Z();
        break;
    case Glyph::battery: p.R(2, 7.5, 18, 9, 2.4).M(21.4, 10).L(21.4, 14); break;
    case Glyph::wifi:
        p.M(4, 8).A(12, 15.5, 10.6, 215, 325, true).M(7.4, 11.6).A(12, 16, 6.5, 225, 315, true);
        p.E(10.75, 16.95, 2.5, 2.5);
        break;
    case Glyph::spotlight: p.E(3.9, 3.9, 13.2, 13.2).M(20, 20).L(15.6, 15.6); break;
    case Glyph::controlCenter:
        p.R(4, 5, 16, 6, 3).E(6.45, 6.45, 3.1, 3.1).R(4, 13, 16, 6, 3).E(14.45, 14.45, 3.1, 3.1);
        break;
    }
}

QPainterPath path(Glyph glyph, const QRectF& rect) {
    QPainterPath design;
    draw(glyph, design);
    const double s = std::min(rect.width(), rect.height()) / 24.0;
    QTransform transform;
    transform.translate(rect.x(), rect.y());
    transform.scale(s, s);
    return transform.map(design);
}

void paint(QPainter& painter, Glyph glyph, const QPointF& topLeft, double size, const QColor& color) {
    const QPainterPath shape = path(glyph, QRectF(topLeft, QSizeF(size, size)));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (isFilled(glyph)) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawPath(shape);
    } else {
        QPen pen(color, lineWidth(glyph), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        pen.setMiterLimit(10);
        const QList<double> dashes = dashPattern(glyph);
        if (!dashes.isEmpty()) {
            // Qt measures dashes in pen widths.
            QList<qreal> pattern;
            for (double d : dashes) pattern << d / pen.widthF();
            pen.setDashPattern(pattern);
            pen.setDashOffset(0);
        }
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(shape);
    }
    painter.restore();
}

} // namespace BrindlecastApp::Icon
