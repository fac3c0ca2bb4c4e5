#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Design/ShadowHost.h"
#include "BrindlecastApp/Design/SpringHover.h"
#include "BrindlecastApp/Design/ToolButton.h"

#include "ThemedWindow.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetricsF>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

using namespace BrindlecastApp;

namespace {

void hover(QWidget& widget, bool inside) {
    if (inside) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), widget.mapToGlobal(QPointF(5, 5)));
        QApplication::sendEvent(&widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&widget, &leave);
    }
}

} // namespace

TEST(ToolButton, LooksByState) {
    ThemedWindow themed;
    themed.theme.setAccent(QColor(255, 45, 85));
    const QColor primary = themed.theme.tokens().primaryText();
    struct Case {
        bool active, hovering;
        QColor foreground;
        Tokens::Shadow shadow;
    };
    const Case cases[] = {
        {false, false, primary, {Qt::transparent, 0, 0, 0}},
        {false, true, primary, {Design::black(0.1), 1.5, 0, 1}},
        {true, false, Qt::white, {Design::withOpacity(QColor(255, 45, 85), 0.45), 5, 0, 3}},
        {true, true, Qt::white, {Design::withOpacity(QColor(255, 45, 85), 0.45), 5, 0, 3}}, // active wins
    };
    for (const Case& c : cases) {
        ToolButton button(c.active, {}, IconPainter::glyph(Icon::Glyph::crop, 19), &themed.window);
        hover(button, c.hovering);
        EXPECT_EQ(button.isHovering(), c.hovering);
        EXPECT_EQ(button.foreground(), c.foreground) << c.active << c.hovering;
        EXPECT_EQ(button.shadow(), c.shadow) << c.active << c.hovering;
        EXPECT_EQ(button.size(), QSize(36, 34));
    }
}

