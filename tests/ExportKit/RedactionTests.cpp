#include "ExportKit/BitmapCoordinates.h"
#include "ExportKit/Exporter.h"
#include "ImageTestHelpers.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <limits>

using namespace ExportKitTests;
using ExportKit::ExportError;
using Style = ExportKit::Exporter::RedactionStyle;
using Support::Rect;
namespace Exporter = ExportKit::Exporter;
namespace RP = ExportKit::Exporter::RedactionPattern;
namespace Coordinates = ExportKit::BitmapCoordinates;

namespace {

const std::vector<Style> kAllStyles{Style::scramble, Style::blur, Style::solid};

TEST(Redaction, CoversWholeEveryPixelTheRegionTouchesAndNothingElse) {
    const QImage source = noiseImage(200, 120, 1);
    for (Style style : kAllStyles) {
        const QImage result = Exporter::redact(source, {Rect(13.3, 21.6, 97.2, 55.1)}, style);
        EXPECT_EQ(differingArea(source, result), QRect(13, 21, 98, 56)) << int(style);
    }
    const int solid = grayByte(0.08);
    EXPECT_EQ(Exporter::redact(source, {Rect(0, 0, 9, 9)}, Style::solid).pixel(5, 5), qRgb(solid, solid, solid));
}

TEST(Redaction, ScrambleRowZeroLiesAtTheRegionsBottomEdge) {
    const Rect region(10, 20, 30, 40); // image rows 20..59
    const QImage result = Exporter::redact(noiseImage(80, 100, 5), {region}, Style::scramble);
    const auto scramble = RP::scramble(Coordinates::toBottomLeft(region, 100));
    ASSERT_TRUE(scramble);
    EXPECT_EQ(qRed(result.pixel(11, 58)), grayByte(scramble->grays[0][0]));
    EXPECT_EQ(qRed(result.pixel(24, 58)), grayByte(scramble->grays[0][1]));
    EXPECT_EQ(qRed(result.pixel(11, 45)), grayByte(scramble->grays[1][0]));
    EXPECT_EQ(qRed(result.pixel(11, 20)), grayByte(scramble->grays[3][0])); // the top row, cut off
}

TEST(Redaction, BlurTileRowZeroLiesAtTheBottomAndIsSmoothed) {
    const Rect region(0, 0, 600, 400); // each tile pixel stretched over 100 x 100
    const QImage result = Exporter::redact(noiseImage(600, 400, 6), {region}, Style::blur);
    const auto tile = RP::blurTile(Coordinates::toBottomLeft(region, 400));
    ASSERT_TRUE(tile);
    EXPECT_NEAR(qRed(result.pixel(50, 350)), grayByte((*tile)[0][0]), 1);
    EXPECT_NEAR(qRed(result.pixel(550, 350)), grayByte((*tile)[0][5]), 1);
    EXPECT_NEAR(qRed(result.pixel(50, 50)), grayByte((*tile)[3][0]), 1);
    const auto [low, high] = std::minmax({grayByte((*tile)[0][0]), grayByte((*tile)[0][1])});
    EXPECT_GE(qRed(result.pixel(100, 350)), low);
    EXPECT_LE(qRed(result.pixel(100, 350)), high);
}

TEST(Redaction, NothingToCoverGivesAPixelIdenticalNewImage) {
    const QImage source = noiseImage(40, 30, 8);
    for (const std::vector<Rect>& regions : std::vector<std::vector<Rect>>{
             {}, {Rect(100, 100, 20, 20), Rect(-50, 0, 30, 10)}, {Rect(10, 10, 0, 0)}}) {
        const QImage result = Exporter::redact(source, regions, Style::scramble);
        EXPECT_TRUE(samePixels(result, source));
        EXPECT_NE(result.cacheKey(), source.cacheKey());
    }
}

TEST(Redaction, NeverReadsTheCoveredPixels) {
    // A capture that differs only under a detection exports to the same bytes, through a crop,
    // backdrop and watermark at fractional places.
    const QImage a = noiseImage(160, 120, 16);
    QImage b = a.copy();
    QPainter(&b).drawImage(QPoint(33, 27), noiseImage(42, 20, 17)); // every pixel the box touches
    const Rect box(33.4, 27.7, 41.2, 18.9);
    const Rect cropRect(5.5, 3.2, 140, 100);
    const QPoint origin = Exporter::effectiveCropRect(a.size(), cropRect)->topLeft();
    const auto exportOf = [&](const QImage& capture, Style style, double inset) {
        const auto found = detection(box.insetBy(inset, inset)).translated(-origin.x(), -origin.y());
        QImage image = Exporter::redact(Exporter::crop(capture, cropRect), std::vector{found}, style);
        image = Exporter::applyBackdrop(image, {ExportKit::Backdrop::Solid{"#336699"}, 12.5, 9});
        image = Exporter::watermark(image, ExportKit::Watermark{"ada", {}, {}});
        return Exporter::encode(image, ExportKit::ImageFormat::png()).sha256Hex();
    };
    for (Style style : kAllStyles) {
        EXPECT_EQ(exportOf(a, style, 0), exportOf(b, style, 0)) << int(style);
        EXPECT_NE(exportOf(a, style, 1), exportOf(b, style, 1)) << int(style) << ": a smaller box leaves its edges";
    }
}

TEST(Redaction, HugeRegionCoversTheImageWithTheWholeMosaicsSquares) {
    const QImage source = noiseImage(120, 90, 14);
    const Rect huge(-1e12, -1e12, 3e12, 3e12);
    for (Style style : kAllStyles) {
        const QImage result = Exporter::redact(source, {huge}, style);
        EXPECT_EQ(differingArea(source, result), source.rect()) << int(style);
    }
    const QImage scrambled = Exporter::redact(source, {huge}, Style::scramble);
    const Rect bitmapRect = Coordinates::toBottomLeft(huge, 90);
    const auto window = RP::scrambleWindow(bitmapRect, Rect(0, 0, 1, 1));
    ASSERT_TRUE(window);
    EXPECT_EQ(qRed(scrambled.pixel(0, 89)), grayByte(window->grays[0][0]));
}

TEST(Redaction, RegionsWithoutATextureAreRefusedBeforeAnythingIsDrawn) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Rect& bad : {Rect(nan, 0, 10, 10), Rect(0, 0, 1e300, 10)}) {
        try {
            Exporter::redact(noiseImage(40, 30, 15), {Rect(0, 0, 10, 10), bad}, Style::solid);
            ADD_FAILURE() << "a region without a texture was drawn";
        } catch (const ExportError& error) {
            EXPECT_EQ(error.code(), ExportError::Code::invalidRegion);
        }
    }
}

} // namespace
