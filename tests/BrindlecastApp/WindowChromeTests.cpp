#include "BrindlecastApp/Design/ToolTip.h"
#include "BrindlecastApp/Design/Compositor.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Design/Window/TrafficLightButton.h"
#include "BrindlecastApp/Design/Window/TrafficLights.h"
#include "BrindlecastApp/Design/Window/WindowDragArea.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

QPointF centreOf(int index, const QSizeF& size, double strip, double inset) {
    return TrafficLights::targetOrigin(index, size, strip, inset) + QPointF(size.width() / 2, size.height() / 2);
}

void sendMouse(QWidget* target, QEvent::Type type, const QPoint& local, Qt::MouseButtons buttons) {
    const QPointF global = target->mapToGlobal(QPointF(local));
    QMouseEvent event(type, QPointF(local), global, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

TEST(TrafficLights, CentresLieOnTheStripLine) {
    struct Case {
        double strip, inset;
        double firstX, y;
    };
    const Case cases[] = {{46, 8, 31, 31}, {46, 0, 23, 23}, {44, 0, 22, 22}};
    for (const Case& c : cases) {
        for (const QSizeF size : {QSizeF(12, 12), QSizeF(14, 16)}) {
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(centreOf(k, size, c.strip, c.inset), QPointF(c.firstX + 20 * k, c.y))
                    << c.strip << "/" << c.inset << " button " << k;
            }
        }
    }
}

TEST(TrafficLights, OnePointOffStillCountsAsAligned) {
    const QSizeF size(12, 12);
    auto frameAt = [&](int k, QPointF offset) {
        return std::optional<QRectF>(QRectF(TrafficLights::targetOrigin(k, size, 46, 8) + offset, size));
    };
    struct Case {
        QPointF offset;
        bool aligned;
    };
    const Case cases[] = {{{0, 0}, true}, {{1, 0}, true}, {{0, -1}, true}, {{1, 1}, true},
                          {{1.5, 0}, false}, {{0, 1.5}, false}, {{-1.01, 0}, false}};
    for (const Case& c : cases) {
        const TrafficLights::Frames frames{frameAt(0, {}), frameAt(1, c.offset), frameAt(2, {})};
        EXPECT_EQ(TrafficLights::aligned(frames, 46, 8), c.aligned) << c.offset.x() << "," << c.offset.y();
    }
    // Missing buttons are skipped: a window without a zoom button, or without any.
    EXPECT_TRUE(TrafficLights::aligned(TrafficLights::Frames{frameAt(0, {}), frameAt(1, {}), std::nullopt}, 46, 8));
    EXPECT_TRUE(TrafficLights::aligned(TrafficLights::Frames{}, 46, 8));
}

TEST(TrafficLights, AlignMovesOnlyButtonsThatAreOff) {
    QWidget container;
    QWidget close(&container), minimize(&container);
    close.setFixedSize(12, 12);
    minimize.setFixedSize(12, 12);
    QWidget orphan; // no parent: skipped
    const TrafficLights::Buttons buttons{&close, &minimize, &orphan};
    EXPECT_EQ(TrafficLights::align(buttons, 46, 0), 2);
    EXPECT_EQ(close.pos(), QPoint(17, 17));
    EXPECT_EQ(minimize.pos(), QPoint(37, 17));
    EXPECT_EQ(TrafficLights::align(buttons, 46, 0), 0); // already in place: no frame is set
    EXPECT_TRUE(TrafficLights::aligned(buttons, 46, 0));
    const TrafficLights::Buttons withMissing{&close, nullptr, nullptr};
    EXPECT_EQ(TrafficLights::align(withMissing, 46, 8), 1);
    EXPECT_EQ(close.pos(), QPoint(25, 25));
}

TEST(EditorWindowChrome, ButtonsFollowInsetResizeAndStateChanges) {
    EditorWindowChrome window;
    window.resize(600, 400);
    window.show();
    const auto buttons = window.trafficLightButtons();
    EXPECT_TRUE(TrafficLights::aligned(buttons, 46, 0));
    EXPECT_EQ(QRectF(buttons[0]->geometry()).center(), QPointF(23, 23));

    window.setCornerInset(8); // hiding the sidebar changes the inset: the buttons move at once
    EXPECT_TRUE(TrafficLights::aligned(buttons, 46, 8));
    EXPECT_EQ(buttons[2]->x(), 71 - 6);

    buttons[1]->move(300, 300); // something moved one away; the next resize puts it back
    window.resize(640, 420);
    EXPECT_TRUE(TrafficLights::aligned(buttons, 46, 8));
}

// The pointer over any button, or over the gaps between them, shows all three marks.
TEST(EditorWindowChrome, HoveringTheGroupShowsEveryMark) {
    EditorWindowChrome window;
    window.resize(400, 300);
    window.show();
    const auto buttons = window.trafficLightButtons();
    TrafficLightGroup* group = window.trafficLightGroup();
    auto marks = [&] {
        QList<bool> shown;
        for (QWidget* b : buttons) shown << static_cast<TrafficLightButton*>(b)->showsMark();
        return shown;
    };
    auto send = [](QWidget* target, QEvent::Type type) {
        if (type == QEvent::Enter) {
            QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), target->mapToGlobal(QPointF(1, 1)));
            QApplication::sendEvent(target, &enter);
        } else {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(target, &leave);
        }
    };
    EXPECT_EQ(group->geometry(), QRect(17, 17, 52, 12));
    EXPECT_EQ(marks(), (QList<bool>{false, false, false}));
    send(group, QEvent::Enter); // into the gap first
    EXPECT_EQ(marks(), (QList<bool>{true, true, true}));
    send(group, QEvent::Leave); // from the gap onto the minimise button
    send(buttons[1], QEvent::Enter);
    EXPECT_EQ(marks(), (QList<bool>{true, true, true}));
    send(buttons[1], QEvent::Leave); // out of the group altogether
    EXPECT_EQ(marks(), (QList<bool>{false, false, false}));
}

