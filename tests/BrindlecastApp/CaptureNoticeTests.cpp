#include "PipelineTestSupport.h"

#include "../DetectionKit/FakeRecognizers.h"

#include "BrindlecastApp/Pipeline/FreedesktopTrash.h"
#include "BrindlecastApp/Pipeline/PipelineLog.h"
#include "BrindlecastApp/Pipeline/UserNotices.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "DetectionKit/PIIDetector.h"
#include "DetectionKit/Recognition.h"
#include "PolicyKit/EffectivePolicy.h"
#include "SidecarKit/SidecarError.h"
#include "Support/IoError.h"
#include "Support/UserDefaults.h"

#include <QImageReader>

#include <cerrno>
#include <exception>

using namespace PipelineTests;

namespace {

// A line of 35 capitals (a chat message the user does not control) above a badge ID.
const QString kShouting = "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHI";
const Support::Rect kShoutingBox(20, 40, 350, 20);
const Support::Rect kBadgeBox(20, 120, 80, 20);
// Backtracks without end over a long run of capitals that holds no digits.
const QString kHostilePattern = "\\b(?:[A-Z]+-?)+[0-9]{4}\\b";

// The real detector over recognised lines given here (every image reads the same).
void detectWithTheRealDetector(Harness& h) {
    const double w = h.screen->display.width();
    const double hgt = h.screen->display.height();
    auto text = std::make_shared<DetectionTests::FakeTextRecognizer>(std::vector<DetectionKit::RecognizedLine>{
        DetectionTests::monospacedLine(kShouting, kShoutingBox, w, hgt),
        DetectionTests::monospacedLine("EMP-4711", kBadgeBox, w, hgt)});
    auto faces = std::make_shared<DetectionTests::FakeFaceDetector>();
    h.env->detect = [text, faces](const QImage& image, const std::vector<DetectionKit::PatternInput>& patterns) {
        return DetectionKit::PIIDetector(text, faces).detect(image, patterns);
    };
}

// Whether the working copy shows the captured pixels inside `box`.
bool showsCapturedPixels(const QString& path, const QImage& captured, const Support::Rect& box) {
    const QRect area(int(box.x()), int(box.y()), int(box.width()), int(box.height()));
    const QImage saved = QImageReader(path).read().convertToFormat(QImage::Format_RGB32);
    return saved.copy(area) == captured.convertToFormat(QImage::Format_RGB32).copy(area);
}

bool anyAlertMentions(const std::vector<ShownAlert>& alerts, const QString& message, const QString& text) {
    return std::any_of(alerts.begin(), alerts.end(), [&](const ShownAlert& a) {
        return a.message == message && a.informativeText.contains(text);
    });
}

} // namespace

// An organisation's mandatory pattern must not be switched off by a hostile line before the data
// it exists for: the line it could not finish is hidden whole, the ID below is found, the capture
// is neither copied automatically nor exported without the review window, and the user is told.
TEST(CaptureNotices, AMandatoryPatternThatCannotFinishALineHidesItAndStillFindsTheRest) {
    for (const bool legacyReview : {false, true}) {
        SCOPED_TRACE(legacyReview ? "review road" : "editor road");
        Harness h;
        detectWithTheRealDetector(h);
        h.policy.piiPatterns = {{"employee-id", kHostilePattern, PolicyKit::PIIAction::blurMandatory}};
        h.host->values.copyToClipboardAutomatically = true;
        if (legacyReview) {
            h.env->arguments = {"brindlecast", "--legacy-review"};
            h.review->answer = BrindlecastApp::ReviewDecision::cancel();
        }

        ASSERT_EQ(h.capture(Mode::display()), !legacyReview);

        EXPECT_EQ(h.clipboard->copies, 0);
        EXPECT_TRUE(anyAlertMentions(h.alerts->shown, "Some lines were hidden whole", "\u201Cemployee-id\u201D (1 line)"))
            << ::testing::PrintToString(h.alerts->shown);
        std::vector<Detection> found;
        if (legacyReview) {
            ASSERT_EQ(h.review->presentations, 1);
            found = h.review->shownDetections;
        } else {
            ASSERT_TRUE(h.editor->last());
            found = h.editor->last()->viewModel().detectionsToRedact();
            const QString workingCopy = h.editor->last()->path();
            EXPECT_FALSE(showsCapturedPixels(workingCopy, h.screen->display, kShoutingBox));
            EXPECT_FALSE(showsCapturedPixels(workingCopy, h.screen->display, kBadgeBox));
        }
        QStringList names;
        for (const Detection& d : found) {
            EXPECT_EQ(d.action(), PatternAction::blurMandatory);
            names << d.detectorName() + ":" + d.matchedText();
        }
        EXPECT_EQ(names, (QStringList{"employee-id:" + kShouting, "employee-id:EMP-4711"}));
    }
}

