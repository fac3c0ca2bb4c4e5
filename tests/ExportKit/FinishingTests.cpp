#include "ExportKit/BitmapCoordinates.h"
#include "ExportKit/Exporter.h"
#include "ImageTestHelpers.h"
#include "Support/SystemMemory.h"

#include <QFontMetricsF>

#include <gtest/gtest.h>

#include <limits>
#include <numbers>

using namespace ExportKitTests;
using ExportKit::Backdrop;
using ExportKit::Watermark;
using Support::Rect;
namespace Exporter = ExportKit::Exporter;

namespace {

TEST(Crop, KeepsTheWholePixelsTheRectangleTouchesOrReturnsTheInputItself) {
    const QImage source = noiseImage(100, 80, 31);
    const QImage cropped = Exporter::crop(source, Rect(10.2, 10.7, 20, 20));
    ASSERT_EQ(cropped.size(), QSize(21, 21));
    EXPECT_TRUE(samePixels(cropped, source.copy(10, 10, 21, 21)));
    EXPECT_EQ(Exporter::effectiveCropRect(source.size(), Rect(-5, 70, 20, 20)), QRect(0, 70, 15, 10));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Rect& r : {Rect(-50, -50, 1000, 1000), Rect(10, 10, 0, 30), Rect::null(), Rect(200, 200, 10, 10),
                          Rect(nan, 0, 10, 10)}) {
        EXPECT_EQ(Exporter::crop(source, r).cacheKey(), source.cacheKey());
    }
}

TEST(Backdrop, NoneLeavesTheImageItselfAndOneThatCannotBeDrawnFails) {
    const QImage source = noiseImage(100, 50, 33);
    EXPECT_EQ(Exporter::applyBackdrop(source, {Backdrop::None{}, 40, 10}).cacheKey(), source.cacheKey());
    const Backdrop::Style green = Backdrop::Solid{"#00FF00"};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    using Code = ExportKit::ExportError::Code;
    const std::pair<double, Code> cases[] = {
        {-10, Code::invalidRegion},          {nan, Code::invalidRegion},
        {infinity, Code::invalidRegion},     {4.7e18, Code::bitmapContextFailed},
        {32720, Code::bitmapContextFailed}, // 65,540 pixels wide with the image: over the limit
    };
    for (const auto& [padding, code] : cases) {
        try {
            Exporter::applyBackdrop(source, {green, padding, 0});
            ADD_FAILURE() << "no error for padding " << padding;
        } catch (const ExportKit::ExportError& error) {
            EXPECT_EQ(error.code(), code) << padding;
        }
    }
}

TEST(Backdrop, CanvasLargerThanMemoryAllowsFailsBeforeItIsMade) {
    // 65,000 pixels square, 16.9 GB: refused unless twice that is free.
    const qint64 canvasBytes = qint64(65000) * 65000 * 4;
    if (Support::SystemMemory::availableBytes().value_or(0) >= 2 * canvasBytes) {
        GTEST_SKIP() << "this machine could draw it";
    }
    const QImage source = noiseImage(100, 100, 35);
    try {
        Exporter::applyBackdrop(source, {Backdrop::Solid{"#0000FF"}, 32450, 0});
        FAIL() << "drawn";
    } catch (const ExportKit::ExportError& error) {
        EXPECT_EQ(error.code(), ExportKit::ExportError::Code::bitmapContextFailed);
    }
}

TEST(Backdrop, CanvasOverAGibibyteIsDrawnWhenMemoryAllows) {
    // 17,000 pixels square with padding 10: 289.7 million pixels, 1.16 GB of canvas.
    if (Support::SystemMemory::availableBytes().value_or(0) < (qint64(6) << 30)) {
        GTEST_SKIP() << "needs 6 GiB of free memory";
    }
    QImage source(17000, 17000, QImage::Format_Indexed8); // a small input; the canvas is what counts
    source.setColorTable({qRgb(255, 0, 0)});
    source.fill(0);
    const QImage result = Exporter::applyBackdrop(source, {Backdrop::Solid{"#0000FF"}, 10, 0});
    ASSERT_EQ(result.size(), QSize(17020, 17020));
    for (const QPoint& edge : {QPoint(0, 0), QPoint(17019, 17019), QPoint(9, 8500), QPoint(8500, 17010)}) {
        EXPECT_EQ(result.pixel(edge), qRgb(0, 0, 255)) << edge.x() << "," << edge.y();
    }
    for (const QPoint& inside : {QPoint(10, 10), QPoint(17009, 17009), QPoint(8500, 8500)}) {
        EXPECT_EQ(result.pixel(inside), qRgb(255, 0, 0)) << inside.x() << "," << inside.y();
    }
}

TEST(Backdrop, SolidPaddingSurroundsTheImage) {
    QImage source = noiseImage(100, 50, 34);
    source.setDevicePixelRatio(2); // a capture's scale does not change its pixels' place
    const QImage result = Exporter::applyBackdrop(source, {Backdrop::Solid{"#00FF00"}, 20, 0});
    ASSERT_EQ(result.size(), QSize(140, 90));
    EXPECT_TRUE(samePixels(result.copy(20, 20, 100, 50), source));
    for (const QPoint& p : {QPoint(0, 0), QPoint(139, 89), QPoint(19, 45), QPoint(120, 45), QPoint(70, 70)}) {
        EXPECT_EQ(result.pixel(p), qRgb(0, 255, 0)) << p.x() << "," << p.y();
    }
}

