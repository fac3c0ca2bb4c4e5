#include "ExportKit/RedactionPattern.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

namespace RP = ExportKit::Exporter::RedactionPattern;
using Support::Rect;

namespace {

TEST(RedactionPattern, SeedsMatchTheKnownVectors) {
    EXPECT_EQ(RP::seed(Rect(10, 20, 30, 40)), std::optional<std::uint64_t>(0x08f7669978cc85ddULL));
    EXPECT_EQ(RP::seed(Rect(0, 0, 0, 0)), std::optional<std::uint64_t>(0xd4d5ae995b39d03dULL));
}

TEST(RedactionPattern, ScrambleMatchesTheKnownVector) {
    const auto scramble = RP::scramble(Rect(10, 20, 30, 40));
    ASSERT_TRUE(scramble);
    EXPECT_EQ(scramble->cell, 13);
    EXPECT_EQ(scramble->columns, 3);
    EXPECT_EQ(scramble->rows, 4);
    ASSERT_EQ(scramble->grays.size(), 4u);
    ASSERT_EQ(scramble->grays[0].size(), 3u);
    EXPECT_NEAR(scramble->grays[0][0], 0.36548, 1e-12);
    EXPECT_NEAR(scramble->grays[0][1], 0.57372, 1e-12);
    EXPECT_NEAR(scramble->grays[0][2], 0.35256, 1e-12);
}

TEST(RedactionPattern, BlurTileMatchesTheKnownVector) {
    const auto tile = RP::blurTile(Rect(10, 20, 30, 40));
    ASSERT_TRUE(tile);
    EXPECT_NEAR((*tile)[0][0], 0.493 * 0.35 + 0.35, 1e-12);
    EXPECT_NEAR((*tile)[0][1], 0.971 * 0.35 + 0.35, 1e-12);
    EXPECT_NEAR((*tile)[0][2], 0.948 * 0.35 + 0.35, 1e-12);
    for (const auto& row : *tile) {
        for (double g : row) {
            EXPECT_GE(g, 0.35);
            EXPECT_LT(g, 0.70);
        }
    }
}

TEST(RedactionPattern, CellTracksAThirdOfTheHeight) {
    struct Case {
        double height;
        double cell;
    };
    for (const Case& c : {Case{12, 8}, Case{300, 64}, Case{37.5, 13}, Case{0, 8}, Case{24, 8}, Case{192, 64},
                          Case{-40, 13}}) {
        EXPECT_EQ(RP::scrambleCell(Rect(0, 0, 10, c.height)), c.cell) << "height " << c.height;
    }
}

TEST(RedactionPattern, ZeroSizedRegionHasOneCell) {
    const auto scramble = RP::scramble(Rect(5, 5, 0, 0));
    ASSERT_TRUE(scramble);
    EXPECT_EQ(scramble->cell, 8);
    EXPECT_EQ(scramble->columns, 1);
    EXPECT_EQ(scramble->rows, 1);
}

TEST(RedactionPattern, SubHalfPixelDifferencesKeepTheTextureAndAWholePixelChangesIt) {
    const Rect base(10, 20, 30, 40);
    const auto reference = RP::scramble(base)->grays;
    EXPECT_EQ(RP::scramble(Rect(10.4, 19.6, 30.3, 39.7))->grays, reference);
    EXPECT_EQ(RP::blurTile(Rect(10.4, 19.6, 30.3, 39.7)), RP::blurTile(base));
    EXPECT_NE(RP::scramble(Rect(11, 20, 30, 40))->grays, reference);
    EXPECT_NE(RP::blurTile(Rect(10, 21, 30, 40)), RP::blurTile(base));
    // Halves round away from zero: 10.5 is 11.
    EXPECT_EQ(RP::seed(Rect(10.5, 20, 30, 40)), RP::seed(Rect(11, 20, 30, 40)));
    EXPECT_EQ(RP::seed(Rect(-10.5, 20, 30, 40)), RP::seed(Rect(-11, 20, 30, 40)));
}

TEST(RedactionPattern, NegativeSizesAreStandardised) {
    EXPECT_EQ(RP::seed(Rect(40, 60, -30, -40)), RP::seed(Rect(10, 20, 30, 40)));
}

TEST(RedactionPattern, SameOnEveryThread) {
    const Rect rect(3, 7, 200, 90);
    const auto here = RP::scramble(rect)->grays;
    std::vector<std::vector<double>> there;
    std::thread([&] { there = RP::scramble(rect)->grays; }).join();
    EXPECT_EQ(here, there);
}

TEST(RedactionPattern, JumpingTheStreamEqualsDrawingThrough) {
    RP::SplitMix64 stepped(12345);
    for (int i = 0; i < 1000; ++i) stepped.next();
    RP::SplitMix64 jumped = RP::SplitMix64::after(12345, 1000);
    EXPECT_EQ(stepped.next(), jumped.next());
}

TEST(RedactionPattern, WindowHoldsExactlyTheWholeMosaicsGrays) {
    const Rect rect(-100, -50, 700, 333);
    const auto whole = RP::scramble(rect);
    ASSERT_TRUE(whole);
    const auto window = RP::scrambleWindow(rect, Rect(20, 30, 150, 100));
    ASSERT_TRUE(window);
    ASSERT_FALSE(window->grays.empty());
    for (std::size_t r = 0; r < window->grays.size(); ++r) {
        for (std::size_t c = 0; c < window->grays[r].size(); ++c) {
            EXPECT_EQ(window->grays[r][c],
                      whole->grays[std::size_t(window->firstRow) + r][std::size_t(window->firstColumn) + c]);
        }
    }
    // The window starts at the square that holds the visible area's corner.
    EXPECT_EQ(window->firstColumn, std::int64_t(std::floor((20 - -100) / window->cell)));
    EXPECT_EQ(window->firstRow, std::int64_t(std::floor((30 - -50) / window->cell)));
}

TEST(RedactionPattern, HugeRegionsCostOnlyTheirVisibleSquares) {
    const Rect huge(-4e15, -4e15, 8e15, 8e15);
    EXPECT_FALSE(RP::scramble(huge)) << "the whole grid would not fit in memory";
    const auto window = RP::scrambleWindow(huge, Rect(0, 0, 256, 128));
    ASSERT_TRUE(window);
    EXPECT_EQ(window->cell, 64);
    EXPECT_LE(window->grays.size(), 4u);
    EXPECT_LE(window->grays.front().size(), 6u);
}

TEST(RedactionPattern, RectanglesWithoutATextureAreRefused) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Rect& bad : {Rect(nan, 0, 10, 10), Rect(0, inf, 10, 10), Rect(0, 0, -inf, 10), Rect(0, 0, 10, nan),
                            Rect(1e16, 0, 10, 10), Rect(0, 0, 10, -1e16), Rect::null()}) {
        EXPECT_FALSE(RP::isDrawable(bad));
        EXPECT_FALSE(RP::seed(bad));
        EXPECT_FALSE(RP::scramble(bad));
        EXPECT_FALSE(RP::blurTile(bad));
        EXPECT_FALSE(RP::scrambleWindow(bad, Rect(0, 0, 10, 10)));
    }
    EXPECT_TRUE(RP::isDrawable(Rect(-9007199254740992.0, 0, 10, 10)));
}

} // namespace