// The editor's own "Detect PII" run over the same screen: the line the mandatory pattern cannot
// finish is hidden whole, the ID is found, and the user hears of it as from a capture.
TEST(CaptureNotices, TheEditorsOwnDetectionRunTellsOfLinesAMandatoryPatternCouldNotFinish) {
    Harness h;
    h.policy.piiPatterns = {{"employee-id", kHostilePattern, PolicyKit::PIIAction::blurMandatory}};
    ASSERT_EQ(h.capture(Mode::display()), true); // the capture's detection finds nothing
    ASSERT_TRUE(h.editor->last());
    EXPECT_TRUE(h.alerts->shown.empty());

    detectWithTheRealDetector(h);
    BrindlecastApp::ReviewViewModel& model = h.editor->last()->viewModel();
    model.runDetectPII();
    ASSERT_TRUE(waitUntil([&] { return !model.isDetectingPII() && !h.alerts->shown.empty(); }));

    ASSERT_EQ(h.alerts->shown.size(), 1u) << ::testing::PrintToString(h.alerts->shown);
    EXPECT_TRUE(anyAlertMentions(h.alerts->shown, "Some lines were hidden whole", "\u201Cemployee-id\u201D (1 line)"))
        << ::testing::PrintToString(h.alerts->shown);
    QStringList names;
    for (const Detection& d : model.detectionsToRedact()) names << d.detectorName() + ":" + d.matchedText();
    EXPECT_EQ(names, (QStringList{"employee-id:" + kShouting, "employee-id:EMP-4711"}));
    EXPECT_TRUE(model.suggested().empty());
}

