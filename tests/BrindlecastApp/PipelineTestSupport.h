#pragma once

#include "AuditKit/AuditJSON.h"
#include "AuditKit/AuditLog.h"
#include "BrindlecastApp/Pipeline/CaptureRun.h"
#include "BrindlecastApp/Pipeline/EditSession.h"
#include "BrindlecastApp/Pipeline/EditorWiring.h"
#include "BrindlecastApp/Pipeline/LegacyReview.h"
#include "BrindlecastApp/Pipeline/PipelineEnvironment.h"
#include "BrindlecastApp/Pipeline/Reopen.h"
#include "CaptureKit/CaptureError.h"
#include "DetectionKit/DetectionTesting.h"
#include "Support/IoError.h"
#include "Support/WorkerPool.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace PipelineTests {

using namespace BrindlecastApp::Pipeline;
using AuditKit::AuditEvent;
using DetectionKit::Detection;
using DetectionKit::PatternAction;

using TestSupport::waitUntil;

// Keeps every log entry; thread-safe.
class RecordingLog final : public Support::LogSink {
public:
    void write(const Support::LogEntry& entry) override {
        std::lock_guard guard(mutex_);
        entries_.push_back(entry);
    }
    std::vector<Support::LogEntry> entries() const {
        std::lock_guard guard(mutex_);
        return entries_;
    }
    // The pipeline's lines at one level, in order.
    QStringList lines(Support::LogLevel level) const {
        QStringList found;
        for (const auto& entry : entries())
            if (entry.category == "pipeline" && entry.level == level) found << entry.message;
        return found;
    }
    QStringList errors() const { return lines(Support::LogLevel::error); }
    // The audit events recorded, in order.
    std::vector<AuditEvent> events() const {
        std::vector<AuditEvent> found;
        for (const auto& entry : entries())
            if (entry.subsystem == AuditKit::AuditLog::kSubsystem)
                found.push_back(AuditKit::AuditJSON::decode(entry.message.toUtf8()).event);
        return found;
    }
    QStringList eventKinds() const {
        QStringList kinds;
        for (const AuditEvent& event : events()) kinds << event.kindName();
        return kinds;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Support::LogEntry> entries_;
};

struct ShownAlert {
    QString message;
    QString informativeText;
    friend bool operator==(const ShownAlert&, const ShownAlert&) = default;
};

inline void PrintTo(const ShownAlert& alert, std::ostream* os) {
    *os << "{" << alert.message.toStdString() << " | " << alert.informativeText.toStdString() << "}";
}

class FakeAlerts final : public AlertPresenter {
public:
    void show(const QString& message, const QString& informativeText) override {
        shown.push_back({message, informativeText});
        if (onShow) onShow();
    }
    bool confirm(const Confirmation& confirmation) override {
        asked.push_back(confirmation);
        return answer;
    }
    std::vector<ShownAlert> shown;
    std::vector<Confirmation> asked;
    bool answer = true;
    std::function<void()> onShow; // runs while the alert is up
};

class FakeClipboard final : public ExportKit::Clipboard {
public:
    bool setData(const QString& mimeType, const QByteArray& bytes) override {
        ++copies;
        type = mimeType;
        data = bytes;
        return true;
    }
    int copies = 0;
    QString type;
    QByteArray data;
};

class FakeTrash final : public Trash {
public:
    void moveToTrash(const QString& path) override {
        if (refuse) throw Support::IoError(EACCES, path, "move to the Trash");
        moved << path;
        if (!QFile::remove(path)) throw Support::IoError(ENOENT, path, "read");
    }
    QStringList moved;
    bool refuse = false;
};

// The application around the pipeline: settings held here, a library listing of paths.
class FakeHost final : public PipelineHost {
public:
    PipelineSettings settings() const override { return values; }
    QStringList libraryPaths() const override { return library; }
    void addToLibrary(const QString& path) override {
        library.removeAll(path);
        library.prepend(path);
        ++additions;
    }
    void reloadLibrary() override {
        ++reloads;
        QStringList present;
        for (const QString& path : library)
            if (QFile::exists(path)) present << path;
        library = present;
    }
    void showFloatingThumbnail(const QImage& image, const QDateTime&, std::function<void()> onTap) override {
        thumbnails.push_back(image);
        lastTap = std::move(onTap);
    }
    void showScreenRecordingOnboarding() override { ++onboardings; }
    void showSettings() override { ++settingsShown; }
    void openRecentInEditor(const QString& path) override { opened << path; }

