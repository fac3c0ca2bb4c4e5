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

namespace {

const std::vector<Style> kAllStyles{Style::scramble, Style::blur, Style::solid};

TEST(Redaction, NeverReadsTheCoveredPixels) {
    // The same region over two unrelated images gives the same pixels inside it.
    const QImage a = noiseImage(200, 120, 1);
    const QImage b = noiseImage(200, 120, 2);
    const Rect region(13.3, 21.6, 97.2, 55.1);
    const QRect inside(13, 21, 98, 56); // every pixel the region touches
    for (Style style : kAllStyles) {
        const QImage ra = Exporter::redact(a, {region}, style);
        const QImage rb = Exporter::redact(b, {region}, style);
        EXPECT_TRUE(sameRegion(ra, rb, inside)) << int(style);
        // ...and nothing of either source survives there, not even at the fractional edges.
        for (int y = inside.top(); y <= inside.bottom(); ++y) {
            for (int x = inside.left(); x <= inside.right(); ++x) {
                ASSERT_NE(ra.pixel(x, y), a.pixel(x, y)) << int(style) << " at " << x << "," << y;
                ASSERT_EQ(qAlpha(ra.pixel(x, y)), 255);
            }
        }
    }
}

TEST(Redaction, LeavesEverythingOutsideTheRegionsAlone) {
    const QImage source = noiseImage(160, 100, 3);
    for (Style style : kAllStyles) {
        const QImage result = Exporter::redact(source, {Rect(20, 30, 40, 20), Rect(100, 10, 30, 30)}, style);
        const QRect changed = differingArea(source, result);
        EXPECT_TRUE(QRect(20, 10, 110, 40).contains(changed)) << int(style);
        EXPECT_TRUE(sameRegion(source, result, QRect(0, 50, 160, 50)));
    }
}

TEST(Redaction, SolidIsOpaqueDarkGray) {
    const QImage result = Exporter::redact(noiseImage(50, 50, 4), {Rect(10, 10, 20, 20)}, Style::solid);
    const QRgb expected = qRgb(grayByte(0.08), grayByte(0.08), grayByte(0.08));
    for (int y = 10; y < 30; ++y) {
        for (int x = 10; x < 30; ++x) ASSERT_EQ(result.pixel(x, y), expected);
    }
}

TEST(Redaction, ScrambleRowZeroLiesAtTheRegionsBottomEdge) {
    const int height = 100;
    const Rect region(10, 20, 30, 40); // rows 20..59 of the image
    const QImage result = Exporter::redact(noiseImage(80, height, 5), {region}, Style::scramble);
    const Rect bitmapRect = ExportKit::BitmapCoordinates::toBottomLeft(region, height);
    const auto scramble = RP::scramble(bitmapRect);
    ASSERT_TRUE(scramble);
    // Square (row 0, column 0) touches the region's bottom-left corner: image row 59.
    EXPECT_EQ(qRed(result.pixel(11, 58)), grayByte(scramble->grays[0][0]));
    EXPECT_EQ(qRed(result.pixel(11 + 13, 58)), grayByte(scramble->grays[0][1]));
    EXPECT_EQ(qRed(result.pixel(11, 58 - 13)), grayByte(scramble->grays[1][0]));
    // The top row is cut off by the region's top edge: rows 3 (40 = 3 * 13 + 1).
    EXPECT_EQ(qRed(result.pixel(11, 20)), grayByte(scramble->grays[3][0]));
}

TEST(Redaction, BlurTileRowZeroLiesAtTheBottom) {
    const int height = 400;
    const Rect region(0, 0, 600, 400);
    const QImage result = Exporter::redact(noiseImage(600, height, 6), {region}, Style::blur);
    const auto tile = RP::blurTile(ExportKit::BitmapCoordinates::toBottomLeft(region, height));
    ASSERT_TRUE(tile);
    // Each tile pixel is stretched over 100 x 100; its centre shows the gray itself.
    EXPECT_NEAR(qRed(result.pixel(50, 350)), grayByte((*tile)[0][0]), 1);
    EXPECT_NEAR(qRed(result.pixel(550, 350)), grayByte((*tile)[0][5]), 1);
    EXPECT_NEAR(qRed(result.pixel(50, 50)), grayByte((*tile)[3][0]), 1);
    // Between two tile centres the grays are blended.
    const int left = grayByte((*tile)[0][0]);
    const int right = grayByte((*tile)[0][1]);
    const int middle = qRed(result.pixel(100, 350));
    EXPECT_LE(middle, std::max(left, right));
    EXPECT_GE(middle, std::min(left, right));
}

TEST(Redaction, SameTopLeftRegionOnImagesOfDifferentHeightsGetsDifferentTextures) {
    const Rect region(10, 10, 60, 30);
    const QImage shortOne = Exporter::redact(noiseImage(100, 60, 7), {region}, Style::scramble);
    const QImage tallOne = Exporter::redact(noiseImage(100, 90, 7), {region}, Style::scramble);
    EXPECT_FALSE(sameRegion(shortOne, tallOne, QRect(10, 10, 60, 30)));
}

TEST(Redaction, EmptyListGivesAPixelIdenticalNewImage) {
    QImage source = noiseImage(40, 30, 8).convertToFormat(QImage::Format_RGB32);
    const QImage result = Exporter::redact(source, std::vector<Rect>{}, Style::solid);
    EXPECT_EQ(result.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_NE(result.cacheKey(), source.cacheKey());
    EXPECT_TRUE(samePixels(result.convertToFormat(QImage::Format_RGB32), source));
}

TEST(Redaction, RegionsOutsideTheImageChangeNothing) {
    const QImage source = noiseImage(40, 30, 9);
    for (Style style : kAllStyles) {
        const QImage result = Exporter::redact(source, {Rect(100, 100, 20, 20), Rect(-50, 0, 30, 10)}, style);
        EXPECT_TRUE(samePixels(result, source));
        EXPECT_NE(result.cacheKey(), source.cacheKey());
    }
}

TEST(Redaction, ZeroSizedRegionPaintsNothing) {
    const QImage source = noiseImage(40, 30, 10);
    EXPECT_TRUE(samePixels(Exporter::redact(source, {Rect(10, 10, 0, 0)}, Style::scramble), source));
}

TEST(Redaction, NegativeSizesCoverTheStandardisedArea) {
    const QImage source = noiseImage(60, 60, 11);
    EXPECT_TRUE(samePixels(Exporter::redact(source, {Rect(40, 50, -30, -20)}, Style::scramble),
                           Exporter::redact(source, {Rect(10, 30, 30, 20)}, Style::scramble)));
}

TEST(Redaction, LaterRegionsPaintOverEarlierOnes) {
    const QImage source = noiseImage(60, 60, 12);
    const QImage result = Exporter::redact(source, {Rect(0, 0, 40, 40), Rect(20, 20, 40, 40)}, Style::solid);
    const QImage second = Exporter::redact(source, {Rect(20, 20, 40, 40)}, Style::solid);
    EXPECT_TRUE(sameRegion(result, second, QRect(20, 20, 40, 40)));
}

TEST(Redaction, DetectionsAreRedactedByTheirBoxesInOrder) {
    const QImage source = noiseImage(100, 80, 13);
    const std::vector<DetectionKit::Detection> detections{
        DetectionKit::DetectionTesting::make(Rect(5, 5, 30, 12)),
        DetectionKit::DetectionTesting::make(Rect(20, 10, 50, 30), DetectionKit::PatternAction::blurSuggested)};
    EXPECT_TRUE(samePixels(Exporter::redact(source, detections, Style::blur),
                           Exporter::redact(source, {Rect(5, 5, 30, 12), Rect(20, 10, 50, 30)}, Style::blur)));
}

TEST(Redaction, HugeRegionCoversTheImageWithTheSameTexture) {
    // A region far beyond the image costs only the visible squares, and those squares are the
    // ones the whole mosaic has there.
    const QImage source = noiseImage(120, 90, 14);
    const Rect huge(-1e12, -1e12, 3e12, 3e12);
    const QImage result = Exporter::redact(source, {huge}, Style::scramble);
    const Rect bitmapRect = ExportKit::BitmapCoordinates::toBottomLeft(huge, 90);
    const auto window = RP::scrambleWindow(bitmapRect, Rect(0, 0, 120, 90));
    ASSERT_TRUE(window);
    for (int y = 0; y < 90; ++y) {
        for (int x = 0; x < 120; ++x) ASSERT_NE(result.pixel(x, y), source.pixel(x, y));
    }
    // The pixel at the image's bottom-left corner lies in the window's first row and column
    // only if that square starts there; check it against the square that holds it.
    const double cell = window->cell;
    const auto column = std::int64_t(std::floor((0.5 - bitmapRect.minX()) / cell)) - window->firstColumn;
    const auto row = std::int64_t(std::floor((0.5 - bitmapRect.minY()) / cell)) - window->firstRow;
    EXPECT_EQ(qRed(result.pixel(0, 89)), grayByte(window->grays[std::size_t(row)][std::size_t(column)]));
}

TEST(Redaction, RegionsWithoutATextureAreRefusedAndNothingIsDrawn) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const QImage source = noiseImage(40, 30, 15);
    for (const Rect& bad : {Rect(nan, 0, 10, 10), Rect(0, 0, 1e300, 10),
                            Rect(0, std::numeric_limits<double>::infinity(), 10, 10)}) {
        try {
            Exporter::redact(source, {Rect(0, 0, 10, 10), bad}, Style::solid);
            ADD_FAILURE() << "a region without a texture was drawn";
        } catch (const ExportError& error) {
            EXPECT_EQ(error.code(), ExportError::Code::invalidRegion);
        }
    }
}

TEST(Redaction, FillRedactionRestoresThePainter) {
    QImage canvas = ExportKit::BitmapCoordinates::makeWorkingBitmap(50, 50);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing, true);
    Exporter::fillRedaction(painter, Rect(0, 0, 10, 10), 50, Style::blur);
    EXPECT_FALSE(painter.hasClipping());
    EXPECT_TRUE(painter.testRenderHint(QPainter::Antialiasing));
    EXPECT_FALSE(painter.testRenderHint(QPainter::SmoothPixmapTransform));
    painter.fillRect(QRect(30, 30, 10, 10), Qt::red); // not clipped away
    painter.end();
    EXPECT_EQ(canvas.pixel(35, 35), qRgb(255, 0, 0));
}

} // namespace
