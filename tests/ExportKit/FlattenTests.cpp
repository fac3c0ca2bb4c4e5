#include "ExportKit/Exporter.h"
#include "ImageTestHelpers.h"

#include <gtest/gtest.h>

#include <limits>
#include <numbers>

using namespace ExportKitTests;
using ExportKit::ExportError;
using SidecarKit::Annotation;
using Support::Point;
using Support::Rect;
namespace Exporter = ExportKit::Exporter;

namespace {

Annotation::Style style(QString color, double width, bool outline = false, std::optional<QString> outlineColor = {},
                        bool shadow = false, double opacity = 1.0) {
    return Annotation::Style(std::move(color), width, opacity, outline, std::move(outlineColor), shadow);
}

Annotation make(Annotation::Kind kind, std::int64_t z = 0) { return Annotation(QUuid::createUuid(), z, std::move(kind)); }

QImage blank(int w, int h) { return filledImage(w, h, Qt::transparent); }

QImage flattenOne(const QImage& image, Annotation::Kind kind) { return Exporter::flatten(image, {make(std::move(kind))}); }

TEST(ExportColors, HexStringsParseOrFallBackToOpaqueRed) {
    struct Case {
        const char* hex;
        QColor expected;
    };
    const QColor red = QColor::fromRgbF(1, 0, 0, 1);
    for (const Case& c : {Case{"#FF3B30", QColor(255, 59, 48)}, Case{"FF3B30", QColor(255, 59, 48)},
                          Case{"#ff3b30", QColor(255, 59, 48)}, Case{"#FF3B3080", QColor(255, 59, 48, 128)},
                          Case{"#F00", red}, Case{"", red}, Case{"#FF3B3G", red}, Case{"#FF3B30FF00", red}}) {
        EXPECT_EQ(Exporter::colorFromHex(QString(c.hex)).rgba(), c.expected.rgba()) << c.hex;
    }
    EXPECT_NEAR(Exporter::colorFromHex(u"#FF3B3080").alphaF(), 0.502, 0.001);
    EXPECT_NEAR(Exporter::colorFromHex(u"#FF3B30").greenF(), 0.231, 0.001);
}

TEST(ExportColors, ContrastIsBlackOnlyOverLightColours) {
    struct Case {
        const char* hex;
        QColor expected;
    };
    for (const Case& c : {Case{"#FFD60A", Qt::black}, Case{"#FF3B30", Qt::white}, Case{"#1C1C1E", Qt::white},
                          Case{"#FFFFFF", Qt::black}, Case{"nonsense", Qt::white}}) {
        EXPECT_EQ(Exporter::contrastColorForHex(QString(c.hex)).rgba(), c.expected.rgba()) << c.hex;
    }
}

TEST(ExportColors, OpacityScalesTheColoursOwnAlpha) {
    EXPECT_NEAR(Exporter::effectiveColor(u"#007AFF", 0.5).alphaF(), 0.5, 0.01);
    EXPECT_NEAR(Exporter::effectiveColor(u"#007AFF80", 0.5).alphaF(), 0.25, 0.01);
    EXPECT_EQ(Exporter::effectiveColor(u"#007AFF", 7).alpha(), 255);
    EXPECT_EQ(Exporter::effectiveColor(u"#007AFF", -1).alpha(), 0);
}

TEST(Flatten, EmptyListGivesAPixelIdenticalCopy) {
    const QImage source = noiseImage(64, 48, 21);
    EXPECT_TRUE(samePixels(Exporter::flatten(source, {}), source));
}

TEST(Flatten, UnknownKindsDrawNothing) {
    const QImage source = noiseImage(64, 48, 22);
    const Annotation unknown = make(Annotation::Unknown{"sticker", SidecarKit::JSONValue::null()});
    EXPECT_TRUE(samePixels(Exporter::flatten(source, {unknown}), source));
}

TEST(Flatten, DrawsInAscendingZIndexWithTiesInListOrder) {
    auto filledBox = [](const char* color, Rect rect, std::int64_t z) {
        return make(Annotation::Box{rect, style(color, 0), Annotation::Fill(color, 1), 0}, z);
    };
    const QImage result = Exporter::flatten(blank(100, 100), {
                                                                 filledBox("#FF0000", Rect(10, 10, 50, 50), 1),
                                                                 filledBox("#0000FF", Rect(30, 30, 50, 50), 1),
                                                                 filledBox("#00FF00", Rect(0, 0, 20, 20), 0),
                                                             });
    EXPECT_EQ(result.pixel(40, 40), qRgb(0, 0, 255)); // equal z: the later one wins
    EXPECT_EQ(result.pixel(15, 15), qRgb(255, 0, 0)); // lower z later in the list: drawn first
    EXPECT_EQ(result.pixel(5, 5), qRgb(0, 255, 0));
}

TEST(Flatten, ArrowWingsOpenBackTowardsTheStart) {
    struct Case {
        double width;
        QPointF wingEnd; // one wing's end; the other mirrors it about y = 50
    };
    // Width 1: wings 10 long; width 5: 20 long (4 x width, at least 10).
    for (const Case& c : {Case{1, QPointF(110 - 8.66, 45)}, Case{5, QPointF(110 - 17.32, 40)}}) {
        const QImage result =
            flattenOne(blank(130, 100), Annotation::Arrow{{10, 50}, {110, 50}, style("#000000", c.width), {}});
        for (double mirror : {+1.0, -1.0}) {
            const QPointF end(c.wingEnd.x(), 50 + mirror * (c.wingEnd.y() - 50));
            EXPECT_GT(alphaAt(result, int(end.x()), int(end.y())), 0) << c.width;
            const QPointF beyond = end + (end - QPointF(110, 50)) * (7.0 / std::hypot(end.x() - 110, end.y() - 50));
            EXPECT_EQ(alphaAt(result, int(beyond.x()), int(beyond.y())), 0) << c.width;
        }
        EXPECT_EQ(alphaAt(result, 112 + int(c.width), 50), 0) << "the head is open: nothing past the tip";
    }
}

TEST(Flatten, CurvedArrowsHeadFollowsTheControlPoint) {
    // Straight down from the control point into the tip: the wings rise up-left and up-right.
    const QImage result = flattenOne(
        blank(140, 100), Annotation::Arrow{{10, 60}, {110, 60}, style("#000000", 1), Point{110, 10}});
    EXPECT_GT(alphaAt(result, 105, 51), 0);
    EXPECT_GT(alphaAt(result, 115, 51), 0);
    // Where a head along the start-to-tip line would have put its wings.
    EXPECT_EQ(alphaAt(result, 101, 65), 0);
}

TEST(Flatten, DashedLinesAreTwelveOnAndEightPointEightOffForWidthFour) {
    const QImage result = flattenOne(blank(200, 40), Annotation::Line{{10, 20}, {190, 20}, style("#000000", 4), true});
    // Dash 1 covers 10..22 plus round caps of radius 2; dash 2 starts at 30.8.
    EXPECT_EQ(alphaAt(result, 16, 20), 255);
    EXPECT_EQ(alphaAt(result, 26, 20), 0);
    EXPECT_EQ(alphaAt(result, 36, 20), 255);
    EXPECT_EQ(alphaAt(result, 46, 20), 0); // second gap: 42.8..51.6
    EXPECT_GT(alphaAt(result, 8, 20), 0);  // round cap before the first dash
    EXPECT_EQ(alphaAt(result, 6, 20), 0);
}

TEST(Flatten, OutlineIsDrawnWiderBelowTheStrokeAndCastsTheShadowDownwards) {
    // Width 2 with outline: 5 wide in the outline colour, then 2 wide in the style colour.
    const QImage plain = flattenOne(blank(200, 100), Annotation::Line{{20, 50}, {180, 50}, style("#FF0000", 2, true, "#00FF00"), false});
    EXPECT_EQ(plain.pixel(100, 49), qRgb(255, 0, 0));
    EXPECT_EQ(plain.pixel(100, 50), qRgb(255, 0, 0));
    EXPECT_EQ(plain.pixel(100, 51), qRgb(0, 255, 0));
    EXPECT_EQ(plain.pixel(100, 48), qRgb(0, 255, 0));
    EXPECT_NEAR(alphaAt(plain, 100, 47), 128, 2); // the outline's edge at 47.5
    EXPECT_EQ(alphaAt(plain, 100, 54), 0);

    const QImage shadowed = flattenOne(blank(200, 100), Annotation::Line{{20, 50}, {180, 50}, style("#FF0000", 2, true, "#00FF00", true), false});
    EXPECT_EQ(shadowed.pixel(100, 50), qRgb(255, 0, 0));
    EXPECT_GT(alphaAt(shadowed, 100, 54), alphaAt(shadowed, 100, 45)) << "the shadow falls below the stroke";
    EXPECT_EQ(qRed(shadowed.pixel(100, 55)), 0);
    EXPECT_EQ(qGreen(shadowed.pixel(100, 55)), 0);
}

TEST(Flatten, FilledBoxIsHalfTransparentUnderItsStroke) {
    const QImage result = flattenOne(blank(100, 100), Annotation::Box{Rect(20, 20, 60, 40), style("#FF0000", 2),
                                                                     Annotation::Fill("#007AFF", 0.5), 0});
    EXPECT_NEAR(alphaAt(result, 50, 40), 128, 1);
    EXPECT_EQ(result.pixel(50, 20), qRgb(255, 0, 0)); // the stroke over the fill's edge
    EXPECT_EQ(alphaAt(result, 50, 70), 0);
}

TEST(Flatten, PositiveRotationTurnsClockwiseOnTheImage) {
    // A long thin bar about (50, 50) turned an eighth clockwise: its right end goes down.
    const Annotation::Style thin = style("#000000", 0);
    const Annotation::Fill fill("#000000", 1);
    const QImage clockwise =
        flattenOne(blank(100, 100), Annotation::Box{Rect(10, 48, 80, 4), thin, fill, std::numbers::pi / 4});
    EXPECT_GT(alphaAt(clockwise, 75, 75), 0);
    EXPECT_EQ(alphaAt(clockwise, 75, 25), 0);
    const QImage quarter =
        flattenOne(blank(100, 100), Annotation::Ellipse{Rect(10, 45, 80, 10), thin, fill, std::numbers::pi / 2});
    EXPECT_GT(alphaAt(quarter, 50, 85), 0);
    EXPECT_EQ(alphaAt(quarter, 85, 50), 0);
}

TEST(Flatten, RotatedTextTurnsAboutAPointHalfItsSizeBelowTheOrigin) {
    const auto text = [](double rotation) {
        return Annotation::Text{{100, 100}, "MMMMMM", style("#000000", 20), {}, Annotation::TextAlignment::left, rotation};
    };
    const QImage upright = flattenOne(blank(300, 300), text(0));
    EXPECT_GT(differingArea(upright, blank(300, 300)).right(), 150);
    const QImage turned = flattenOne(blank(300, 300), text(std::numbers::pi / 2));
    const QRect ink = differingArea(turned, blank(300, 300));
    // The run that went right from (100, 100) now goes down from the pivot (100.5, 110).
    EXPECT_GE(ink.left(), 88);
    EXPECT_LE(ink.right(), 113);
    EXPECT_GE(ink.top(), 105);
    EXPECT_GT(ink.bottom(), 150);
}

TEST(Flatten, TextSizeIsTheLineWidthFromSixUpElseSixteen) {
    const auto drawn = [](double lineWidth) {
        return flattenOne(blank(200, 80), Annotation::Text{{10, 10}, "Hg", style("#000000", lineWidth), {},
                                                           Annotation::TextAlignment::left, 0});
    };
    EXPECT_TRUE(samePixels(drawn(4), drawn(16)));
    EXPECT_FALSE(samePixels(drawn(6), drawn(16)));
    EXPECT_GT(differingArea(drawn(24), blank(200, 80)).height(), differingArea(drawn(16), blank(200, 80)).height());
}

TEST(Flatten, TextOriginIsTheBlocksTopLeftCorner) {
    const QImage result = flattenOne(blank(200, 100), Annotation::Text{{40, 30}, "HHH", style("#000000", 20), {},
                                                                       Annotation::TextAlignment::left, 0});
    const QRect ink = differingArea(result, blank(200, 100));
    EXPECT_GE(ink.left(), 40);
    EXPECT_LE(ink.left(), 44);
    EXPECT_GE(ink.top(), 30);
    EXPECT_LE(ink.top(), 40);
}

TEST(Flatten, AlignmentActsWithinTheWidestLine) {
    const auto drawn = [](QString string, Annotation::TextAlignment alignment) {
        return flattenOne(blank(300, 120),
                          Annotation::Text{{20, 10}, std::move(string), style("#000000", 20), {}, alignment, 0});
    };
    // A single line is not moved by its alignment.
    EXPECT_TRUE(samePixels(drawn("Single", Annotation::TextAlignment::left),
                           drawn("Single", Annotation::TextAlignment::right)));
    // Right-aligned, the short first line ends where the long second line ends.
    const QImage right = drawn("ab\nlonger line", Annotation::TextAlignment::right);
    const QRect firstLine = differingArea(right.copy(0, 0, 300, 30), blank(300, 30));
    const QRect whole = differingArea(right, blank(300, 120));
    EXPECT_NEAR(firstLine.right(), whole.right(), 3);
    const QImage left = drawn("ab\nlonger line", Annotation::TextAlignment::left);
    EXPECT_LT(differingArea(left.copy(0, 0, 300, 30), blank(300, 30)).right(), whole.right() - 40);
}

TEST(Flatten, OutlinedTextHasItsOutlineColourAroundTheGlyphs) {
    const QImage result = flattenOne(blank(200, 80), Annotation::Text{{10, 10}, "HH", style("#FFFFFF", 30, true, "#0000FF"),
                                                                      {}, Annotation::TextAlignment::left, 0});
    bool blue = false;
    bool white = false;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 200; ++x) {
            const QRgb p = result.pixel(x, y);
            blue |= p == qRgb(0, 0, 255);
            white |= p == qRgb(255, 255, 255);
        }
    }
    EXPECT_TRUE(blue);
    EXPECT_TRUE(white);
}

