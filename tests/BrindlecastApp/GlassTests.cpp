#include "BrindlecastApp/Design/Glass.h"
#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/Hairline.h"
#include "BrindlecastApp/Design/ShadowCaster.h"
#include "BrindlecastApp/Design/WindowSurface.h"
#include "BrindlecastApp/Design/PathBuilder.h"

#include "ThemedWindow.h"

#include <QHBoxLayout>
#include <QPainter>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

const Tokens light(ColorScheme::light, Qt::blue);
const Tokens dark(ColorScheme::dark, Qt::blue);

} // namespace

TEST(GlassPanel, ReduceTransparencyMakesThePanelOpaque) {
    for (bool reduce : {false, true}) {
        ThemedWindow themed(ThemeMode::dark);
        themed.desktop.setReduceTransparency(reduce);
        auto* panel = new GlassPanel(GlassVariant::window, std::nullopt, &themed.window);
        panel->resize(120, 80);
        const QImage image = renderAlone(*panel);
        const QColor centre = image.pixelColor(60, 40);
        EXPECT_EQ(centre.alpha() == 255, reduce);
        if (reduce) {
            EXPECT_NEAR(centre.red(), 14, 1);
        }
        // The border shows in both forms.
        EXPECT_GT(image.pixelColor(60, 0).lightness(), centre.lightness());
    }
}

