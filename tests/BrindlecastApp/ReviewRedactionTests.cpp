// The redactions of a review: releasing suggested ones, what an export burns in, running
// detection again off the GUI thread, and the once-only report of a mandatory release attempt.

#include "ReviewTestSupport.h"
#include "Support/WorkerPool.h"
#include "support/TestEnvironment.h"

#include <QSignalSpy>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>

using namespace BrindlecastApp;
using namespace ReviewTesting;
using DetectionKit::PatternAction;

namespace {

std::vector<QString> texts(const std::vector<Detection>& detections) {
    std::vector<QString> result;
    for (const Detection& d : detections) result.push_back(d.matchedText());
    return result;
}

// A detector that waits until the test lets it answer.
struct GatedDetector {
    std::shared_ptr<std::promise<void>> gate = std::make_shared<std::promise<void>>();
    std::shared_future<void> opened = gate->get_future().share();
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
    std::vector<Detection> answer;

    ReviewViewModel::DetectFunction function() const {
        return [opened = opened, calls = calls, answer = answer](const QImage&, const std::vector<DetectionKit::PatternInput>&) {
            ++*calls;
            opened.wait();
            return answer;
        };
    }
    void open() { gate->set_value(); }
};

void waitForDetection(ReviewViewModel& model) {
    if (!model.isDetectingPII()) return;
    QSignalSpy done(&model, &ReviewViewModel::detectingPIIChanged);
    ASSERT_TRUE(done.wait(10000));
    EXPECT_FALSE(model.isDetectingPII());
}

} // namespace

TEST(ReviewRedactions, ExportsBurnInMandatoryThenSuggestedNotReleased) {
    auto model = makeModel({.detections = {suggestedAt(0, "s0"), mandatoryAt(10, "m0"), suggestedAt(20, "s1"),
                                           suggestedAt(30, "s2")}});
    model->toggleSuggested(1);
    EXPECT_EQ(texts(model->detectionsToRedact()), (std::vector<QString>{"m0", "s0", "s2"}));
    model->toggleSuggested(1);
    EXPECT_EQ(texts(model->detectionsToRedact()), (std::vector<QString>{"m0", "s0", "s1", "s2"}));
}

