#include "BrindlecastApp/Shell/ReviewPreview.h"

#include <QDir>

#include <gtest/gtest.h>

#include <map>

using namespace BrindlecastApp;

// The sample holds one finding of each kind the detectors look for, the social security number
// among them made mandatory; the card number passes the Luhn check, or the card detector would
// pass over it.
TEST(ReviewPreview, TheSampleScreenshotHoldsFindingsOfEveryKind) {
    const QImage sample = ReviewPreview::syntheticScreenshot();
    ASSERT_EQ(sample.size(), QSize(1400, 900));
    EXPECT_EQ(sample.pixel(700, 450), QColor::fromRgbF(0.96f, 0.96f, 0.96f).rgba()) << "the card";
    EXPECT_LT(sample.pixelColor(20, 20).lightnessF(), 0.25) << "the dark backdrop";
    const QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
    if (!folder.isEmpty() && QDir().mkpath(folder)) sample.save(folder + "/review-preview-sample.png");

    std::map<QString, DetectionKit::PatternAction> found;
    for (const DetectionKit::Detection& detection : ReviewPreview::detections(sample))
        found[detection.detectorName()] = detection.action();
    using Action = DetectionKit::PatternAction;
    EXPECT_EQ(found, (std::map<QString, Action>{{"email", Action::blurSuggested},
                                                 {"ssn", Action::blurMandatory},
                                                 {"phone", Action::blurSuggested},
                                                 {"card", Action::blurSuggested},
                                                 {"ipv4", Action::blurSuggested}}));
}
