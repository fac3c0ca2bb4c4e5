#include "BrindlecastApp/Design/Motion.h"
#include "BrindlecastApp/Design/SpringValue.h"

#include "ThemedWindow.h"

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
