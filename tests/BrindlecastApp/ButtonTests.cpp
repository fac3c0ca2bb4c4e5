#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Design/ShadowHost.h"
#include "BrindlecastApp/Design/SpringHover.h"
#include "BrindlecastApp/Design/ToolButton.h"

#include "ThemedWindow.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDeadlineTimer>
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

// Waits, on a loaded machine as long as it takes, for the button's drawn scale to reach `scale`.
bool settlesAt(const ToolButton& button, double scale) {
    QDeadlineTimer deadline(10000);
    const auto there = [&] { return std::abs(button.drawnScale() - scale) < 1e-9; };
    while (!there() && !deadline.hasExpired()) QTest::qWait(10);
    return there();
}

} // namespace

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
    ASSERT_TRUE(settlesAt(*button, 0.85)); // the reduced press animation ends
    EXPECT_EQ(button->shadowShape().boundingRect(), QRectF(2.7, 2.55, 30.6, 28.9));
    EXPECT_DOUBLE_EQ(button->castShadows().value(0).radius, 5 * 0.85);
    EXPECT_LT(glowAt(38), justOutsideAtRest);     // no ghost glow where the full-size edge was
    EXPECT_GT(glowAt(41), 0);                     // and no clear gap between the button and its glow

    QTest::mouseRelease(button, Qt::LeftButton);
    ASSERT_TRUE(settlesAt(*button, 1.0));
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
