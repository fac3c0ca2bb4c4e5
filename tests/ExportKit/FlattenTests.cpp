#include "ExportKit/Exporter.h"
#include "ExportKit/Shadow.h"
#include "ImageTestHelpers.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <cmath>
#include <limits>
#include <numbers>

using namespace ExportKitTests;
using ExportKit::ExportError;
using SidecarKit::Annotation;
using Support::Point;
using Support::Rect;
namespace Exporter = ExportKit::Exporter;

namespace {

using Align = Annotation::TextAlignment;

Annotation::Style style(QString color, double width, bool outline = false, std::optional<QString> outlineColor = {},
                        bool shadow = false) {
    return Annotation::Style(std::move(color), width, 1.0, outline, std::move(outlineColor), shadow);
}
Annotation make(Annotation::Kind kind, std::int64_t z = 0) { return Annotation(QUuid::createUuid(), z, std::move(kind)); }
QImage blank(int w, int h) { return filledImage(w, h, Qt::transparent); }
QImage flattenOne(const QImage& image, Annotation::Kind kind) { return Exporter::flatten(image, {make(std::move(kind))}); }
QImage text(int w, int h, Annotation::Text t) { return flattenOne(blank(w, h), std::move(t)); }

TEST(ExportColors, ParseContrastAndOpacity) {
    const QColor red(255, 0, 0);
    for (const auto& [hex, expected] : std::vector<std::pair<QString, QColor>>{
             {"#FF3B30", QColor(255, 59, 48)}, {"ff3b30", QColor(255, 59, 48)}, {"#FF3B3080", QColor(255, 59, 48, 128)},
             {"#F00", red}, {"", red}, {"#FF3B3G", red}}) {
        EXPECT_EQ(Exporter::colorFromHex(hex).rgba(), expected.rgba()) << hex.toStdString();
    }
    for (const auto& [hex, expected] : std::vector<std::pair<QString, QColor>>{
             {"#FFD60A", Qt::black}, {"#FF3B30", Qt::white}, {"#1C1C1E", Qt::white}}) {
        EXPECT_EQ(Exporter::contrastColorForHex(hex).rgba(), expected.rgba()) << hex.toStdString();
    }
    EXPECT_NEAR(Exporter::effectiveColor(u"#007AFF80", 0.5).alphaF(), 0.25, 0.01);
}

TEST(Flatten, NothingDrawableGivesAPixelIdenticalCopy) {
    const QImage source = noiseImage(64, 48, 22);
    EXPECT_TRUE(samePixels(Exporter::flatten(source, {}), source));
    EXPECT_TRUE(samePixels(flattenOne(source, Annotation::Unknown{"sticker", SidecarKit::JSONValue::null()}), source));
    EXPECT_TRUE(samePixels(flattenOne(source, Annotation::Freeform{{{20, 20}}, style("#000000", 5), false}), source));
}

TEST(Flatten, DrawsInAscendingZIndexWithTiesInListOrder) {
    auto box = [](const char* color, Rect rect, std::int64_t z) {
        return make(Annotation::Box{rect, style(color, 0), Annotation::Fill(color, 1), 0}, z);
    };
    const QImage result = Exporter::flatten(blank(100, 100), {box("#FF0000", Rect(10, 10, 50, 50), 1),
                                                              box("#0000FF", Rect(30, 30, 50, 50), 1),
                                                              box("#00FF00", Rect(0, 0, 20, 20), 0)});
    EXPECT_EQ(result.pixel(40, 40), qRgb(0, 0, 255)); // equal z: the later one wins
    EXPECT_EQ(result.pixel(15, 15), qRgb(255, 0, 0)); // lower z later in the list: drawn first
    const QImage half = flattenOne(blank(100, 100), Annotation::Box{Rect(20, 20, 60, 40), style("#FF0000", 2),
                                                                   Annotation::Fill("#007AFF", 0.5), 0});
    EXPECT_NEAR(alphaAt(half, 50, 40), 128, 1);
    EXPECT_EQ(half.pixel(50, 20), qRgb(255, 0, 0)); // the stroke over the fill
}

TEST(Flatten, ArrowWingsAreFourTimesTheWidthAtLeastTenAndOpenBackwards) {
    // From (10, 50) to (110, 50): wing ends at (110 - L cos 30deg, 50 -+ L / 2).
    for (const auto& [width, length] : std::vector<std::pair<double, double>>{{1, 10}, {5, 20}}) {
        const QImage result = flattenOne(blank(130, 100), Annotation::Arrow{{10, 50}, {110, 50}, style("#000000", width), {}});
        for (double side : {-1.0, 1.0}) {
            const QPointF end(110 - length * 0.866, 50 + side * length / 2);
            const QPointF beyond = end + (end - QPointF(110, 50)) * (7.0 / length);
            EXPECT_GT(alphaAt(result, int(end.x()), int(end.y())), 0) << width;
            EXPECT_EQ(alphaAt(result, int(beyond.x()), int(beyond.y())), 0) << width;
        }
        EXPECT_EQ(alphaAt(result, 112 + int(width), 50), 0) << "the head is open";
    }
}

TEST(Flatten, CurvedArrowsHeadFollowsTheControlPoint) {
    // Straight down from the control point into the tip: the wings rise up-left and up-right.
    const QImage result =
        flattenOne(blank(140, 100), Annotation::Arrow{{10, 60}, {110, 60}, style("#000000", 1), Point{110, 10}});
    EXPECT_GT(alphaAt(result, 105, 51), 0);
    EXPECT_GT(alphaAt(result, 115, 51), 0);
    EXPECT_EQ(alphaAt(result, 101, 65), 0); // where a head along start-to-tip would be
}

TEST(Flatten, DashedLinesAreTwelveOnAndEightPointEightOffForWidthFour) {
    const QImage result = flattenOne(blank(200, 40), Annotation::Line{{10, 20}, {190, 20}, style("#000000", 4), true});
    // Dashes 10..22 and 30.8..42.8, each with round caps of radius 2.
    for (const auto& [x, inked] : std::vector<std::pair<int, bool>>{
             {6, false}, {8, true}, {16, true}, {26, false}, {36, true}, {46, false}}) {
        EXPECT_EQ(alphaAt(result, x, 20) > 0, inked) << x;
    }
}

TEST(Flatten, OutlineIsDrawnWiderBelowTheStrokeAndCastsTheShadowDownwards) {
    // Width 2 with outline: 5 wide (47.5..52.5) in the outline colour, then 2 wide in the style colour.
    const Annotation::Line line{{20, 50}, {180, 50}, style("#FF0000", 2, true, "#00FF00"), false};
    const QImage plain = flattenOne(blank(200, 100), line);
    for (const auto& [y, color] : std::vector<std::pair<int, QRgb>>{
             {48, qRgb(0, 255, 0)}, {49, qRgb(255, 0, 0)}, {50, qRgb(255, 0, 0)}, {51, qRgb(0, 255, 0)}, {54, 0}}) {
        EXPECT_EQ(plain.pixel(100, y), color) << y;
    }
    EXPECT_NEAR(alphaAt(plain, 100, 47), 128, 2);
    Annotation::Line shadowed = line;
    shadowed.style.shadow = true;
    const QImage withShadow = flattenOne(blank(200, 100), shadowed);
    EXPECT_GT(alphaAt(withShadow, 100, 54), alphaAt(withShadow, 100, 45)) << "offset 2 pixels down";
    EXPECT_EQ(withShadow.pixel(100, 55) & 0xFFFFFF, 0u) << "the shadow is black";
}

TEST(Flatten, PositiveRotationTurnsClockwiseOnTheImage) {
    const Annotation::Fill fill("#000000", 1);
    // A thin bar about (50, 50) turned an eighth clockwise: its right end goes down.
    const QImage box = flattenOne(blank(100, 100), Annotation::Box{Rect(10, 48, 80, 4), style("#000000", 0), fill,
                                                                  std::numbers::pi / 4});
    EXPECT_GT(alphaAt(box, 75, 75), 0);
    EXPECT_EQ(alphaAt(box, 75, 25), 0);
    const QImage blur = flattenOne(filledImage(100, 100, Qt::white),
                                   Annotation::Blur{Rect(10, 45, 80, 10), Annotation::RedactionStyle::solid,
                                                    std::numbers::pi / 2});
    EXPECT_NE(blur.pixel(50, 15), qRgb(255, 255, 255));
    EXPECT_EQ(blur.pixel(15, 50), qRgb(255, 255, 255));
}

TEST(Flatten, TextOriginIsTheTopLeftAndRotationTurnsAboutHalfTheSizeBelowIt) {
    const QRect upright = differingArea(text(300, 300, {{100, 100}, "MMMMMM", style("#000000", 20), {}, Align::left, 0}),
                                        blank(300, 300));
    EXPECT_NEAR(upright.left(), 101, 2);
    EXPECT_NEAR(upright.top(), 104, 4);
    EXPECT_GT(upright.right(), 150);
    // The run that went right from (100, 100) now goes down from the pivot (100.5, 110).
    const QRect turned = differingArea(
        text(300, 300, {{100, 100}, "MMMMMM", style("#000000", 20), {}, Align::left, std::numbers::pi / 2}),
        blank(300, 300));
    EXPECT_GE(turned.left(), 88);
    EXPECT_LE(turned.right(), 113);
    EXPECT_GE(turned.top(), 105);
    EXPECT_GT(turned.bottom(), 150);
}

TEST(Flatten, TextSizeIsTheLineWidthFromSixUpElseSixteenAndUnknownFontsFallBack) {
    const auto drawn = [](double lineWidth, std::optional<QString> family = {}) {
        return text(200, 80, {{10, 10}, "Hg", style("#000000", lineWidth), std::move(family), Align::left, 0});
    };
    EXPECT_TRUE(samePixels(drawn(4), drawn(16)));
    EXPECT_FALSE(samePixels(drawn(6), drawn(16)));
    EXPECT_TRUE(samePixels(drawn(24, QString("No Such Font Family")), drawn(24)));
}

TEST(Flatten, AlignmentActsWithinTheWidestLine) {
    const auto drawn = [](QString string, Align alignment) {
        return text(300, 120, {{20, 10}, std::move(string), style("#000000", 20), {}, alignment, 0});
    };
    EXPECT_TRUE(samePixels(drawn("Single", Align::left), drawn("Single", Align::right)));
    const QImage right = drawn("ab\nlonger line", Align::right);
    const int wholeRight = differingArea(right, blank(300, 120)).right();
    EXPECT_NEAR(differingArea(right.copy(0, 0, 300, 30), blank(300, 30)).right(), wholeRight, 3);
    const QImage left = drawn("ab\nlonger line", Align::left);
    EXPECT_LT(differingArea(left.copy(0, 0, 300, 30), blank(300, 30)).right(), wholeRight - 40);
}

TEST(Flatten, BadgeIsAFilledCircleWithItsNumberInWhite) {
    const QImage result = flattenOne(blank(100, 100), Annotation::Badge{{50, 50}, 12, 20, style("#FF0000", 9)});
    EXPECT_EQ(result.pixel(50, 32), qRgb(255, 0, 0));
    EXPECT_EQ(alphaAt(result, 50, 28), 0);
    EXPECT_EQ(alphaAt(result, 34, 34), 0);
    int white = 0;
    for (int y = 40; y < 60; ++y) {
        for (int x = 38; x < 62; ++x) white += qGray(result.pixel(x, y)) > 200;
    }
    EXPECT_GT(white, 10);
}

TEST(Flatten, BlurAnnotationDrawsWhatTheRedactionDraws) {
    const QImage source = noiseImage(120, 90, 23);
    const Rect rect(12.4, 17.8, 61.3, 40.2);
    for (auto redaction : Annotation::allRedactionStyles) {
        EXPECT_TRUE(samePixels(flattenOne(source, Annotation::Blur{rect, redaction, 0}),
                               Exporter::redact(source, {rect}, redaction)));
    }
}

TEST(Flatten, UnusableGeometryDrawsNothingButUnusableBlursAreRefused) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const QImage source = noiseImage(60, 40, 24);
    EXPECT_TRUE(samePixels(flattenOne(source, Annotation::Arrow{{nan, 0}, {10, 10}, style("#000000", 2), {}}), source));
    EXPECT_TRUE(samePixels(flattenOne(source, Annotation::Badge{{10, 10}, 3, nan, style("#000000", 2)}), source));
    for (const Rect& bad : {Rect(nan, 0, 10, 10), Rect(0, 0, 1e300, 10)}) {
        EXPECT_THROW(flattenOne(source, Annotation::Blur{bad, Annotation::RedactionStyle::blur, 0}), ExportError);
    }
}

