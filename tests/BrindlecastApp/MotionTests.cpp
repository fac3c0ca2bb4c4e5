#include "BrindlecastApp/Design/DesktopSettings.h"
#include "BrindlecastApp/Design/Motion.h"
#include "BrindlecastApp/Design/SpringValue.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"

#include "Support/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QVariantAnimation>
#include <QWidget>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

TEST(Motion, ReduceMotionTurnsEveryAnimationIntoATenMillisecondEaseInOut) {
    const Tokens::Motion motion = Tokens::defaults().motion;
    for (const Animation& animation : {motion.quick, motion.press, motion.ease, Animation::easeInOut(2.0)}) {
        QVariantAnimation run;
        Motion::configure(run, animation, true);
        EXPECT_EQ(run.duration(), 10);
        EXPECT_EQ(run.easingCurve().type(), QEasingCurve::InOutCubic);
    }
}

TEST(Motion, WithoutReduceMotionTheTokensKeepTheirCurves) {
    QVariantAnimation ease;
    Motion::configure(ease, Animation::easeOut(0.12), false);
    EXPECT_EQ(ease.duration(), 120);
    EXPECT_EQ(ease.easingCurve().type(), QEasingCurve::OutCubic);

    QVariantAnimation spring;
    Motion::configure(spring, Animation::spring(0.18, 0.7), false);
    EXPECT_EQ(spring.easingCurve().type(), QEasingCurve::Custom);
    EXPECT_GT(spring.duration(), 180); // a damped spring rings on past its response time
    EXPECT_LT(spring.duration(), 1000);
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
    Support::UserDefaults defaults(TestSupport::makeTemporaryFolder("motion") + "/p.json");
    DesktopSettings desktop;
    Theme theme(&defaults, &desktop);
    QWidget window;
    auto* owner = new QWidget(&window);
    ThemedRoot::install(&window, &theme, &desktop);
    SpringValue value(owner, 0);

    value.animateTo(1, Tokens::defaults().motion.quick);
    EXPECT_GT(value.animation().duration(), 10);

    desktop.setReduceMotion(true);
    value.animateTo(0, Tokens::defaults().motion.quick);
    EXPECT_EQ(value.animation().duration(), 10);
    EXPECT_DOUBLE_EQ(value.target(), 0);
}
