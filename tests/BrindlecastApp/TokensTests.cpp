#include "BrindlecastApp/Design/Tokens.h"

#include "ThemedWindow.h"

#include <gtest/gtest.h>

using namespace BrindlecastApp;

TEST(Tokens, SchemesShareEveryFixedValue) {
    const QColor accent = QColor::fromRgb(255, 45, 85);
    const Tokens light(ColorScheme::light, accent);
    Tokens dark(ColorScheme::dark, accent);
    EXPECT_NE(light, dark);
    dark.scheme = ColorScheme::light; // every stored field but the scheme is shared
    EXPECT_EQ(light, dark);

    using Shadow = Tokens::Shadow;
    EXPECT_EQ(light.toggleGreen, QColor(52, 199, 89));
    EXPECT_EQ(light.trafficLights, (Tokens::TrafficLights{QColor(255, 95, 87), QColor(254, 188, 46), QColor(40, 200, 64)}));
    EXPECT_EQ(light.material, (Tokens::Material{40, 1.8}));
    EXPECT_EQ(light.radii, (Tokens::Radii{20, 16, 14, 10, 7}));
    EXPECT_EQ(light.windowShadow, (QList<Shadow>{{Design::black(0.6), 55, 0, 44}, {Design::black(0.28), 17, 0, 12}}));
    EXPECT_EQ(light.toolbarShadow, (Shadow{Design::black(0.45), 27, 0, 22}));
    EXPECT_EQ(light.thumbnailShadow, (Shadow{Design::black(0.65), 27, 0, 22}));
    EXPECT_EQ(light.motion, (Tokens::Motion{Animation::spring(0.18, 0.7), Animation::spring(0.15, 0.55),
                                            Animation::easeOut(0.12), 0.85}));
    EXPECT_EQ(Design::hairline(), Design::white(0.12));
}

TEST(Tokens, SchemeDependentColours) {
    struct Case {
        ColorScheme scheme;
        QColor primary, secondary, matTop, matBottom;
    };
    const Case cases[] = {
        {ColorScheme::light, QColor(29, 29, 31), QColor(76, 76, 82), Design::black(0.02), Design::black(0.05)},
        {ColorScheme::dark, QColor(245, 245, 247), QColor(196, 196, 204), Design::black(0.25), Design::black(0.35)},
    };
    for (const Case& c : cases) {
        const Tokens t(c.scheme, Qt::red);
        EXPECT_EQ(t.primaryText(), c.primary);
        EXPECT_EQ(t.secondaryText(), c.secondary);
        EXPECT_EQ(t.canvasMat().top, c.matTop);
        EXPECT_EQ(t.canvasMat().bottom, c.matBottom);
        const QLinearGradient gradient = t.canvasMat().gradient(QRectF(0, 0, 100, 50));
        EXPECT_EQ(gradient.start(), QPointF(50, 0));
        EXPECT_EQ(gradient.finalStop(), QPointF(50, 50));
        EXPECT_EQ(gradient.stops().size(), 2);
    }
}

TEST(Tokens, PaletteSharesItsBlueAndGreenWithTheAccentAndToggle) {
    const Tokens t(ColorScheme::light, Qt::red);
    ASSERT_EQ(t.applePalette.size(), 15);
    EXPECT_EQ(t.applePalette[7], Theme::defaultAccent());
    EXPECT_EQ(t.applePalette[3], t.toggleGreen);
}

TEST(Tokens, AccentIsKeptUnchanged) {
    const QColor colours[] = {QColor::fromRgbF(0.1f, 0.2f, 0.3f, 0.4f), QColor::fromHsv(200, 40, 90),
                              QColor::fromCmykF(0.1f, 0.5f, 0.2f, 0.0f)};
    for (const QColor& accent : colours) EXPECT_EQ(Tokens(ColorScheme::dark, accent).accent, accent);
}

TEST(ThemedRoot, WidgetsReadTheNearestRootOrTheDefaults) {
    ThemedWindow themed(ThemeMode::dark);
    themed.theme.setAccent(QColor(255, 149, 0));
    auto* leaf = new QWidget(new QWidget(&themed.window));
    QWidget outside;
    EXPECT_EQ(tokensFor(&outside), Tokens(ColorScheme::light, QColor(0, 122, 255)));
    EXPECT_EQ(themeFor(&outside), nullptr);
    EXPECT_EQ(tokensFor(leaf), Tokens(ColorScheme::dark, QColor(255, 149, 0)));
    EXPECT_EQ(themeFor(leaf), &themed.theme);
}

TEST(ThemedRoot, ThemeChangesReachTheTreeAndItsPalette) {
    ThemedWindow themed;
    auto* leaf = new QWidget(&themed.window);
    EXPECT_EQ(leaf->palette().color(QPalette::WindowText), QColor(29, 29, 31));
    themed.theme.setMode(ThemeMode::dark);
    EXPECT_EQ(tokensFor(leaf).scheme, ColorScheme::dark);
    EXPECT_EQ(leaf->palette().color(QPalette::WindowText), QColor(245, 245, 247));
}

TEST(ThemedRoot, AccessibilityWishesApplyOnlyBelowARoot) {
    ThemedWindow themed;
    themed.desktop.setReduceMotion(true);
    themed.desktop.setReduceTransparency(true);
    auto* leaf = new QWidget(&themed.window);
    QWidget outside;
    EXPECT_TRUE(reduceMotionFor(leaf));
    EXPECT_TRUE(reduceTransparencyFor(leaf));
    EXPECT_FALSE(reduceMotionFor(&outside));
    EXPECT_FALSE(reduceTransparencyFor(&outside));
}
