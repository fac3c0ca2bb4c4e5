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

TEST(ReviewPreview, SeedsABoxAnArrowAndATextInThatOrder) {
    QImage tall(100, 1000, QImage::Format_ARGB32_Premultiplied);
    const std::vector<SidecarKit::Annotation> seeds = ReviewPreview::seedAnnotations(tall);
    ASSERT_EQ(seeds.size(), 3u);
    EXPECT_EQ(seeds[0].typeName(), "box");
    EXPECT_EQ(seeds[1].typeName(), "arrow");
    ASSERT_EQ(seeds[2].typeName(), "text");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(seeds[i].zIndex, i);
    EXPECT_NE(seeds[0].id, seeds[1].id);
    EXPECT_EQ(std::get<SidecarKit::Annotation::Box>(seeds[0].kind).rotation, 0.35);
    EXPECT_EQ(std::get<SidecarKit::Annotation::Text>(seeds[2].kind).style.lineWidth, 40) << "0.04 of 1000 pixels";
    EXPECT_EQ(std::get<SidecarKit::Annotation::Text>(ReviewPreview::seedAnnotations(ReviewPreview::syntheticScreenshot())[2].kind)
                  .style.lineWidth,
              36);
}
