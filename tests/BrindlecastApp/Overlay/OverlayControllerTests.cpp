#include "BrindlecastApp/Overlay/OverlayController.h"
#include "BrindlecastApp/Overlay/OverlayView.h"

#include <QApplication>
#include <QDir>

#include "BrindlecastApp/Design/TabularDigits.h"
#include "Support/Fonts.h"
#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

using namespace BrindlecastApp;
using CaptureKit::WindowInfo;

namespace {

WindowInfo window(std::uint32_t id, Support::Rect frame, std::int64_t z, bool onScreen = true, bool ordinary = true) {
    WindowInfo info;
    info.windowID = id;
    info.frame = frame;
    info.bundleID = QString("org.example.app%1").arg(id);
    info.isOnScreen = onScreen;
    info.zIndex = onScreen ? z : WindowInfo::unknownZIndex;
    info.isOrdinary = ordinary;
    return info;
}

void sendMouse(QWidget* view, QEvent::Type type, QPointF local) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, view->mapToGlobal(local), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
}

void drag(QWidget* view, QPointF from, QPointF to) {
    sendMouse(view, QEvent::MouseButtonPress, from);
    sendMouse(view, QEvent::MouseMove, (from + to) / 2);
    sendMouse(view, QEvent::MouseMove, to);
    sendMouse(view, QEvent::MouseButtonRelease, to);
}

bool sendKey(QWidget* target, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Space ? " " : "");
    return QApplication::sendEvent(target, &press) && press.isAccepted();
}

// An open overlay over the offscreen screen, recording what it reports.
struct Selection {
    explicit Selection(std::vector<WindowInfo> windows = {})
        : controller([windows] { return windows; }, nullptr, QColor(0, 122, 255)) {
        controller.onRegion = [this](const Support::Rect& rect) { regions.push_back(rect); };
        controller.onWindow = [this](const PickTarget& target) { picks.push_back(target); };
        controller.onCancel = [this] {
            ++cancels;
            closedBeforeCancel = controller.isClosed() && controller.views().isEmpty();
        };
        controller.begin();
    }
    OverlayView* view() const { return controller.views().value(0); }

    OverlayController controller;
    std::vector<Support::Rect> regions;
    std::vector<PickTarget> picks;
    int cancels = 0;
    bool closedBeforeCancel = false;
};

} // namespace

TEST(OverlayController, PicksTheFrontmostOrdinaryWindowUnderThePoint) {
    std::vector<WindowInfo> windows{
        window(1, {0, 0, 1920, 1080}, 5),                  // behind everything
        window(2, {100, 100, 400, 300}, 2),                // an ordinary window
        window(3, {150, 150, 100, 100}, 0, true, false),   // a keep-above panel in front of it
        window(4, {120, 120, 1, 1}, 1),                    // a 1 x 1 window
        window(5, {300, 300, 2, 2}, 1),                    // a 2 x 2 window
        window(6, {90, 90, 500, 500}, WindowInfo::unknownZIndex, false), // minimised
        window(8, {40, 40, 20, 20}, 0),                   // shown, but with no place in the order
    };
    windows.back().zIndex = WindowInfo::unknownZIndex;
    struct Case {
        Support::Point point;
        std::optional<std::uint32_t> picked;
    };
    const Case cases[] = {
        {{160, 160}, 2},   // not the panel in front
        {{120, 120}, 2},   // not the 1 x 1 window
        {{300, 300}, 5},   // the 2 x 2 one
        {{301.9, 301.9}, 5},
        {{302, 302}, 2},   // maximum edges are outside
        {{100, 100}, 2},   // minimum edges are inside
        {{50, 50}, 1},
        {{45, 45}, 1},
        {{1920, 50}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.point.x << "," << c.point.y);
        const std::optional<PickTarget> target = OverlayController::windowAt(windows, c.point);
        ASSERT_EQ(target.has_value(), c.picked.has_value());
        if (!target) continue;
        EXPECT_EQ(target->windowID, *c.picked);
        EXPECT_EQ(target->bundleID, QString("org.example.app%1").arg(*c.picked));
    }
    EXPECT_EQ(OverlayController::windowAt({}, {10, 10}), std::nullopt);
}

TEST(OverlayController, ADragReportsItsAreaAndStaysSelected) {
    Selection selection;
    ASSERT_EQ(selection.controller.views().size(), QGuiApplication::screens().size());
    OverlayView* view = selection.view();
    ASSERT_TRUE(view && view->isVisible());
    EXPECT_TRUE(view->windowFlags() & Qt::X11BypassWindowManagerHint);

    drag(view, {100, 120}, {400, 320});
    ASSERT_EQ(selection.regions.size(), 1u);
    const QPoint origin = view->geometry().topLeft();
    EXPECT_TRUE(selection.regions[0].equalTo(Support::Rect(origin.x() + 100, origin.y() + 120, 300, 200)));
    EXPECT_EQ(view->selection(), QRectF(100, 120, 300, 200));
    EXPECT_EQ(view->layout().handles.size(), 8);

    // A click (no size) reports nothing and clears the old selection.
    drag(view, {50, 50}, {50, 50});
    EXPECT_EQ(selection.regions.size(), 1u);
    EXPECT_TRUE(view->selection().isEmpty());
}

