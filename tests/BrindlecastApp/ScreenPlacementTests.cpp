#include "BrindlecastApp/Design/Window/ScreenPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

TEST(ScreenPlacement, AWindowIsShrunkToTheWorkAreaAndKeptOnIt) {
    // A laptop at 2x: 1280 x 720 points less a 30-point panel along its top.
    const QRect area(0, 30, 1280, 690);
    struct Case {
        const char* what;
        QSize wanted;
        QSize fitted;
        QRect centred;
    };
    const Case cases[] = {
        {"fits", {580, 520}, {580, 520}, {350, 115, 580, 520}},
        {"too tall", {1180, 760}, {1180, 690}, {50, 30, 1180, 690}},
        {"too wide and tall", {1600, 900}, {1280, 690}, {0, 30, 1280, 690}},
        {"the whole area", {1280, 690}, {1280, 690}, {0, 30, 1280, 690}},
        {"odd room", {1279, 689}, {1279, 689}, {0, 30, 1279, 689}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScreenPlacement::fitted(c.wanted, area), c.fitted) << c.what;
        EXPECT_EQ(ScreenPlacement::centred(c.wanted, area), c.centred) << c.what;
        EXPECT_TRUE(area.contains(ScreenPlacement::centred(c.wanted, area))) << c.what;
    }
    // Without a screen nothing is shrunk.
    EXPECT_EQ(ScreenPlacement::fitted({1180, 760}, QRect()), QSize(1180, 760));
}

TEST(ScreenPlacement, AFramePartlyOffTheAreaMovesTheLeastDistanceBack) {
    const QRect area(100, 50, 800, 600); // a second screen, not at the origin
    struct Case {
        const char* what;
        QRect frame;
        QRect kept;
    };
    const Case cases[] = {
        {"inside", {200, 100, 300, 200}, {200, 100, 300, 200}},
        {"above the top edge", {200, 10, 300, 200}, {200, 50, 300, 200}},
        {"past the right edge", {700, 100, 300, 200}, {600, 100, 300, 200}},
        {"past the bottom right corner", {850, 600, 100, 100}, {800, 550, 100, 100}},
        {"left of the area", {-400, 300, 300, 200}, {100, 300, 300, 200}},
        // Larger than the area: its top-left corner is kept on the area's, where the title and
        // the window buttons are.
        {"taller than the area", {200, -20, 300, 700}, {200, 50, 300, 700}},
        {"wider than the area", {300, 100, 900, 100}, {100, 100, 900, 100}},
    };
    for (const Case& c : cases) EXPECT_EQ(ScreenPlacement::keptInside(c.frame, area), c.kept) << c.what;
}

TEST(ScreenPlacement, APinnedWindowStaysPinnedAtTheSizeTheScreenHolds) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget pinned;
    pinned.setFixedSize(470, area.height() + 200);
    ScreenPlacement::centre(pinned, pinned.size());
    EXPECT_EQ(pinned.minimumSize(), pinned.maximumSize());
    EXPECT_EQ(pinned.size(), QSize(470, area.height()));
    EXPECT_TRUE(area.contains(pinned.geometry()));

    // A resizable window keeps its floor where the screen holds it, and lowers it where not.
    QWidget resizable;
    resizable.setMinimumSize(300, area.height() + 50);
    ScreenPlacement::centre(resizable, QSize(400, area.height() + 100));
    EXPECT_EQ(resizable.minimumSize(), QSize(300, area.height()));
    EXPECT_EQ(resizable.size(), QSize(400, area.height()));
    EXPECT_EQ(resizable.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}
