#include "PipelineTestSupport.h"

#include "BrindlecastApp/Pipeline/LibraryFiles.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <QImageReader>

#include <unistd.h>

using namespace PipelineTests;

namespace {

// A window of "org.example.Chat" over the middle of the display.
void putBlockedWindowOnScreen(Harness& h) {
    h.policy.blockedBundleIDs = {"org.example.Chat", "org.example.Mail"};
    h.policy.blockedAppBehavior = PolicyKit::BlockedAppBehavior::cancelCapture;
    h.screen->snapshot.windows.push_back({7, Support::Rect(100, 100, 80, 60), QString("org.example.Mail"), true, 0});
    h.screen->snapshot.windows.push_back({8, Support::Rect(150, 120, 80, 60), QString("org.example.Chat"), true, 1});
}

struct ResultRow {
    const char* way;
    std::function<void(Harness&)> arrange;
    QStringList auditKinds;
    std::vector<ShownAlert> alerts;
    QStringList errorLines;
    bool result;
    int filesLeft;
    int onboardings = 0;
    int editorsOpened = 0;
    int reviews = 0;
};

} // namespace

// Every way through a capture: what is audited, what the user sees, what is logged, what it returns.
TEST(CaptureRun, EachWayThroughTheRoadEndsAsDescribed) {
    const std::vector<ResultRow> rows = {
        {"refused by policy", putBlockedWindowOnScreen, {"policyViolation"},
         {{"Capture cancelled by policy", "The capture area contains content from an app your organization has blocked."}},
         {}, false, 0},
        {"not authorised", [](Harness& h) { h.screen->unauthorised = true; }, {}, {}, {}, false, 0, 1},
        {"other capture failure", [](Harness&) {}, {}, {{"Capture failed", "windowNotFound"}},
         {"capture failed: windowNotFound"}, false, 0},
        {"detection fails, a mandatory pattern",
         [](Harness& h) {
             h.policy.piiPatterns = {{"ssn", "", PolicyKit::PIIAction::blurMandatory}};
             h.detector = [](const QImage&) -> DetectionKit::DetectionResult { throw std::runtime_error("no engine"); };
         },
         {"capture"}, {{"Detection failed", "no engine"}}, {"pipeline failed: no engine"}, false, 0},
        // Written before its findings were looked for: what was written stays, the editor with it.
        {"detection fails, no mandatory pattern",
         [](Harness& h) { h.detector = [](const QImage&) -> DetectionKit::DetectionResult { throw std::runtime_error("no engine"); }; },
         {"capture", "export"}, {{"Detection failed", "no engine"}}, {"pipeline failed: no engine"}, true, 2, 0, 1},
        {"working copy cannot be written",
         [](Harness& h) { TestSupport::writeFile(h.libraryFolder, "a file where the folder belongs"); },
         {"capture"}, {{"Screenshot could not be saved", "/Brindlecast is not a folder"}}, {"pipeline failed: create folder"}, false, 0},
        {"companion redaction fails",
         [](Harness& h) {
             h.policy.piiPatterns = {{"email", "", PolicyKit::PIIAction::blurMandatory}};
             h.detector = [](const QImage& image) {
                 // Only the companion (97-seeded pixels) holds an unreadable finding.
                 const bool companion = qRed(image.pixel(0, 0)) == 97;
                 std::vector<Detection> found;
                 if (companion) found.push_back(mandatory("email", Support::Rect(std::nan(""), 0, 10, 10)));
                 return DetectionKit::DetectionResult{found, {}};
             };
         },
         {"capture", "export"}, {{"Screenshot could not be saved", "invalidRegion"}}, {"pipeline failed: invalidRegion"}, false, 1, 0, 1},
        {"legacy review", [](Harness& h) {
             h.env->arguments = {"brindlecast", "--legacy-review"};
             h.found = {mandatory("email", Support::Rect(10, 10, 40, 10))};
             h.review->answer = BrindlecastApp::ReviewDecision::cancel();
         },
         {"capture"}, {}, {}, false, 0, 0, 0, 1},
        {"saved, editor off", [](Harness& h) { h.host->values.openEditorAfterCapture = false; }, {"capture", "export"}, {}, {}, true, 2},
        {"saved, editor on", [](Harness&) {}, {"capture", "export"}, {}, {}, true, 2, 0, 1},
    };
    for (const ResultRow& row : rows) {
        SCOPED_TRACE(row.way);
        Harness h;
        row.arrange(h);
        const Mode mode = std::string_view(row.way) == "other capture failure" ? Mode::window(99) : Mode::region(Support::Rect(0, 0, 400, 300));
        const std::optional<bool> result = h.capture(mode);
        ASSERT_TRUE(result);
        EXPECT_EQ(*result, row.result);
        EXPECT_EQ(h.log->eventKinds(), row.auditKinds);
        ASSERT_EQ(h.alerts->shown.size(), row.alerts.size());
        for (std::size_t i = 0; i < row.alerts.size(); ++i) {
            EXPECT_EQ(h.alerts->shown[i].message, row.alerts[i].message);
            EXPECT_TRUE(h.alerts->shown[i].informativeText.contains(row.alerts[i].informativeText))
                << h.alerts->shown[i].informativeText.toStdString();
        }
        const QStringList errors = h.log->errors();
        ASSERT_EQ(errors.size(), row.errorLines.size()) << errors.join(" | ").toStdString();
        for (int i = 0; i < errors.size(); ++i) EXPECT_TRUE(errors[i].startsWith(row.errorLines[i])) << errors[i].toStdString();
        EXPECT_EQ(h.host->onboardings, row.onboardings);
        EXPECT_EQ(int(h.editor->presented.size()), row.editorsOpened);
        EXPECT_EQ(h.review->presentations, row.reviews);
        // What was written stays; nothing else is.
        EXPECT_EQ(h.libraryFiles().size(), row.filesLeft) << h.libraryFiles().join(", ").toStdString();
    }
}