// Over a blur each variant shows its material, which lets the blur through where the plain fill
// (nearly opaque) would hide it; the highlight and border stay.
TEST(Glass, OverABlurTheMaterialStandsInForTheFill) {
    for (const Tokens* t : {&light, &dark}) {
        for (GlassVariant variant : {GlassVariant::window, GlassVariant::toolbar, GlassVariant::popover, GlassVariant::sidebar}) {
            QImage image(80, 60, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            Glass::paintPanel(painter, QRectF(0, 0, 80, 60), variant, *t, 10, Glass::Backdrop::blurred);
            painter.end();
            const QColor centre = image.pixelColor(40, 40);
            const QColor material = Glass::material(variant, *t);
            SCOPED_TRACE(testing::Message() << int(variant) << (t->isDark() ? " dark" : " light"));
            EXPECT_NEAR(centre.alpha(), material.alpha(), 1);
            EXPECT_NEAR(centre.red(), material.red(), 2);
            EXPECT_NEAR(centre.blue(), material.blue(), 2);
            EXPECT_LT(centre.alphaF(), 0.8) << "the blur shows through";
        }
    }
}

// What a see-through window asks to be blurred (and, without a compositor, what it is cut to): its
// rounded outline in device pixels, as x, y, width, height rows.
TEST(WindowSurface, TheOutlineBecomesRowsOfDevicePixels) {
    const QPainterPath outline = continuousRoundedRect(QRectF(0, 0, 100, 60), 14);
    for (const double scale : {1.0, 2.0}) {
        const QRegion region = WindowSurface::regionOf(outline, scale);
        EXPECT_EQ(region.boundingRect(), QRect(0, 0, int(100 * scale), int(60 * scale)));
        EXPECT_TRUE(region.contains(QPoint(int(50 * scale), int(30 * scale))));
        EXPECT_TRUE(region.contains(QPoint(int(50 * scale), 0)) || region.contains(QPoint(int(50 * scale), 1)));
        EXPECT_FALSE(region.contains(QPoint(0, 0))) << "the rounded corner is left out";
        EXPECT_FALSE(region.contains(QPoint(int(100 * scale) - 1, int(60 * scale) - 1)));
        const std::vector<std::uint32_t> value = WindowSurface::blurRegionValue(region);
        ASSERT_EQ(value.size(), size_t(4 * region.rectCount()));
        QRegion back;
        for (size_t i = 0; i < value.size(); i += 4)
            back += QRect(int(value[i]), int(value[i + 1]), int(value[i + 2]), int(value[i + 3]));
        EXPECT_EQ(back, region);
    }
    EXPECT_TRUE(WindowSurface::blurRegionValue(QRegion()).empty());
}

TEST(Glass, TopHighlightWithNoBandDrawsNothing) {
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Glass::paintTopHighlight(painter, QRectF(0, 0, 40, 40), 0, 0.9, 0);
    Glass::paintTopHighlight(painter, QRectF(0, 0, 40, 40), 10, 0.9, 10);
    painter.end();
    EXPECT_GT(qAlpha(image.pixel(20, 0)), 0);  // lit along the top
    EXPECT_EQ(qAlpha(image.pixel(20, 39)), 0); // faded out below the band
}

TEST(ShadowStack, LayersFallBelowTheShapeAndFromEachOther) {
    QImage source(60, 60, QImage::Format_ARGB32_Premultiplied);
    source.fill(Qt::transparent);
    QPainter(&source).fillRect(QRect(20, 10, 20, 20), Qt::white);

    EXPECT_EQ(ShadowPainter::apply(source, {}, 1), source);
    const Tokens::Shadow down{Design::black(0.8), 2, 0, 10};
    const QImage one = ShadowPainter::apply(source, {down}, 1);
    EXPECT_GT(qAlpha(one.pixel(30, 36)), 0); // below the shape
    EXPECT_EQ(qAlpha(one.pixel(30, 5)), 0);  // nothing above it
    EXPECT_EQ(one.pixel(30, 20), source.pixel(30, 20)); // the shape stays on top
    const QImage two = ShadowPainter::apply(source, {down, down}, 1);
    EXPECT_GT(qAlpha(two.pixel(30, 46)), qAlpha(one.pixel(30, 46))); // the second falls from the first
}

TEST(ShadowStack, AnImageAtAScreensScaleKeepsItsScaleAndItsWholeSize) {
    // A card drawn for a screen at 1x, 1.25x or 2x: the stack works on its pixels, not on its
    // size in points, and hands back an image of the same scale with the card where it was.
    for (const double scale : {1.0, 1.25, 2.0}) {
        SCOPED_TRACE(scale);
        QImage source(QSize(100, 80) * scale, QImage::Format_ARGB32_Premultiplied);
        source.setDevicePixelRatio(scale);
        source.fill(Qt::transparent);
        QPainter(&source).fillRect(QRectF(10, 10, 70, 50), Qt::white); // in points
        const QImage shadowed = ShadowPainter::apply(source, {Tokens::Shadow{Design::black(0.5), 4, 0, 6}}, scale);
        EXPECT_EQ(shadowed.devicePixelRatio(), scale);
        EXPECT_EQ(shadowed.size(), source.size());
        // The card's far corner is still the card; the shadow falls under its lower edge.
        const QPoint farCorner = (QPointF(78, 58) * scale).toPoint();
        EXPECT_EQ(shadowed.pixel(farCorner), source.pixel(farCorner));
        EXPECT_GT(qAlpha(shadowed.pixel((QPointF(45, 64) * scale).toPoint())), 0);
        EXPECT_EQ(qAlpha(shadowed.pixel((QPointF(45, 4) * scale).toPoint())), 0);
    }
}

TEST(ShadowStack, ReachIsMeasuredPerSideFromTheOffsets) {
    struct Case {
        const char* what;
        QList<Tokens::Shadow> shadows;
        QMargins reach;
    };
    const Case cases[] = {
        {"none", {}, {}},
        {"a clear layer casts nothing", {{Design::black(0), 20, 0, 10}}, {}},
        {"straight down", {{Design::black(0.45), 27, 0, 22}}, {27, 5, 27, 49}},
        {"an offset past the blur", {{Design::black(0.3), 4, 0, 10}}, {4, 0, 4, 14}},
        {"to the left, a fractional blur", {{Design::black(0.3), 2.5, -4, 0}}, {7, 3, 0, 3}},
        {"two layers add up", {{Design::black(0.6), 55, 0, 44}, {Design::black(0.28), 17, 0, 12}}, {72, 16, 72, 128}},
    };
    for (const Case& c : cases) EXPECT_EQ(ShadowPainter::reach(c.shadows), c.reach) << c.what;
}

TEST(GlassPanel, OnlyTheFirstGlassOfAWindowLiesOnWhatIsBehindIt) {
    // The first glass shows the desktop through its fill where a compositor makes the window
    // see-through; glass on glass shows the glass below.
    ThemedWindow themed(ThemeMode::light);
    auto* window = new GlassPanel(GlassVariant::window, std::nullopt, &themed.window);
    auto* column = new QWidget(window);
    auto* toolbar = new GlassPanel(GlassVariant::toolbar, std::nullopt, column);
    auto* beside = new GlassPanel(GlassVariant::popover, std::nullopt, &themed.window);
    EXPECT_TRUE(window->isWindowsFirstGlass());
    EXPECT_FALSE(toolbar->isWindowsFirstGlass());
    EXPECT_TRUE(beside->isWindowsFirstGlass());
    // A popup window of its own inside that window starts again.
    auto* popup = new QWidget(toolbar, Qt::Popup);
    auto* popover = new GlassPanel(GlassVariant::popover, std::nullopt, popup);
    EXPECT_TRUE(popover->isWindowsFirstGlass());
}
