// When a capture's findings are looked for: before anything is written when the policy makes a
// pattern mandatory, after the working copy otherwise, and only when something uses them.

#include "PipelineTestSupport.h"

#include "BrindlecastApp/Pipeline/LibraryFiles.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <QDir>

#include <future>

using namespace PipelineTests;

namespace {

const Support::Rect kPhone(40, 40, 80, 16);

// How many of the working copy and its companion are in the library.
int filesWritten(const Harness& h) { return int(QDir(h.libraryFolder).entryList({"*.png"}, QDir::Files).size()); }

QImage decoded(const QByteArray& png) { return QImage::fromData(png).convertToFormat(QImage::Format_ARGB32_Premultiplied); }
QImage fileImage(const QString& path) { return QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied); }
QRect rect(const Support::Rect& r) { return r.toQRectF().toRect(); }

// A detector that holds its answer until the test lets it go, then answers or throws.
struct HeldDetector {
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::atomic<bool> failing{false};
    std::atomic<int> entered{0};

    void install(Harness& h) {
        h.detector = [this](const QImage&) {
            ++entered;
            opened.wait();
            if (failing) throw std::runtime_error("no engine");
            return DetectionKit::DetectionResult{{suggested("phone", kPhone)}, {}};
        };
    }
};

} // namespace

TEST(CaptureFindings, EachRoadLooksForThemOnlyWhereTheyAreUsed) {
    struct Row {
        const char* road;
        bool mandatoryPattern;
        bool editor;
        bool autoCopy;
        bool clipboardAllowed;
        int detections;
        bool copied;
    };
    const Row rows[] = {
        {"mandatory pattern, nothing else", true, false, false, true, 1, false},
        {"mandatory pattern, editor", true, true, false, true, 1, false},
        {"mandatory pattern, automatic copy", true, false, true, true, 1, true},
        {"no mandatory pattern, nothing uses the findings", false, false, false, true, 0, false},
        {"no mandatory pattern, an automatic copy the policy forbids", false, false, true, false, 0, false},
        {"no mandatory pattern, editor", false, true, false, true, 1, false},
        {"no mandatory pattern, automatic copy", false, false, true, true, 1, true},
        {"no mandatory pattern, editor and automatic copy", false, true, true, true, 1, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.road);
        Harness h;
        if (row.mandatoryPattern) h.policy.piiPatterns = {{"ssn", "", PolicyKit::PIIAction::blurMandatory}};
        if (!row.clipboardAllowed) h.policy.allowedExportDestinations = {PolicyKit::ExportDestination::folder};
        h.host->values.openEditorAfterCapture = row.editor;
        h.host->values.copyToClipboardAutomatically = row.autoCopy;
        std::atomic<int> prepared{0};
        h.env->prepareDetection = [&] { ++prepared; };
        // The capture's own search (the companion is searched for mandatory findings apart).
        std::atomic<int> searches{0};
        std::atomic<int> writtenBeforeDetection{-1};
        h.detector = [&](const QImage& image) {
            if (image.size() == h.screen->display.size() && image.pixel(0, 0) == h.screen->display.pixel(0, 0)) {
                ++searches;
                writtenBeforeDetection = filesWritten(h);
            }
            return DetectionKit::DetectionResult{{suggested("phone", kPhone)}, {}};
        };

        ASSERT_EQ(h.capture(Mode::display()), true);
        EXPECT_EQ(searches, row.detections);
        EXPECT_EQ(prepared, row.mandatoryPattern ? 1 : 0) << "the engines load ahead only for a working copy that waits";
        if (row.detections) {
            EXPECT_EQ(writtenBeforeDetection, row.mandatoryPattern ? 0 : 2) << "working copy and companion";
        }
        EXPECT_EQ(h.libraryFiles().size(), 2) << "working copy and companion";
        EXPECT_TRUE(h.alerts->shown.empty());
        const QStringList events = row.copied ? QStringList{"capture", "export", "redaction", "export"}
                                              : QStringList{"capture", "export"};
        EXPECT_EQ(h.log->eventKinds(), events);
        ASSERT_EQ(h.clipboard->copies, row.copied ? 1 : 0);
        if (row.copied) {
            const QImage saved = fileImage(h.host->library.first());
            EXPECT_NE(decoded(h.clipboard->data).copy(rect(kPhone)), saved.copy(rect(kPhone)));
        }
        ASSERT_EQ(h.editor->presented.size(), row.editor ? 1u : 0u);
        if (row.editor) {
            const BrindlecastApp::ReviewViewModel& model = h.editor->presented[0]->viewModel();
            EXPECT_FALSE(model.isDetectingPII());
            EXPECT_EQ(model.suggested().size(), 1u);
        }
    }
}

