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

TEST(WindowInfoTest, EqualityCoversEveryField) {
    const WindowInfo base{7, Rect(0, 0, 10, 10), QString("org.example.App"), true, 3};
    WindowInfo otherZ = base;
    otherZ.zIndex = 4;
    WindowInfo noBundle = base;
    noBundle.bundleID.reset();
    WindowInfo emptyBundle = base;
    emptyBundle.bundleID = QString();
    EXPECT_EQ(base, base);
    EXPECT_NE(base, otherZ);
    EXPECT_NE(base, noBundle);
    // An absent identifier equals only an absent one, not an empty text.
    EXPECT_NE(noBundle, emptyBundle);
}

TEST(CaptureErrorTest, BlockedIdentifiersCompareInOrder) {
    EXPECT_EQ(CaptureError::blockedContentPresent({"a", "b"}), CaptureError::blockedContentPresent({"a", "b"}));
    EXPECT_NE(CaptureError::blockedContentPresent({"a", "b"}), CaptureError::blockedContentPresent({"b", "a"}));
    EXPECT_NE(CaptureError::displayNotFound(), CaptureError::windowNotFound());
    EXPECT_EQ(CaptureError::blockedContentPresent({"org.example.Chat"}).description(),
              R"(blockedContentPresent(bundleIDs: ["org.example.Chat"]))");
    EXPECT_EQ(CaptureError::invalidRegion().description(), "invalidRegion");
}

namespace {
// Implements everything but the desktop-less capture.
class PlainProvider : public ScreenContentProvider {
public:
    ShareableSnapshot shareableContent() override { return {}; }
    QImage captureDisplay(const DisplayInfo& display, const QStringList& excluded) override {
        lastExcluded = excluded;
        QImage image(int(display.pixelWidth), int(display.pixelHeight), QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(excluded.size(), 2, 3));
        return image;
    }
    QImage captureWindow(const WindowInfo&) override { return {}; }
    QStringList lastExcluded;
};
} // namespace

TEST(ScreenContentProviderTest, DesktopLessCaptureDefaultsToTheDisplayCapture) {
    PlainProvider provider;
    const DisplayInfo display{1, Rect(0, 0, 4, 3), 4, 3};
    const QStringList excluded{"a", "b"};
    const QImage content = provider.captureDisplayContent(display, excluded);
    EXPECT_EQ(provider.lastExcluded, excluded);
    EXPECT_EQ(content, provider.captureDisplay(display, excluded));
}