TEST(EditorWindowChrome, InactiveWindowsButtonsAreGreyUntilHovered) {
    EditorWindowChrome window;
    window.resize(400, 300);
    window.show();
    QWidget other;
    other.show();
    auto* close = static_cast<TrafficLightButton*>(window.trafficLightButtons()[0]);
    auto* zoom = static_cast<TrafficLightButton*>(window.trafficLightButtons()[2]);
    QApplication::setActiveWindow(&window);
    EXPECT_EQ(close->fillColor(), QColor(255, 95, 87));
    EXPECT_EQ(zoom->fillColor(), QColor(40, 200, 64));
    QApplication::setActiveWindow(&other);
    for (TrafficLightButton* b : {close, zoom}) {
        const QColor grey = b->fillColor();
        EXPECT_TRUE(grey.red() == grey.green() && grey.green() == grey.blue()) << grey.name().toStdString();
        const QImage drawn = b->grab().toImage();
        EXPECT_EQ(QColor(drawn.pixel(6, 6)), grey);
    }
    close->setShowsMark(true); // the pointer over the group brings the colours back
    EXPECT_EQ(close->fillColor(), QColor(255, 95, 87));
}

TEST(EditorWindowChrome, ButtonToolTipsUseTheDesignLook) {
    EditorWindowChrome window;
    window.resize(400, 300);
    window.show();
    const QStringList expected{"Close", "Minimize", "Zoom"};
    for (int k = 0; k < 3; ++k) {
        QWidget* button = window.trafficLightButtons()[size_t(k)];
        QHelpEvent help(QEvent::ToolTip, QPoint(6, 6), button->mapToGlobal(QPoint(6, 6)));
        QApplication::sendEvent(button, &help);
        ToolTip* tip = ToolTip::visibleTip();
        ASSERT_NE(tip, nullptr);
        EXPECT_EQ(tip->text(), expected[k]);
        EXPECT_FALSE(QToolTip::isVisible()); // not the toolkit's box
        EXPECT_GE(tip->y(), button->mapToGlobal(QPoint(0, 12)).y());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(button, &leave);
        EXPECT_EQ(ToolTip::visibleTip(), nullptr);
    }
}