TEST(CaptureRun, ARefusalRecordsOnlyTheViolationNamingEveryBlockedApplication) {
    Harness h;
    putBlockedWindowOnScreen(h);
    EXPECT_EQ(h.capture(Mode::display()), false);
    const std::vector<AuditEvent> events = h.log->events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], AuditEvent::policyViolation("cancelCapture", "blocked bundle IDs: org.example.Chat, org.example.Mail"));
    EXPECT_TRUE(h.libraryFiles().isEmpty());
}

TEST(CaptureRun, TheCaptureEventNamesModeApplicationAndBehaviour) {
    struct Row {
        Mode mode;
        PolicyKit::BlockedAppBehavior behaviour;
        AuditEvent expected;
    };
    const std::vector<Row> rows = {
        {Mode::region(Support::Rect(10, 10, 100, 50)), PolicyKit::BlockedAppBehavior::omit,
         AuditEvent::capture("region", {}, {}, "omit")},
        {Mode::display(), PolicyKit::BlockedAppBehavior::placeholder, AuditEvent::capture("display", {}, {}, "placeholder")},
        {Mode::window(5, QString("org.example.Editor")), PolicyKit::BlockedAppBehavior::cancelCapture,
         AuditEvent::capture("window", {"org.example.Editor"}, {}, "cancelCapture")},
        {Mode::window(5), PolicyKit::BlockedAppBehavior::omit, AuditEvent::capture("window", {}, {}, "omit")},
        {Mode::frontmostWindow(), PolicyKit::BlockedAppBehavior::omit,
         AuditEvent::capture("window", {"org.example.Editor"}, {}, "omit")},
    };
    for (const Row& row : rows) {
        Harness h;
        h.policy.blockedAppBehavior = row.behaviour;
        h.policy.blockedBundleIDs = {"org.example.Chat"};
        h.screen->snapshot.windows.push_back({5, Support::Rect(20, 20, 120, 90), QString("org.example.Editor"), true, 0});
        h.frontmost = "org.example.Editor";
        ASSERT_EQ(h.capture(row.mode), true);
        ASSERT_FALSE(h.log->events().empty());
        EXPECT_EQ(h.log->events().front(), row.expected);
    }
}