TEST(Flatten, BadgeIsAFilledCircleWithItsNumberInWhite) {
    const QImage result = flattenOne(blank(100, 100), Annotation::Badge{{50, 50}, 12, 20, style("#FF0000", 9)});
    EXPECT_EQ(result.pixel(50, 32), qRgb(255, 0, 0));
    EXPECT_EQ(result.pixel(31, 50), qRgb(255, 0, 0));
    EXPECT_EQ(alphaAt(result, 50, 28), 0);
    EXPECT_EQ(alphaAt(result, 34, 34), 0); // outside the circle
    int whiteNearCentre = 0;
    for (int y = 40; y < 60; ++y) {
        for (int x = 38; x < 62; ++x) whiteNearCentre += qRed(result.pixel(x, y)) > 200 && qGreen(result.pixel(x, y)) > 200;
    }
    EXPECT_GT(whiteNearCentre, 10);
}

TEST(Flatten, FreeformIsStrokedNeverFilledAndOnePointDrawsNothing) {
    const std::vector<Point> triangle{{10, 10}, {90, 10}, {50, 90}};
    const QImage open = flattenOne(blank(100, 100), Annotation::Freeform{triangle, style("#000000", 2), false});
    const QImage closed = flattenOne(blank(100, 100), Annotation::Freeform{triangle, style("#000000", 2), true});
    EXPECT_EQ(alphaAt(open, 50, 40), 0);
    EXPECT_EQ(alphaAt(closed, 50, 40), 0);
    EXPECT_EQ(alphaAt(open, 30, 50), 0);   // the closing edge from (50, 90) back to (10, 10)
    EXPECT_GT(alphaAt(closed, 30, 50), 0);
    EXPECT_TRUE(samePixels(flattenOne(blank(50, 50), Annotation::Freeform{{{20, 20}}, style("#000000", 5), false}),
                           blank(50, 50)));
    EXPECT_TRUE(samePixels(flattenOne(blank(50, 50), Annotation::Freeform{{}, style("#000000", 5), false}), blank(50, 50)));
}