TEST(Backdrop, FractionalPaddingTruncatesTheCanvasButNotThePlacement) {
    for (double cornerRadius : {0.0, 5.0}) { // the sides of a rounded image are half covered alike
        const QImage result =
            Exporter::applyBackdrop(filledImage(100, 50, Qt::red), {Backdrop::Solid{"#0000FF"}, 10.5, cornerRadius});
        ASSERT_EQ(result.size(), QSize(121, 71));
        EXPECT_EQ(result.pixel(9, 30), qRgb(0, 0, 255));
        EXPECT_EQ(result.pixel(11, 30), qRgb(255, 0, 0));
        EXPECT_EQ(result.pixel(111, 30), qRgb(0, 0, 255));
        for (const QPoint& p : {QPoint(10, 30), QPoint(110, 30), QPoint(60, 10), QPoint(60, 60)}) { // half covered
            EXPECT_NEAR(qRed(result.pixel(p)), 128, 8) << cornerRadius << " at " << p.x() << "," << p.y();
            EXPECT_NEAR(qBlue(result.pixel(p)), 128, 8) << cornerRadius << " at " << p.x() << "," << p.y();
        }
    }
}

TEST(Backdrop, GradientAngleRunsCounterClockwiseFromLeftToRight) {
    const QImage source = filledImage(20, 20, Qt::white);
    const QImage across = Exporter::applyBackdrop(source, {Backdrop::Gradient{"#FF0000", "#0000FF", 0}, 40, 0});
    EXPECT_GT(qRed(across.pixel(1, 50)), 240);
    EXPECT_GT(qBlue(across.pixel(98, 50)), 240);
    EXPECT_EQ(across.pixel(50, 2), across.pixel(50, 97));
    const QImage up = Exporter::applyBackdrop(source, {Backdrop::Gradient{"#FF0000", "#0000FF", std::numbers::pi / 2}, 40, 0});
    EXPECT_GT(qRed(up.pixel(50, 98)), 240) << "colour A at the bottom";
    EXPECT_GT(qBlue(up.pixel(50, 1)), 240) << "colour B at the top";
}

TEST(Backdrop, CornerRadiusIsHeldToHalfTheShorterSide) {
    const QImage source = filledImage(100, 50, Qt::red);
    const QImage result = Exporter::applyBackdrop(source, {Backdrop::Solid{"#0000FF"}, 0, 500});
    EXPECT_EQ(result.pixel(3, 10), qRgb(0, 0, 255)); // outside a 25-pixel corner arc
    EXPECT_EQ(result.pixel(26, 0), qRgb(255, 0, 0)); // past the arc along the top edge
    EXPECT_EQ(Exporter::applyBackdrop(source, {Backdrop::Solid{"#0000FF"}, 0, -3}).pixel(0, 0), qRgb(255, 0, 0));
}

TEST(Watermark, EmptyTextLeavesTheImageItself) {
    const QImage source = noiseImage(200, 100, 35);
    EXPECT_EQ(Exporter::watermark(source, std::nullopt).cacheKey(), source.cacheKey());
    EXPECT_EQ(Exporter::watermark(source, Watermark{"", {}, {}}).cacheKey(), source.cacheKey());
}

TEST(Watermark, TouchesOnlyItsBottomRightBoxWithTheBaselineSixPlusTheDescentUp) {
    const QImage source = filledImage(400, 200, Qt::black);
    const QImage result = Exporter::watermark(source, Watermark{"HHHH", {}, {}});
    const QRect box = differingArea(source, result);
    EXPECT_EQ(box.bottomRight(), QPoint(399, 199));
    EXPECT_GT(box.left(), 300);
    const QImage measuring = ExportKit::BitmapCoordinates::makeWorkingBitmap(1, 1);
    const QFontMetricsF metrics(ExportKit::BitmapCoordinates::systemFont(13), &measuring);
    EXPECT_NEAR(box.height(), metrics.ascent() + metrics.descent() + 12, 1.0);
    int lowestInk = -1; // "H" has no descender: its ink ends on the baseline
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 400; ++x) lowestInk = qGray(result.pixel(x, y)) > 100 ? y : lowestInk;
    }
    EXPECT_NEAR(lowestInk + 1, 200 - 6 - metrics.descent(), 1.0);
}

TEST(Watermark, ShrinksToFitANarrowImage) {
    const QImage source = filledImage(90, 60, Qt::red);
    const QImage result = Exporter::watermark(source, Watermark{"a rather long user name", "a long device name", {}});
    EXPECT_EQ(differingArea(source, result).bottomRight(), QPoint(89, 59));
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 3; ++x) ASSERT_LT(qGreen(result.pixel(x, y)), 128) << "text ran off the left edge";
    }
}

} // namespace