TEST(OverlayController, SpaceDuringADragDropsItAndTheReleaseReportsNothing) {
    Selection selection;
    OverlayView* view = selection.view();
    sendMouse(view, QEvent::MouseButtonPress, {100, 100});
    sendMouse(view, QEvent::MouseMove, {200, 200});
    EXPECT_TRUE(sendKey(view, Qt::Key_Space));
    EXPECT_TRUE(selection.controller.isWindowPickMode());
    EXPECT_TRUE(view->selection().isEmpty());
    EXPECT_FALSE(view->dragStart());
    sendMouse(view, QEvent::MouseButtonRelease, {250, 250});
    EXPECT_TRUE(selection.regions.empty());
    EXPECT_TRUE(selection.picks.empty());
}

TEST(OverlayController, EscapeClosesEveryPanelBeforeReportingTheCancel) {
    for (const bool windowPick : {false, true}) {
        Selection selection;
        if (windowPick) selection.controller.toggleMode();
        QPointer<OverlayView> view = selection.view();
        EXPECT_TRUE(sendKey(view, Qt::Key_Escape));
        EXPECT_EQ(selection.cancels, 1);
        EXPECT_TRUE(selection.closedBeforeCancel);
        EXPECT_TRUE(!view || !view->isVisible());
        selection.controller.close(); // harmless again
        EXPECT_EQ(selection.cancels, 1);
    }
}

TEST(OverlayController, AClickInWindowPickModeReportsTheWindowUnderIt) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    Selection selection({window(7, {double(screen.x() + 50), double(screen.y() + 60), 200, 100}, 0)});
    selection.controller.toggleMode();
    OverlayView* view = selection.view();
    sendMouse(view, QEvent::MouseMove, {100, 100});
    ASSERT_TRUE(view->pickTarget());
    EXPECT_EQ(view->layout().highlight, QRectF(50, 60, 200, 100));
    EXPECT_TRUE(view->layout().handles.isEmpty()) << "window picking draws no handles";

    sendMouse(view, QEvent::MouseButtonPress, {400, 400}); // nothing there: consumed, no report
    EXPECT_TRUE(selection.picks.empty());
    sendMouse(view, QEvent::MouseButtonPress, {100, 100});
    ASSERT_EQ(selection.picks.size(), 1u);
    EXPECT_EQ(selection.picks[0].windowID, 7u);
    EXPECT_EQ(selection.picks[0].bundleID, "org.example.app7");
}

// While the panels are ordered out for a capture, nothing the user does in the app's other windows
// is the overlay's: no click starts another capture, Space and Escape go where they were typed.
// Once ordered in again, Escape cancels as before.
TEST(OverlayController, OrderedOutItTakesNoInputAndOrderedInItCancelsOnEscape) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    Selection selection({window(7, {double(screen.x()), double(screen.y()), 300, 300}, 0)});
    selection.controller.toggleMode();
    OverlayView* view = selection.view();
    sendMouse(view, QEvent::MouseButtonPress, {100, 100});
    ASSERT_EQ(selection.picks.size(), 1u);

    selection.controller.orderOut();
    EXPECT_FALSE(view->isVisible());
    sendMouse(view, QEvent::MouseButtonPress, {100, 100});
    EXPECT_FALSE(sendKey(view, Qt::Key_Space));
    EXPECT_EQ(selection.picks.size(), 1u);
    EXPECT_TRUE(selection.controller.isWindowPickMode());

    QLineEdit field;
    field.show();
    EXPECT_TRUE(sendKey(&field, Qt::Key_Space));
    EXPECT_EQ(field.text(), " ");
    sendKey(&field, Qt::Key_Escape);
    EXPECT_EQ(selection.cancels, 0);

    selection.controller.orderIn();
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(selection.controller.isWindowPickMode());
    EXPECT_TRUE(sendKey(view, Qt::Key_Escape));
    EXPECT_EQ(selection.cancels, 1);
}

