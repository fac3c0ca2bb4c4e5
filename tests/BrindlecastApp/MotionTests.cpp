#include "BrindlecastApp/Design/Fade.h"
#include "BrindlecastApp/Design/FadingSnapshot.h"
#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/Motion.h"
#include "BrindlecastApp/Design/SpringValue.h"

#include "MotionTestSupport.h"
#include "ThemedWindow.h"

#include <QPointer>

#include <QVariantAnimation>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

TEST(Motion, ReduceMotionTurnsEveryAnimationIntoATenMillisecondEaseInOut) {
    struct Case {
        Animation animation;
        bool reduce;
        int minMs, maxMs;
        QEasingCurve::Type curve;
    };
    const Tokens::Motion motion = Tokens::defaults().motion;
    const Case cases[] = {
        {motion.quick, true, 10, 10, QEasingCurve::InOutCubic},
        {motion.press, true, 10, 10, QEasingCurve::InOutCubic},
        {motion.ease, true, 10, 10, QEasingCurve::InOutCubic},
        {Animation::easeInOut(2.0), true, 10, 10, QEasingCurve::InOutCubic},
        {motion.ease, false, 120, 120, QEasingCurve::OutCubic},
        {motion.quick, false, 181, 999, QEasingCurve::Custom}, // a damped spring rings on past its response
    };
    for (const Case& c : cases) {
        QVariantAnimation run;
        Motion::configure(run, c.animation, c.reduce);
        EXPECT_GE(run.duration(), c.minMs);
        EXPECT_LE(run.duration(), c.maxMs);
        EXPECT_EQ(run.easingCurve().type(), c.curve);
    }
}

TEST(Motion, SpringCurveFollowsTheDampedSpring) {
    struct Case {
        double response, damping;
        bool overshoots;
    };
    const Case cases[] = {{0.18, 0.7, true}, {0.15, 0.55, true}, {0.3, 1.0, false}, {0.3, 1.6, false}};
    for (const Case& c : cases) {
        const Animation spring = Animation::spring(c.response, c.damping);
        const QEasingCurve curve = Motion::easingCurve(spring);
        const double total = Motion::settlingSeconds(spring);
        EXPECT_NEAR(curve.valueForProgress(0), 0, 1e-6);
        EXPECT_NEAR(curve.valueForProgress(1), 1, 1e-3);
        double peak = 0;
        for (int i = 1; i < 100; ++i) {
            const double p = i / 100.0;
            const double expected = Motion::springPosition(spring, p * total);
            EXPECT_NEAR(curve.valueForProgress(p), expected, 1e-9) << c.damping << " at " << p;
            peak = std::max(peak, curve.valueForProgress(p));
        }
        EXPECT_EQ(peak > 1.005, c.overshoots) << c.damping;
    }
}

TEST(Motion, SpringValueUnderAReducedMotionRootRunsTheShortAnimation) {
    ThemedWindow themed;
    SpringValue value(new QWidget(&themed.window), 0);
    value.animateTo(1, Tokens::defaults().motion.quick);
    EXPECT_GT(value.animation().duration(), 10);

    themed.desktop.setReduceMotion(true);
    value.animateTo(0, Tokens::defaults().motion.quick);
    EXPECT_EQ(value.animation().duration(), 10);
    EXPECT_DOUBLE_EQ(value.target(), 0);
}

// A spring run to its end rests exactly on its target and says so once; a jump stops it there.
TEST(Motion, ASpringValueSettlesOnItsTargetAndAJumpStopsIt) {
    ThemedWindow themed;
    DrivenAnimationClock clock;
    SpringValue value(new QWidget(&themed.window), 0);
    int settled = 0;
    QObject::connect(&value, &SpringValue::settled, [&] { ++settled; });
    value.animateTo(1, Tokens::defaults().motion.quick);
    clock.advance(0.05);
    EXPECT_GT(value.value(), 0);
    EXPECT_TRUE(value.isMoving());
    clock.advance(1);
    EXPECT_EQ(value.value(), 1);
    EXPECT_EQ(settled, 1);

    value.animateTo(0, Tokens::defaults().motion.quick);
    clock.advance(0.05);
    value.jumpTo(0.25);
    clock.advance(1);
    EXPECT_EQ(value.value(), 0.25);
    EXPECT_EQ(value.target(), 0.25);
    EXPECT_EQ(settled, 1) << "a stopped animation never settles";
}

// A picture of a widget (with the shadow it casts) stays in its place above its siblings, fades
// from where the widget had come to nothing and then goes; a widget not seen leaves none.
TEST(Motion, AFadingSnapshotFadesFromWhereItStartsAndGoes) {
    ThemedWindow themed;
    themed.window.resize(400, 300);
    DrivenAnimationClock clock;
    auto* panel = new GlassPanel(GlassVariant::toolbar, std::nullopt, &themed.window);
    panel->setGeometry(100, 100, 120, 40);
    EXPECT_EQ(FadingSnapshot::fadeOut(*panel, Tokens::defaults().motion.quick, 0), nullptr);

    QPointer<FadingSnapshot> snapshot = FadingSnapshot::fadeOut(*panel, Tokens::defaults().motion.quick, 0.6);
    ASSERT_TRUE(snapshot);
    EXPECT_TRUE(snapshot->geometry().contains(panel->geometry().adjusted(-8, -8, 8, 8)))
        << "the toolbar shadow is part of the picture";
    EXPECT_TRUE(snapshot->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(themed.window.children().constLast(), snapshot.data()) << "above its siblings";
    clock.advance(0.02);
    EXPECT_LE(snapshot->opacity(), 0.6);
    EXPECT_GT(snapshot->opacity(), 0);
    clock.advance(1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(snapshot.isNull());
}

// An opacity is carried by an effect only below 1; containers multiply theirs into what is inside.
TEST(Motion, FadesStackAndLeaveNoEffectAtRest) {
    QWidget outer;
    auto* inner = new QWidget(&outer);
    for (const auto& [outerOpacity, innerOpacity, seen] :
         {std::tuple{1.0, 1.0, 1.0}, {0.5, 1.0, 0.5}, {0.5, 0.5, 0.25}, {1.3, -0.2, 0.0}}) {
        Fade::setOpacity(outer, outerOpacity);
        Fade::setOpacity(*inner, innerOpacity);
        EXPECT_DOUBLE_EQ(Fade::opacityOf(*inner), seen);
        EXPECT_DOUBLE_EQ(Fade::opacityOf(*inner, &outer), std::clamp(innerOpacity, 0.0, 1.0));
        EXPECT_EQ(outer.graphicsEffect() == nullptr, outerOpacity >= 1);
    }
}