// The editor opens on the working copy before its findings are in; a copy asked for meanwhile
// waits for them and hides them.
TEST(CaptureFindings, AnExportBeforeTheFindingsArriveWaitsForThemAndHidesThem) {
    Harness h;
    HeldDetector detector;
    detector.install(h);
    std::optional<bool> result;
    run(h.env, Mode::display(), [&](bool ok) { result = ok; });
    ASSERT_TRUE(waitUntil([&] { return !h.editor->presented.empty() && detector.entered == 1; }));
    const std::shared_ptr<EditSession> edit = h.editor->presented[0];
    EXPECT_TRUE(edit->viewModel().isDetectingPII());
    EXPECT_TRUE(QFile::exists(edit->path()));

    ASSERT_TRUE(waitUntil([&] { return result.has_value(); })) << "the capture went through before its findings";
    EXPECT_TRUE(*result);

    std::optional<bool> copied;
    edit->copy([&](bool ok) { copied = ok; });
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(h.clipboard->copies, 0);

    detector.gate.set_value();
    ASSERT_TRUE(waitUntil([&] { return copied.has_value(); }));
    EXPECT_TRUE(*copied);
    EXPECT_NE(decoded(h.clipboard->data).copy(rect(kPhone)), fileImage(edit->path()).copy(rect(kPhone)));
    EXPECT_EQ(edit->viewModel().suggested().size(), 1u);
}

// Looking for the findings fails after the working copy: it stays, the failure is told as ever,
// and what waited for the findings (a copy in the editor, the automatic copy) leaves nothing.
TEST(CaptureFindings, AFailureAfterTheWorkingCopyRefusesWhatWaitedForThem) {
    for (const bool editor : {true, false}) {
        SCOPED_TRACE(editor ? "a copy from the editor" : "the automatic copy");
        Harness h;
        h.host->values.openEditorAfterCapture = editor;
        h.host->values.copyToClipboardAutomatically = !editor;
        HeldDetector detector;
        detector.failing = true;
        detector.install(h);
        std::optional<bool> result;
        run(h.env, Mode::display(), [&](bool ok) { result = ok; });
        ASSERT_TRUE(waitUntil([&] { return detector.entered == 1 && h.libraryFiles().size() == 2; }));
        std::optional<bool> copied;
        if (editor) {
            ASSERT_EQ(h.editor->presented.size(), 1u);
            h.editor->presented[0]->copy([&](bool ok) { copied = ok; });
        }
        ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
        EXPECT_TRUE(*result) << "the working copy was saved";
        detector.gate.set_value();
        Harness::settle();
        EXPECT_EQ(h.libraryFiles().size(), 2);
        EXPECT_EQ(h.clipboard->copies, 0);
        EXPECT_EQ(h.log->eventKinds(), (QStringList{"capture", "export"}));
        std::vector<ShownAlert> expected;
        if (editor) {
            EXPECT_EQ(copied, false);
            expected.push_back({"Export failed", "Looking for personal data in this screenshot failed, so nothing it "
                                                 "shows could be hidden. Nothing was exported."});
        }
        expected.push_back({"Detection failed", "no engine"});
        EXPECT_EQ(h.alerts->shown, expected);
        EXPECT_TRUE(h.log->errors().contains("pipeline failed: no engine"));

        if (!editor) continue;
        // The next copy looks for them again, and goes when they are found.
        detector.failing = false;
        copied.reset();
        h.editor->presented[0]->copy([&](bool ok) { copied = ok; });
        ASSERT_TRUE(waitUntil([&] { return copied.has_value(); }));
        EXPECT_TRUE(*copied);
        EXPECT_EQ(h.detections, 2);
        EXPECT_NE(decoded(h.clipboard->data).copy(rect(kPhone)), fileImage(h.host->library.first()).copy(rect(kPhone)));
    }
}
