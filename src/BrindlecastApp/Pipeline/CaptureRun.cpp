#include "BrindlecastApp/Pipeline/CaptureRun.h"

#include "BrindlecastApp/Pipeline/Background.h"
#include "BrindlecastApp/Pipeline/Companion.h"
#include "BrindlecastApp/Pipeline/CompanionTie.h"
#include "BrindlecastApp/Pipeline/EditSession.h"
#include "BrindlecastApp/Pipeline/EditorWiring.h"
#include "BrindlecastApp/Pipeline/ExportDelivery.h"
#include "BrindlecastApp/Pipeline/LeavingCheck.h"
#include "BrindlecastApp/Pipeline/LegacyReview.h"
#include "BrindlecastApp/Pipeline/LibraryFiles.h"
#include "BrindlecastApp/Pipeline/PolicyMapping.h"
#include "BrindlecastApp/Pipeline/UserNotices.h"
#include "BrindlecastApp/Pipeline/WorkingCopy.h"
#include "CaptureKit/CaptureError.h"
#include "CaptureKit/CaptureService.h"
#include "DetectionKit/PIIDetector.h"
#include "Support/IoError.h"

#include <future>
#include <type_traits>

namespace BrindlecastApp::Pipeline {

namespace {

using CaptureKit::CaptureError;
using DetectionKit::Detection;

// What the worker hands back: the capture, its findings (when they were looked for before the
// working copy) and the rendered working copy, or the failure that ends the run.
struct Captured {
    PolicyKit::EffectivePolicy policy;
    std::shared_ptr<AuditKit::AuditLog> audit;
    QImage image;
    std::optional<QImage> contentImage;
    std::vector<Detection> detections;
    std::vector<DetectionKit::UnfinishedPattern> unfinished;
    std::vector<DetectionKit::PatternInput> patterns;
    // Detection ran before anything was written: the policy makes a pattern mandatory (the working
    // copy must hide its findings), or the review window takes the capture.
    bool searchedFirst = false;
    std::optional<RenderedWorkingCopy> rendered;
    // The companion, when it was made with the working copy (nothing to look for in it).
    std::optional<Outcome<PreparedCompanion>> companion;
    // The main capture failed: nothing was recorded yet.
    std::exception_ptr captureFailure;
    // Detection or rendering failed, after the capture event; the alert's title says which.
    std::exception_ptr failure;
    QString failureTitle;
};

// The titles of the alerts that tell what failed after the screen was read.
const QString kDetectionFailed = QStringLiteral("Detection failed");
const QString kNotSaved = QStringLiteral("Screenshot could not be saved");

// The first on-screen window of the frontmost application that is more than a point wide and high.
CaptureKit::WindowInfo frontmostWindow(const PipelineEnvironment& env, CaptureKit::ScreenContentProvider& provider) {
    const std::optional<QString> frontmost = env.frontmostApplicationID ? env.frontmostApplicationID() : std::nullopt;
    const CaptureKit::ShareableSnapshot snapshot = provider.shareableContent();
    for (const CaptureKit::WindowInfo& window : snapshot.windows) {
        if (window.isOnScreen && window.bundleID == frontmost && window.frame.width() > 1 && window.frame.height() > 1) {
            return window;
        }
    }
    throw CaptureError::windowNotFound();
}

bool editorWanted(const PipelineEnvironment& env) { return !env.host || env.host->settings().openEditorAfterCapture; }
bool copySettingOn(const PipelineEnvironment& env) { return env.host && env.host->settings().copyToClipboardAutomatically; }

// Whether the policy lets the automatic copy happen, as far as it can be told before the findings.
bool copyAllowed(const PolicyKit::EffectivePolicy& policy) { return !automaticCopyWithheldBy(policy); }

// Whether the capture's findings are looked for before anything is written: the review window
// takes the capture, or the policy makes a pattern mandatory (the working copy must hide its
// findings). Otherwise nothing found can change what is written.
bool searchesFirst(const PipelineEnvironment& env, const std::vector<DetectionKit::PatternInput>& patterns) {
    return env.legacyReviewRequested() || !DetectionKit::PIIDetector::mandatoryPatterns(patterns).empty();
}

class CaptureRun : public std::enable_shared_from_this<CaptureRun> {
public:
    CaptureRun(Environment env, Mode mode, std::function<void(bool)> finished)
        : env_(std::move(env)), mode_(std::move(mode)), finished_(std::move(finished)) {}

