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
    // The window comes once the policy of the moment has been read.
    ASSERT_TRUE(waitUntil([&] { return bool(h.review->tamper); }, 5000));
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

// The review road goes by the policy of the moment it leaves, not of the hot key: written while
// the capture was searched, or while the window was up, it decides what leaves.
TEST(LegacyReview, WhatLeavesGoesByThePolicyOfItsMoment) {
    const PolicyKit::PIIPattern blue{"Codename", "BLUE[A-Z]+", PolicyKit::PIIAction::blurMandatory};
    const Detection phone = suggested("phone", Support::Rect(2, 2, 10, 5));
    const Detection codename = mandatory("Codename", Support::Rect(20, 10, 12, 5));
    struct Row {
        const char* change;
        std::function<void(PolicyKit::EffectivePolicy&)> writtenBeforeLeaving;
        bool windowShown;
        std::vector<Detection> shown;
        QStringList events;
    };
    const std::vector<Row> rows = {
        {"nothing", [](auto&) {}, false, {}, {"redaction", "export"}},
        {"a pattern made mandatory that finds something", [&](auto& p) { p.piiPatterns = {blue}; }, true,
         {phone, codename}, {}},
        {"review made mandatory", [](auto& p) { p.mandatoryReview = true; }, true, {phone}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.change);
        Harness h;
        h.review->answer = ReviewDecision::cancel();
        row.writtenBeforeLeaving(h.policy);
        // Searched again with the policy's patterns: the codename is found once they name it.
        h.detector = [&](const QImage&) {
            std::vector<Detection> found = {phone};
            for (const auto& pattern : h.lastPatterns)
                if (pattern.name == "Codename") found.push_back(codename);
            return DetectionKit::DetectionResult{found, {}};
        };
        PolicyKit::EffectivePolicy atTheHotKey;
        atTheHotKey.mandatoryReview = false;
        std::optional<Outcome<bool>> result;
        runLegacyReview(h.env, FakeScreen::patterned(QSize(40, 30), 4), {phone}, atTheHotKey,
                        std::make_shared<AuditKit::AuditLog>(nullptr, h.log),
                        [&](Outcome<bool> outcome) { result = std::move(outcome); });
        ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 5000));
        ASSERT_TRUE(result->succeeded());
        EXPECT_EQ(h.review->presentations, row.windowShown ? 1 : 0);
        if (row.windowShown) {
            EXPECT_EQ(h.review->shownDetections.size(), row.shown.size());
        }
        EXPECT_EQ(h.log->eventKinds(), row.events);
    }
}

// A pattern made mandatory while the window was up is hidden in the decision's export, though
// the user never saw its finding; a destination taken away meanwhile is refused.
TEST(LegacyReview, TheDecisionLeavesUnderThePolicyOfTheMomentItIsMade) {
    const Detection codename = mandatory("Codename", Support::Rect(20, 10, 12, 5));
    struct Row {
        const char* change;
        std::function<void(PolicyKit::EffectivePolicy&)> writtenWhileTheWindowIsUp;
        bool exported;
        std::map<QString, qint64> redacted;
    };
    const std::vector<Row> rows = {
        {"nothing", [](auto&) {}, true, {{"ssn", 1}}},
        {"a pattern made mandatory",
         [](auto& p) { p.piiPatterns.push_back({"Codename", "BLUE[A-Z]+", PolicyKit::PIIAction::blurMandatory}); }, true,
         {{"ssn", 1}, {"Codename", 1}}},
        {"the folder no longer allowed",
         [](auto& p) { p.allowedExportDestinations = {PolicyKit::ExportDestination::clipboard}; }, false, {{"ssn", 1}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.change);
        Harness h;
        h.policy.piiPatterns = {{"ssn", "", PolicyKit::PIIAction::blurMandatory}};
        const Detection ssn = mandatory("ssn", Support::Rect(10, 1, 5, 5));
        h.detector = [&](const QImage&) {
            std::vector<Detection> found = {ssn};
            for (const auto& pattern : h.lastPatterns)
                if (pattern.name == "Codename") found.push_back(codename);
            return DetectionKit::DetectionResult{found, {}};
        };
        std::optional<Outcome<bool>> result;
        runLegacyReview(h.env, FakeScreen::patterned(QSize(40, 30), 4), {ssn}, h.policy,
                        std::make_shared<AuditKit::AuditLog>(nullptr, h.log),
                        [&](Outcome<bool> outcome) { result = std::move(outcome); });
        ASSERT_TRUE(waitUntil([&] { return bool(h.review->decide); }, 5000));
        row.writtenWhileTheWindowIsUp(h.policy);
        h.review->decide(ReviewDecision::exportTo({ssn}, {}, ExportKit::DestinationKind::folder));
        ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 5000));
        EXPECT_EQ(result->succeeded(), row.exported);
        EXPECT_EQ(h.libraryFiles().size(), row.exported ? 1 : 0);
        ASSERT_FALSE(h.log->events().empty());
        EXPECT_EQ(h.log->events()[0], AuditEvent::redaction(row.redacted));
    }
}