TEST(Flatten, AnUndrawableBlurIsRefusedEvenBeneathAMarkThatHidesIt) {
    const QImage source = noiseImage(60, 40, 25);
    const Annotation cover = make(Annotation::Line{{30, 20}, {31, 20}, style("#000000", 140), false}, 1);
    const Annotation blur = make(Annotation::Blur{Rect(std::numeric_limits<double>::infinity(), 0, 10, 10),
                                                  Annotation::RedactionStyle::solid, 0});
    EXPECT_THROW(Exporter::flatten(source, {blur, cover}), ExportError);
    EXPECT_TRUE(samePixels(Exporter::flatten(source, {make(Annotation::Text{{5, 5}, "Wg", style("#FF0000", 20), {}, Align::left, 0}), cover}),
                           filledImage(60, 40, Qt::black)));
}

TEST(Flatten, SizesBeyondTwiceTheDiagonalDrawAsAtTwiceTheDiagonal) {
    // A damaged document's sizes: the image shows nothing a size of twice its diagonal would not
    // (a text size of 1e7 took minutes to draw). 60 x 40 pixels: twice the diagonal is 144.2.
    const double bound = 2 * std::hypot(60.0, 40.0);
    const auto drawn = [](double size) {
        const Annotation::Style decorated = style("#FF3B30", size, true, "#00FF00", true);
        return std::vector<std::pair<const char*, Annotation::Kind>>{
            {"text", Annotation::Text{{5, 5}, "Wg", decorated, std::nullopt, Align::left, 0}},
            {"badge", Annotation::Badge{{30, 20}, 7, size, style("#007AFF", 2)}},
            {"box", Annotation::Box{Rect(10, 10, 30, 15), decorated, std::nullopt, 0.3}},
            {"arrow", Annotation::Arrow{{5, 35}, {50, 8}, decorated, Point{40, 40}}},
            {"dashed line", Annotation::Line{{-20, 30}, {80, 10}, decorated, true}},
        };
    };
    const auto hostile = drawn(1e7);
    const auto bounded = drawn(bound);
    for (std::size_t i = 0; i < hostile.size(); ++i) {
        const QImage background = noiseImage(60, 40, 36);
        EXPECT_TRUE(samePixels(flattenOne(background, hostile[i].second), flattenOne(background, bounded[i].second)))
            << hostile[i].first;
    }
}