TEST(ReviewRedactions, TogglingSuggestedRedactions) {
    struct Case {
        const char* name;
        int suggested;
        std::set<int> released;
        std::function<void(ReviewViewModel&)> act;
        std::set<int> expected;
    };
    const Case cases[] = {
        {"one released, toggle all releases all", 3, {1}, [](auto& m) { m.toggleAllSuggested(); }, {0, 1, 2}},
        {"all released, toggle all restores all", 3, {0, 1, 2}, [](auto& m) { m.toggleAllSuggested(); }, {}},
        {"none to toggle", 0, {}, [](auto& m) { m.toggleAllSuggested(); }, {}},
        {"an index past the end", 3, {}, [](auto& m) { m.toggleSuggested(3); }, {}},
        {"a negative index", 3, {}, [](auto& m) { m.toggleSuggested(-1); }, {}},
        {"release one", 3, {}, [](auto& m) { m.toggleSuggested(2); }, {2}},
        {"restore one", 3, {0, 2}, [](auto& m) { m.toggleSuggested(2); }, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Detection> detections{mandatoryAt(100)};
        for (int i = 0; i < c.suggested; ++i) detections.push_back(suggestedAt(i * 10));
        auto model = makeModel({.detections = detections});
        model->setReleasedSuggested(c.released);
        c.act(*model);
        EXPECT_EQ(model->releasedSuggested(), c.expected);
    }
}

TEST(ReviewRedactions, ReleasedIndexesOutsideTheSuggestedListAreDropped) {
    auto model = makeModel({.detections = {suggestedAt(0), suggestedAt(10)}});
    model->setReleasedSuggested({-1, 0, 1, 2, 7});
    EXPECT_EQ(model->releasedSuggested(), (std::set<int>{0, 1}));
}

TEST(ReviewRedactions, DetectingAgainAddsOnlyNewFindingsInDetectorOrder) {
    const Detection known = suggestedAt(0, "a@example.org");
    const Detection knownMandatory = mandatoryAt(50, "123-45-6789");
    std::vector<Detection> found{
        suggestedAt(0, "a@example.org"),                                           // same box and text: known
        mandatoryAt(50, "123-45-6789"),                                            // known, mandatory
        detection(PatternAction::blurSuggested, {0.25, 0, 10, 10}, "a@example.org"), // a fraction of a pixel off
        suggestedAt(0, "b@example.org"),                                            // same box, other text
        mandatoryAt(90, "T-1"),
        mandatoryAt(90, "T-1"), // two equal new findings are both kept
    };
    auto model = makeModel({.detections = {known, knownMandatory},
                            .detect = [found](const QImage&, const std::vector<DetectionKit::PatternInput>&) { return found; }});
    model->toggleSuggested(0);
    QSignalSpy changed(model.get(), &ReviewViewModel::detectionsChanged);

    model->runDetectPII();
    EXPECT_TRUE(model->isDetectingPII());
    waitForDetection(*model);

    EXPECT_EQ(texts(model->suggested()), (std::vector<QString>{"a@example.org", "a@example.org", "b@example.org"}));
    EXPECT_EQ(model->suggested()[1].boundingBox(), Support::Rect(0.25, 0, 10, 10));
    EXPECT_EQ(texts(model->mandatory()), (std::vector<QString>{"123-45-6789", "T-1", "T-1"}));
    EXPECT_EQ(model->releasedSuggested(), std::set<int>{0}) << "still the same detection";
    EXPECT_EQ(changed.count(), 1);

    // The same findings again: nothing new, nothing announced.
    model->runDetectPII();
    waitForDetection(*model);
    EXPECT_EQ(model->suggested().size(), 3u);
    EXPECT_EQ(model->mandatory().size(), 3u);
    EXPECT_EQ(changed.count(), 1);
}

TEST(ReviewRedactions, DetectionRunsWithTheImageAndThePolicyPatterns) {
    PolicyKit::EffectivePolicy policy;
    policy.piiPatterns = {{"ticket", "T-[0-9]+", PolicyKit::PIIAction::blurMandatory}};
    auto seen = std::make_shared<std::pair<QSize, std::vector<QString>>>();
    auto model = makeModel({.width = 33, .height = 21, .policy = policy,
                            .detect = [seen](const QImage& image, const std::vector<DetectionKit::PatternInput>& patterns) {
                                seen->first = image.size();
                                for (const auto& p : patterns) seen->second.push_back(p.name + "=" + p.regex);
                                return std::vector<Detection>{};
                            }});
    model->runDetectPII();
    waitForDetection(*model);
    EXPECT_EQ(seen->first, QSize(33, 21));
    EXPECT_EQ(seen->second, std::vector<QString>{"ticket=T-[0-9]+"});
}

TEST(ReviewRedactions, AFailedRunChangesNothing) {
    auto model = makeModel({.detections = {suggestedAt(0)}, .detect = [](const QImage&, const auto&) -> std::vector<Detection> {
                                throw std::runtime_error("recognition cannot run");
                            }});
    QSignalSpy changed(model.get(), &ReviewViewModel::detectionsChanged);
    model->runDetectPII();
    waitForDetection(*model);
    EXPECT_EQ(model->suggested().size(), 1u);
    EXPECT_EQ(changed.count(), 0);
}

// A run whose detector could not finish some lines tells the model's owner once, after its
// findings are in and the exports that waited for them went; a run that finished every line, or
// failed, tells nothing.
TEST(ReviewRedactions, TheOwnerHearsOfThePatternsARunCouldNotFinish) {
    using DetectionKit::DetectionResult;
    using DetectionKit::UnfinishedPattern;
    const std::vector<UnfinishedPattern> unfinished{{"employee-id", PatternAction::blurMandatory, 1},
                                                     {"ticket", PatternAction::blurSuggested, 2}};
    struct Case {
        const char* name;
        ReviewViewModel::DetectFunction detect;
        bool told;
    };
    const Case cases[] = {
        {"unfinished", [&](const QImage&, const auto&) { return DetectionResult{{mandatoryAt(5, "LINE")}, {}, unfinished}; },
         true},
        {"all finished", [](const QImage&, const auto&) { return DetectionResult{{mandatoryAt(5, "LINE")}}; }, false},
        {"failed", [](const QImage&, const auto&) -> DetectionResult { throw std::runtime_error("no recognition"); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto model = makeModel({.detect = c.detect});
        std::vector<std::vector<UnfinishedPattern>> heard;
        std::vector<std::string> order;
        model->setOnUnfinishedPatterns([&](const std::vector<UnfinishedPattern>& patterns) {
            heard.push_back(patterns);
            order.push_back("told, " + std::to_string(model->mandatory().size()) + " mandatory");
        });
        model->runDetectPII();
        model->whenDetectionsSettled([&] { order.push_back("export"); });
        waitForDetection(*model);
        QCoreApplication::processEvents();
        if (c.told) {
            EXPECT_EQ(heard, std::vector<std::vector<UnfinishedPattern>>{unfinished});
            EXPECT_EQ(order, (std::vector<std::string>{"export", "told, 1 mandatory"}));
        } else {
            EXPECT_TRUE(heard.empty());
        }
    }
    // Nobody listening: the findings still come in.
    auto model = makeModel({.detect = cases[0].detect});
    model->runDetectPII();
    waitForDetection(*model);
    EXPECT_EQ(texts(model->mandatory()), std::vector<QString>{"LINE"});
}

TEST(ReviewRedactions, ASecondRequestWhileARunIsInFlightIsIgnoredAndExportsWait) {
    GatedDetector detector;
    detector.answer = {suggestedAt(40, "late")};
    auto model = makeModel({.detect = detector.function()});
    QSignalSpy running(model.get(), &ReviewViewModel::detectingPIIChanged);

    model->runDetectPII();
    model->runDetectPII();
    EXPECT_TRUE(model->isDetectingPII());
    EXPECT_EQ(running.count(), 1);

    std::vector<std::size_t> seenByExport;
    model->whenDetectionsSettled([&] { seenByExport.push_back(model->detectionsToRedact().size()); });
    QCoreApplication::processEvents();
    EXPECT_TRUE(seenByExport.empty()) << "the export waits for the run";

    detector.open();
    waitForDetection(*model);
    EXPECT_EQ(*detector.calls, 1);
    EXPECT_EQ(seenByExport, std::vector<std::size_t>{1}) << "and then sees its findings";

    model->whenDetectionsSettled([&] { seenByExport.push_back(0); });
    EXPECT_EQ(seenByExport.size(), 2u) << "with no run in flight it goes at once";
}

TEST(ReviewRedactions, AModelDestroyedDuringARunIsNeverTouched) {
    GatedDetector detector;
    detector.answer = {suggestedAt(0)};
    bool exported = false;
    {
        auto model = makeModel({.detect = detector.function()});
        model->runDetectPII();
        model->whenDetectionsSettled([&] { exported = true; });
    }
    detector.open();
    Support::workerPool().waitForDone();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(exported);
    EXPECT_EQ(*detector.calls, 1);
}

// What an export asks first: do the detections hold what the policy of this moment makes
// mandatory? The opening policy's patterns are held; a pattern made mandatory since is looked for
// once, with the new policy's patterns, and its findings are hidden even where the user released
// the same finding as a suggestion; a run that fails covers nothing.
TEST(ReviewRedactions, APatternMadeMandatoryLaterIsLookedForOnceBeforeAnExport) {
    PolicyKit::EffectivePolicy opening = PolicyKit::EffectivePolicy::safeDefaults();
    opening.piiPatterns = {{"ticket", "T-[0-9]+", PolicyKit::PIIAction::blurSuggested}};
    auto runs = std::make_shared<std::vector<std::vector<QString>>>();
    auto fails = std::make_shared<bool>(false);
    auto model = makeModel({.detections = {suggestedAt(0, "T-1")}, .policy = opening,
                            .detect = [runs, fails](const QImage&, const std::vector<DetectionKit::PatternInput>& patterns) {
                                std::vector<QString> run;
                                for (const auto& p : patterns) run.push_back(p.name + ":" + DetectionKit::rawValue(p.action));
                                runs->push_back(run);
                                if (*fails) throw std::runtime_error("recognition cannot run");
                                return std::vector<Detection>{mandatoryAt(0, "T-1"), mandatoryAt(50, "T-2")};
                            }});
    model->toggleSuggested(0);

    PolicyKit::EffectivePolicy stricter = opening;
    stricter.piiPatterns[0].action = PolicyKit::PIIAction::blurMandatory;
    PolicyKit::EffectivePolicy strictest = stricter;
    strictest.piiPatterns.push_back({"email", "", PolicyKit::PIIAction::blurMandatory});

    struct Step {
        const char* name;
        const PolicyKit::EffectivePolicy& policy;
        bool failing;
        bool covered;
        std::size_t runs;
        std::vector<QString> redacted;
    };
    const Step steps[] = {
        {"the opening policy", opening, false, true, 0, {}},
        {"a pattern made mandatory", stricter, false, true, 1, {"T-1", "T-2"}},
        {"the same again", stricter, false, true, 1, {"T-1", "T-2"}},
        {"a built-in made mandatory, detection failing", strictest, true, false, 2, {"T-1", "T-2"}},
        {"looked for again at the next export", strictest, false, true, 3, {"T-1", "T-2"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        *fails = step.failing;
        std::optional<bool> covered;
        model->whenDetectionsCover(step.policy, [&](bool c) { covered = c; });
        ASSERT_TRUE(TestSupport::waitUntil([&] { return covered.has_value(); }, 10000));
        EXPECT_EQ(*covered, step.covered);
        EXPECT_EQ(model->detectionsCover(step.policy), step.covered);
        EXPECT_EQ(runs->size(), step.runs);
        EXPECT_EQ(texts(model->detectionsToRedact()), step.redacted);
    }
    EXPECT_EQ(runs->at(0), (std::vector<QString>{"ticket:blur-mandatory"}));
    EXPECT_EQ(runs->at(2), (std::vector<QString>{"ticket:blur-mandatory", "email:blur-mandatory"}));
}

TEST(ReviewRedactions, TamperIsReportedExactlyOnce) {
    int reports = 0;
    auto model = makeModel({.onTamper = [&] { ++reports; }});
    EXPECT_FALSE(model->tamperReported());
    model->reportMandatoryTamper();
    model->reportMandatoryTamper();
    model->reportMandatoryTamper();
    EXPECT_EQ(reports, 1);
    EXPECT_TRUE(model->tamperReported());
}
