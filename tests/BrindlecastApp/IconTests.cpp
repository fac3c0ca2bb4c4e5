#include "BrindlecastApp/Design/Icon.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace BrindlecastApp;
using Icon::Glyph;

namespace {

double distanceToSegment(const QPointF& p, const QPointF& a, const QPointF& b) {
    const QPointF ab = b - a;
    const double lengthSquared = QPointF::dotProduct(ab, ab);
    const double t = lengthSquared == 0 ? 0 : std::clamp(QPointF::dotProduct(p - a, ab) / lengthSquared, 0.0, 1.0);
    const QPointF closest = a + t * ab;
    return std::hypot(p.x() - closest.x(), p.y() - closest.y());
}

double distanceToPath(const QPainterPath& path, const QPointF& point) {
    double best = std::numeric_limits<double>::max();
    for (const QPolygonF& polygon : path.toSubpathPolygons()) {
        for (int i = 1; i < polygon.size(); ++i) best = std::min(best, distanceToSegment(point, polygon[i - 1], polygon[i]));
    }
    return best;
}

int inkedPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) > 0;
    return count;
}

} // namespace

TEST(Icon, PathsScaleWithTheSmallerSide) {
    for (Glyph glyph : Icon::allGlyphs()) {
        QPainterPath design;
        Icon::draw(glyph, design);
        const QPainterPath full = Icon::path(glyph, QRectF(0, 0, 24, 24));
        const QPainterPath half = Icon::path(glyph, QRectF(0, 0, 12, 30));
        ASSERT_EQ(full.elementCount(), design.elementCount());
        for (int i = 0; i < design.elementCount(); ++i) {
            EXPECT_EQ(QPointF(full.elementAt(i)), QPointF(design.elementAt(i))) << Icon::rawValue(glyph).toStdString();
            EXPECT_NEAR(half.elementAt(i).x, design.elementAt(i).x / 2, 1e-9);
            EXPECT_NEAR(half.elementAt(i).y, design.elementAt(i).y / 2, 1e-9);
        }
    }
}

TEST(Icon, ArcsSweepClockwiseOnScreenForIncreasingAngles) {
    struct Case {
        Glyph glyph;
        QPointF onArc; // a point only the arc drawn the right way passes
    };
    const Case cases[] = {
        {Glyph::detectPII, QPointF(6 - 3 / std::sqrt(2.0), 6 - 3 / std::sqrt(2.0))},
        {Glyph::undo, QPointF(19.5, 14.5)},
        {Glyph::redo, QPointF(4.5, 14.5)},
        {Glyph::crop, QPointF(9.5 - 2.5 / std::sqrt(2.0), 15.5 + 2.5 / std::sqrt(2.0))},
        {Glyph::wifi, QPointF(12, 15.5 - 10.6)},
        {Glyph::frame, QPointF(5 - 2 / std::sqrt(2.0), 5 - 2 / std::sqrt(2.0))},
        {Glyph::folder, QPointF(19 + 2 / std::sqrt(2.0), 17 + 2 / std::sqrt(2.0))},
    };
    for (const Case& c : cases) {
        QPainterPath design;
        Icon::draw(c.glyph, design);
        EXPECT_LT(distanceToPath(design, c.onArc), 0.05) << Icon::rawValue(c.glyph).toStdString();
    }
}

TEST(Icon, StrokeWidthStaysInPointsAtEverySize) {
    // At 12 points a 1.8-point line is as wide as at 24, so it covers a larger share of the icon.
    auto share = [](int size) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        Icon::paint(painter, Glyph::minus, QPointF(0, 0), size, Qt::black);
        painter.end();
        return double(inkedPixels(image)) / (size * size);
    };
    EXPECT_GT(share(12), share(24) * 1.5);
}

TEST(Icon, RectSelectDashesAreMeasuredInPoints) {
    // 3.2 points on, 3.0 off from the path's first point; round caps take 0.9 of each gap.
    const QPointF start = Icon::path(Glyph::rectSelect, QRectF(0, 0, 24, 24)).elementAt(0);
    QImage image(240, 240, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.scale(10, 10); // magnifies the pen as well, so every length keeps its proportion
    Icon::paint(painter, Glyph::rectSelect, QPointF(0, 0), 24, Qt::black);
    painter.end();
    auto inkedAt = [&](double x) { return qAlpha(image.pixel(qRound(10 * x), qRound(10 * start.y()))) > 128; };
    EXPECT_TRUE(inkedAt(start.x() + 1.6));  // first dash
    EXPECT_FALSE(inkedAt(start.x() + 4.7)); // gap
    EXPECT_TRUE(inkedAt(start.x() + 7.8));  // second dash
}

TEST(Icon, EveryGlyphDrawsAtNineteenPoints) {
    for (Glyph glyph : Icon::allGlyphs()) {
        QImage image(19, 19, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        Icon::paint(painter, glyph, QPointF(0, 0), 19, Qt::black);
        painter.end();
        const int inked = inkedPixels(image);
        EXPECT_GT(inked, 10) << Icon::rawValue(glyph).toStdString();
        EXPECT_LT(inked, 19 * 19) << Icon::rawValue(glyph).toStdString();
    }
}
