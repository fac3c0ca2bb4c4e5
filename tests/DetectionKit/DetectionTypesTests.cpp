#include "QtPrinters.h"
#include "DetectionKit/Detection.h"
#include "DetectionKit/DetectionTesting.h"

#include <gtest/gtest.h>

using namespace DetectionKit;

TEST(PatternActionTest, RawValuesAreExactAndCaseSensitive) {
    struct Case {
        const char* raw;
        std::optional<PatternAction> action;
    };
    const Case cases[] = {
        {"blur-mandatory", PatternAction::blurMandatory},
        {"blur-suggested", PatternAction::blurSuggested},
        {"Blur-Mandatory", std::nullopt},
        {"BLUR-SUGGESTED", std::nullopt},
        {"blurMandatory", std::nullopt},
        {" blur-mandatory", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(patternActionFromRawValue(QString::fromUtf8(c.raw)), c.action) << c.raw;
        if (c.action) {
            EXPECT_EQ(rawValue(*c.action), QString::fromUtf8(c.raw));
        }
    }
}

TEST(DetectionTest, TranslatedMovesOnlyTheBox) {
    const Detection original =
        DetectionTesting::make("phone", PatternAction::blurMandatory, Support::Rect(120, 80, 40, 12), "555-123-4567");
    const Detection moved = original.translated(-100, -50);
    EXPECT_EQ(moved.boundingBox(), Support::Rect(20, 30, 40, 12));
    EXPECT_EQ(moved.detectorName(), "phone");
    EXPECT_EQ(moved.action(), PatternAction::blurMandatory);
    EXPECT_EQ(moved.matchedText(), "555-123-4567");
    EXPECT_EQ(original.boundingBox(), Support::Rect(120, 80, 40, 12));
}