TEST(CaptureRun, FrontmostWindowIsTheFirstListedOnScreenWindowLargerThanAPoint) {
    struct Row {
        const char* name;
        std::optional<QString> frontmost;
        std::vector<CaptureKit::WindowInfo> windows;
        std::optional<std::uint32_t> captured;
    };
    const std::optional<QString> none;
    const std::vector<Row> rows = {
        {"first qualifying window wins", QString("org.example.A"),
         {{1, Support::Rect(0, 0, 100, 100), QString("org.example.B"), true, 0},
          {2, Support::Rect(0, 0, 100, 100), QString("org.example.A"), true, 1},
          {3, Support::Rect(0, 0, 100, 100), QString("org.example.A"), true, 2}},
         2},
        {"no application ID matches windows without one", none,
         {{1, Support::Rect(0, 0, 100, 100), QString("org.example.B"), true, 0},
          {4, Support::Rect(0, 0, 50, 50), none, true, 1}},
         4},
        {"one-point-wide and off-screen windows never count", QString("org.example.A"),
         {{1, Support::Rect(0, 0, 1, 100), QString("org.example.A"), true, 0},
          {2, Support::Rect(0, 0, 100, 1), QString("org.example.A"), true, 1},
          {3, Support::Rect(0, 0, 100, 100), QString("org.example.A"), false, {}}},
         {}},
        {"a known application does not match windows without one", QString("org.example.A"),
         {{4, Support::Rect(0, 0, 50, 50), none, true, 0}}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Harness h;
        h.frontmost = row.frontmost;
        h.screen->snapshot.windows = row.windows;
        const std::optional<bool> result = h.capture(Mode::frontmostWindow());
        EXPECT_EQ(*result, row.captured.has_value());
        if (row.captured) {
            EXPECT_EQ(h.screen->captured, std::vector<std::uint32_t>{*row.captured});
        } else {
            ASSERT_EQ(h.alerts->shown.size(), 1u);
            EXPECT_EQ(h.alerts->shown[0], (ShownAlert{"Capture failed", "windowNotFound"}));
        }
    }
}

TEST(CaptureRun, PolicyAndDetectionDiagnosticsAreLoggedInOrderBeforeTheCapture) {
    Harness h;
    h.diagnostics = {"first", "second", "third"};
    h.detectionDiagnostics = {"custom pattern 'x' skipped: match timed out"};
    h.policy.piiPatterns = {{"employee", "E-[0-9]+", PolicyKit::PIIAction::blurMandatory},
                            {"email", "", PolicyKit::PIIAction::blurSuggested}};
    ASSERT_EQ(h.capture(Mode::display()), true);
    EXPECT_EQ(h.log->errors(), (QStringList{"policy: first", "policy: second", "policy: third",
                                            "detection: custom pattern 'x' skipped: match timed out"}));
    ASSERT_EQ(h.lastPatterns.size(), 2u);
    EXPECT_EQ(h.lastPatterns[0].name, "employee");
    EXPECT_EQ(h.lastPatterns[0].action, PatternAction::blurMandatory);
    EXPECT_EQ(h.lastPatterns[1].action, PatternAction::blurSuggested);
}

TEST(CaptureRun, DesktopLessImageOnlyForRegionAndDisplayAndItsFailureIsNotFatal) {
    struct Row {
        Mode mode;
        bool contentAvailable;
        QStringList errors;
        bool companionFile;
        QString editorLine;
    };
    const std::vector<Row> rows = {
        // Nothing to look for in it: made with the working copy, it goes to the editor with it.
        {Mode::display(), true, {}, true, "openEditor: contentImage 400x300"},
        {Mode::region(Support::Rect(0, 0, 400, 300)), false,
         {"desktop-less capture failed: desktop-less image unavailable",
          "backdrop desktop-replacement unavailable: desktop-less capture returned nil"},
         false, "openEditor: contentImage nil"},
        {Mode::window(5), true, {}, false, "openEditor: contentImage nil"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode.name().toStdString());
        Harness h;
        h.screen->snapshot.windows.push_back({5, Support::Rect(0, 0, 100, 80), QString("org.example.A"), true, 0});
        if (!row.contentAvailable) h.screen->content.reset();
        ASSERT_EQ(h.capture(row.mode), true);
        EXPECT_EQ(h.log->errors(), row.errors);
        EXPECT_EQ(h.libraryFiles().size(), row.companionFile ? 2 : 1) << h.libraryFiles().join(", ").toStdString();
        EXPECT_EQ(h.log->lines(Support::LogLevel::info), QStringList{row.editorLine});
    }
}

// The working copy hides mandatory findings only; the companion hides the capture's mandatory
// findings and its own, and is written beside it under the ".content.png" name.
TEST(CaptureRun, WorkingCopyAndCompanionHideWhatTheyMust) {
    Harness h;
    h.policy.piiPatterns = {{"card", "", PolicyKit::PIIAction::blurMandatory}};
    const Support::Rect mandatoryBox(10, 10, 60, 20), suggestedBox(200, 200, 50, 20), underTheDock(300, 260, 60, 30);
    h.detector = [&](const QImage& image) {
        const bool companion = qRed(image.pixel(0, 0)) == 97;
        if (companion) return DetectionKit::DetectionResult{{mandatory("card", underTheDock)}, {}};
        return DetectionKit::DetectionResult{{mandatory("email", mandatoryBox), suggested("face", suggestedBox)}, {}};
    };
    ASSERT_EQ(h.capture(Mode::display()), true);

    const QString workingCopy = h.libraryFolder + "/Screenshot 2026-12-05 at 6.25.34 PM.png";
    const QString companion = h.libraryFolder + "/Screenshot 2026-12-05 at 6.25.34 PM.content.png";
    EXPECT_EQ(h.libraryFiles(), (QStringList{QFileInfo(companion).fileName(), QFileInfo(workingCopy).fileName()}));
    const QImage saved = QImage(workingCopy).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage beside = QImage(companion).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage captured = h.screen->display, content = *h.screen->content;
    auto unchangedInside = [](const QImage& a, const QImage& b, const Support::Rect& box) {
        return a.copy(box.toQRectF().toRect()) == b.copy(box.toQRectF().toRect());
    };
    EXPECT_FALSE(unchangedInside(saved, captured, mandatoryBox));
    EXPECT_TRUE(unchangedInside(saved, captured, suggestedBox));
    EXPECT_TRUE(unchangedInside(saved, captured, underTheDock));
    EXPECT_FALSE(unchangedInside(beside, content, mandatoryBox));
    EXPECT_FALSE(unchangedInside(beside, content, underTheDock));
    EXPECT_TRUE(unchangedInside(beside, content, suggestedBox));
    // The editor gets the companion as written.
    ASSERT_EQ(h.editor->presented.size(), 1u);
    EXPECT_EQ(h.editor->presented[0]->path(), workingCopy);
    ASSERT_TRUE(h.editor->presented[0]->viewModel().contentImage());
    EXPECT_EQ(h.editor->presented[0]->viewModel().contentImage()->convertToFormat(QImage::Format_ARGB32_Premultiplied), beside);
}

TEST(CaptureRun, ACompanionOfAnotherSizeOrWhoseDetectionFailsIsLeftOut) {
    for (const bool sizeMismatch : {true, false}) {
        Harness h;
        h.policy.piiPatterns = {{"email", "", PolicyKit::PIIAction::blurMandatory}};
        if (sizeMismatch) {
            h.screen->content = FakeScreen::patterned(QSize(399, 300), 97);
        } else {
            h.detector = [](const QImage& image) -> DetectionKit::DetectionResult {
                if (qRed(image.pixel(0, 0)) == 97) throw std::runtime_error("recogniser gone");
                return {};
            };
        }
        ASSERT_EQ(h.capture(Mode::display()), true);
        EXPECT_EQ(h.libraryFiles().size(), 1);
        EXPECT_EQ(h.log->lines(Support::LogLevel::info), QStringList{"openEditor: contentImage pending"});
        EXPECT_FALSE(h.editor->presented.at(0)->viewModel().contentImage());
        ASSERT_EQ(h.log->errors().size(), 1);
        EXPECT_TRUE(h.log->errors()[0].startsWith(sizeMismatch ? "desktop-less image left out: 399x300"
                                                               : "desktop-less detection failed: recogniser gone"));
    }
}

TEST(CaptureRun, AutomaticCopyHappensOnlyWhenEveryConditionHolds) {
    struct Row {
        const char* name;
        bool host = true;
        bool setting = true;
        bool clipboardAllowed = true;
        bool mandatoryFinding = false;
        bool mandatoryReview = false;
        bool copied = true;
    };
    const std::vector<Row> rows = {
        {"all conditions hold"},
        {"setting off", true, false, true, false, false, false},
        {"clipboard not allowed", true, true, false, false, false, false},
        {"a mandatory finding", true, true, true, true, false, false},
        {"mandatory review", true, true, true, false, true, false},
        {"no application", false, true, true, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Harness h;
        h.host->values.copyToClipboardAutomatically = row.setting;
        h.policy.mandatoryReview = row.mandatoryReview;
        if (!row.clipboardAllowed) h.policy.allowedExportDestinations = {PolicyKit::ExportDestination::folder};
        h.found = {suggested("phone", Support::Rect(40, 40, 80, 16))};
        if (row.mandatoryFinding) {
            h.policy.piiPatterns = {{"ssn", "", PolicyKit::PIIAction::blurMandatory}};
            h.found.push_back(mandatory("ssn", Support::Rect(40, 80, 80, 16)));
        }
        if (!row.host) h.withoutHost();
        ASSERT_EQ(h.capture(Mode::display()), true);
        EXPECT_EQ(h.clipboard->copies, row.copied ? 1 : 0);
        const QStringList expected = row.copied ? QStringList{"capture", "export", "redaction", "export"}
                                                : QStringList{"capture", "export"};
        EXPECT_EQ(h.log->eventKinds(), expected);
        // The editor opens in every case; without an application there is no window.
        EXPECT_EQ(h.editor->presented.size(), row.host ? 1u : 0u);
        EXPECT_EQ(h.log->lines(Support::LogLevel::info).size(), 1);
    }
}

TEST(CaptureRun, TheAutomaticCopyHidesEverySuggestedFindingOfTheWorkingCopy) {
    Harness h;
    h.host->values.copyToClipboardAutomatically = true;
    const Support::Rect box(40, 40, 80, 16);
    h.found = {suggested("phone", box), suggested("phone", Support::Rect(40, 100, 80, 16))};
    ASSERT_EQ(h.capture(Mode::display()), true);
    ASSERT_EQ(h.clipboard->type, "image/png");
    const QImage copied = QImage::fromData(h.clipboard->data).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage saved = QImage(h.host->library.first()).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(copied.size(), saved.size());
    EXPECT_NE(copied.copy(box.toQRectF().toRect()), saved.copy(box.toQRectF().toRect()));
    EXPECT_EQ(copied.copy(0, 0, 30, 30), saved.copy(0, 0, 30, 30));
    const std::vector<AuditEvent> events = h.log->events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[2], AuditEvent::redaction({{"phone", 2}}));
    EXPECT_EQ(std::get<AuditEvent::Export>(events[3].value).destinationKind, "clipboard");
}

TEST(CaptureRun, ACaptureStartedWhileAnotherIsDetectingKeepsItsOwnFiles) {
    Harness h;
    h.policy.piiPatterns = {{"email", "", PolicyKit::PIIAction::blurMandatory}};
    std::atomic<bool> release{false};
    std::atomic<int> entered{0};
    h.detector = [&](const QImage& image) {
        // The first capture (a display) waits inside detection until the second has finished.
        if (image.width() == 400 && entered.fetch_add(1) == 0) {
            while (!release) QThread::msleep(2);
        }
        return DetectionKit::DetectionResult{{mandatory("email", Support::Rect(0, 0, 20, 20))}, {}};
    };
    h.screen->snapshot.windows.push_back({5, Support::Rect(0, 0, 120, 90), QString("org.example.A"), true, 0});

    std::optional<bool> first, second;
    run(h.env, Mode::display(), [&](bool ok) { first = ok; });
    ASSERT_TRUE(waitUntil([&] { return entered.load() == 1; }));
    run(h.env, Mode::window(5), [&](bool ok) { second = ok; });
    ASSERT_TRUE(waitUntil([&] { return second.has_value(); }));
    EXPECT_FALSE(first.has_value());
    release = true;
    ASSERT_TRUE(waitUntil([&] { return first.has_value(); }));
    EXPECT_TRUE(*first && *second);

    // Same second, two names; each file holds its own capture.
    const QString base = h.libraryFolder + "/Screenshot 2026-12-05 at 6.25.34 PM";
    ASSERT_EQ(h.host->library, (QStringList{base + " (1).png", base + ".png"}));
    EXPECT_EQ(QImageReader(base + ".png").size(), QSize(120, 90));
    EXPECT_EQ(QImageReader(base + " (1).png").size(), QSize(400, 300));
    EXPECT_TRUE(QFile::exists(base + " (1).content.png"));
    EXPECT_FALSE(QFile::exists(base + ".content.png"));
    EXPECT_EQ(h.editor->presented.size(), 1u);
    EXPECT_EQ(h.editor->loaded.size(), 1u);
}


// A link planted in a shared library folder under the next capture's companion name is never
// written through: the file it points to stays as it was, the link stays a link, and the editor
// still gets the desktop-less image.
TEST(CaptureRun, ALinkUnderTheCompanionNameIsNeverWrittenThrough) {
    Harness h;
    QDir().mkpath(h.libraryFolder);
    const QString victim = TestSupport::makeTemporaryFolder("victim") + "/notes.txt";
    TestSupport::writeFile(victim, "keep me");
    const QString companion = h.libraryFolder + "/Screenshot 2026-12-05 at 6.25.34 PM.content.png";
    ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), QFile::encodeName(companion).constData()), 0);

    ASSERT_EQ(h.capture(Mode::display()), true);
    EXPECT_EQ(TestSupport::readFile(victim), "keep me");
    EXPECT_TRUE(QFileInfo(companion).isSymLink());
    EXPECT_EQ(h.libraryFiles(), (QStringList{QFileInfo(companion).fileName(), "Screenshot 2026-12-05 at 6.25.34 PM.png"}));
    ASSERT_EQ(h.log->errors().size(), 1);
    EXPECT_TRUE(h.log->errors()[0].startsWith("desktop-less image not written: " + companion + ": File exists"))
        << h.log->errors()[0].toStdString();
    EXPECT_EQ(h.log->lines(Support::LogLevel::info), QStringList{"openEditor: contentImage 400x300"});
}