TEST(EditorWindowChrome, CloseButtonClosesTheWindow) {
    EditorWindowChrome window;
    window.resize(400, 300);
    window.show();
    QTest::mouseClick(window.trafficLightButtons()[0], Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
}

TEST(EditorWindowChrome, EdgesResizeOnlyNearTheBorder) {
    EditorWindowChrome window;
    window.resize(400, 300);
    struct Case {
        QPoint at;
        Qt::Edges edges;
    };
    const Case cases[] = {
        {{200, 150}, {}},
        {{0, 150}, Qt::LeftEdge},
        {{399, 150}, Qt::RightEdge},
        {{200, 0}, Qt::TopEdge},
        {{200, 299}, Qt::BottomEdge},
        {{2, 297}, Qt::LeftEdge | Qt::BottomEdge},
        {{EditorWindowChrome::resizeBand, 150}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(window.edgesAt(c.at), c.edges) << c.at.x() << "," << c.at.y();
}

TEST(EditorWindowChrome, DraggingAnEdgeResizesWithoutAWindowManager) {
    EditorWindowChrome window;
    window.setGeometry(100, 100, 400, 300);
    window.show();
    sendMouse(&window, QEvent::MouseButtonPress, QPoint(398, 299), Qt::LeftButton); // the bottom-right corner
    sendMouse(&window, QEvent::MouseMove, QPoint(448, 319), Qt::LeftButton);
    sendMouse(&window, QEvent::MouseButtonRelease, QPoint(448, 319), Qt::NoButton);
    EXPECT_EQ(window.size(), QSize(450, 320));
    EXPECT_EQ(window.pos(), QPoint(100, 100));
    EXPECT_TRUE(TrafficLights::aligned(window.trafficLightButtons(), 46, 0));
}

TEST(EditorWindowChrome, WithoutACompositorTheWindowIsSquareAndOpaque) {
    // The offscreen platform has no X server and so no compositor.
    EXPECT_FALSE(Compositor::isActive());
    EditorWindowChrome window;
    EXPECT_FALSE(window.isTranslucent());
    EXPECT_EQ(window.cornerRadius(), 0);
    // Drawn opaque to its corners (its visual has alpha, for a compositor that may start later).
    window.resize(200, 120);
    const QImage drawn = window.grab().toImage();
    for (const QPoint corner : {QPoint(0, 0), QPoint(199, 0), QPoint(0, 119), QPoint(199, 119)})
        EXPECT_EQ(drawn.pixelColor(corner).alpha(), 255) << corner.x() << "," << corner.y();
}

TEST(WindowDragArea, DraggingMovesTheWindowWithoutAWindowManager) {
    QWidget window;
    window.resize(300, 200);
    auto* strip = new WindowDragArea(&window);
    strip->setGeometry(0, 0, 300, 46);
    window.move(100, 100);
    window.show();
    const QPoint before = window.pos();
    sendMouse(strip, QEvent::MouseButtonPress, QPoint(50, 20), Qt::LeftButton);
    // The window has not moved yet; a drag of (30, 12) moves it by as much.
    sendMouse(strip, QEvent::MouseMove, QPoint(80, 32), Qt::LeftButton);
    sendMouse(strip, QEvent::MouseButtonRelease, QPoint(80, 32), Qt::NoButton);
    EXPECT_EQ(window.pos(), before + QPoint(30, 12));
}

// Small panels (the walkthrough, the settings) keep the size their owner gives: no edge resizes,
// zoom does nothing and minimise is greyed out; close still works.
TEST(EditorWindowChrome, TheFixedSizeModeLeavesOnlyTheCloseButton) {
    EditorWindowChrome window;
    window.setGeometry(100, 100, 400, 300);
    window.setFixedSizeMode(QSize(470, 615));
    window.show();
    QApplication::setActiveWindow(&window);
    EXPECT_EQ(window.size(), QSize(470, 615));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    for (const QPoint at : {QPoint(0, 300), QPoint(469, 614), QPoint(200, 0)}) EXPECT_EQ(window.edgesAt(at), Qt::Edges());
    sendMouse(&window, QEvent::MouseButtonPress, QPoint(468, 613), Qt::LeftButton);
    sendMouse(&window, QEvent::MouseMove, QPoint(500, 650), Qt::LeftButton);
    sendMouse(&window, QEvent::MouseButtonRelease, QPoint(500, 650), Qt::NoButton);
    EXPECT_EQ(window.size(), QSize(470, 615));

    const auto buttons = window.trafficLightButtons();
    QTest::mouseClick(buttons[2], Qt::LeftButton);
    QTest::mouseClick(buttons[1], Qt::LeftButton);
    EXPECT_FALSE(window.isMaximized());
    EXPECT_FALSE(window.isMinimized());
    auto* minimize = static_cast<TrafficLightButton*>(buttons[1]);
    auto* close = static_cast<TrafficLightButton*>(buttons[0]);
    const QColor grey = minimize->fillColor();
    EXPECT_TRUE(grey.red() == grey.green() && grey.green() == grey.blue()) << grey.name().toStdString();
    EXPECT_EQ(close->fillColor(), QColor(255, 95, 87));
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
}