    void start() {
        auto self = shared_from_this();
        inBackground<Captured>([self] { return self->captureAndDetect(); },
                               [self](Outcome<Captured> outcome) { self->afterCapture(std::move(outcome)); });
    }

private:
    const PipelineLog& log() const { return env_->log; }

    // Worker: policy, audit trail, the captures, the capture event, the rendered working copy and,
    // when the working copy or the review window depends on them, the findings.
    Captured captureAndDetect() const {
        Captured c;
        const PolicyKit::PolicyResolution resolution = env_->resolvePolicy();
        c.policy = resolution.policy;
        for (const QString& diagnostic : resolution.diagnostics) log().error("policy: " + diagnostic);
        c.audit = env_->makeAuditLog(c.policy);
        c.patterns = patternInputs(c.policy);
        c.searchedFirst = searchesFirst(*env_, c.patterns);
        // The engines load while the screen is read when the working copy waits for them; otherwise
        // the working copy goes first, and the engines load with the search that follows it.
        if (c.searchedFirst && env_->prepareDetection) env_->prepareDetection();

        const std::shared_ptr<CaptureKit::ScreenContentProvider> provider = env_->makeScreenProvider();
        const CaptureKit::CaptureService service(c.policy, provider);
        QStringList capturedBundleIDs;
        try {
            std::visit(
                [&](const auto& mode) {
                    using M = std::decay_t<decltype(mode)>;
                    if constexpr (std::is_same_v<M, Mode::Region>) {
                        c.image = service.captureRegion(mode.rect);
                        c.contentImage = desktopLess([&] { return service.captureRegionContent(mode.rect); });
                    } else if constexpr (std::is_same_v<M, Mode::Display>) {
                        c.image = service.captureDisplay();
                        c.contentImage = desktopLess([&] { return service.captureDisplayContent(); });
                    } else if constexpr (std::is_same_v<M, Mode::Window>) {
                        c.image = service.captureWindow(mode.windowID);
                        if (mode.bundleID) capturedBundleIDs << *mode.bundleID;
                    } else {
                        const CaptureKit::WindowInfo window = frontmostWindow(*env_, *provider);
                        c.image = service.captureWindow(window.windowID);
                        if (window.bundleID) capturedBundleIDs << *window.bundleID;
                    }
                },
                mode_.value);
        } catch (...) {
            c.captureFailure = std::current_exception();
            return c;
        }

        c.audit->record(AuditKit::AuditEvent::capture(mode_.name(), capturedBundleIDs, {},
                                                      PolicyKit::rawValue(c.policy.blockedAppBehavior)));
        if (mode_.takesDesktopLessImage() && !c.contentImage) {
            log().error("backdrop desktop-replacement unavailable: desktop-less capture returned nil");
        }

        try {
            c.failureTitle = kNotSaved;
            const bool writesWorkingCopy = !env_->legacyReviewRequested();
            const QDateTime takenAt = env_->now();
            const auto mark = watermark(c.policy, env_->userName, env_->deviceName, takenAt);
            // Without a mandatory pattern nothing found can change the working copy's pixels: it is
            // written now, and the findings are looked for afterwards by whatever uses them.
            if (!c.searchedFirst) {
                // Neither is the companion: both are encoded at once.
                std::future<PreparedCompanion> companion;
                if (c.contentImage) {
                    companion = std::async(std::launch::async, [&] {
                        return prepareCompanion(*env_, *c.contentImage, c.image, {}, c.patterns);
                    });
                }
                c.rendered = renderWorkingCopy(c.image, {}, mark, takenAt);
                if (companion.valid()) {
                    c.companion.emplace();
                    try {
                        c.companion->value = tied(companion.get(), c.rendered->image);
                    } catch (...) {
                        c.companion->error = std::current_exception();
                    }
                }
                return c;
            }
            // Most captures have no mandatory finding: their working copy is the capture with its
            // mark, encoded while detection runs. One with a mandatory finding is drawn again.
            std::future<RenderedWorkingCopy> plain;
            if (writesWorkingCopy)
                plain = std::async(std::launch::async, [&] { return renderWorkingCopy(c.image, {}, mark, takenAt); });
            c.failureTitle = kDetectionFailed;
            DetectionKit::DetectionResult result = env_->detect(c.image, c.patterns);
            c.failureTitle = kNotSaved;
            for (const QString& diagnostic : result.diagnostics) log().error("detection: " + diagnostic);
            c.detections = std::move(result.detections);
            c.unfinished = std::move(result.unfinished);
            if (writesWorkingCopy) {
                c.rendered = mandatoryDetections(c.detections).empty()
                                 ? plain.get()
                                 : renderWorkingCopy(c.image, c.detections, mark, takenAt);
            }
        } catch (...) {
            c.failure = std::current_exception();
        }
        return c;
    }

