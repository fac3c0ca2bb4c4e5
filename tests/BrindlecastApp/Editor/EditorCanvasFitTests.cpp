#include "EditorTestSupport.h"
#include "../MotionTestSupport.h"

#include "BrindlecastApp/Editor/EditorCanvasStage.h"
#include "BrindlecastApp/Editor/EditorSidebarPane.h"
#include "BrindlecastApp/Editor/EditorStatusBar.h"
#include "BrindlecastApp/Editor/EditorTitleStrip.h"
#include "BrindlecastApp/Editor/SidebarResizeGrip.h"
#include "BrindlecastApp/Editor/SidebarToggle.h"
#include "BrindlecastApp/Editor/SidebarWidth.h"
#include "BrindlecastApp/Review/CanvasGeometry.h"
#include "BrindlecastApp/Review/ReviewCanvasView.h"
#include "Support/UserDefaults.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace EditorTesting;

namespace {

// The editor window as the app builds it (real toolbar and status bar) on a small capture, which
// fits at several times its size.
struct FitWindow {
    FitWindow() {
        Support::UserDefaults::standard().setValue(SidebarWidth::kKey, std::nullopt);
        e.presenter = std::make_shared<Pipeline::EditorWindowPresenter>(
            nullptr, [this] { return e.library.get(); }, Pipeline::EditorWindowPresenter::defaultOptions());
        e.h.env->editor = e.presenter;
        e.open("Screenshot small.png");
        settle();
    }

    EditorView* view() const { return e.controller()->view(); }
    ReviewViewModel& model() const { return *e.controller()->shownModel(); }
    ReviewCanvasView* canvas() const { return e.controller()->canvas(); }
    EditorStatusBar* statusBar() const { return qobject_cast<EditorStatusBar*>(view()->stage()->statusBar()); }

    // The fit the canvas's present size calls for.
    double expectedFit() const {
        return *CanvasGeometry::fitRect(model(), Support::Rect(0, 0, canvas()->width(), canvas()->height()), {})
                    .fitScale;
    }
    QString expectedPercent() const {
        return QString::number(std::llround(expectedFit() * model().zoom() * 100)) + "%";
    }
    // The model's fit scale and the status bar follow the canvas's size as soon as the queued work
    // has run, before the canvas is painted again: the status bar may be drawn (or the Fit and 100%
    // snaps used) first.
    bool followsTheStage() const {
        settle();
        return std::abs(model().fitScale() - expectedFit()) <= CanvasGeometry::kFitScaleChangeThreshold &&
               statusBar()->percentText() == expectedPercent();
    }
    bool imageInsideWorkingArea() const {
        const Support::Rect area = CanvasGeometry::workingArea(
            Support::Rect(0, 0, canvas()->width(), canvas()->height()), model().topChromeHeight());
        const Support::Rect shown = canvas()->fitRect();
        constexpr double slack = 0.5;
        return shown.minX() >= area.minX() - slack && shown.maxX() <= area.maxX() + slack &&
               shown.minY() >= area.minY() - slack && shown.maxY() <= area.maxY() + slack;
    }

    // Drags the sidebar's grip by `dx` points: two points first (past the drag threshold), then the
    // rest.
    void dragGrip(int dx) {
        SidebarResizeGrip* grip = view()->sidebarPane()->grip();
        const QPoint start = grip->rect().center();
        QTest::mousePress(grip, Qt::LeftButton, Qt::NoModifier, start);
        QTest::mouseMove(grip, start + QPoint(dx > 0 ? 2 : -2, 0));
        QTest::mouseMove(grip, start + QPoint(dx, 0));
        QTest::mouseRelease(grip, Qt::LeftButton, Qt::NoModifier, start + QPoint(dx, 0));
        settle();
    }

    EditorHarness e;
};

} // namespace

// However the stage's size changes, the fit follows it: the status bar reads the new fit and the
// image stays inside the working area; a zoom the user chose is kept over the new fit.
TEST(EditorCanvasFit, TheFitFollowsTheStageThroughDragsResizesAndTheToggle) {
    struct Step {
        const char* name;
        void (*act)(FitWindow&);
    };
    const Step steps[] = {
        {"grip dragged far left", [](FitWindow& w) { w.dragGrip(-300); }},
        {"grip dragged far right", [](FitWindow& w) { w.dragGrip(300); }},
        {"grip dragged left", [](FitWindow& w) { w.dragGrip(-100); }},
        {"window widened", [](FitWindow& w) { w.e.window()->resize(w.e.window()->size() + QSize(300, 200)); }},
        {"window narrowed", [](FitWindow& w) { w.e.window()->resize(w.e.window()->size() - QSize(300, 200)); }},
        {"sidebar hidden", [](FitWindow& w) { QTest::mouseClick(w.view()->sidebarPane()->toggle(), Qt::LeftButton); }},
        {"sidebar shown", [](FitWindow& w) { QTest::mouseClick(w.view()->titleStrip()->toggle(), Qt::LeftButton); }},
    };
    for (const bool zoomed : {false, true}) {
        FitWindow w;
        DrivenAnimationClock clock; // the sidebar slides to its end before the fit is read
        ASSERT_NE(w.statusBar(), nullptr);
        ASSERT_TRUE(w.followsTheStage()) << "at opening: " << w.statusBar()->percentText().toStdString();
        const double firstFit = w.model().fitScale();
        EXPECT_GT(firstFit, 2.0) << "a small capture fits at several times its size";
        if (zoomed) {
            QTest::mouseClick(w.statusBar()->zoomInButton(), Qt::LeftButton);
            ASSERT_GT(w.model().zoom(), 1.0);
        }
        const double zoom = w.model().zoom();
        for (const Step& step : steps) {
            SCOPED_TRACE(std::string(step.name) + (zoomed ? ", zoomed in" : ", fitted"));
            const double canvasWidthBefore = w.canvas()->width();
            // The canvas draws nothing meanwhile, as when the status bar is drawn before it.
            w.canvas()->setUpdatesEnabled(false);
            step.act(w);
            clock.advance(1);
            const bool follows = w.followsTheStage();
            w.canvas()->setUpdatesEnabled(true);
            EXPECT_NE(w.canvas()->width(), canvasWidthBefore) << "the step changes the stage";
            EXPECT_TRUE(follows) << "status bar reads " << w.statusBar()->percentText().toStdString()
                                 << ", the stage's fit makes " << w.expectedPercent().toStdString();
            EXPECT_DOUBLE_EQ(w.model().zoom(), zoom) << "the chosen zoom is kept";
            if (!zoomed) {
                EXPECT_TRUE(w.imageInsideWorkingArea());
            }
        }
    }
}