TEST(Flatten, BlurAnnotationDrawsWhatTheRedactionDraws) {
    const QImage source = noiseImage(120, 90, 23);
    for (auto redaction : Annotation::allRedactionStyles) {
        const Rect rect(12.4, 17.8, 61.3, 40.2);
        EXPECT_TRUE(samePixels(flattenOne(source, Annotation::Blur{rect, redaction, 0}),
                               Exporter::redact(source, {rect}, redaction)));
    }
}

TEST(Flatten, RotatedBlurCoversTheTurnedRegion) {
    const QImage source = filledImage(100, 100, Qt::white);
    const QImage result = flattenOne(source, Annotation::Blur{Rect(10, 45, 80, 10), Annotation::RedactionStyle::solid,
                                                              std::numbers::pi / 2});
    EXPECT_EQ(result.pixel(50, 15), qRgb(grayByte(0.08), grayByte(0.08), grayByte(0.08)));
    EXPECT_EQ(result.pixel(15, 50), qRgb(255, 255, 255));
}

TEST(Flatten, UnusableGeometryDrawsNothingButUnusableBlursAreRefused) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const QImage source = noiseImage(60, 40, 24);
    EXPECT_TRUE(samePixels(flattenOne(source, Annotation::Arrow{{nan, 0}, {10, 10}, style("#000000", 2), {}}), source));
    EXPECT_TRUE(samePixels(flattenOne(source, Annotation::Box{Rect(0, 0, inf, 10), style("#000000", 2), {}, 0}), source));
    EXPECT_TRUE(samePixels(flattenOne(source, Annotation::Badge{{10, 10}, 3, nan, style("#000000", 2)}), source));
    EXPECT_THROW(flattenOne(source, Annotation::Blur{Rect(nan, 0, 10, 10), Annotation::RedactionStyle::blur, 0}),
                 ExportError);
    EXPECT_THROW(flattenOne(source, Annotation::Blur{Rect(0, 0, 1e300, 10), Annotation::RedactionStyle::blur, 0}),
                 ExportError);
}

TEST(Flatten, GeometryFarBeyondTheImageStaysCheap) {
    // A dashed line a trillion pixels long makes only the dashes near the image.
    const QImage source = blank(100, 50);
    const QImage result =
        flattenOne(source, Annotation::Line{{-1e12, 25}, {1e12, 25}, style("#000000", 2), true});
    EXPECT_GT(alphaAt(result, 0, 25) + alphaAt(result, 3, 25) + alphaAt(result, 6, 25), 0);
    const QImage blurred = flattenOne(noiseImage(100, 50, 25), Annotation::Blur{Rect(-1e13, -1e13, 3e13, 3e13),
                                                                               Annotation::RedactionStyle::scramble, 0});
    EXPECT_EQ(qAlpha(blurred.pixel(50, 25)), 255);
}

} // namespace