TEST(ToolButton, ClickRunsTheActionWithoutChangingActiveAndPressScales) {
    ThemedWindow themed;
    themed.desktop.setReduceMotion(true);
    int clicks = 0;
    auto* button = new ToolButton(false, [&clicks] { ++clicks; }, IconPainter::glyph(Icon::Glyph::cursor, 19),
                                  &themed.window);
    themed.window.show();
    QTest::mousePress(button, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(button->scale(), 0.85);
    QTest::mouseRelease(button, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(button->scale(), 1.0);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(button->isActive());
}

// A pressed button is drawn smaller; its glow must shrink with it rather than stay as a ring
// around the full-size outline.
TEST(ToolButton, PressedButtonsShadowShrinksWithIt) {
    ThemedWindow themed;
    themed.desktop.setReduceMotion(true);
    themed.window.resize(120, 100);
    auto* host = new ShadowHost(&themed.window);
    host->setGeometry(0, 0, 120, 100);
    auto* button = new ToolButton(true, {}, IconPainter::glyph(Icon::Glyph::rectangle, 19), host);
    button->move(40, 30);
    themed.window.show();

    auto glowAt = [&](int x) { return qAlpha(renderAlone(*host).pixel(x, 47)); };
    const int justOutsideAtRest = glowAt(38);
    EXPECT_GT(justOutsideAtRest, 0);

    QTest::mousePress(button, Qt::LeftButton);
    TestSupport::waitUntil([&] { return std::abs(button->drawnScale() - 0.85) < 1e-9; }); // the reduced press animation ends
    ASSERT_DOUBLE_EQ(button->drawnScale(), 0.85);
    EXPECT_EQ(button->shadowShape().boundingRect(), QRectF(2.7, 2.55, 30.6, 28.9));
    EXPECT_DOUBLE_EQ(button->castShadows().value(0).radius, 5 * 0.85);
    EXPECT_LT(glowAt(38), justOutsideAtRest);     // no ghost glow where the full-size edge was
    EXPECT_GT(glowAt(41), 0);                     // and no clear gap between the button and its glow

    QTest::mouseRelease(button, Qt::LeftButton);
    TestSupport::waitUntil([&] { return std::abs(button->drawnScale() - 1) < 1e-9; });
    EXPECT_EQ(glowAt(38), justOutsideAtRest);
}

TEST(ToolButton, ActiveButtonIsFilledWithTheAccent) {
    ThemedWindow themed;
    themed.desktop.setReduceMotion(true);
    ToolButton rest(false, {}, IconPainter::glyph(Icon::Glyph::rectangle, 19), &themed.window);
    ToolButton active(true, {}, IconPainter::glyph(Icon::Glyph::rectangle, 19), &themed.window);
    const QImage restImage = renderAlone(rest);
    const QImage activeImage = renderAlone(active);
    EXPECT_EQ(qAlpha(restImage.pixel(3, 17)), 0);
    const QColor fill = activeImage.pixelColor(3, 17);
    EXPECT_EQ(fill.alpha(), 255);
    EXPECT_GT(fill.blue(), fill.red()); // the default accent is blue
}

TEST(GlassButton, SizeFollowsTitleAndRole) {
    ThemedWindow themed;
    GlassButton plain("Copy", std::nullopt, GlassButton::Role::plain, {}, &themed.window);
    GlassButton prominent("Copy", std::nullopt, GlassButton::Role::prominent, {}, &themed.window);
    GlassButton withSymbol("Copy", QString("doc.on.doc"), GlassButton::Role::plain, {}, &themed.window);
    EXPECT_EQ(plain.sizeHint().height(), 34);
    EXPECT_EQ(withSymbol.sizeHint().height(), 34);
    const double text = QFontMetricsF(plain.titleFont()).horizontalAdvance("Copy");
    EXPECT_NEAR(plain.sizeHint().width(), text + 24, 1);
    EXPECT_GT(prominent.sizeHint().width(), plain.sizeHint().width()); // 15 points of padding, not 12
    EXPECT_GT(withSymbol.sizeHint().width(), plain.sizeHint().width() + 6);
}

TEST(GlassButton, BackgroundAndShadowByRoleSchemeAndHover) {
    struct Case {
        ThemeMode mode;
        GlassButton::Role role;
        QColor rest, hovered;
    };
    const QColor accent(0, 122, 255);
    const Case cases[] = {
        {ThemeMode::light, GlassButton::Role::plain, Design::black(0.05), Design::black(0.1)},
        {ThemeMode::dark, GlassButton::Role::plain, Design::white(0.09), Design::white(0.16)},
        {ThemeMode::light, GlassButton::Role::prominent, accent,
         QColor::fromRgbF(0.05f, (122 / 255.f) + 0.05f, 1.0f)},
    };
    for (const Case& c : cases) {
        ThemedWindow themed(c.mode);
        GlassButton button("Done", std::nullopt, c.role, {}, &themed.window);
        EXPECT_EQ(button.background(), c.rest);
        hover(button, true);
        EXPECT_NEAR(button.background().redF(), c.hovered.redF(), 0.002);
        EXPECT_NEAR(button.background().greenF(), c.hovered.greenF(), 0.002);
        EXPECT_NEAR(button.background().alphaF(), c.hovered.alphaF(), 0.002);
        hover(button, false);
        EXPECT_EQ(button.background(), c.rest);
        const Tokens::Shadow shadow = button.shadow();
        if (c.role == GlassButton::Role::prominent) {
            EXPECT_EQ(shadow, (Tokens::Shadow{Design::withOpacity(accent, 0.4), 6, 0, 4}));
        } else {
            EXPECT_EQ(shadow.color.alpha(), 0);
        }
    }
}

TEST(GlassButton, ClickRunsTheActionEvenWhenItLooksTheSame) {
    ThemedWindow themed;
    int clicks = 0;
    auto* button = new GlassButton("Done", QString("checkmark"), GlassButton::Role::prominent, [&clicks] { ++clicks; },
                                   &themed.window);
    button->resize(button->sizeHint());
    themed.window.show();
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    const QImage enabled = renderAlone(*button);
    button->setEnabled(false);
    EXPECT_EQ(renderAlone(*button), enabled);
}

TEST(SpringHover, ReportsEnterAndLeaveAndDrawsNothingItself) {
    ThemedWindow themed;
    themed.desktop.setReduceMotion(true);
    auto* row = new QWidget(&themed.window);
    row->resize(40, 20);
    const QImage before = renderAlone(*row);
    SpringHover hoverOfRow(row);
    QSignalSpy changes(&hoverOfRow, &SpringHover::hoveringChanged);
    hover(*row, true);
    hover(*row, true); // a second enter is no change
    EXPECT_TRUE(hoverOfRow.hovering());
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(renderAlone(*row), before);
    hover(*row, false);
    EXPECT_FALSE(hoverOfRow.hovering());
    EXPECT_EQ(changes.count(), 2);
}
