// The walkthrough window through its controller, as the shell opens it: the poll with a fake
// access state and a driven clock, the window's fixed frame, its button and its footer.
#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/Motion.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Design/Window/TrafficLights.h"
#include "BrindlecastApp/Onboarding/OnboardingFooter.h"
#include "BrindlecastApp/Onboarding/PermissionOnboardingController.h"
#include "BrindlecastApp/Onboarding/ScreenRecordingOnboardingView.h"
#include "BrindlecastApp/Onboarding/StepCard.h"
#include "BrindlecastApp/Onboarding/ToggleRowIllustration.h"
#include "BrindlecastApp/Onboarding/WrappedText.h"

#include "OnboardingTestSupport.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace BrindlecastApp;
using namespace OnboardingTests;
using State = ScreenRecordingOnboardingView::State;

namespace {

struct Walkthrough {
    explicit Walkthrough(bool grantedAtStart = false, bool dark = false) : theme(dark) {
        platform.granted = grantedAtStart;
        controller = std::make_unique<PermissionOnboardingController>(theme.theme, platform.environment());
        controller->window()->installEventFilter(&closes);
        controller->present();
        QApplication::processEvents();
    }

    ScreenRecordingOnboardingView& view() const { return *controller->view(); }
    EditorWindowChrome& window() const { return *controller->window(); }

    // Counts the close events the window receives.
    struct CloseCounter : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Close) ++count;
            return false;
        }
    };

    ThemeFixture theme;
    FakePlatform platform;
    CloseCounter closes;
    std::unique_ptr<PermissionOnboardingController> controller;
};

} // namespace

TEST(Walkthrough, ThePollSeesAccessShowsTheConfirmationAndClosesOnce1_1SecondsLater) {
    Walkthrough w;
    EXPECT_EQ(w.view().state(), State::waiting);
    EXPECT_TRUE(w.view().pollTimer().isActive());
    EXPECT_EQ(w.view().pollTimer().interval(), 1000);

    w.view().poll(); // still denied: nothing changes
    EXPECT_EQ(w.view().state(), State::waiting);
    EXPECT_FALSE(w.view().footer()->isGranted());

    w.platform.granted = true;
    w.view().poll();
    EXPECT_EQ(w.view().state(), State::granted);
    EXPECT_TRUE(w.view().footer()->isGranted());
    const int checks = w.platform.accessChecks;

    w.platform.granted = false; // withdrawn after the confirmation: the window closes all the same
    for (int tick = 0; tick < 3; ++tick) w.view().poll();
    EXPECT_EQ(w.platform.accessChecks, checks) << "no more asking once access was seen";
    w.platform.clock->advance(1.0);
    EXPECT_TRUE(w.window().isVisible());
    EXPECT_EQ(w.closes.count, 0);
    w.platform.clock->advance(0.1);
    EXPECT_FALSE(w.window().isVisible());
    EXPECT_EQ(w.view().state(), State::finished);
    w.platform.clock->advance(10);
    EXPECT_EQ(w.closes.count, 1);
    EXPECT_EQ(w.platform.clock->pendingCount(), 0u);
}

TEST(Walkthrough, ThePollStopsWhenTheWindowClosesAndTheViewGoesWithTheController) {
    Walkthrough w;
    EXPECT_TRUE(w.view().pollTimer().isActive());
    w.window().close();
    EXPECT_FALSE(w.view().pollTimer().isActive()) << "a closed walkthrough asks for nothing";

    // Access seen just before the window closed: its close of the hidden window changes nothing.
    Walkthrough seen;
    seen.platform.granted = true;
    seen.view().poll();
    EXPECT_FALSE(seen.view().pollTimer().isActive()) << "nothing more to ask once access was seen";
    seen.window().close();
    seen.platform.clock->advance(1.1);
    EXPECT_EQ(seen.view().state(), State::finished);
    EXPECT_FALSE(seen.window().isVisible());

    QPointer<ScreenRecordingOnboardingView> view = w.controller->view();
    QPointer<EditorWindowChrome> window = w.controller->window();
    w.controller.reset();
    EXPECT_TRUE(view.isNull());
    EXPECT_TRUE(window.isNull());
}

