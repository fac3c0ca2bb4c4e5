#include "FakeRecognizers.h"
#include "QtPrinters.h"

#include "DetectionKit/TextExtractor.h"

#include <gtest/gtest.h>

#include <limits>

using namespace DetectionKit;
using namespace DetectionTests;

namespace {

QImage whiteImage(int w = 400, int h = 300) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

// An item from a top-left pixel box in a W x H image.
TextExtractor::Item item(const char* text, double x, double y, double w, double h, double W = 100, double H = 100) {
    return {ImageBoxes::normalized(Support::Rect(x, y, w, h), W, H), QString::fromUtf8(text)};
}

} // namespace

TEST(TextExtractorTest, ReadingOrder) {
    struct Case {
        const char* description;
        std::vector<TextExtractor::Item> items;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"nothing", {}, ""},
        {"lines top to bottom, words left to right",
         {item("world", 50, 10, 30, 10), item("last", 10, 40, 30, 10), item("hello", 10, 10, 30, 10)},
         "hello world\nlast"},
        // The first word spans 10..20; the second 12..21 has its middle (16.5) above 20: one line.
        {"slightly different heights on one baseline", {item("a", 10, 10, 10, 10), item("b", 30, 12, 10, 9)}, "a b"},
        // The second's middle sits exactly on the first's bottom edge: a new line.
        {"middle on the bottom edge starts a new line", {item("a", 10, 10, 10, 10), item("b", 30, 15, 10, 10)}, "a\nb"},
        // Compared with the line's first item, never the previous one: c joins a's line through b.
        {"grouping compares with the first item of the line",
         {item("a", 10, 10, 10, 10), item("b", 30, 14, 10, 10), item("c", 50, 18, 10, 10)}, "a b\nc"},
        {"equal tops keep their order before the left-edge sort",
         {item("y", 50, 10, 10, 10), item("x", 50, 10, 10, 10)}, "y x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextExtractor::joinedInReadingOrder(c.items), QString::fromUtf8(c.expected)) << c.description;
}

TEST(TextExtractorTest, WholeImageWithoutExclusionsIsRecognisedAsIs) {
    const QImage image = whiteImage();
    FakeTextRecognizer recognizer({monospacedLine("second", Support::Rect(10, 100, 60, 20), 400, 300),
                                   monospacedLine("first", Support::Rect(10, 20, 50, 20), 400, 300)});
    EXPECT_EQ(TextExtractor::text(image, std::nullopt, {}, recognizer), "first\nsecond");
    EXPECT_EQ(recognizer.lastImage.size(), image.size());
}

TEST(TextExtractorTest, ExcludedAreasArePaintedBlackAndReadAsRedacted) {
    QImage image = whiteImage();
    image.setDevicePixelRatio(2); // rectangles are pixels whatever scale the capture carries
    // The crop is (50, 50, 200, 100); the recognised line sits left of the excluded area in it.
    FakeTextRecognizer recognizer({monospacedLine("name:", Support::Rect(10, 40, 50, 20), 200, 100)});
    const std::vector<Support::Rect> excluded = {
        Support::Rect(130.5, 88, 60, 24),   // inside the region: "[redacted]" after "name:"
        Support::Rect(60, 120, 100, 2),     // 2 px tall: painted, no word
        Support::Rect(300, 200, 50, 50),    // outside the region: nothing
    };
    const QString text = TextExtractor::text(image, Support::Rect(50, 50, 200, 100), excluded, recognizer);
    EXPECT_EQ(text, "name: [redacted]");

    const QImage seen = recognizer.lastImage;
    ASSERT_EQ(seen.size(), QSize(200, 100));
    // Painted rectangles are rounded outwards: 130.5 -> 130, so crop column 80 is black.
    EXPECT_EQ(QColor(seen.pixel(80, 38)), QColor(Qt::black));
    EXPECT_EQ(QColor(seen.pixel(140, 61)), QColor(Qt::black));
    EXPECT_EQ(QColor(seen.pixel(50, 70)), QColor(Qt::black)); // the thin one
    EXPECT_EQ(QColor(seen.pixel(79, 38)), QColor(Qt::white));
    EXPECT_EQ(QColor(seen.pixel(10, 10)), QColor(Qt::white));
    // The caller's image is untouched.
    EXPECT_EQ(QColor(image.pixel(140, 100)), QColor(Qt::white));
}

TEST(TextExtractorTest, ExclusionsReachingFarBeyondTheImageStillHideIt) {
    const double inf = std::numeric_limits<double>::infinity();
    for (const Support::Rect& excluded :
         {Support::Rect(0, 0, 1e10, 1e10), Support::Rect(-1e12, -1e12, 2e12, 2e12), Support::Rect(10, 10, inf, 280)}) {
        FakeTextRecognizer recognizer;
        EXPECT_EQ(TextExtractor::text(whiteImage(), std::nullopt, {excluded}, recognizer), "[redacted]");
        EXPECT_EQ(QColor(recognizer.lastImage.pixel(200, 150)), QColor(Qt::black)) << excluded.width();
    }
}

TEST(TextExtractorTest, ExclusionsOverlappingTheCropByTwoPixelsOrLessAddNothing) {
    FakeTextRecognizer recognizer;
    const Support::Rect region(100, 100, 100, 100);
    struct Case {
        Support::Rect excluded;
        const char* expected;
    };
    const Case cases[] = {
        {Support::Rect(50, 120, 52, 20), ""},          // 2 px inside horizontally
        {Support::Rect(50, 120, 53, 20), "[redacted]"}, // 3 px
        {Support::Rect(120, 198, 20, 20), ""},         // 2 px inside vertically
        {Support::Rect(0, 0, 400, 300), "[redacted]"},  // covers it all
        {Support::Rect(std::numeric_limits<double>::quiet_NaN(), 120, 20, 20), ""}, // names no pixels
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextExtractor::text(whiteImage(), region, {c.excluded}, recognizer), c.expected)
            << c.excluded.x() << "," << c.excluded.y() << " " << c.excluded.width() << "x" << c.excluded.height();
}

TEST(TextExtractorTest, RegionOutsideTheImageGivesNothingWithoutRecognition) {
    FakeTextRecognizer recognizer({monospacedLine("text", Support::Rect(0, 0, 40, 10), 400, 300)});
    EXPECT_EQ(TextExtractor::text(whiteImage(), Support::Rect(500, 500, 50, 50), {}, recognizer), "");
    EXPECT_EQ(TextExtractor::text(whiteImage(), Support::Rect(400, 0, 50, 50), {}, recognizer), ""); // touching
    EXPECT_EQ(TextExtractor::text(whiteImage(), Support::Rect(std::numeric_limits<double>::quiet_NaN(), 0, 50, 50), {},
                                  recognizer), "");
    EXPECT_EQ(recognizer.calls, 0);
}

TEST(TextExtractorTest, RegionIsRoundedOutwardsAndClipped) {
    FakeTextRecognizer recognizer;
    TextExtractor::text(whiteImage(), Support::Rect(350.5, 10.2, 100, 20.1), {}, recognizer);
    EXPECT_EQ(recognizer.lastImage.size(), QSize(50, 21));
}

TEST(TextExtractorTest, RecognitionFailureIsThrown) {
    FakeTextRecognizer recognizer;
    recognizer.failure = "no engine";
    EXPECT_THROW(TextExtractor::text(whiteImage(), std::nullopt, {Support::Rect(0, 0, 10, 10)}, recognizer),
                 RecognitionError);
}
