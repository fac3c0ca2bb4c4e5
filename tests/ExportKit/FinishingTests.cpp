#include "ExportKit/Exporter.h"
#include "ImageTestHelpers.h"

#include <gtest/gtest.h>

#include <limits>
#include <numbers>

using namespace ExportKitTests;
using ExportKit::Backdrop;
using ExportKit::Watermark;
using Support::Rect;
namespace Exporter = ExportKit::Exporter;

namespace {

TEST(Crop, KeepsTheWholePixelsTheRectangleTouches) {
    const QImage source = noiseImage(100, 80, 31);
    const QImage cropped = Exporter::crop(source, Rect(10.2, 10.7, 20, 20));
    ASSERT_EQ(cropped.size(), QSize(21, 21));
    EXPECT_TRUE(samePixels(cropped, source.copy(10, 10, 21, 21)));
}

TEST(Crop, ReturnsTheInputItselfWhenNothingWouldBeCut) {
    const QImage source = noiseImage(100, 80, 32);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Rect& r : {Rect(-50, -50, 1000, 1000), Rect(10, 10, 0, 30), Rect::null(), Rect(0, 0, 100, 80),
                          Rect(200, 200, 10, 10), Rect(nan, 0, 10, 10)}) {
        EXPECT_EQ(Exporter::crop(source, r).cacheKey(), source.cacheKey());
        EXPECT_EQ(Exporter::effectiveCropRect(source.size(), r), std::nullopt);
    }
    EXPECT_EQ(Exporter::effectiveCropRect(source.size(), Rect(-5, 70, 20, 20)), QRect(0, 70, 15, 10));
}

TEST(Backdrop, NoneOrAnUnusablePaddingLeavesTheImageAlone) {
    const QImage source = noiseImage(100, 50, 33);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        Backdrop backdrop;
        const char* why;
    };
    for (const Case& c : {Case{{Backdrop::None{}, 40, 10}, "style none"},
                          Case{{Backdrop::Solid{"#00FF00"}, -10, 0}, "negative padding would crop"},
                          Case{{Backdrop::Solid{"#00FF00"}, nan, 0}, "padding not a number"},
                          Case{{Backdrop::Solid{"#00FF00"}, inf, 0}, "infinite padding"},
                          Case{{Backdrop::Solid{"#00FF00"}, 1e300, 0}, "padding beyond any canvas"},
                          Case{{Backdrop::Solid{"#00FF00"}, 4.7e18, 0}, "doubled padding overflows 64 bits"}}) {
        EXPECT_EQ(Exporter::applyBackdrop(source, c.backdrop).cacheKey(), source.cacheKey()) << c.why;
    }
}

TEST(Backdrop, SolidPaddingSurroundsTheImage) {
    const QImage source = noiseImage(100, 50, 34);
    const QImage result = Exporter::applyBackdrop(source, {Backdrop::Solid{"#00FF00"}, 20, 0});
    ASSERT_EQ(result.size(), QSize(140, 90));
    EXPECT_TRUE(sameRegion(result.copy(20, 20, 100, 50), source, QRect(0, 0, 100, 50)));
    for (const QPoint& p : {QPoint(0, 0), QPoint(139, 89), QPoint(19, 45), QPoint(120, 45), QPoint(70, 19), QPoint(70, 70)}) {
        EXPECT_EQ(result.pixel(p), qRgb(0, 255, 0)) << p.x() << "," << p.y();
    }
}

TEST(Backdrop, FractionalPaddingTruncatesTheCanvasButNotThePlacement) {
    const QImage source = filledImage(100, 50, Qt::red);
    const QImage result = Exporter::applyBackdrop(source, {Backdrop::Solid{"#0000FF"}, 10.5, 0});
    ASSERT_EQ(result.size(), QSize(121, 71));
    EXPECT_EQ(result.pixel(9, 30), qRgb(0, 0, 255));
    EXPECT_EQ(result.pixel(11, 30), qRgb(255, 0, 0));
    EXPECT_EQ(result.pixel(109, 30), qRgb(255, 0, 0));
    EXPECT_EQ(result.pixel(111, 30), qRgb(0, 0, 255));
    for (int x : {10, 110}) { // half covered
        const QRgb edge = result.pixel(x, 30);
        EXPECT_NEAR(qRed(edge), 128, 8) << x;
        EXPECT_NEAR(qBlue(edge), 128, 8) << x;
    }
}