    // Tied to the working copy's pixels: once they are painted over, the companion no longer
    // stands in for them.
    static PreparedCompanion tied(PreparedCompanion prepared, const QImage& workingCopy) {
        if (prepared.png) prepared.png = CompanionTie::tie(*prepared.png, workingCopy);
        return prepared;
    }

    template <typename Capture>
    std::optional<QImage> desktopLess(Capture capture) const {
        try {
            return capture();
        } catch (...) {
            log().error("desktop-less capture failed: " + describe(std::current_exception()));
            return std::nullopt;
        }
    }

    void afterCapture(Outcome<Captured> outcome) {
        if (!outcome.succeeded()) return fail(outcome.error, "Capture failed");
        captured_ = std::move(*outcome.value);
        if (captured_.captureFailure) return refuse(captured_.captureFailure);
        if (captured_.failure) return fail(captured_.failure, captured_.failureTitle);
        findings_ = captured_.searchedFirst ? Findings::known : Findings::notStarted;
        tellBeforeWriting();
        if (env_->legacyReviewRequested()) return reviewInstead();
        saveWorkingCopyAndCompanion();
    }

    // What the user must know before this capture is written anywhere: preferences that no longer
    // apply, and lines a pattern could not finish (hidden whole when it is mandatory, which also
    // keeps the capture from being copied automatically or exported without review).
    void tellBeforeWriting() {
        if (env_->takePreferencesMovedAside) {
            for (const QString& aside : env_->takePreferencesMovedAside()) {
                const AlertText alert = preferencesMovedAsideAlert(aside);
                env_->alerts->show(alert.message, alert.informativeText);
            }
        }
        tellUnfinished();
    }

    void tellUnfinished() {
        if (const std::optional<AlertText> alert = unfinishedPatternsAlert(captured_.unfinished)) {
            env_->alerts->show(alert->message, alert->informativeText);
        }
    }

    // Starts looking for the findings of a capture written before them, once, for the first
    // of the editor and the automatic copy that needs them.
    void detectAfterWriting() {
        if (findings_ != Findings::notStarted) return;
        findings_ = Findings::running;
        auto self = shared_from_this();
        inBackground<DetectionKit::DetectionResult>(
            [env = env_, image = captured_.image, patterns = captured_.patterns] { return env->detect(image, patterns); },
            [self](Outcome<DetectionKit::DetectionResult> outcome) { self->detectedAfterWriting(std::move(outcome)); });
    }

    // The findings reach the open edit (whose exports waited for them) and the automatic copy;
    // a failure leaves the working copy as written and is told as any failure of detection.
    void detectedAfterWriting(Outcome<DetectionKit::DetectionResult> outcome) {
        const std::shared_ptr<EditSession> edit = edit_.lock();
        if (!outcome.succeeded()) {
            findings_ = Findings::failed;
            copyPending_ = false;
            if (edit) edit->detectionsFailed();
            log().error("pipeline failed: " + describe(outcome.error));
            env_->alerts->show(kDetectionFailed, alertSentence(outcome.error));
            return;
        }
        findings_ = Findings::known;
        DetectionKit::DetectionResult& result = *outcome.value;
        for (const QString& diagnostic : result.diagnostics) log().error("detection: " + diagnostic);
        captured_.detections = std::move(result.detections);
        captured_.unfinished = std::move(result.unfinished);
        if (edit) edit->detectionsArrived(captured_.detections);
        if (std::exchange(copyPending_, false)) {
            copyNow();
        }
        tellUnfinished();
    }

