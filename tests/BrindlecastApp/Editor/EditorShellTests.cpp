#include "EditorTestSupport.h"
#include "../CanvasTestSupport.h"
#include "../MotionTestSupport.h"

#include "BrindlecastApp/Editor/EditorCanvasStage.h"
#include "BrindlecastApp/Editor/EditorSidebarPane.h"
#include "BrindlecastApp/Editor/EditorSlotPlaceholder.h"
#include "BrindlecastApp/Editor/EditorTitleStrip.h"
#include "BrindlecastApp/Editor/SidebarResizeGrip.h"
#include "BrindlecastApp/Editor/SidebarToggle.h"
#include "BrindlecastApp/Editor/SidebarWidth.h"
#include "BrindlecastApp/Design/Fade.h"
#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/Theme.h"
#include "Support/Fonts.h"
#include "Support/UserDefaults.h"

#include <QFontMetricsF>

#include <gtest/gtest.h>

using namespace EditorTesting;

namespace {

Support::UserDefaults& defaults() { return Support::UserDefaults::standard(); }

void storeWidth(const std::optional<nlohmann::json>& value) { defaults().setValue(SidebarWidth::kKey, value); }

// A window on a bare capture with no library, as the design preview shows it.
struct BareWindow {
    explicit BareWindow(EditorWindowController::Options options = {}) {
        model = std::make_shared<ReviewViewModel>(FakeScreen::patterned(QSize(400, 300), 3), std::vector<Detection>{},
                                                  PolicyKit::EffectivePolicy::safeDefaults(), std::nullopt, [] {});
        EditorContent content;
        content.viewModel = model.get();
        content.owner = model;
        content.filename = "Screenshot bare.png";
        controller = EditorWindowController::present(content, nullptr, std::move(options));
        settle();
    }
    ~BareWindow() {
        controller.reset();
        settle();
    }
    EditorView* view() const { return controller->view(); }
    EditorSidebarPane* pane() const { return view()->sidebarPane(); }

    // Drags the sidebar's grip by each of `moves` points in turn, then lets go.
    void dragGrip(const QList<int>& moves) {
        SidebarResizeGrip* grip = pane()->grip();
        QList<QPoint> points;
        for (int move : moves) points << QPoint(move, 0);
        dragOn(grip, grip->mapToGlobal(grip->rect().center()), points);
    }

    std::shared_ptr<ReviewViewModel> model;
    std::unique_ptr<EditorWindowController> controller;
};

} // namespace

TEST(EditorShell, DraggingTheGripResizesTheSidebarFromWhereTheDragBegan) {
    struct Case {
        QList<QList<int>> drags; // each drag's pointer positions, relative to its press
        double width;
    };
    const Case cases[] = {
        {{{40, 100}}, 312},
        {{{100, 200}}, 340},
        {{{-100, -500}}, 180},
        {{{0}}, 212},                 // a press that does not move is no drag
        {{{100}, {-50}}, 262},        // the second drag starts from 312
        {{{100}, {60}}, 340},
        {{{-20}, {-5}}, 187},
    };
    for (const Case& c : cases) {
        storeWidth(std::nullopt);
        BareWindow window;
        ASSERT_EQ(window.pane()->sidebarWidth(), 212);
        for (const QList<int>& drag : c.drags) window.dragGrip(drag);
        EXPECT_EQ(window.pane()->sidebarWidth(), c.width);
        EXPECT_EQ(window.pane()->panel()->width(), int(c.width));
        // Stored when a drag ended, for every editor window from now on.
        if (c.width != 212) {
            EXPECT_EQ(defaults().value(SidebarWidth::kKey), nlohmann::json(c.width));
            BareWindow next;
            EXPECT_EQ(next.pane()->sidebarWidth(), c.width);
        }
    }
    storeWidth(std::nullopt);
}

TEST(EditorShell, AStoredWidthIsUsedUntilTheNextDragUnlessItIsDamaged) {
    struct Case {
        std::optional<nlohmann::json> stored;
        double width;
    };
    const Case cases[] = {
        {std::nullopt, 212},
        {nlohmann::json("wide"), 212},
        {nlohmann::json(true), 212},
        {nlohmann::json(-40), 212},
        {nlohmann::json(0), 212},
        {nlohmann::json(590.5), 212},
        {nlohmann::json(1e300), 212},
        {nlohmann::json(590), 590}, // outside the drag range, but not damaged
        {nlohmann::json(100), 100},
        {nlohmann::json(255.5), 255.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored->dump() : "missing");
        EXPECT_EQ(SidebarWidth::fromStored(c.stored), c.width);
        storeWidth(c.stored);
        BareWindow window;
        EXPECT_EQ(window.pane()->sidebarWidth(), c.width);
    }
    // The next drag brings an out-of-range width back into the range.
    storeWidth(nlohmann::json(100));
    BareWindow window;
    window.dragGrip({5});
    EXPECT_EQ(window.pane()->sidebarWidth(), 180);
    storeWidth(std::nullopt);
}