// The automatic copy leaves seconds after the capture read the policy (the search for personal data
// runs in between): a policy written meanwhile decides it, as it decides the editor's Copy. Here
// the organisation writes it while the capture is searched.
TEST(CaptureRun, TheAutomaticCopyGoesByThePolicyOfTheMomentItLeaves) {
    const PolicyKit::PIIPattern blue{"Codename", "BLUE[A-Z]+", PolicyKit::PIIAction::blurMandatory};
    const Support::Rect phoneBox(40, 40, 80, 16), codenameBox(40, 120, 120, 16);
    struct Row {
        const char* change;
        std::function<void(PolicyKit::EffectivePolicy&)> writtenDuringTheSearch;
        // What the search finds with the policy's patterns.
        std::function<std::vector<Detection>(const std::vector<DetectionKit::PatternInput>&)> finds;
        bool mandatoryPatternAtTheHotKey = false;
        bool copied = false;
        int searches = 1;
        QString withheldBecause;
    };
    const auto phoneAndCodename = [&](const std::vector<DetectionKit::PatternInput>& patterns) {
        std::vector<Detection> found = {suggested("phone", phoneBox)};
        for (const auto& pattern : patterns)
            if (pattern.name == "Codename") found.push_back(mandatory("Codename", codenameBox));
        return found;
    };
    const auto phoneOnly = [&](const std::vector<DetectionKit::PatternInput>&) {
        return std::vector<Detection>{suggested("phone", phoneBox)};
    };
    const std::vector<Row> rows = {
        {"nothing", [](auto&) {}, phoneOnly, false, true, 1, ""},
        {"a pattern made mandatory that finds something", [&](auto& p) { p.piiPatterns = {blue}; }, phoneAndCodename,
         false, false, 2, "a finding is mandatory"},
        {"a pattern made mandatory that finds nothing", [&](auto& p) { p.piiPatterns = {blue}; }, phoneOnly, false, true, 2,
         ""},
        {"the clipboard no longer allowed",
         [](auto& p) { p.allowedExportDestinations = {PolicyKit::ExportDestination::folder}; }, phoneOnly, false, false, 1,
         "the policy does not allow the clipboard"},
        {"review made mandatory", [](auto& p) { p.mandatoryReview = true; }, phoneOnly, false, false, 1,
         "the policy requires every capture to be reviewed first"},
        // Searched twice: the capture and its desktop-less companion.
        {"the clipboard taken away from a capture searched before it was written",
         [](auto& p) { p.allowedExportDestinations = {}; }, phoneOnly, true, false, 2,
         "the policy does not allow the clipboard"},
        {"a new mandatory pattern at every search",
         [](auto& p) {
             p.piiPatterns.push_back(
                 {"Ticket" + QString::number(p.piiPatterns.size()), "T[0-9]+", PolicyKit::PIIAction::blurMandatory});
         },
         phoneOnly, false, false, 4,
         "the organization's policy kept changing while the capture was searched for what it makes mandatory"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.change);
        Harness h;
        h.host->values.copyToClipboardAutomatically = true;
        if (row.mandatoryPatternAtTheHotKey)
            h.policy.piiPatterns = {{"Ticket", "TICKET-[0-9]+", PolicyKit::PIIAction::blurMandatory}};
        // Each search runs on a worker after the last read of the policy, and before the next.
        h.detector = [&](const QImage&) {
            const std::vector<DetectionKit::PatternInput> patterns = h.lastPatterns;
            row.writtenDuringTheSearch(h.policy);
            return DetectionKit::DetectionResult{row.finds(patterns), {}};
        };
        ASSERT_EQ(h.capture(Mode::display()), true);
        EXPECT_EQ(h.detections, row.searches);
        EXPECT_EQ(h.clipboard->copies, row.copied ? 1 : 0);
        const QStringList withheld = (h.log->lines(Support::LogLevel::notice) + h.log->errors()).filter("auto-copy skipped");
        EXPECT_EQ(withheld, row.withheldBecause.isEmpty() ? QStringList{} : QStringList{"auto-copy skipped: " + row.withheldBecause});
        if (!row.copied) continue;
        // Everything found under the policy of the moment is hidden on the clipboard.
        EXPECT_EQ(h.log->events().at(2), AuditEvent::redaction({{"phone", 1}}));
    }
}

// A watermark the organisation switched on while the capture was searched is on what leaves.
TEST(CaptureRun, TheAutomaticCopyCarriesTheWatermarkOfTheMomentItLeaves) {
    Harness h;
    h.host->values.copyToClipboardAutomatically = true;
    h.detector = [&](const QImage&) {
        h.policy.watermark = {true, true, true, false};
        return DetectionKit::DetectionResult{};
    };
    ASSERT_EQ(h.capture(Mode::display()), true);
    ASSERT_EQ(h.clipboard->copies, 1);
    const QImage copied = QImage::fromData(h.clipboard->data).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage saved = QImage(h.host->library.first()).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_EQ(copied.size(), saved.size());
    const QRect corner(saved.width() - 120, saved.height() - 40, 120, 40);
    EXPECT_NE(copied.copy(corner), saved.copy(corner)) << "no mark in the bottom-right corner";
}
