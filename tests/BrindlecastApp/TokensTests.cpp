#include "BrindlecastApp/Design/DesktopSettings.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/Tokens.h"

#include "Support/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QWidget>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

TEST(Tokens, SchemesDifferOnlyInTheSchemeDependentFields) {
    const QColor accent = QColor::fromRgb(255, 45, 85);
    const Tokens light(ColorScheme::light, accent);
    Tokens dark(ColorScheme::dark, accent);
    EXPECT_NE(light, dark);
    dark.scheme = ColorScheme::light; // every stored field but the scheme is shared
    EXPECT_EQ(light, dark);
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
    Support::UserDefaults defaults(TestSupport::makeTemporaryFolder("root") + "/p.json");
    DesktopSettings desktop;
    Theme theme(&defaults, &desktop);
    theme.setMode(ThemeMode::dark);
    theme.setAccent(QColor(255, 149, 0));

    QWidget outside;
    QWidget window;
    auto* middle = new QWidget(&window);
    auto* leaf = new QWidget(middle);
    ThemedRoot::install(&window, &theme, &desktop);

    EXPECT_EQ(tokensFor(&outside), Tokens::defaults());
    EXPECT_EQ(tokensFor(&outside).scheme, ColorScheme::light);
    EXPECT_EQ(tokensFor(&outside).accent, Theme::defaultAccent());
    EXPECT_EQ(themeFor(&outside), nullptr);
    EXPECT_EQ(tokensFor(leaf), Tokens(ColorScheme::dark, QColor(255, 149, 0)));
    EXPECT_EQ(themeFor(leaf), &theme);
}

TEST(ThemedRoot, ThemeChangesReachTheTreeAndItsPalette) {
    Support::UserDefaults defaults(TestSupport::makeTemporaryFolder("root") + "/p.json");
    DesktopSettings desktop;
    Theme theme(&defaults, &desktop);
    theme.setMode(ThemeMode::light);
    QWidget window;
    auto* leaf = new QWidget(&window);
    ThemedRoot::install(&window, &theme, &desktop);
    const QColor lightText = leaf->palette().color(QPalette::WindowText);

    theme.setMode(ThemeMode::dark);
    EXPECT_EQ(tokensFor(leaf).scheme, ColorScheme::dark);
    EXPECT_NE(leaf->palette().color(QPalette::WindowText), lightText);
    EXPECT_EQ(leaf->palette().color(QPalette::WindowText), QColor(245, 245, 247));
}

TEST(ThemedRoot, AccessibilityWishesApplyOnlyBelowARoot) {
    Support::UserDefaults defaults(TestSupport::makeTemporaryFolder("root") + "/p.json");
    DesktopSettings desktop;
    desktop.setReduceMotion(true);
    desktop.setReduceTransparency(true);
    Theme theme(&defaults, &desktop);
    QWidget outside;
    QWidget window;
    auto* leaf = new QWidget(&window);
    ThemedRoot::install(&window, &theme, &desktop);
    EXPECT_TRUE(reduceMotionFor(leaf));
    EXPECT_TRUE(reduceTransparencyFor(leaf));
    EXPECT_FALSE(reduceMotionFor(&outside));
    EXPECT_FALSE(reduceTransparencyFor(&outside));
}