TEST(Backdrop, GradientAngleRunsCounterClockwiseFromLeftToRight) {
    const QImage source = filledImage(20, 20, Qt::white);
    const QImage across = Exporter::applyBackdrop(source, {Backdrop::Gradient{"#FF0000", "#0000FF", 0}, 40, 0});
    ASSERT_EQ(across.size(), QSize(100, 100));
    EXPECT_GT(qRed(across.pixel(1, 50)), 240);
    EXPECT_GT(qBlue(across.pixel(98, 50)), 240);
    EXPECT_EQ(across.pixel(50, 2), across.pixel(50, 97)) << "no change along the other axis";
    const QImage upwards =
        Exporter::applyBackdrop(source, {Backdrop::Gradient{"#FF0000", "#0000FF", std::numbers::pi / 2}, 40, 0});
    EXPECT_GT(qRed(upwards.pixel(50, 98)), 240) << "colour A at the bottom";
    EXPECT_GT(qBlue(upwards.pixel(50, 1)), 240) << "colour B at the top";
}

TEST(Backdrop, CornerRadiusIsHeldToHalfTheShorterSide) {
    const QImage source = filledImage(100, 50, Qt::red);
    const QImage result = Exporter::applyBackdrop(source, {Backdrop::Solid{"#0000FF"}, 0, 500});
    ASSERT_EQ(result.size(), QSize(100, 50));
    EXPECT_EQ(result.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(result.pixel(3, 10), qRgb(0, 0, 255)); // outside a 25-pixel corner arc
    EXPECT_EQ(result.pixel(26, 0), qRgb(255, 0, 0)); // past the arc along the top edge
    EXPECT_EQ(result.pixel(50, 25), qRgb(255, 0, 0));
    const QImage square = Exporter::applyBackdrop(source, {Backdrop::Solid{"#0000FF"}, 0, -3});
    EXPECT_EQ(square.pixel(0, 0), qRgb(255, 0, 0));
}

TEST(Watermark, EmptyTextLeavesTheImageItself) {
    const QImage source = noiseImage(200, 100, 35);
    EXPECT_EQ(Exporter::watermark(source, std::nullopt).cacheKey(), source.cacheKey());
    EXPECT_EQ(Exporter::watermark(source, Watermark{"", std::nullopt, std::nullopt}).cacheKey(), source.cacheKey());
}

TEST(Watermark, TouchesOnlyItsBottomRightBox) {
    const QImage source = noiseImage(400, 200, 36);
    const QImage result = Exporter::watermark(source, Watermark{"ada", "laptop", std::nullopt});
    const QRect changed = differingArea(source, result);
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_EQ(changed.right(), 399);
    EXPECT_EQ(changed.bottom(), 199);
    EXPECT_LT(changed.height(), 40);
    EXPECT_GT(changed.left(), 300);
    // The box is opaque near-black; the text on it is light.
    const int boxGray = grayByte(0.05);
    EXPECT_EQ(result.pixel(changed.left() + 1, changed.top() + 1), qRgb(boxGray, boxGray, boxGray));
    bool white = false;
    for (int y = changed.top(); y <= changed.bottom(); ++y) {
        for (int x = changed.left(); x <= changed.right(); ++x) white |= qGray(result.pixel(x, y)) > 150;
    }
    EXPECT_TRUE(white);
}

TEST(Watermark, ShrinksToFitANarrowImage) {
    const QImage source = filledImage(90, 60, Qt::red);
    const Watermark mark{"a rather long user name", "and a long device name", std::nullopt};
    const QImage result = Exporter::watermark(source, mark);
    const QRect changed = differingArea(source, result);
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_EQ(changed.right(), 89);
    EXPECT_EQ(changed.bottom(), 59);
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 3; ++x) {
            ASSERT_LT(qGreen(result.pixel(x, y)), 128) << "text ran off the left edge at " << x << "," << y;
        }
    }
}

} // namespace