TEST(EditorShell, TheToggleHidesTheSidebarAndMovesTheWindowButtons) {
    storeWidth(std::nullopt);
    BareWindow window;
    DrivenAnimationClock clock;
    EditorView* view = window.view();
    EditorWindowChrome* chrome = window.controller->window();
    SidebarToggle* paneToggle = window.pane()->toggle();
    SidebarToggle* stripToggle = view->titleStrip()->toggle();
    EXPECT_EQ(paneToggle->toolTip(), "Hide screenshots");
    EXPECT_TRUE(stripToggle->isHidden());
    EXPECT_EQ(chrome->cornerInset(), 8);
    EXPECT_EQ(chrome->stripHeight(), 46);

    QTest::mouseClick(paneToggle, Qt::LeftButton);
    clock.advance(1);
    EXPECT_FALSE(view->sidebarVisible());
    EXPECT_FALSE(window.pane()->isVisible());
    EXPECT_EQ(chrome->cornerInset(), 0);
    ASSERT_TRUE(stripToggle->isVisible());
    EXPECT_EQ(stripToggle->toolTip(), "Show screenshots");
    EXPECT_EQ(stripToggle->mapTo(chrome, QPoint(0, 0)).x(), 94);

    QTest::mouseClick(stripToggle, Qt::LeftButton);
    clock.advance(1);
    EXPECT_TRUE(view->sidebarVisible());
    EXPECT_TRUE(stripToggle->isHidden());
    EXPECT_EQ(chrome->cornerInset(), 8);
}