    PipelineSettings values;
    QStringList library;
    int additions = 0;
    int reloads = 0;
    std::vector<QImage> thumbnails;
    std::function<void()> lastTap;
    int onboardings = 0;
    int settingsShown = 0;
    QStringList opened;
};

// The editor window as a record of what it was asked to do.
class FakeEditor final : public EditorPresenter {
public:
    bool isShowing() const override { return showing; }
    std::shared_ptr<EditSession> currentEdit() const override { return current; }
    void present(const std::shared_ptr<EditSession>& edit) override {
        presented.push_back(edit);
        current = edit;
        showing = true;
    }
    void load(const std::shared_ptr<EditSession>& edit) override {
        loaded.push_back(edit);
        current = edit;
    }
    void close() override {
        ++closes;
        showing = false;
        current = nullptr;
    }
    void bringToFront() override { ++broughtToFront; }
    void commitPendingTextEdit() override {
        ++commits;
        if (onCommit) onCommit();
    }
    // The edit shown last, by either road.
    std::shared_ptr<EditSession> last() const { return current; }

    bool showing = false;
    std::shared_ptr<EditSession> current;
    std::vector<std::shared_ptr<EditSession>> presented;
    std::vector<std::shared_ptr<EditSession>> loaded;
    int closes = 0;
    int broughtToFront = 0;
    int commits = 0;
    std::function<void()> onCommit;
};

// The review window: remembers what it was shown and answers when the test says so.
class FakeReview final : public ReviewPresenter {
public:
    void present(const QImage& image, const std::vector<Detection>& detections, const PolicyKit::EffectivePolicy&,
                 const std::vector<SidecarKit::Annotation>& seed, std::function<void()> onMandatoryTamper,
                 std::function<void(const BrindlecastApp::ReviewDecision&)> decided) override {
        ++presentations;
        shownImage = image;
        shownDetections = detections;
        shownSeed = seed;
        tamper = std::move(onMandatoryTamper);
        decide = std::move(decided);
        if (answer) decide(*answer);
    }
    int presentations = 0;
    QImage shownImage;
    std::vector<Detection> shownDetections;
    std::vector<SidecarKit::Annotation> shownSeed;
    std::function<void()> tamper;
    std::function<void(const BrindlecastApp::ReviewDecision&)> decide;
    std::optional<BrindlecastApp::ReviewDecision> answer;
};

// One display of 400 x 300 at the origin; its images are given by the test.
class FakeScreen final : public CaptureKit::ScreenContentProvider {
public:
    FakeScreen() {
        snapshot.displays.push_back({1, Support::Rect(0, 0, 400, 300), 400, 300});
        display = patterned(QSize(400, 300), 0);
        content = patterned(QSize(400, 300), 97);
    }
    CaptureKit::ShareableSnapshot shareableContent() override {
        if (unauthorised) throw CaptureKit::CaptureError::notAuthorized();
        return snapshot;
    }
    QImage captureDisplay(const CaptureKit::DisplayInfo&, const QStringList&) override { return display; }
    QImage captureDisplayContent(const CaptureKit::DisplayInfo&, const QStringList&) override {
        if (!content) throw std::runtime_error("desktop-less image unavailable");
        return *content;
    }
    QImage captureWindow(const CaptureKit::WindowInfo& window) override {
        captured.push_back(window.windowID);
        return patterned(QSize(int(window.frame.width()), int(window.frame.height())), 31);
    }

    // Pixels that differ from their neighbours, so any redaction shows.
    static QImage patterned(QSize size, int seed) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                image.setPixel(x, y, qRgb((x * 7 + seed) % 256, (y * 5 + seed) % 256, (x * y + seed) % 256));
        return image;
    }

    CaptureKit::ShareableSnapshot snapshot;
    QImage display;
    std::optional<QImage> content;
    bool unauthorised = false;
    std::vector<std::uint32_t> captured;
};

inline Detection detection(const QString& name, PatternAction action, Support::Rect box, const QString& text = "x") {
    return DetectionKit::DetectionTesting::make(name, action, box, text);
}
// A red rectangle annotation.
inline SidecarKit::Annotation box(const Support::Rect& rect, double lineWidth = 4) {
    SidecarKit::Annotation::Style style{"#FF3B30", lineWidth, 1, false, std::nullopt, false};
    return SidecarKit::Annotation(QUuid::createUuid(), 0, SidecarKit::Annotation::Box{rect, style, std::nullopt, 0});
}