    // The main capture failed: the policy refused it, access is missing, or it simply failed.
    void refuse(const std::exception_ptr& error) {
        try {
            std::rethrow_exception(error);
        } catch (const CaptureError& refusal) {
            if (refusal.kind() == CaptureError::Kind::blockedContentPresent) {
                captured_.audit->record(AuditKit::AuditEvent::policyViolation(
                    "cancelCapture", "blocked bundle IDs: " + refusal.bundleIDs().join(", ")));
                env_->alerts->show("Capture cancelled by policy",
                                   "The capture area contains content from an app your organization has blocked.");
                return finish(false);
            }
            if (refusal.kind() == CaptureError::Kind::notAuthorized) {
                if (env_->host) env_->host->showScreenRecordingOnboarding();
                return finish(false);
            }
        } catch (...) {
        }
        log().error("capture failed: " + describe(error));
        env_->alerts->show("Capture failed", alertSentence(error));
        finish(false);
    }

    // Detection, the working copy, the companion or the review's export failed, as `title` says;
    // what was written stays.
    void fail(const std::exception_ptr& error, const QString& title) {
        log().error("pipeline failed: " + describe(error));
        env_->alerts->show(title, alertSentence(error));
        finish(false);
    }

    void reviewInstead() {
        auto self = shared_from_this();
        runLegacyReview(env_, captured_.image, captured_.detections, captured_.policy, captured_.audit,
                        [self](Outcome<bool> outcome) {
                            if (!outcome.succeeded()) return self->fail(outcome.error, "Export failed");
                            self->finish(*outcome.value);
                        });
    }

    // The working copy is written and the editor opened at once. A companion made with it is
    // written first; one that must be searched for mandatory findings of its own is prepared
    // meanwhile and follows them (the editor's backdrop waits for it).
    void saveWorkingCopyAndCompanion() {
        try {
            saved_ = saveWorkingCopy(*env_, *captured_.rendered, *captured_.audit);
        } catch (...) {
            return fail(std::current_exception(), kNotSaved);
        }
        if (captured_.companion) {
            companionPrepared(std::move(*std::exchange(captured_.companion, std::nullopt)));
        } else if (captured_.contentImage) {
            companionPending_ = true;
            auto self = shared_from_this();
            // Its own copies of what it reads: the run goes on on the GUI thread meanwhile.
            const Captured& c = captured_;
            inBackground<PreparedCompanion>(
                [env = env_, content = *c.contentImage, image = c.image, detections = c.detections,
                 patterns = c.patterns, workingCopy = saved_.image] {
                    return tied(prepareCompanion(*env, content, image, detections, patterns), workingCopy);
                },
                [self](Outcome<PreparedCompanion> outcome) { self->companionPrepared(std::move(outcome)); });
        }
        copyAutomatically();
    }

    void companionPrepared(Outcome<PreparedCompanion> outcome) {
        companionPending_ = false;
        if (outcome.succeeded()) {
            writeCompanion(*outcome.value);
        } else {
            companionFailure_ = outcome.error;
        }
        if (const std::shared_ptr<EditSession> edit = edit_.lock()) edit->companionReady(companion_);
        finishWhenDone();
    }

    void writeCompanion(const PreparedCompanion& companion) {
        companion_ = companion.image;
        if (!companion.png) return;
        // A companion that cannot be written only costs the backdrop its desktop replacement.
        try {
            Pipeline::writeCompanion(saved_.path, *companion.png);
        } catch (const Support::IoError& error) {
            log().error("desktop-less image not written: " + error.path() + ": " + error.description());
        }
    }

    // Copies the working copy with every finding hidden, when the settings ask for it, the policy
    // allows it and nothing found is mandatory. A capture written before its findings are known
    // is copied once they are, after the editor opened.
    void copyAutomatically() {
        if (!copySettingOn(*env_) || !copyAllowed(captured_.policy)) return openEditorOrFinish();
        if (findings_ != Findings::known) {
            copyPending_ = true;
            detectAfterWriting();
            return openEditorOrFinish();
        }
        copyNow([self = shared_from_this()] { self->openEditorOrFinish(); });
    }

