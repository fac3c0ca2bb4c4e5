#include "BrindlecastApp/Overlay/OverlayGeometry.h"

#include <gtest/gtest.h>

using namespace BrindlecastApp;
namespace G = BrindlecastApp::OverlayGeometry;

namespace {

const QRectF screen(0, 0, 1440, 900);

} // namespace

TEST(OverlayGeometry, DragsAreClippedAndReportedFromTwoByTwo) {
    struct Case {
        QPointF start, end;
        QRectF selection; // empty: nothing selected
        bool reported;
    };
    const Case cases[] = {
        {{100, 100}, {102, 102}, {100, 100, 2, 2}, true},
        {{100, 100}, {98, 98}, {98, 98, 2, 2}, true},
        {{0, 0}, {1.9, 5}, {0, 0, 1.9, 5}, false},
        {{100, 100}, {100, 100}, {100, 100, 0, 0}, false},
        // Past the right and bottom edges: clipped to this panel.
        {{1400, 850}, {1600, 1000}, {1400, 850, 40, 50}, true},
        {{20, 30}, {-50, -60}, {0, 0, 20, 30}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start.x() << "," << c.start.y() << " -> " << c.end.x() << "," << c.end.y());
        const Support::Rect selection = G::dragSelection(c.start, c.end, screen);
        EXPECT_TRUE(selection.equalTo(Support::Rect::fromQRectF(c.selection)));
        EXPECT_EQ(G::isReportable(selection), c.reported);
    }
    EXPECT_FALSE(G::isReportable(Support::Rect::null()));
}

TEST(OverlayGeometry, HandlesOnlyAboveTwentyFourPointsBothWays) {
    EXPECT_TRUE(G::handleCentres(QRectF(10, 10, 24, 30)).isEmpty());
    EXPECT_TRUE(G::handleCentres(QRectF(10, 10, 30, 24)).isEmpty());
    const QList<QPointF> handles = G::handleCentres(QRectF(10, 20, 25, 25));
    const QList<QPointF> expected{{10, 20},   {10, 32.5},   {10, 45}, {22.5, 20},
                                  {22.5, 45}, {35, 20},     {35, 32.5}, {35, 45}};
    EXPECT_EQ(handles, expected);
}

TEST(OverlayGeometry, ReadoutTextAndPlace) {
    EXPECT_EQ(G::readoutText(QRectF(0, 0, 300, 200), 2), "300 × 200 pt  ·  600 × 400 px");
    EXPECT_EQ(G::readoutText(QRectF(0, 0, 10.4, 10.6), 1), "10 × 11 pt  ·  10 × 11 px");

    const QSizeF text(180, 14);
    struct Case {
        const char* what;
        QRectF selection;
        QRectF bounds;
        QRectF textRect;
    };
    const Case cases[] = {
        {"below, centred", {400, 300, 300, 200}, screen, {460, 518, 180, 14}},
        // No room below: 13 points above the selection's bottom edge, inside it.
        {"inside at the bottom", {400, 700, 300, 200}, screen, {460, 900 - 13 - 14, 180, 14}},
        {"kept 10 points from the right", {1350, 300, 90, 50}, screen, {1440 - 180 - 10, 368, 180, 14}},
        {"kept 10 points from the left", {0, 300, 40, 50}, screen, {10, 368, 180, 14}},
        {"the left limit wins on a narrow panel", {0, 0, 100, 50}, QRectF(0, 0, 150, 900), {10, 68, 180, 14}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const G::Label label = G::readoutLayout(c.selection, text, c.bounds);
        EXPECT_EQ(label.text, c.textRect);
        EXPECT_EQ(label.capsule, c.textRect.adjusted(-10, -5, 10, 5));
    }
}

TEST(OverlayGeometry, CoordinateBadgeTextAndPlace) {
    EXPECT_EQ(G::badgeText({812.4, 139.6}), "812, 140");
    EXPECT_EQ(G::badgeText({0.5, -0.5}), "1, -1");

    const QSizeF text(60, 13);
    struct Case {
        const char* what;
        QPointF pointer;
        QRectF textRect;
    };
    const Case cases[] = {
        {"right of and below the pointer", {500, 400}, {514, 418, 60, 13}},
        {"left of the pointer near the right edge", {1360, 400}, {1360 - 60 - 30, 418, 60, 13}},
        {"above the pointer near the bottom", {500, 870}, {514, 870 - 14 - 13, 60, 13}},
        {"still right at the limit", {1440 - 4 - 14 - 60 - 16, 400}, {1346 + 14, 418, 60, 13}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const G::Label label = G::badgeLayout(c.pointer, text, screen);
        EXPECT_EQ(label.text, c.textRect);
        EXPECT_EQ(label.capsule, c.textRect.adjusted(-8, -4, 8, 4));
    }
}