// `small` flattened, and the same pixels flattened at the left of a wider image: marks that cover
// all of `small` are drawn there as one colour, and what they hide is skipped, while on the wider
// image, which they do not cover, they go through strokes, layers and shadows. (The height stays:
// redaction textures follow the image's height.)
std::pair<QImage, QImage> flattenedAloneAndInCorner(const QImage& small, const std::vector<Annotation>& annotations) {
    QImage large = noiseImage(small.width() * 15, small.height(), 91);
    {
        QPainter painter(&large);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, small);
    }
    return {Exporter::flatten(small, annotations),
            Exporter::flatten(large, annotations).copy(QRect(QPoint(0, 0), small.size()))};
}

// The largest difference of any channel between two images of one size.
int largestDifference(const QImage& a, const QImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    }
    return largest;
}

TEST(Flatten, MarksOverTheWholeImageDrawAsOnALargerImage) {
    // 16 x 12 pixels, every corner within 10 of (8, 6): a round stroke 30 wide through there
    // covers it, with 3 pixels to spare.
    const QImage small = noiseImage(16, 12, 37);
    const auto wide = [](QString color, bool outline = false, std::optional<QString> outlineColor = {}, bool shadow = false) {
        return style(std::move(color), 30, outline, std::move(outlineColor), shadow);
    };
    const Annotation::Line across{{8, 6}, {9, 7}, wide("#FF3B30"), false};
    const std::vector<Annotation> beneath{
        make(Annotation::Text{{2, 2}, "Wg", style("#000000", 12, true, {}, true), {}, Align::left, 0.2}),
        make(Annotation::Blur{Rect(1, 1, 10, 6), Annotation::RedactionStyle::blur, 0}),
        make(Annotation::Box{Rect(3, 3, 8, 5), style("#007AFF", 2), Annotation::Fill("#007AFF", 0.5), 0}),
    };
    const auto over = [&](Annotation::Kind top) {
        std::vector<Annotation> document = beneath;
        document.push_back(make(std::move(top)));
        return document;
    };
    const std::vector<std::pair<const char*, std::vector<Annotation>>> cases{
        {"opaque stroke", {make(across)}},
        {"stroke just short of the corners", {make(Annotation::Line{{8, 6}, {9, 7}, style("#FF3B30", 19.6), false})}},
        {"translucent stroke", {make(Annotation::Line{{8, 6}, {9, 7}, wide("#FF3B3080"), false})}},
        {"translucent stroke and its shadow", {make(Annotation::Freeform{{{8, 6}, {9, 6}, {9, 7}}, wide("#34C75980", false, {}, true), false})}},
        {"opaque outline hiding its shadow", {make(Annotation::Arrow{{8, 6}, {9, 7}, wide("#34C75980", true, {}, true), {}})}},
        {"translucent outline and its shadow", {make(Annotation::Line{{8, 6}, {9, 7}, wide("#FF3B3080", true, "#FFFFFF80", true), false})}},
        {"turned box", {make(Annotation::Box{Rect(7, 5, 2, 2), wide("#FF9500C0"), Annotation::Fill("#007AFF", 0.5), 0.4})}},
        {"beneath an opaque stroke", over(across)},
        {"beneath an opaque turned fill",
         over(Annotation::Box{Rect(-20, -20, 56, 52), style("#000000", 1), Annotation::Fill("#AF52DE", 1), 0.1})},
        {"beneath an opaque ellipse", over(Annotation::Ellipse{Rect(-12, -14, 40, 40), style("#000000", 1), Annotation::Fill("#AF52DE", 1), 0})},
        {"beneath an opaque badge", over(Annotation::Badge{{8, 6}, 4, 14, style("#FF3B30", 2)})},
        {"beneath a translucent stroke", over(Annotation::Line{{8, 6}, {9, 7}, wide("#FF3B3080", false, {}, true), false})},
    };
    for (const auto& [name, document] : cases) {
        const auto [alone, inCorner] = flattenedAloneAndInCorner(small, document);
        EXPECT_TRUE(samePixels(alone, inCorner)) << name;
        EXPECT_FALSE(samePixels(alone, small)) << name;
    }
}

