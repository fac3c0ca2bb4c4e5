#include "ExportKit/BitmapCoordinates.h"
#include "ExportKit/Exporter.h"
#include "ImageTestHelpers.h"

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

TEST(Redaction, NeverReadsTheCoveredPixelsAndLeavesTheRestAlone) {
    const QImage a = noiseImage(200, 120, 1);
    const QImage b = noiseImage(200, 120, 2);
    const Rect region(13.3, 21.6, 97.2, 55.1);
    const QRect touched(13, 21, 98, 56); // every pixel the region touches, fractional edges included
    for (Style style : kAllStyles) {
        const QImage ra = Exporter::redact(a, {region}, style);
        EXPECT_TRUE(sameRegion(ra, Exporter::redact(b, {region}, style), touched)) << int(style);
        EXPECT_EQ(differingArea(a, ra), touched) << int(style);
        if (style == Style::solid) {
            EXPECT_EQ(ra.pixel(50, 50), qRgb(grayByte(0.08), grayByte(0.08), grayByte(0.08)));
        }
        for (int y = touched.top(); y <= touched.bottom(); ++y) {
            for (int x = touched.left(); x <= touched.right(); ++x) {
                ASSERT_NE(ra.pixel(x, y), a.pixel(x, y)) << int(style) << " at " << x << "," << y;
            }
        }
    }
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
    const auto [low, high] = std::minmax(grayByte((*tile)[0][0]), grayByte((*tile)[0][1]));
    EXPECT_GE(qRed(result.pixel(100, 350)), low);
    EXPECT_LE(qRed(result.pixel(100, 350)), high);
}

TEST(Redaction, SeedComesFromTheRegionInBottomLeftCoordinates) {
    const Rect region(10, 10, 60, 30);
    const QImage shortOne = Exporter::redact(noiseImage(100, 60, 7), {region}, Style::scramble);
    const QImage tallOne = Exporter::redact(noiseImage(100, 90, 7), {region}, Style::scramble);
    EXPECT_FALSE(sameRegion(shortOne, tallOne, QRect(10, 10, 60, 30)));
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

TEST(Redaction, DetectionsAreRedactedByTheirBoxesInOrder) {
    const QImage source = noiseImage(100, 80, 13);
    const std::vector<DetectionKit::Detection> detections{ExportKitTests::detection(Rect(5, 5, 30, 12)),
                                                          ExportKitTests::detection(Rect(20, 10, 50, 30))};
    EXPECT_TRUE(samePixels(Exporter::redact(source, detections, Style::blur),
                           Exporter::redact(source, {Rect(5, 5, 30, 12), Rect(20, 10, 50, 30)}, Style::blur)));
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