inline Detection mandatory(const QString& name, Support::Rect box) { return detection(name, PatternAction::blurMandatory, box); }
inline Detection suggested(const QString& name, Support::Rect box) { return detection(name, PatternAction::blurSuggested, box); }

// A pipeline over fakes, with a fresh library folder, a fixed clock and a policy the test sets.
struct Harness {
    Harness() {
        libraryFolder = TestSupport::makeTemporaryFolder("library") + "/Brindlecast";
        host->values.libraryLocation = libraryFolder;
        policy.mandatoryReview = false;
        auto e = std::make_shared<PipelineEnvironment>();
        e->resolvePolicy = [this] { return PolicyKit::PolicyResolution{policy, diagnostics}; };
        e->makeAuditLog = [this](const PolicyKit::EffectivePolicy&) {
            return std::make_shared<AuditKit::AuditLog>(nullptr, log);
        };
        e->makeScreenProvider = [this] { return screen; };
        e->frontmostApplicationID = [this] { return frontmost; };
        e->detect = [this](const QImage& image, const std::vector<DetectionKit::PatternInput>& patterns) {
            ++detections;
            lastPatterns = patterns;
            if (detector) return detector(image);
            return DetectionKit::DetectionResult{found, detectionDiagnostics};
        };
        e->now = [this] { return now; };
        e->clipboard = clipboard;
        e->alerts = alerts;
        e->editor = editor;
        e->review = review;
        e->trash = trash;
        e->host = host;
        e->reopenRequests = std::make_shared<ReopenRequests>();
        e->log = PipelineLog(log);
        e->userName = "ada";
        e->deviceName = "lab";
        e->fallbackLibraryFolder = TestSupport::makeTemporaryFolder("fallback") + "/Brindlecast";
        env = e;
    }

    // Work still running on a worker (a reopen, a detection) calls back into this harness: it
    // ends before the harness goes.
    ~Harness() {
        Support::workerPool().waitForDone();
        if (QCoreApplication* app = QCoreApplication::instance())
            for (QThreadPool* pool : app->findChildren<QThreadPool*>()) pool->waitForDone();
    }
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    Environment environment() const { return env; }
    void withoutHost() { env->host = nullptr; }

    // Runs one capture to its end, and what it left going on (the search after the working copy,
    // the automatic copy) too.
    std::optional<bool> capture(const Mode& mode) {
        std::optional<bool> result;
        run(env, mode, [&](bool ok) { result = ok; });
        if (!waitUntil([&] { return result.has_value(); })) ADD_FAILURE() << "the capture never finished";
        settle();
        return result;
    }

    // Until no work is left on the worker pool, nor anything it handed back to the GUI thread.
    static void settle() {
        for (int quiet = 0; quiet < 3;) {
            const bool idle = Support::workerPool().waitForDone(30000);
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
            quiet = idle && Support::workerPool().activeThreadCount() == 0 ? quiet + 1 : 0;
        }
    }

    QStringList libraryFiles() const {
        return QDir(libraryFolder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    std::shared_ptr<PipelineEnvironment> env;
    std::shared_ptr<RecordingLog> log = std::make_shared<RecordingLog>();
    std::shared_ptr<FakeScreen> screen = std::make_shared<FakeScreen>();
    std::shared_ptr<FakeAlerts> alerts = std::make_shared<FakeAlerts>();
    std::shared_ptr<FakeClipboard> clipboard = std::make_shared<FakeClipboard>();
    std::shared_ptr<FakeHost> host = std::make_shared<FakeHost>();
    std::shared_ptr<FakeEditor> editor = std::make_shared<FakeEditor>();
    std::shared_ptr<FakeReview> review = std::make_shared<FakeReview>();
    std::shared_ptr<FakeTrash> trash = std::make_shared<FakeTrash>();
    PolicyKit::EffectivePolicy policy;
    QStringList diagnostics;
    std::optional<QString> frontmost;
    std::vector<Detection> found;
    QStringList detectionDiagnostics;
    std::function<DetectionKit::DetectionResult(const QImage&)> detector;
    std::atomic<int> detections{0};
    std::vector<DetectionKit::PatternInput> lastPatterns;
    QDateTime now = QDateTime(QDate(2026, 12, 5), QTime(18, 25, 34));
    QString libraryFolder;
};

} // namespace PipelineTests
