#include "ExportKit/RedactionPattern.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace RP = ExportKit::Exporter::RedactionPattern;
using Support::Rect;

namespace {

TEST(RedactionPattern, MatchesTheKnownVectors) {
    EXPECT_EQ(RP::seed(Rect(10, 20, 30, 40)), std::optional<std::uint64_t>(0x08f7669978cc85ddULL));
    EXPECT_EQ(RP::seed(Rect(0, 0, 0, 0)), std::optional<std::uint64_t>(0xd4d5ae995b39d03dULL));
    const auto scramble = RP::scramble(Rect(10, 20, 30, 40));
    ASSERT_TRUE(scramble);
    EXPECT_EQ(scramble->cell, 13);
    EXPECT_EQ(scramble->columns, 3);
    EXPECT_EQ(scramble->rows, 4);
    ASSERT_EQ(scramble->grays.size(), 4u);
    const std::vector<double> firstRow{0.36548, 0.57372, 0.35256};
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(scramble->grays[0][i], firstRow[i], 1e-12);
    const auto tile = RP::blurTile(Rect(10, 20, 30, 40));
    ASSERT_TRUE(tile);
    const std::vector<double> draws{493, 971, 948};
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR((*tile)[0][i], draws[i] / 1000 * 0.35 + 0.35, 1e-12);
}

TEST(RedactionPattern, CellTracksAThirdOfTheHeightBetween8And64) {
    for (const auto& [height, cell] : std::vector<std::pair<double, double>>{
             {12, 8}, {300, 64}, {37.5, 13}, {0, 8}, {192, 64}, {-40, 13}}) {
        EXPECT_EQ(RP::scrambleCell(Rect(0, 0, 10, height)), cell) << "height " << height;
    }
    const auto empty = RP::scramble(Rect(5, 5, 0, 0));
    EXPECT_EQ(empty->columns * empty->rows, 1);
}

TEST(RedactionPattern, SubHalfPixelDifferencesKeepTheTextureAndAWholePixelChangesIt) {
    const Rect base(10, 20, 30, 40);
    EXPECT_EQ(RP::scramble(Rect(10.4, 19.6, 30.3, 39.7))->grays, RP::scramble(base)->grays);
    EXPECT_EQ(RP::blurTile(Rect(10.4, 19.6, 30.3, 39.7)), RP::blurTile(base));
    EXPECT_NE(RP::scramble(Rect(11, 20, 30, 40))->grays, RP::scramble(base)->grays);
    EXPECT_NE(RP::blurTile(Rect(10, 21, 30, 40)), RP::blurTile(base));
    EXPECT_EQ(RP::seed(Rect(-10.5, 20, 30, 40)), RP::seed(Rect(-11, 20, 30, 40))); // halves away from zero
    EXPECT_EQ(RP::seed(Rect(40, 60, -30, -40)), RP::seed(base));                    // standardised
}

TEST(RedactionPattern, WindowHoldsExactlyTheWholeMosaicsGrays) {
    const Rect rect(-100, -50, 700, 333);
    const auto whole = RP::scramble(rect);
    const auto window = RP::scrambleWindow(rect, Rect(20, 30, 150, 100));
    ASSERT_TRUE(whole && window);
    EXPECT_EQ(window->firstColumn, std::int64_t(std::floor(120 / window->cell)));
    EXPECT_EQ(window->firstRow, std::int64_t(std::floor(80 / window->cell)));
    for (std::size_t r = 0; r < window->grays.size(); ++r) {
        for (std::size_t c = 0; c < window->grays[r].size(); ++c) {
            EXPECT_EQ(window->grays[r][c],
                      whole->grays[std::size_t(window->firstRow) + r][std::size_t(window->firstColumn) + c]);
        }
    }
    // A huge region costs only its visible squares.
    const Rect huge(-4e15, -4e15, 8e15, 8e15);
    EXPECT_FALSE(RP::scramble(huge));
    const auto visible = RP::scrambleWindow(huge, Rect(0, 0, 256, 128));
    ASSERT_TRUE(visible);
    EXPECT_LE(visible->grays.size() * visible->grays.front().size(), 24u);
}

TEST(RedactionPattern, RectanglesWithoutATextureAreRefused) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Rect& bad : {Rect(nan, 0, 10, 10), Rect(0, inf, 10, 10), Rect(0, 0, -inf, 10), Rect(1e16, 0, 10, 10),
                            Rect(0, 0, 10, -1e16), Rect::null()}) {
        EXPECT_FALSE(RP::seed(bad) || RP::scramble(bad) || RP::blurTile(bad) || RP::scrambleWindow(bad, Rect(0, 0, 9, 9)));
    }
    EXPECT_TRUE(RP::isDrawable(Rect(-9007199254740992.0, 0, 10, 10)));
}

} // namespace
