#include "BrindlecastApp/Design/SymbolShapes.h"

#include "BrindlecastApp/Design/Icon.h"
#include "BrindlecastApp/Design/PathBuilder.h"

#include <QPainterPathStroker>

#include <cmath>
#include <numbers>

namespace BrindlecastApp {

void SymbolShape::stroke(const QPainterPath& path, double widthFactor) {
    region_ = region_.united(outline(path, strokeWidth_ * widthFactor));
}

void SymbolShape::dashedStroke(const QPainterPath& path, double on, double off) {
    QPainterPathStroker stroker;
    stroker.setWidth(strokeWidth_);
    stroker.setCapStyle(Qt::FlatCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    stroker.setDashPattern(QList<qreal>{on / strokeWidth_, off / strokeWidth_});
    region_ = region_.united(stroker.createStroke(path).simplified());
}

void SymbolShape::cutStroke(const QPainterPath& path, double widthFactor) {
    region_ = region_.subtracted(outline(path, strokeWidth_ * widthFactor));
}

QPainterPath SymbolShape::outline(const QPainterPath& path, double width) const {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(path).simplified();
}

namespace {

using P = QPainterPath;

P build(const std::function<void(PathBuilder&)>& steps) {
    P path;
    PathBuilder builder(path);
    steps(builder);
    return path;
}

P glyph(Icon::Glyph g) {
    P path;
    Icon::draw(g, path);
    return path;
}

P ellipse(double x, double y, double w, double h) { return build([&](PathBuilder& p) { p.E(x, y, w, h); }); }
P rounded(double x, double y, double w, double h, double r) {
    return build([&](PathBuilder& p) { p.R(x, y, w, h, r); });
}
P circle() { return ellipse(3, 3, 18, 18); }
P disc() { return ellipse(2, 2, 20, 20); }

P shieldOutline() {
    return build([](PathBuilder& p) {
        p.M(12, 2.5).L(20, 5.5).L(20, 11).C(12, 21.5, 20, 16, 16.5, 19.5).C(4, 11, 7.5, 19.5, 4, 16).L(4, 5.5).Z();
    });
}

P eyeOutline() {
    return build([](PathBuilder& p) { p.M(2, 12).C(22, 12, 7, 5, 17, 5).C(2, 12, 17, 19, 7, 19).Z(); });
}

// Four-pointed star with concave sides.
P star(double cx, double cy, double r) {
    P path;
    const double k = r * 0.14;
    path.moveTo(cx, cy - r);
    path.quadTo(cx + k, cy - k, cx + r, cy);
    path.quadTo(cx + k, cy + k, cx, cy + r);
    path.quadTo(cx - k, cy + k, cx - r, cy);
    path.quadTo(cx - k, cy - k, cx, cy - r);
    path.closeSubpath();
    return path;
}

P gearOutline() {
    P path;
    for (int tooth = 0; tooth < 8; ++tooth) {
        const double base = tooth * 45.0;
        const std::pair<double, double> corners[] = {{base - 15, 7.4}, {base - 8, 9.8}, {base + 8, 9.8}, {base + 15, 7.4}};
        for (const auto& [degrees, radius] : corners) {
            const double a = degrees * std::numbers::pi / 180;
            const QPointF point(12 + radius * std::cos(a), 12 + radius * std::sin(a));
            if (path.elementCount() == 0) path.moveTo(point);
            else path.lineTo(point);
        }
    }
    path.closeSubpath();
    return path;
}

P lockShackle(double cx, double top, double halfWidth, double bottom) {
    return build([&](PathBuilder& p) {
        p.M(cx - halfWidth, bottom).L(cx - halfWidth, top + halfWidth).A(cx, top + halfWidth, halfWidth, 180, 0, true);
        p.L(cx + halfWidth, bottom);
    });
}

P openBox() {
    return build([](PathBuilder& p) { p.M(8.5, 9).L(5.5, 9).L(5.5, 20.5).L(18.5, 20.5).L(18.5, 9).L(15.5, 9); });
}

P alignedLines(double shortStart, double shortEnd) {
    return build([&](PathBuilder& p) {
        p.M(4, 6).L(20, 6).M(shortStart, 10).L(shortEnd, 10).M(4, 14).L(20, 14).M(shortStart, 18).L(shortEnd, 18);
    });
}

QHash<QString, SymbolRecipe> makeRecipes() {
    QHash<QString, SymbolRecipe> r;
    r["arrow.up.right"] = [](SymbolShape& s) { s.stroke(build([](PathBuilder& p) { p.M(6, 18).L(18, 6).M(9, 6).L(18, 6).L(18, 15); })); };
    r["line.diagonal"] = [](SymbolShape& s) { s.stroke(build([](PathBuilder& p) { p.M(5, 19).L(19, 5); })); };
    r["circle"] = [](SymbolShape& s) { s.stroke(circle()); };
    r["1.circle"] = [](SymbolShape& s) {
        s.stroke(circle());
        s.stroke(build([](PathBuilder& p) { p.M(10, 9.4).L(12.6, 7.6).L(12.6, 16.6); }));
    };
    r["circle.circle"] = [](SymbolShape& s) { s.stroke(circle()); s.stroke(ellipse(8, 8, 8, 8)); };
    r["circle.dotted"] = [](SymbolShape& s) {
        for (int i = 0; i < 12; ++i) {
            const double a = i * std::numbers::pi / 6;
            s.fill(ellipse(12 + 8.5 * std::cos(a) - 1.15, 12 + 8.5 * std::sin(a) - 1.15, 2.3, 2.3));
        }
    };
    r["highlighter"] = [](SymbolShape& s) {
        s.stroke(build([](PathBuilder& p) { p.M(15, 3.5).L(20.5, 9).L(11.5, 18).L(6, 12.5).Z(); }));
        s.stroke(build([](PathBuilder& p) { p.M(6, 12.5).L(4, 18.5).L(5.5, 20).L(11.5, 18); }));
    };
    r["gearshape"] = [](SymbolShape& s) { s.stroke(gearOutline()); s.stroke(ellipse(9, 9, 6, 6)); };
    r["gearshape.fill"] = [](SymbolShape& s) { s.fill(gearOutline()); s.cut(ellipse(9, 9, 6, 6)); };
    r["ellipsis"] = [](SymbolShape& s) {
        for (double cx : {5.5, 12.0, 18.5}) s.fill(ellipse(cx - 1.8, 10.2, 3.6, 3.6));
    };
    r["chevron.down"] = [](SymbolShape& s) { s.stroke(build([](PathBuilder& p) { p.M(6, 9).L(12, 15).L(18, 9); })); };
    r["chevron.right"] = [](SymbolShape& s) { s.stroke(build([](PathBuilder& p) { p.M(9, 6).L(15, 12).L(9, 18); })); };
    r["doc.on.doc"] = [](SymbolShape& s) {
        s.stroke(rounded(9, 7.5, 11, 14, 2));
        s.stroke(build([](PathBuilder& p) { p.M(5.5, 16.5).L(5.5, 5).A(7.5, 5, 2, 180, 270, true).L(15, 3); }));
    };
    r["doc.on.clipboard"] = [](SymbolShape& s) {
        s.stroke(rounded(5, 4.5, 14, 17, 2.5));
        s.cut(rounded(8, 1.5, 8, 6, 2));
        s.fill(rounded(9, 2.5, 6, 4, 1.5));
        s.stroke(build([](PathBuilder& p) { p.M(8.5, 11).L(15.5, 11).M(8.5, 14.5).L(15.5, 14.5).M(8.5, 18).L(13, 18); }));
    };
    r["checkmark"] = [](SymbolShape& s) { s.stroke(build([](PathBuilder& p) { p.M(5, 12.5).L(10, 17.5).L(19, 6.5); })); };
    r["checkmark.circle.fill"] = [](SymbolShape& s) {
        s.fill(disc());
        s.cutStroke(build([](PathBuilder& p) { p.M(7.5, 12.5).L(10.8, 15.8).L(16.5, 8.8); }));
    };
    r["checkmark.shield"] = [](SymbolShape& s) {
        s.stroke(shieldOutline());
        s.stroke(build([](PathBuilder& p) { p.M(8.5, 11.5).L(11, 14).L(15.5, 9); }));
    };
    r["folder"] = [](SymbolShape& s) { s.stroke(glyph(Icon::Glyph::folder)); };
    r["square.and.arrow.up"] = [](SymbolShape& s) {
        s.stroke(openBox());
        s.stroke(build([](PathBuilder& p) { p.M(12, 14).L(12, 3).M(8.5, 6.5).L(12, 3).L(15.5, 6.5); }));
    };
    r["square.and.arrow.down"] = [](SymbolShape& s) {
        s.stroke(openBox());
        s.stroke(build([](PathBuilder& p) { p.M(12, 3).L(12, 14).M(8.5, 10.5).L(12, 14).L(15.5, 10.5); }));
    };
    r["square.2.layers.3d.bottom.filled"] = [](SymbolShape& s) {
        s.fill(build([](PathBuilder& p) { p.M(12, 11).L(20.5, 15.5).L(12, 20).L(3.5, 15.5).Z(); }));
        s.cut(build([](PathBuilder& p) { p.M(12, 2).L(23, 8.5).L(12, 15).L(1, 8.5).Z(); }));
        s.stroke(build([](PathBuilder& p) { p.M(12, 4).L(20, 8.5).L(12, 13).L(4, 8.5).Z(); }));
    };
    r["trash"] = [](SymbolShape& s) {
        s.stroke(build([](PathBuilder& p) {
            p.M(4, 6).L(20, 6).M(9, 6).L(9, 3.8).L(15, 3.8).L(15, 6);
            p.M(6, 6).L(7, 20.5).L(17, 20.5).L(18, 6).M(10, 9.5).L(10, 17).M(14, 9.5).L(14, 17);
        }));
    };
    r["sparkles"] = [](SymbolShape& s) { s.fill(star(9.5, 13.5, 7.5)); s.fill(star(18, 6, 4)); };
    r["lineweight"] = [](SymbolShape& s) {
        s.fill(rounded(3.5, 5, 17, 1.2, 0.6));
        s.fill(rounded(3.5, 10, 17, 2.2, 1.1));
        s.fill(rounded(3.5, 16, 17, 3.4, 1.7));
    };
    r["square.fill.on.square"] = [](SymbolShape& s) {
        s.stroke(rounded(3, 3, 13, 13, 2.5));
        s.cut(rounded(6, 6, 17, 17, 4));
        s.fill(rounded(8, 8, 13, 13, 2.5));
    };
    r["minus"] = [](SymbolShape& s) { s.stroke(glyph(Icon::Glyph::minus)); };
    r["plus"] = [](SymbolShape& s) { s.stroke(glyph(Icon::Glyph::plus)); };
    r["plus.circle"] = [](SymbolShape& s) {
        s.stroke(circle());
        s.stroke(build([](PathBuilder& p) { p.M(12, 7.5).L(12, 16.5).M(7.5, 12).L(16.5, 12); }));
    };
    r["text.alignleft"] = [](SymbolShape& s) { s.stroke(alignedLines(4, 14)); };
    r["text.aligncenter"] = [](SymbolShape& s) { s.stroke(alignedLines(7, 17)); };
    r["text.alignright"] = [](SymbolShape& s) { s.stroke(alignedLines(10, 20)); };
    r["crop"] = [](SymbolShape& s) { s.stroke(glyph(Icon::Glyph::crop)); };
    r["lock.fill"] = [](SymbolShape& s) {
        s.stroke(lockShackle(12, 3, 4, 11));
        s.fill(rounded(5, 10.5, 14, 10.5, 2.5));
    };
    r["lock.shield"] = [](SymbolShape& s) {
        s.stroke(shieldOutline());
        s.stroke(lockShackle(12, 7.6, 1.9, 11.5), 0.75);
        s.fill(rounded(8.9, 11, 6.2, 4.8, 1));
    };
    r["lock.shield.fill"] = [](SymbolShape& s) {
        s.fill(shieldOutline());
        s.stroke(shieldOutline()); // rounds the corners like the outlined form
        s.cutStroke(lockShackle(12, 7.6, 1.9, 11.5), 0.75);
        s.cut(rounded(8.9, 11, 6.2, 4.8, 1));
    };
    r["exclamationmark.shield.fill"] = [](SymbolShape& s) {
        s.fill(shieldOutline());
        s.stroke(shieldOutline());
        s.cutStroke(build([](PathBuilder& p) { p.M(12, 7.5).L(12, 12); }));
        s.cut(ellipse(10.9, 14.3, 2.2, 2.2));
    };
    r["exclamationmark.triangle.fill"] = [](SymbolShape& s) {
        const P triangle = build([](PathBuilder& p) { p.M(12, 3.5).L(21.5, 20).L(2.5, 20).Z(); });
        s.fill(triangle);
        s.stroke(triangle);
        s.cutStroke(build([](PathBuilder& p) { p.M(12, 9).L(12, 13.5); }));
        s.cut(ellipse(10.9, 15.6, 2.2, 2.2));
    };
    r["eye.fill"] = [](SymbolShape& s) {
        s.fill(eyeOutline());
        s.cut(ellipse(8.3, 8.3, 7.4, 7.4));
        s.fill(ellipse(10.2, 10.2, 3.6, 3.6));
    };
    r["eye.slash.fill"] = [](SymbolShape& s) {
        s.fill(eyeOutline());
        s.cut(ellipse(8.3, 8.3, 7.4, 7.4));
        s.fill(ellipse(10.2, 10.2, 3.6, 3.6));
        const P slash = build([](PathBuilder& p) { p.M(4, 3.5).L(20, 20.5); });
        s.cutStroke(slash, 2.4);
        s.stroke(slash);
    };
    r["xmark"] = [](SymbolShape& s) { s.stroke(build([](PathBuilder& p) { p.M(6, 6).L(18, 18).M(18, 6).L(6, 18); })); };
    r["xmark.circle.fill"] = [](SymbolShape& s) {
        s.fill(disc());
        s.cutStroke(build([](PathBuilder& p) { p.M(8.5, 8.5).L(15.5, 15.5).M(15.5, 8.5).L(8.5, 15.5); }));
    };
    r["hand.raised.fill"] = [](SymbolShape& s) {
        s.fill(rounded(6.5, 10, 11.5, 11.5, 4.5));
        for (const auto& [x, y, h] : {std::tuple{6.5, 6.0, 9.0}, {9.4, 3.0, 11.0}, {12.3, 3.5, 10.5}, {15.2, 5.5, 9.0}})
            s.fill(rounded(x, y, 2.6, h, 1.3));
        s.fill(build([](PathBuilder& p) { p.M(17.5, 13.5).L(20, 11).L(21.2, 12.2).L(18, 17).Z(); }));
    };
    r["camera.fill"] = [](SymbolShape& s) {
        s.fill(rounded(2.5, 7, 19, 13, 3));
        s.fill(rounded(8, 4.5, 8, 4, 1.5));
        s.cut(ellipse(8, 9.5, 8, 8));
        s.fill(ellipse(9.8, 11.3, 4.4, 4.4));
    };
    r["rectangle.inset.filled.badge.record"] = [](SymbolShape& s) {
        s.stroke(rounded(2.5, 4.5, 17, 13, 2.5));
        s.fill(rounded(5.5, 7.5, 8, 7, 1.2));
        s.cut(ellipse(13, 12, 11, 11));
        s.fill(ellipse(15, 14, 7, 7));
    };
    r["rectangle.dashed"] = [](SymbolShape& s) { s.dashedStroke(rounded(3, 5, 18, 14, 2.5), 2.6, 2.2); };
    r["square.dashed"] = [](SymbolShape& s) { s.dashedStroke(rounded(3.5, 3.5, 17, 17, 3), 2.6, 2.2); };
    r["macwindow"] = [](SymbolShape& s) {
        s.stroke(rounded(3, 4.5, 18, 15, 2.5));
        s.stroke(build([](PathBuilder& p) { p.M(3, 8.5).L(21, 8.5); }));
    };
    r["macwindow.on.rectangle"] = [](SymbolShape& s) {
        s.stroke(rounded(2.5, 3, 14, 11, 2));
        s.cut(rounded(5, 6.5, 19, 15, 3));
        s.stroke(rounded(7, 8.5, 14.5, 11.5, 2));
        s.stroke(build([](PathBuilder& p) { p.M(7, 11.5).L(21.5, 11.5); }));
    };
    r["square.and.pencil"] = [](SymbolShape& s) {
        s.stroke(build([](PathBuilder& p) { p.M(12, 4.5).L(4.5, 4.5).L(4.5, 19.5).L(19.5, 19.5).L(19.5, 12); }));
        s.stroke(build([](PathBuilder& p) { p.M(10, 14).L(10.5, 11.5).L(18.5, 3.5).L(20.5, 5.5).L(12.5, 13.5).Z(); }));
    };
    r["cursorarrow"] = [](SymbolShape& s) { s.fill(glyph(Icon::Glyph::cursor)); };
    r["rectangle"] = [](SymbolShape& s) { s.stroke(rounded(3, 5, 18, 14, 2.5)); };
    r["textformat"] = [](SymbolShape& s) {
        s.stroke(build([](PathBuilder& p) { p.M(2.5, 19).L(8, 5).L(13.5, 19).M(4.6, 14).L(11.4, 14); }));
        s.stroke(ellipse(15, 12.5, 5, 6.5));
        s.stroke(build([](PathBuilder& p) { p.M(20, 12).L(20, 19); }));
    };
    r["paintpalette"] = [](SymbolShape& s) {
        s.stroke(circle());
        for (const auto& [x, y] : {std::pair{6.5, 10.5}, {8.5, 6.0}, {13.0, 5.0}, {16.5, 8.0}})
            s.fill(ellipse(x, y, 2.8, 2.8));
        s.fill(ellipse(13, 13.5, 4, 4));
    };
    return r;
}

} // namespace

const QHash<QString, SymbolRecipe>& symbolRecipes() {
    static const QHash<QString, SymbolRecipe> recipes = makeRecipes();
    return recipes;
}

} // namespace BrindlecastApp
