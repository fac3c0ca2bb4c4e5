#include "CaptureKit/CaptureError.h"
#include "CaptureKit/ScreenContentProvider.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace CaptureKit;
using Support::Rect;

TEST(DisplayInfoTest, ScaleIsPixelsPerPointOrOneForAFrameWithoutWidth) {
    struct Case {
        Rect frame;
        std::int64_t pixelWidth;
        double scale;
    } cases[] = {
        {Rect(0, 0, 1512, 982), 3024, 2.0},
        {Rect(0, 0, 1920, 1080), 1920, 1.0},
        {Rect(0, 0, 0, 100), 3024, 1.0},
        {Rect(0, 0, -10, 100), 3024, 1.0},
        {Rect(0, 0, std::nan(""), 100), 3024, 1.0},
    };
    for (const Case& c : cases) {
        const DisplayInfo display{1, c.frame, c.pixelWidth, 100};
        EXPECT_EQ(display.scale(), c.scale) << c.frame.width();
    }
}

TEST(CaptureErrorTest, BlockedIdentifiersCompareInOrder) {
    EXPECT_EQ(CaptureError::blockedContentPresent({"a", "b"}), CaptureError::blockedContentPresent({"a", "b"}));
    EXPECT_NE(CaptureError::blockedContentPresent({"a", "b"}), CaptureError::blockedContentPresent({"b", "a"}));
    EXPECT_NE(CaptureError::displayNotFound(), CaptureError::windowNotFound());
    EXPECT_EQ(CaptureError::blockedContentPresent({"org.example.Chat"}).description(),
              R"(blockedContentPresent(bundleIDs: ["org.example.Chat"]))");
    EXPECT_EQ(CaptureError::invalidRegion().description(), "invalidRegion");
}
