#include "BrindlecastApp/Pipeline/CaptureRun.h"

#include "BrindlecastApp/Pipeline/Background.h"
#include "BrindlecastApp/Pipeline/Companion.h"
#include "BrindlecastApp/Pipeline/CompanionTie.h"
#include "BrindlecastApp/Pipeline/EditSession.h"
#include "BrindlecastApp/Pipeline/EditorWiring.h"
#include "BrindlecastApp/Pipeline/ExportDelivery.h"
#include "BrindlecastApp/Pipeline/LegacyReview.h"
#include "BrindlecastApp/Pipeline/LibraryFiles.h"
#include "BrindlecastApp/Pipeline/PolicyMapping.h"
#include "BrindlecastApp/Pipeline/UserNotices.h"
#include "BrindlecastApp/Pipeline/WorkingCopy.h"
#include "CaptureKit/CaptureError.h"
#include "CaptureKit/CaptureService.h"
#include "Support/IoError.h"

#include <algorithm>
#include <future>
#include <type_traits>

namespace BrindlecastApp::Pipeline {

namespace {

using CaptureKit::CaptureError;
using DetectionKit::Detection;

// What the worker hands back: the capture, its findings and the rendered working copy, or the
// failure that ends the run.
struct Captured {
    PolicyKit::EffectivePolicy policy;
    std::shared_ptr<AuditKit::AuditLog> audit;
    QImage image;
    std::optional<QImage> contentImage;
    std::vector<Detection> detections;
    std::vector<DetectionKit::UnfinishedPattern> unfinished;
    std::vector<DetectionKit::PatternInput> patterns;
    std::optional<RenderedWorkingCopy> rendered;
    // The main capture failed: nothing was recorded yet.
    std::exception_ptr captureFailure;
    // Detection or rendering failed, after the capture event.
    std::exception_ptr failure;
};

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

class CaptureRun : public std::enable_shared_from_this<CaptureRun> {
public:
    CaptureRun(Environment env, Mode mode, std::function<void(bool)> finished)
        : env_(std::move(env)), mode_(std::move(mode)), finished_(std::move(finished)) {}

    void start() {
        if (env_->prepareDetection) env_->prepareDetection();
        auto self = shared_from_this();
        inBackground<Captured>([self] { return self->captureAndDetect(); },
                               [self](Outcome<Captured> outcome) { self->afterCapture(std::move(outcome)); });
    }

private:
    const PipelineLog& log() const { return env_->log; }

    // Worker: policy, audit trail, the captures, the capture event, detection and the rendered
    // working copy.
    Captured captureAndDetect() const {
        Captured c;
        const PolicyKit::PolicyResolution resolution = env_->resolvePolicy();
        c.policy = resolution.policy;
        for (const QString& diagnostic : resolution.diagnostics) log().error("policy: " + diagnostic);
        c.audit = env_->makeAuditLog(c.policy);

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
            c.patterns = patternInputs(c.policy);
            const bool writesWorkingCopy = !env_->legacyReviewRequested();
            const QDateTime takenAt = env_->now();
            const auto mark = watermark(c.policy, env_->userName, env_->deviceName, takenAt);
            // Most captures have no mandatory finding: their working copy is the capture with its
            // mark, encoded while detection runs. One with a mandatory finding is drawn again.
            std::future<RenderedWorkingCopy> plain;
            if (writesWorkingCopy)
                plain = std::async(std::launch::async, [&] { return renderWorkingCopy(c.image, {}, mark, takenAt); });
            DetectionKit::DetectionResult result = env_->detect(c.image, c.patterns);
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
        if (!outcome.succeeded()) return fail(outcome.error);
        captured_ = std::move(*outcome.value);
        if (captured_.captureFailure) return refuse(captured_.captureFailure);
        if (captured_.failure) return fail(captured_.failure);
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
        if (const std::optional<AlertText> alert = unfinishedPatternsAlert(captured_.unfinished)) {
            env_->alerts->show(alert->message, alert->informativeText);
        }
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
        const QString description = describe(error);
        log().error("capture failed: " + description);
        env_->alerts->show("Capture failed", description);
        finish(false);
    }

    // Detection, the working copy or the companion failed; what was written stays.
    void fail(const std::exception_ptr& error) {
        log().error("pipeline failed: " + describe(error));
        env_->alerts->show("Export failed", alertText(error));
        finish(false);
    }

    void reviewInstead() {
        auto self = shared_from_this();
        runLegacyReview(env_, captured_.image, captured_.detections, captured_.policy, captured_.audit,
                        [self](Outcome<bool> outcome) {
                            if (!outcome.succeeded()) return self->fail(outcome.error);
                            self->finish(*outcome.value);
                        });
    }

    // The working copy is written and the editor opened at once; the companion is prepared
    // meanwhile and follows them (the editor's backdrop waits for it).
    void saveWorkingCopyAndCompanion() {
        try {
            saved_ = saveWorkingCopy(*env_, *captured_.rendered, *captured_.audit);
        } catch (...) {
            return fail(std::current_exception());
        }
        if (captured_.contentImage) {
            companionPending_ = true;
            auto self = shared_from_this();
            inBackground<PreparedCompanion>(
                [self] {
                    const Captured& c = self->captured_;
                    PreparedCompanion prepared =
                        prepareCompanion(*self->env_, *c.contentImage, c.image, c.detections, c.patterns);
                    // Tied to the working copy's pixels: once they are painted over, it no longer stands in.
                    if (prepared.png) prepared.png = CompanionTie::tie(*prepared.png, self->saved_.image);
                    return prepared;
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

    void copyAutomatically() {
        const PolicyKit::EffectivePolicy& policy = captured_.policy;
        const bool wanted = env_->host && env_->host->settings().copyToClipboardAutomatically;
        const bool anyMandatory = std::any_of(captured_.detections.begin(), captured_.detections.end(), [](const Detection& d) {
            return d.action() == DetectionKit::PatternAction::blurMandatory;
        });
        if (!wanted || !allowedDestinations(policy).count(ExportKit::DestinationKind::clipboard) || anyMandatory ||
            policy.mandatoryReview) {
            return openEditorOrFinish();
        }

        ExportRequest copy;
        copy.image = saved_.image;
        copy.redact = captured_.detections;
        copy.destination = ExportKit::DestinationKind::clipboard;
        copy.sourceStamp = saved_.stamp;
        auto self = shared_from_this();
        exportAndDeliver(env_, std::move(copy), policy, captured_.audit, [self](Outcome<std::optional<QString>> outcome) {
            if (!outcome.succeeded()) self->log().error("auto-copy skipped: " + describe(outcome.error));
            self->openEditorOrFinish();
        });
    }

    void openEditorOrFinish() {
        if (!env_->host || env_->host->settings().openEditorAfterCapture) {
            EditorRequest request;
            request.image = saved_.image;
            request.detections = captured_.detections;
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

    // The run ends once the editor has its capture and the companion is written (or failed).
    void finishWhenDone() {
        if (!editorHandled_ || companionPending_) return;
        if (companionFailure_) return fail(std::exchange(companionFailure_, nullptr));
        finish(true);
    }

    void finish(bool result) {
        if (auto finished = std::exchange(finished_, nullptr)) finished(result);
    }

    Environment env_;
    Mode mode_;
    std::function<void(bool)> finished_;
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

} // namespace BrindlecastApp::Pipeline