TEST(Flatten, StrokesAndGlyphsWiderThanTheImageDrawCloseToUncut) {
    // Wider than the 72-pixel diagonal of the small image, they are drawn there as their outlines
    // cut down to it; on the wider image as they are. Only the flattening of curves differs.
    const QImage small = noiseImage(60, 40, 38);
    const std::vector<std::pair<const char*, Annotation::Kind>> cases{
        {"stroke", Annotation::Line{{-60, -40}, {-50, 70}, style("#FF3B30", 100, true, {}, false), false}},
        {"text", Annotation::Text{{-24, -24}, "Wg", style("#007AFF", 100, true, "#FFFFFF"), {}, Align::left, 0.3}},
        {"badge", Annotation::Badge{{15, 70}, 8, 80, style("#FF3B30", 2)}},
    };
    for (const auto& [name, kind] : cases) {
        const auto [alone, inCorner] = flattenedAloneAndInCorner(small, {make(kind)});
        EXPECT_FALSE(samePixels(alone, small)) << name;
        EXPECT_LE(largestDifference(alone, inCorner), 24) << name;
    }
}

TEST(Shadow, WideBlursStayWithinAFewLevelsOfBlurringEveryPixel) {
    // A blur radius of 80 is worked out on a coarser grid; the same shadow blurred at every
    // pixel (of a mask with room around it) is the reference.
    const QRect mark(60, 50, 120, 40);
    const QPoint offset(0, 24);
    QImage drawn = blank(300, 220);
    {
        QPainter painter(&drawn);
        const ExportKit::Shadow::Parameters shadow{offset, 80, QColor::fromRgbF(0, 0, 0, 0.4f)};
        ExportKit::Shadow::paintWithShadow(painter, shadow, mark, [&](QPainter& p) { p.fillRect(mark, Qt::black); });
    }
    constexpr int kRoom = 200;
    QImage coverage(drawn.width() + 2 * kRoom, drawn.height() + 2 * kRoom, QImage::Format_Alpha8);
    coverage.fill(0);
    for (int y = mark.top(); y <= mark.bottom(); ++y) {
        std::fill_n(coverage.scanLine(y + kRoom) + mark.left() + kRoom, mark.width(), uchar(255));
    }
    ExportKit::Shadow::blurAlpha(coverage, 40);
    int largest = 0;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            if (mark.contains(x, y)) continue;
            const int blurred = coverage.constScanLine(y - offset.y() + kRoom)[x - offset.x() + kRoom];
            largest = std::max(largest, std::abs(alphaAt(drawn, x, y) - (102 * blurred + 127) / 255));
        }
    }
    EXPECT_LE(largest, 4);
    EXPECT_GT(alphaAt(drawn, 120, 100), 20) << "the shadow is there, below the mark";
}

