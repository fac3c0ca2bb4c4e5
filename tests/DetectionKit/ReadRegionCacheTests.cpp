// Lines read in a picture seen before come back moved to where the picture now lies, and only for
// the same pixels at the same scale.

#include "DetectionKit/ReadRegionCache.h"

#include <gtest/gtest.h>

using namespace DetectionKit;
using LineAssembly::PixelLine;

namespace {

ScreenTextRegions::Prepared picture(int seed, cv::Point2d origin, double scale = 2, int margin = 4) {
    cv::Mat grey(24, 90, CV_8UC1);
    cv::RNG(std::uint64_t(seed) + 1).fill(grey, cv::RNG::UNIFORM, 0, 256);
    return {grey, scale, origin, margin};
}

std::vector<PixelLine> lineAt(double x, double y) {
    return {PixelLine{QStringLiteral("555-123-4567"), Support::Rect(x, y, 40, 10), {{0, 3, Support::Rect(x, y, 9, 10)}}}};
}

} // namespace

TEST(ReadRegionCache, OnlyTheSamePicturesAtTheSameScaleAreKnown) {
    ReadRegionCache cache(1 << 20);
    const ScreenTextRegions::Prepared read = picture(7, {10, 20});
    cache.remember(read, lineAt(12, 22));

    ScreenTextRegions::Prepared onePixelOff = picture(7, {10, 20});
    onePixelOff.grey.at<uchar>(5, 5) ^= 1;
    struct Case {
        const char* what;
        ScreenTextRegions::Prepared prepared;
        bool known;
    };
    const Case cases[] = {
        {"the same picture elsewhere", picture(7, {110, 220}), true},
        {"one pixel differs", onePixelOff, false},
        {"another scale", picture(7, {10, 20}, 3), false},
        {"another margin", picture(7, {10, 20}, 2, 6), false},
        {"another picture", picture(8, {10, 20}), false},
    };
    for (const Case& c : cases) {
        const auto lines = cache.find(c.prepared);
        ASSERT_EQ(lines.has_value(), c.known) << c.what;
        if (!lines) continue;
        const PixelLine& moved = lines->front();
        EXPECT_EQ(moved.text, QStringLiteral("555-123-4567"));
        EXPECT_EQ(moved.box, Support::Rect(112, 222, 40, 10)) << c.what;
        EXPECT_EQ(moved.glyphs.front().box, Support::Rect(112, 222, 9, 10)) << c.what;
    }
}

TEST(ReadRegionCache, TheLeastRecentlyUsedGoFirstPastTheBound) {
    const std::size_t pictureBytes = picture(0, {}).grey.total();
    ReadRegionCache cache(3 * pictureBytes);
    for (int seed : {1, 2, 3}) cache.remember(picture(seed, {}), lineAt(0, 0));
    ASSERT_TRUE(cache.find(picture(1, {}))); // used again: now the most recent
    cache.remember(picture(4, {}), lineAt(0, 0));

    EXPECT_TRUE(cache.find(picture(1, {})));
    EXPECT_FALSE(cache.find(picture(2, {}))) << "the least recently used stays past the bound";
    EXPECT_TRUE(cache.find(picture(3, {})));
    EXPECT_TRUE(cache.find(picture(4, {})));
}