TEST(Walkthrough, BuiltWithAccessItShowsTheConfirmationAndNeverClosesItself) {
    Walkthrough w(true);
    EXPECT_EQ(w.view().state(), State::granted);
    EXPECT_TRUE(w.view().footer()->grantedRow()->isVisible());
    EXPECT_FALSE(w.view().footer()->waitingRow()->isVisible());
    for (int tick = 0; tick < 5; ++tick) {
        w.view().poll();
        w.platform.clock->advance(1.0);
    }
    EXPECT_TRUE(w.window().isVisible());
    EXPECT_EQ(w.platform.clock->pendingCount(), 0u);
    EXPECT_EQ(w.closes.count, 0);
    // The confirmation, with the switch on by now, kept for a person to look at.
    EXPECT_NEAR(w.view().toggleRow()->knobPosition(), 1, 1e-6);
    ASSERT_TRUE(w.window().grab().toImage().save(artefactsFolder() + "/walkthrough-granted.png", "PNG"));
}

// The close lands on the controller's schedule: with the controller gone first, nothing runs.
TEST(Walkthrough, ADelayedCloseOfAControllerThatIsGoneDoesNothing) {
    Walkthrough w;
    w.platform.granted = true;
    w.view().poll();
    ASSERT_EQ(w.platform.clock->pendingCount(), 1u);
    w.controller.reset();
    w.platform.clock->advance(2); // would crash or close something if it ran
    EXPECT_EQ(w.platform.clock->pendingCount(), 0u);
}

TEST(Walkthrough, TheButtonAsksForAccessThenOpensTheSettingsEveryTime) {
    Walkthrough w;
    GlassButton* button = w.view().footer()->button();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Open System Settings");
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(w.platform.calls, (std::vector<std::string>{"request", "open", "request", "open"}));
    EXPECT_EQ(w.view().state(), State::waiting) << "only the poll observes the outcome";
}