// Back on screen after a refused capture, while Qt hands the keys to another of the app's windows
// (where the window manager put the focus when the alert closed): they are the selection's, and
// neither that window's field nor its shortcuts see them.
TEST(OverlayController, ShownItTakesTheKeysAddressedToTheAppsOtherWindows) {
    Selection selection;
    selection.controller.orderOut();
    QLineEdit field;
    int shortcuts = 0;
    QAction escape(&field);
    escape.setShortcut(Qt::Key_Escape);
    QObject::connect(&escape, &QAction::triggered, [&] { ++shortcuts; });
    field.addAction(&escape);
    field.show();
    selection.controller.orderIn();
    field.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&field));

    QTest::keyClicks(&field, "a b");
    EXPECT_EQ(field.text(), "");
    EXPECT_TRUE(selection.controller.isWindowPickMode()) << "Space toggled once";
    QTest::keyClick(&field, Qt::Key_Escape);
    EXPECT_EQ(shortcuts, 0);
    EXPECT_EQ(selection.cancels, 1);
    EXPECT_TRUE(selection.closedBeforeCancel);
    QTest::keyClicks(&field, "a");
    EXPECT_EQ(field.text(), "a") << "closed, it takes no key";
    QTest::keyClick(&field, Qt::Key_Escape);
    EXPECT_EQ(shortcuts, 1);
}

TEST(OverlayController, OrderedInAgainItShowsThePreviousSelection) {
    Selection selection;
    OverlayView* view = selection.view();
    drag(view, {10, 10}, {110, 60});
    selection.controller.orderOut();
    selection.controller.orderIn();
    EXPECT_EQ(view->selection(), QRectF(10, 10, 100, 50));
    EXPECT_TRUE(view->layout().readoutCapsule.has_value());
}

// Two monitors side by side: a window across both is tinted on each, each panel drawing its part.
TEST(OverlayView, APickedWindowIsHighlightedOnEveryPanelItCrosses) {
    OverlayView left(nullptr, Support::Rect(0, 0, 800, 600), QPixmap(), Qt::blue);
    OverlayView right(nullptr, Support::Rect(800, 0, 800, 600), QPixmap(), Qt::blue);
    const PickTarget target{9, std::nullopt, Support::Rect(700, 100, 200, 100)};
    for (OverlayView* view : {&left, &right}) {
        view->enterMode(true);
        view->setPickTarget(target);
    }
    EXPECT_EQ(left.layout().highlight, QRectF(700, 100, 100, 100));
    EXPECT_EQ(right.layout().highlight, QRectF(0, 100, 100, 100));

    right.setPickTarget(PickTarget{9, std::nullopt, Support::Rect(100, 100, 200, 100)});
    EXPECT_FALSE(right.layout().highlight) << "a window on the other monitor only";
    right.enterMode(false);
    EXPECT_FALSE(right.pickTarget()) << "area selection drops the pick";
}

TEST(OverlayView, ShowsTheCoordinateBadgeOnlyWhileNothingIsSelected) {
    OverlayView view(nullptr, Support::Rect(100, 50, 800, 600), QPixmap(), Qt::blue);
    view.setHoverPoint(QPointF(20.4, 30.6));
    OverlayView::Layout layout = view.layout();
    EXPECT_EQ(layout.badge, "120, 81");
    ASSERT_TRUE(layout.badgeCapsule);
    EXPECT_GT(layout.badgeCapsule->left(), 20.4);

    view.beginDrag({20, 30});
    EXPECT_FALSE(view.layout().badgeCapsule) << "no badge during a drag";
    view.dragTo({320, 230});
    layout = view.layout();
    EXPECT_EQ(layout.readout, "300 × 200 pt  ·  300 × 200 px");
    EXPECT_FALSE(layout.badgeCapsule);
}

// The figures do not jitter while dragging: every digit takes one width, so the size readout and
// the coordinate badge keep their width (and each figure its place) while the numbers change.
TEST(OverlayView, ReadoutAndBadgeFiguresKeepTheirWidthsWhileTheNumbersChange) {
    EXPECT_TRUE(TabularDigits::hasFontFigures(Support::Fonts::interfaceFont(11, QFont::DemiBold))) << "Inter's own";
    OverlayView view(nullptr, Support::Rect(0, 0, 1600, 1200), QPixmap(), Qt::blue);
    view.resize(1600, 1200);
    view.setHoverPoint(QPointF(111, 111));
    const double badge = view.layout().badgeCapsule.value().width();
    view.setHoverPoint(QPointF(888, 888));
    EXPECT_DOUBLE_EQ(view.layout().badgeCapsule.value().width(), badge);

    std::vector<double> widths;
    for (const QPointF& end : {QPointF(1111, 1011), QPointF(1888, 1088), QPointF(1444, 1044)}) {
        view.beginDrag({0, 0});
        view.dragTo(end);
        widths.push_back(view.layout().readoutCapsule.value().width());
    }
    EXPECT_DOUBLE_EQ(widths[1], widths[0]);
    EXPECT_DOUBLE_EQ(widths[2], widths[0]);

    // Kept for a person to look at: the readout under the selection.
    const QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        view.beginDrag({500, 400});
        view.dragTo({1411, 1010});
        EXPECT_TRUE(view.grab(QRect(780, 990, 360, 70)).save(folder + "/overlay-readout.png"));
    }
}
