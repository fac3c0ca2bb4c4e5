#include "BrindlecastApp/Design/Tokens.h"

#include "ThemedWindow.h"

#include <gtest/gtest.h>

using namespace BrindlecastApp;

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