// A damaged preferences file is moved aside and the capture goes on without the user's own rules:
// the user hears of it once, before the capture is written.
TEST(CaptureNotices, ADamagedPreferencesFileMovedAsideIsToldOnceBeforeTheCaptureIsWritten) {
    const QString folder = TestSupport::makeTemporaryFolder("preferences");
    const QString file = folder + "/preferences.json";
    TestSupport::writeFile(file, "{\"PIIPatterns\": [{\"Name\": \"badge\", ");
    auto defaults = std::make_shared<Support::UserDefaults>(file);
    PolicyKit::PreferenceStore store = PolicyKit::PreferenceStore::inMemory();
    store.userValue = [defaults](const std::string& key) { return defaults->value(key); };

    Harness h;
    h.env->resolvePolicy = [store] { return PolicyKit::EffectivePolicy::resolve(store); };
    h.env->takePreferencesMovedAside = [defaults] { return defaults->takeFilesMovedAside(); };
    QStringList filesWhenTold;
    h.alerts->onShow = [&] { filesWhenTold = h.libraryFiles(); };

    ASSERT_EQ(h.capture(Mode::display()), true);
    const QStringList aside = QDir(folder).entryList({"preferences.json.corrupt-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    ASSERT_EQ(h.alerts->shown.size(), 1u);
    EXPECT_EQ(h.alerts->shown.front().message, "Preferences moved aside");
    EXPECT_TRUE(h.alerts->shown.front().informativeText.contains(folder + "/" + aside.front()))
        << h.alerts->shown.front().informativeText.toStdString();
    EXPECT_TRUE(filesWhenTold.isEmpty()) << filesWhenTold.join(", ").toStdString();
    EXPECT_EQ(h.libraryFiles().size(), 2); // then written: the working copy and its companion

    ASSERT_EQ(h.capture(Mode::display()), true);
    EXPECT_EQ(h.alerts->shown.size(), 1u);
}

TEST(CaptureNotices, TheAlertNamesEveryPatternThatCouldNotFinish) {
    using DetectionKit::UnfinishedPattern;
    EXPECT_EQ(unfinishedPatternsAlert({}), std::nullopt);

    const auto suggestedOnly = unfinishedPatternsAlert({{"ticket", PatternAction::blurSuggested, 1}});
    ASSERT_TRUE(suggestedOnly);
    EXPECT_EQ(suggestedOnly->message, "Some lines were not searched");
    EXPECT_EQ(suggestedOnly->informativeText,
              "Suggested patterns that could not finish in time: \u201Cticket\u201D (1 line). Those lines were not "
              "searched to the end: look them over yourself.");

    const auto both = unfinishedPatternsAlert({{"email", PatternAction::blurMandatory, 1},
                                               {"ticket", PatternAction::blurSuggested, 3},
                                               {"employee-id", PatternAction::blurMandatory, 2}});
    ASSERT_TRUE(both);
    EXPECT_EQ(both->message, "Some lines were hidden whole");
    EXPECT_EQ(both->informativeText,
              "Mandatory patterns that could not finish in time: \u201Cemail\u201D (1 line), "
              "\u201Cemployee-id\u201D (2 lines). Those lines are hidden whole in this screenshot, and it is not copied "
              "automatically: review it before you share it.\n\n"
              "Suggested patterns that could not finish in time: \u201Cticket\u201D (3 lines). Those lines were not "
              "searched to the end: look them over yourself.");
}

// What an alert tells of a failure: the folder and a reason the user can act on, never a temporary
// file's name or the engine module's path, which stay in the log's text of the same failure.
TEST(CaptureNotice, AlertsNameTheFolderAndAReasonAndTheLogKeepsTheRest) {
    const QString folder = "/home/ada/Pictures/Brindlecast";
    const QString temporary = folder + "/.Screenshot 2026-12-08 at 2.56.56 AM.png.tmp-C649BE4A-1F0B-4C4B-9D2A-1B2C3D4E5F60";
    const auto thrown = [](auto error) {
        try {
            throw error;
        } catch (...) {
            return std::current_exception();
        }
    };
    // A store's failure with the file-system failure it was thrown for inside, as the store throws it.
    const auto storeFailure = [&](int errorNumber) {
        try {
            try {
                throw Support::IoError(errorNumber, temporary + ".brindlecast.json", "create");
            } catch (const Support::IoError& io) {
                std::throw_with_nested(SidecarKit::SidecarError::io(io.description()));
            }
        } catch (...) {
            return std::current_exception();
        }
        return std::exception_ptr();
    };
    // A failure inside the trash, told by the folder the capture stays in, as the trash throws it.
    const QString trash = folder + "/.Trash-4242";
    const auto trashFailure = [&](int errorNumber) {
        try {
            try {
                throw Support::IoError(errorNumber, trash + "/info/shot.png.trashinfo", "write");
            } catch (const Support::IoError&) {
                std::throw_with_nested(Support::IoError(errorNumber, folder + "/shot.png", "move to the Trash"));
            }
        } catch (...) {
            return std::current_exception();
        }
        return std::exception_ptr();
    };
    const auto refused = [&](TrashRefused::Cause cause) { return thrown(TrashRefused(cause, trash, folder)); };
    const auto damaged = [&](SidecarKit::SidecarSource source, const QString& file) {
        return thrown(SidecarKit::DamagedDocument(
            SidecarKit::JSONDecodingError(SidecarKit::JSONDecodingError::Kind::dataCorrupted, {},
                                          "[json.exception.parse_error.101] parse error at line 1, column 22"),
            source, folder + "/" + file));
    };
    // A library folder set below a regular file: the file is the one in the way.
    const QString notes = TestSupport::makeTemporaryFolder("notes") + "/notes.txt";
    TestSupport::writeFile(notes, "notes");
    struct Case {
        const char* name;
        std::exception_ptr error;
        QString alert;
        QString onlyInTheLog;
    };
    const Case cases[] = {
        {"read-only", thrown(Support::IoError(EROFS, temporary, "create")),
         "the disk holding " + folder + " is read-only", ".tmp-"},
        {"full", thrown(Support::IoError(ENOSPC, temporary, "write")), "the disk holding " + folder + " is full", ".tmp-"},
        {"over quota", thrown(Support::IoError(EDQUOT, temporary, "fsync")), "the disk holding " + folder + " is full", ".tmp-"},
        {"folder missing", thrown(Support::IoError(ENOENT, temporary, "create")), "the folder " + folder + " is missing", ".tmp-"},
        {"not permitted", thrown(Support::IoError(EACCES, temporary, "create")),
         "you do not have permission to change " + folder, ".tmp-"},
        {"a file where the folder belongs", thrown(Support::IoError(ENOTDIR, folder, "create folder")),
         folder + " is not a folder", "Not a directory"},
        {"a store on a read-only disk", storeFailure(EROFS), "the disk holding " + folder + " is read-only", ".tmp-"},
        {"a library below a file", thrown(Support::IoError(ENOTDIR, notes + "/Brindlecast", "create folder")),
         notes + " is not a folder", "notes.txt/"},
        {"a capture below a file", thrown(Support::IoError(ENOTDIR, notes + "/Brindlecast/.shot.png.tmp-1", "create")),
         notes + " is not a folder", "notes.txt/"},
        {"the trash on a read-only disk", trashFailure(EROFS), "the disk holding " + folder + " is read-only", ".Trash-"},
        {"the trash on a full disk", trashFailure(ENOSPC), "the disk holding " + folder + " is full", ".Trash-"},
        {"a trash that is a link", refused(TrashRefused::Cause::link),
         "the Trash on the disk holding " + folder + " is a link to another place", ".Trash-"},
        {"another user's trash", refused(TrashRefused::Cause::anotherUsers),
         "the Trash on the disk holding " + folder + " belongs to another user", ".Trash-"},
        {"a trash open to others", refused(TrashRefused::Cause::openToOthers),
         "other users may change the Trash on the disk holding " + folder, ".Trash-"},
        {"a damaged annotation file", damaged(SidecarKit::SidecarSource::file, "shot.png.brindlecast.json"),
         "the annotation file shot.png.brindlecast.json is damaged", "json.exception"},
        {"damaged annotations in the image", damaged(SidecarKit::SidecarSource::embedded, "shot.png"),
         "the annotations stored in shot.png are damaged", "json.exception"},
        {"the engine module cut short",
         thrown(DetectionKit::RecognitionError("recognition engines could not be loaded: /usr/lib/brindlecast/"
                                               "libbrindlecast-engines.so: file too short",
                                               DetectionKit::RecognitionError::Cause::installationDamaged)),
         "Brindlecast's detection files are damaged or missing; install Brindlecast again", "file too short"},
        {"any other recognition failure", thrown(DetectionKit::RecognitionError("the image is empty")),
         "the image is empty", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(alertText(c.error), c.alert);
        EXPECT_TRUE(describe(c.error).contains(c.onlyInTheLog)) << describe(c.error).toStdString();
        if (!c.onlyInTheLog.isEmpty()) {
            EXPECT_FALSE(alertText(c.error).contains(c.onlyInTheLog));
        }
        // As a whole alert the app's own reason reads as a sentence; an error's plain form stays.
        const QString sentence = alertSentence(c.error);
        if (c.onlyInTheLog.isEmpty()) {
            EXPECT_EQ(sentence, c.alert);
        } else {
            EXPECT_EQ(sentence, c.alert.left(1).toUpper() + c.alert.mid(1) + (c.alert.endsWith('.') ? "" : "."));
        }
        // What the failure means follows as a sentence of its own, the plain form closed first.
        EXPECT_EQ(alertSentences(c.error, "Nothing changed."),
                  sentence + (sentence.endsWith('.') ? " " : ". ") + "Nothing changed.");
    }
}