TEST(Flatten, MarksFarOffTheImageLeaveItUntouchedAndStayCheap) {
    const QImage source = blank(120, 80);
    for (double far : {1e7, 3e9, 1e15, -1e7, -1e15}) {
        const std::vector<Annotation> marks{
            make(Annotation::Text{{far, 20}, "far", style("#FF0000", 20, true, {}, true), {}, Align::left, 0.3}),
            make(Annotation::Badge{{far, far}, 7, 30, style("#FF0000", 2)}),
            make(Annotation::Box{Rect(far, 10, 50, 50), style("#FF0000", 4, true, {}, true), Annotation::Fill("#FF0000", 1), 0.5}),
            make(Annotation::Arrow{{far, far}, {far + 100, far}, style("#FF0000", 4, true, {}, true), Point{far, 0}}),
        };
        EXPECT_TRUE(samePixels(Exporter::flatten(source, marks), source)) << far;
    }
    // A dashed line a trillion pixels long makes only the dashes near the image.
    const QImage line = flattenOne(source, Annotation::Line{{-1e15, 25}, {1e15, 25}, style("#000000", 2), true});
    EXPECT_FALSE(differingArea(source, line).isEmpty());
    // Dashes far below a pixel, far from the origin, where adding one period no longer moves a double.
    const Annotation::Line fine{{-9e15, 25}, {9e15, 25}, style("#000000", 1e-9), true};
    EXPECT_EQ(flattenOne(source, fine).size(), source.size());
}

} // namespace
