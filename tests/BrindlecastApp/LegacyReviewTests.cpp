#include "PipelineTestSupport.h"

#include "SidecarKit/SidecarStore.h"

using namespace PipelineTests;
using BrindlecastApp::ReviewDecision;

namespace {

std::optional<Outcome<bool>> review(Harness& h, const QImage& image, const std::vector<Detection>& detections) {
    std::optional<Outcome<bool>> result;
    runLegacyReview(h.env, image, detections, h.policy, std::make_shared<AuditKit::AuditLog>(nullptr, h.log),
                    [&](Outcome<bool> outcome) { result = std::move(outcome); });
    waitUntil([&] { return result.has_value(); }, 5000);
    return result;
}


} // namespace

TEST(LegacyReview, WithoutMandatoryFindingsTheCaptureLeavesAtOnceWithEveryFindingHidden) {
    Harness h;
    const QImage image = FakeScreen::patterned(QSize(120, 80), 4);
    const Support::Rect phone(10, 10, 50, 12);
    const auto result = review(h, image, {suggested("phone", phone)});
    ASSERT_TRUE(result && result->succeeded());
    EXPECT_TRUE(*result->value);
    EXPECT_EQ(h.review->presentations, 0);
    ASSERT_EQ(h.clipboard->copies, 1);
    const QImage copied = QImage::fromData(h.clipboard->data).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_NE(copied.copy(phone.toQRectF().toRect()), image.copy(phone.toQRectF().toRect()));
    EXPECT_EQ(h.log->events()[0], AuditEvent::redaction({{"phone", 1}}));
}

TEST(LegacyReview, WithoutTheClipboardTheFolderIsUsed) {
    Harness h;
    h.policy.allowedExportDestinations = {PolicyKit::ExportDestination::folder};
    const auto result = review(h, FakeScreen::patterned(QSize(40, 30), 4), {});
    ASSERT_TRUE(result && result->succeeded());
    EXPECT_EQ(h.libraryFiles().size(), 1);
    EXPECT_EQ(h.host->additions, 0);
}

TEST(LegacyReview, AMandatoryFindingOrMandatoryReviewBringsTheWindow) {
    struct Row {
        bool mandatoryFinding;
        bool mandatoryReview;
    };
    for (const Row row : {Row{true, false}, Row{false, true}}) {
        Harness h;
        h.policy.mandatoryReview = row.mandatoryReview;
        h.review->answer = ReviewDecision::cancel();
        std::vector<Detection> found = {suggested("face", Support::Rect(1, 1, 5, 5))};
        if (row.mandatoryFinding) found.push_back(mandatory("ssn", Support::Rect(10, 1, 5, 5)));
        const auto result = review(h, FakeScreen::patterned(QSize(40, 30), 4), found);
        ASSERT_TRUE(result && result->succeeded());
        EXPECT_FALSE(*result->value);
        EXPECT_EQ(h.review->presentations, 1);
        EXPECT_EQ(h.review->shownDetections.size(), found.size());
        EXPECT_TRUE(h.review->shownSeed.empty());
        EXPECT_EQ(h.log->lines(Support::LogLevel::notice), QStringList{"review dismissed \u2014 nothing exported"});
        EXPECT_TRUE(h.log->events().empty());
        EXPECT_EQ(h.clipboard->copies, 0);
    }
}

TEST(LegacyReview, TheDecisionIsExportedAndNoStoredAnnotationsGoWithIt) {
    for (const PolicyKit::SidecarMode mode : {PolicyKit::SidecarMode::file, PolicyKit::SidecarMode::embedded}) {
        Harness h;
        h.policy.sidecarMode = mode;
        const Detection ssn = mandatory("ssn", Support::Rect(10, 1, 5, 5));
        h.review->answer = ReviewDecision::exportTo({ssn}, {box(Support::Rect(2, 2, 20, 20))}, ExportKit::DestinationKind::folder);
        const auto result = review(h, FakeScreen::patterned(QSize(40, 30), 4), {ssn});
        ASSERT_TRUE(result && result->succeeded());
        EXPECT_TRUE(*result->value);
        const QStringList files = h.libraryFiles();
        ASSERT_EQ(files.size(), 1) << files.join(", ").toStdString();
        EXPECT_TRUE(SidecarKit::SidecarStore::load(h.libraryFolder + "/" + files[0]).isMissing());
        EXPECT_EQ(h.host->additions, 0);
        EXPECT_EQ(h.log->eventKinds(), (QStringList{"redaction", "export"}));
    }
}

// What the user cropped away in the window does not leave with the export.
TEST(LegacyReview, TheWindowsCropIsExported) {
    Harness h;
    const Detection ssn = mandatory("ssn", Support::Rect(10, 1, 5, 5));
    h.review->answer = ReviewDecision::exportTo({ssn}, {}, ExportKit::DestinationKind::folder, Support::Rect(4, 3, 20, 12));
    const auto result = review(h, FakeScreen::patterned(QSize(40, 30), 4), {ssn});
    ASSERT_TRUE(result && result->succeeded());
    const QStringList files = h.libraryFiles();
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(QImage(h.libraryFolder + "/" + files[0]).size(), QSize(20, 12));
}

TEST(LegacyReview, ReleasingAMandatoryRedactionInTheWindowIsAudited) {
    Harness h;
    std::optional<Outcome<bool>> result;
    runLegacyReview(h.env, FakeScreen::patterned(QSize(40, 30), 4), {mandatory("ssn", Support::Rect(10, 1, 5, 5))},
                    h.policy, std::make_shared<AuditKit::AuditLog>(nullptr, h.log),
                    [&](Outcome<bool> outcome) { result = std::move(outcome); });
    ASSERT_TRUE(h.review->tamper);
    h.review->tamper();
    EXPECT_EQ(h.log->events(), std::vector<AuditEvent>{AuditEvent::policyViolation(
                                   "mandatoryRedactionTamperAttempt",
                                   "attempted to release a mandatory redaction in the review window")});
    h.review->decide(ReviewDecision::cancel());
    ASSERT_TRUE(result);
    EXPECT_FALSE(*result->value);
}

TEST(LegacyReview, AFailedExportIsPassedOn) {
    Harness h;
    h.policy.allowedExportDestinations = {};
    const auto result = review(h, FakeScreen::patterned(QSize(40, 30), 4), {});
    ASSERT_TRUE(result);
    ASSERT_FALSE(result->succeeded());
    EXPECT_EQ(describe(result->error), "destinationNotAllowed(folder)");
}