    // The copy leaves seconds after the policy was read for the capture: it goes by the policy of
    // the moment it leaves, searched again for what that policy made mandatory meanwhile.
    void copyNow(std::function<void()> then = nullptr) {
        auto self = shared_from_this();
        SearchedFindings known{captured_.detections, DetectionKit::PIIDetector::mandatoryPatterns(captured_.patterns)};
        whenCheckedAgainstCurrentPolicy(env_, captured_.image, std::move(known),
                                        [self, then = std::move(then)](Outcome<LeavingFindings> checked) mutable {
                                            self->copyUnder(std::move(checked), std::move(then));
                                        });
    }

    void copyUnder(Outcome<LeavingFindings> checked, std::function<void()> then) {
        const auto withheld = [&](const QString& reason) {
            log().notice("auto-copy skipped: " + reason);
            if (then) then();
        };
        if (!checked.succeeded()) {
            log().error("auto-copy skipped: " + describe(checked.error));
            if (then) then();
            return;
        }
        const LeavingFindings& now = *checked.value;
        if (const std::optional<QString> reason = automaticCopyWithheldBy(now.policy)) return withheld(*reason);
        // A mandatory finding is for the user to see in the editor first.
        if (!mandatoryDetections(now.findings.detections).empty()) return withheld("a finding is mandatory");
        ExportRequest copy;
        copy.image = saved_.image;
        copy.redact = now.findings.detections;
        copy.destination = ExportKit::DestinationKind::clipboard;
        copy.sourceStamp = saved_.stamp;
        auto self = shared_from_this();
        exportAndDeliver(env_, std::move(copy), now.policy, captured_.audit,
                         [self, then = std::move(then)](Outcome<std::optional<QString>> outcome) {
                             if (!outcome.succeeded()) self->log().error("auto-copy skipped: " + describe(outcome.error));
                             if (then) then();
                         });
    }

    void openEditorOrFinish() {
        if (editorWanted(*env_)) {
            // The findings are looked for while the editor is built: they reach it through the
            // edit session, whose callback cannot come before this turn ends.
            detectAfterWriting();
            EditorRequest request;
            request.image = saved_.image;
            request.detections = captured_.detections;
            // The findings of a capture written before them follow (EditSession::detectionsArrived).
            request.detectionsPending = findings_ == Findings::notStarted || findings_ == Findings::running;
            request.policy = captured_.policy;
            request.audit = captured_.audit;
            request.modeName = mode_.name();
            request.path = saved_.path;
            request.contentImage = companion_;
            request.contentImagePending = companionPending_;
            request.stamp = saved_.stamp;
            edit_ = openEditor(env_, std::move(request));
        }
        editorHandled_ = true;
        finishWhenDone();
    }

    // The run ends once the editor has its capture and the companion is written (or failed). The
    // findings of a capture written before them, and the automatic copy that waits for them, come
    // after: the capture went through, whatever befalls them.
    void finishWhenDone() {
        if (!editorHandled_ || companionPending_) return;
        if (companionFailure_) return fail(std::exchange(companionFailure_, nullptr), kNotSaved);
        finish(true);
    }

    void finish(bool result) {
        if (auto finished = std::exchange(finished_, nullptr)) finished(result);
    }

    // The findings: not looked for (yet), being looked for after the working copy, known (looked
    // for before it, or after), or that search failed.
    enum class Findings { notStarted, running, known, failed };

    Environment env_;
    Mode mode_;
    std::function<void(bool)> finished_;
    Findings findings_ = Findings::notStarted;
    bool copyPending_ = false;
    Captured captured_;
    SavedWorkingCopy saved_;
    std::optional<QImage> companion_;
    bool companionPending_ = false;
    std::exception_ptr companionFailure_;
    bool editorHandled_ = false;
    std::weak_ptr<EditSession> edit_;
};

} // namespace

void run(const Environment& env, const Mode& mode, std::function<void(bool)> finished) {
    std::make_shared<CaptureRun>(env, mode, std::move(finished))->start();
}

void prepareDetection(const Environment& env) {
    if (!env->prepareDetection) return;
    const bool editor = editorWanted(*env), copy = copySettingOn(*env);
    // The policy is read off the GUI thread: its files are not ours.
    onWorker([env, editor, copy] {
        const PolicyKit::EffectivePolicy policy = env->resolvePolicy().policy;
        if (editor || (copy && copyAllowed(policy)) || searchesFirst(*env, patternInputs(policy))) env->prepareDetection();
    });
}

} // namespace BrindlecastApp::Pipeline