// The sidebar comes and goes with a move from the leading edge and a fade on the quick spring; the
// content column follows its trailing edge. However often it is toggled on the way, it comes to
// rest where the last toggle sent it.
TEST(EditorShell, TheSidebarSlidesAndFadesAndSettlesWhereTheLastToggleSentIt) {
    storeWidth(std::nullopt);
    struct Case {
        const char* name;
        std::vector<double> togglesAt; // seconds after the first toggle
        bool shownAtTheEnd;
    };
    const Case cases[] = {
        {"hidden", {0}, false},
        {"hidden and shown again mid-slide", {0, 0.06}, true},
        {"hidden, shown and hidden again mid-slide", {0, 0.05, 0.1}, false},
        {"hidden, then shown once gone", {0, 1}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BareWindow window;
        DrivenAnimationClock clock;
        EditorView* view = window.view();
        EditorSidebarPane* pane = window.pane();
        const int full = pane->fullWidth();
        ASSERT_EQ(full, EditorSidebarPane::kInset + 212);
        double now = 0;
        for (double at : c.togglesAt) {
            clock.advance(at - now);
            now = at;
            view->toggleSidebar();
        }
        // On the way: part of the room, the panel partly off the leading edge, part faded.
        clock.advance(0.05);
        const double presence = pane->presence();
        EXPECT_GT(presence, 0.02);
        EXPECT_LT(presence, 0.98);
        EXPECT_TRUE(pane->isVisible());
        EXPECT_NEAR(pane->width(), presence * full, 1);
        EXPECT_EQ(pane->panel()->geometry().right() + 1, pane->width()) << "the panel's trailing edge leads the room";
        EXPECT_NEAR(Fade::opacityOf(*pane->panel()), presence, 0.01);
        EXPECT_EQ(view->titleStrip()->mapTo(view, QPoint(0, 0)).x(), pane->width()) << "the content follows";
        if (c.togglesAt.size() == 1) {
            // For a person to look at: the sidebar half way out.
            ASSERT_TRUE(window.controller->window()->grab().save(CanvasTesting::artefactsFolder() + "/editor-sidebar-sliding.png"));
        }

        clock.advance(1);
        EXPECT_EQ(view->sidebarVisible(), c.shownAtTheEnd);
        EXPECT_EQ(pane->isVisible(), c.shownAtTheEnd);
        EXPECT_EQ(pane->presence(), c.shownAtTheEnd ? 1 : 0);
        EXPECT_EQ(pane->graphicsEffect(), nullptr) << "no effect is left on a pane at rest";
        EXPECT_EQ(view->titleStrip()->mapTo(view, QPoint(0, 0)).x(), c.shownAtTheEnd ? full : 0);
        if (c.shownAtTheEnd) {
            EXPECT_EQ(pane->panel()->geometry(), QRect(EditorSidebarPane::kInset, EditorSidebarPane::kInset, 212,
                                                       pane->height() - 2 * EditorSidebarPane::kInset));
        }
    }
}

TEST(EditorShell, WithMotionReducedTheSidebarComesAndGoesAtOnce) {
    ReducedMotion reduced;
    BareWindow window;
    DrivenAnimationClock clock;
    window.view()->toggleSidebar();
    clock.advance(0.02);
    EXPECT_FALSE(window.pane()->isVisible());
    window.view()->toggleSidebar();
    clock.advance(0.02);
    EXPECT_EQ(window.pane()->presence(), 1);
    EXPECT_EQ(window.pane()->width(), window.pane()->fullWidth());
}

TEST(EditorShell, AnEmptyToolbarSlotLeavesTheTopChromeHeightAlone) {
    for (const std::optional<int> height : {std::optional<int>(), std::optional<int>(50)}) {
        EditorHarness e;
        e.toolbarHeight = height;
        e.open("Screenshot a.png");
        settle();
        ReviewViewModel* model = e.presenter->shownModel();
        ASSERT_NE(model, nullptr);
        EditorCanvasStage* stage = e.controller()->view()->stage();
        EXPECT_EQ(stage->toolbarHeight(), height.value_or(0));
        EXPECT_EQ(model->topChromeHeight(), height.value_or(68));
    }
}

TEST(EditorShell, WithoutALibraryTheSidebarShowsItsPlaceholder) {
    BareWindow window;
    auto* placeholder = qobject_cast<EditorSlotPlaceholder*>(window.pane()->slotWidget());
    ASSERT_NE(placeholder, nullptr);
    EXPECT_EQ(placeholder->label(), "Recents sidebar (#30)");
    const QFontMetricsF metrics(Support::Fonts::interfaceFont(12, QFont::Medium));
    EXPECT_EQ(placeholder->sizeHint().height(), int(std::ceil(metrics.height() + 20)));
    EXPECT_EQ(EditorSlotPlaceholder("x", 80).sizeHint().height(), 80);
}

TEST(EditorShell, PreviewScreenshotsOfTheShellInBothSchemes) {
    // The shell's own look with a library of two captures; the design preview's grabs are kept by
    // the shell tests.
    for (const bool dark : {false, true}) {
        EditorHarness e;
        Support::UserDefaults store(TestSupport::makeTemporaryFolder("theme") + "/preferences.json");
        Theme theme(&store);
        theme.setMode(dark ? ThemeMode::dark : ThemeMode::light);
        e.presenter = std::make_shared<Pipeline::EditorWindowPresenter>(&theme, [&] { return e.library.get(); });
        e.h.env->editor = e.presenter;
        e.open("Screenshot a.png");
        e.open("Screenshot b.png", {suggested("email", Support::Rect(10, 10, 40, 10)),
                                    mandatory("ssn", Support::Rect(10, 40, 40, 10))});
        e.library->waitForThumbnails();
        settle();
        const QImage grab = e.window()->grab().toImage();
        const QString folder = [] {
            QString path = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
            if (path.isEmpty()) path = TestSupport::makeTemporaryFolder("artefacts");
            QDir().mkpath(path);
            return path;
        }();
        ASSERT_TRUE(grab.save(folder + (dark ? "/editor-window-dark.png" : "/editor-window-light.png")));
        e.presenter.reset();
        settle();
    }
}

// The title strip (file name included) and the sidebar's header move the window; the window
// manager is not asked here, so the strips move it themselves.
TEST(EditorShell, TheStripsMoveTheWindow) {
    BareWindow window;
    EditorWindowChrome* chrome = window.controller->window();
    for (QWidget* strip : {static_cast<QWidget*>(window.view()->titleStrip()),
                           window.pane()->findChild<QWidget*>("sidebarHeader")}) {
        ASSERT_NE(strip, nullptr);
        chrome->move(100, 80);
        const QPoint before = chrome->pos();
        dragOn(strip, strip->mapToGlobal(strip->rect().center()), {QPoint(30, 20)});
        EXPECT_EQ(chrome->pos(), before + QPoint(30, 20)) << strip->objectName().toStdString();
    }
}