TEST(Walkthrough, TheWindowIsFixedCentredTitledAndMovedByItsBackground) {
    Walkthrough w;
    EditorWindowChrome& window = w.window();
    EXPECT_EQ(window.windowTitle(), "Screen Recording");
    EXPECT_EQ(window.size(), QSize(470, 615));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the window manager may not resize it";
    EXPECT_TRUE(window.isFixedSizeMode());
    EXPECT_EQ(window.edgesAt(QPoint(1, 300)), Qt::Edges());
    EXPECT_EQ(window.edgesAt(QPoint(469, 614)), Qt::Edges());
    EXPECT_TRUE(TrafficLights::aligned(window.trafficLightButtons(), 44, 0));
    const auto buttons = window.trafficLightButtons();
    EXPECT_TRUE(buttons[0]->isEnabled());
    EXPECT_FALSE(buttons[1]->isEnabled()) << "not minimisable";
    EXPECT_FALSE(buttons[2]->isEnabled()) << "no zoom";
    QTest::mouseClick(buttons[2], Qt::LeftButton);
    QTest::mouseClick(buttons[1], Qt::LeftButton);
    EXPECT_FALSE(window.isMaximized());
    EXPECT_FALSE(window.isMinimized());
    EXPECT_EQ(window.size(), QSize(470, 615));
    if (QScreen* screen = window.screen()) {
        EXPECT_LE((window.geometry().center() - screen->availableGeometry().center()).manhattanLength(), 2);
    }

    // A press on a caption reaches the drag area behind the content and moves the window.
    WrappedText* caption = w.view().stepCards().value(0)->caption();
    const QPoint before = window.pos();
    const QPoint local(5, 5);
    for (const auto& [type, offset] : {std::pair{QEvent::MouseButtonPress, QPoint()},
                                       std::pair{QEvent::MouseMove, QPoint(40, 25)},
                                       std::pair{QEvent::MouseButtonRelease, QPoint(40, 25)}}) {
        const QPointF at(local + offset);
        QMouseEvent event(type, at, caption->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(caption, &event);
    }
    EXPECT_EQ(window.pos(), before + QPoint(40, 25));

    QTest::mouseClick(buttons[0], Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(w.controller->window(), &window) << "closing only hides it";
}

// The window's glass is its only background: a widget between the glass and the steps that filled
// itself would paint a square, opaque page over the rounded, translucent panel.
TEST(Walkthrough, NothingBetweenTheGlassAndTheStepsPaintsABackground) {
    Walkthrough w;
    for (QWidget* up = w.view().parentWidget(); up && up != &w.window(); up = up->parentWidget()) {
        if (qobject_cast<GlassPanel*>(up)) break;
        EXPECT_FALSE(up->autoFillBackground()) << up->metaObject()->className() << " " << up->objectName().toStdString();
    }
}

// Fonts taller than the design's must not cut a caption: the window grows just enough, and never
// below its design size.
TEST(Walkthrough, TallerContentGrowsTheWindowAndNothingIsCut) {
    struct Case {
        int content;
        QSize window;
    };
    for (const Case& c : {Case{400, {470, 615}}, Case{615, {470, 615}}, Case{616, {470, 616}}, Case{800, {470, 800}}})
        EXPECT_EQ(PermissionOnboardingController::windowSizeFor(c.content), c.window) << c.content;

    Walkthrough w;
    ScreenRecordingOnboardingView& view = w.view();
    const int needed = view.heightForWidth(470);
    EXPECT_EQ(w.window().height(), std::max(615, needed));
    EXPECT_LE(view.mapTo(&w.window(), QPoint(0, view.height())).y(), w.window().height());
    EXPECT_GE(view.height(), needed);
    for (StepCard* card : view.stepCards()) {
        WrappedText* caption = card->caption();
        SCOPED_TRACE(caption->text().toStdString());
        EXPECT_GE(caption->height(), caption->heightForWidth(caption->width()));
        EXPECT_EQ(caption->linesAt(caption->width()).join(' '), caption->text()) << "no line is cut";
        const QRect picture(card->picture()->mapTo(card, QPoint()), card->picture()->size());
        EXPECT_GE(card->height(), picture.bottom());
        EXPECT_LE(picture.right(), card->width() - 12) << "the picture fits the card";
        EXPECT_GE(card->picture()->width(), card->picture()->minimumSizeHint().width());
    }
}

TEST(Walkthrough, TheConfirmationComesInWithTheQuickMotionOrIn10msWithReduceMotion) {
    for (bool reduce : {false, true}) {
        SCOPED_TRACE(reduce ? "reduce motion" : "full motion");
        std::optional<ReducedMotion> reduced;
        if (reduce) reduced.emplace();
        Walkthrough w;
        w.platform.granted = true;
        w.view().poll();
        const QVariantAnimation& transition = w.view().footer()->transition();
        const Animation quick = Tokens(ColorScheme::light, Theme::defaultAccent()).motion.quick;
        EXPECT_EQ(transition.duration(), reduce ? 10 : Motion::durationMs(quick));
        if (reduce) {
            EXPECT_EQ(transition.easingCurve().type(), QEasingCurve::InOutCubic);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!w.view().footer()->waitingRow()->isVisible(), 5000);
        EXPECT_TRUE(w.view().footer()->grantedRow()->isVisible());
    }
}

// The waiting dot breathes between 1.0 and 0.25 every 0.9 s once on screen, and stops with its row.
TEST(Walkthrough, TheWaitingDotBreathesWhileShownAndRestsWithReduceMotion) {
    {
        Walkthrough w;
        const QTimer& breathing = w.view().footer()->breathing();
        EXPECT_TRUE(breathing.isActive());
        EXPECT_EQ(breathing.interval(), OnboardingFooter::dotFrameMs);
        w.window().close();
        EXPECT_FALSE(breathing.isActive());
    }
    // Eased in and out each way, reversing forever.
    const struct {
        double seconds, opacity;
    } breath[] = {{0, 1}, {0.45, 0.625}, {0.9, 0.25}, {1.35, 0.625}, {1.8, 1}, {2.7, 0.25}, {90.45, 0.625}};
    for (const auto& b : breath) EXPECT_NEAR(OnboardingFooter::breathAt(b.seconds), b.opacity, 1e-9) << "at " << b.seconds << " s";
    EXPECT_LT(OnboardingFooter::breathAt(0.1), 1);
    EXPECT_GT(OnboardingFooter::breathAt(0.1), OnboardingFooter::breathAt(0.2));
    EXPECT_LT(OnboardingFooter::breathAt(1.0), OnboardingFooter::breathAt(1.1)) << "on its way back up";
    {
        ReducedMotion reduced;
        Walkthrough w;
        EXPECT_FALSE(w.view().footer()->breathing().isActive());
        EXPECT_DOUBLE_EQ(w.view().footer()->dotOpacity(), 0.25);
    }
}
