#include "BrindlecastApp/Pipeline/Reopen.h"

#include "BrindlecastApp/Pipeline/Background.h"
#include "BrindlecastApp/Pipeline/CompanionTie.h"
#include "BrindlecastApp/Pipeline/EditSession.h"
#include "BrindlecastApp/Pipeline/EditorWiring.h"
#include "BrindlecastApp/Pipeline/LibraryFiles.h"
#include "BrindlecastApp/Pipeline/PipelineMode.h"
#include "BrindlecastApp/Pipeline/PolicyMapping.h"
#include "BrindlecastApp/Pipeline/UserNotices.h"
#include "BrindlecastApp/Pipeline/WatermarkStamp.h"
#include "SidecarKit/SidecarStore.h"
#include "Support/ImageFiles.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>

namespace BrindlecastApp::Pipeline {

namespace {

// What the worker read back from the library; the findings follow once the editor shows it.
struct Reopened {
    QImage image;
    QString decodeError; // why the image could not be read, for people
    QString readerError; // the image reader's own words for it, for the log
    PolicyKit::EffectivePolicy policy;
    std::shared_ptr<AuditKit::AuditLog> audit;
    std::vector<SidecarKit::Annotation> seed;
    std::exception_ptr annotationFailure;
    std::optional<QImage> contentImage;
    std::optional<WatermarkStamp> stamp;
};

// Reopening's own workers: a reopen that takes long (a large capture, a slow disk) waits for one of
// these, while captures and exports go on on theirs.
// Owned by the application, so it goes, its reopens finished, while all they use is still there;
// without an application (nothing to show a capture in), the shared workers.
QThreadPool* reopenWorkers() {
    static QPointer<QThreadPool> pool;
    if (!pool && QCoreApplication::instance()) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(2);
    }
    return pool;
}

// A reason as the middle of a sentence: without its closing full stop.
QString clause(QString reason) {
    while (reason.endsWith('.')) reason.chop(1);
    return reason;
}

Reopened readCapture(const PipelineEnvironment& env, const QString& path, int ticket) {
    Reopened r;
    // Asked for another capture while this one waited for a worker: it would be dropped anyway.
    if (env.reopenRequests && !env.reopenRequests->isLatest(ticket)) return r;
    r.image = Support::ImageFiles::readOwnImage(path, &r.decodeError, false, &r.readerError);
    if (r.image.isNull()) return r;

    r.policy = env.resolvePolicy().policy;
    r.audit = env.makeAuditLog(r.policy);
    // The capture's own watermark, drawn when it was taken: its name says when that was (the mark
    // was drawn up to a moment before the file was named).
    std::vector<QDateTime> markedAt;
    if (const std::optional<QDateTime> named = timeInScreenshotName(QFileInfo(path).fileName())) {
        markedAt = {*named, named->addSecs(-1), named->addSecs(-2)};
    }
    r.stamp = recognizeWatermark(r.image, watermark(r.policy, env.userName, env.deviceName, env.now()), markedAt);
    try {
        const SidecarKit::SidecarLoadResult stored = SidecarKit::SidecarStore::load(path);
        if (stored.found) r.seed = stored.found->document.annotations;
    } catch (...) {
        r.annotationFailure = std::current_exception();
    }
    // Only a companion made with the working copy's present pixels can stand in for it under a
    // backdrop; the backdrop then shows the working copy itself.
    const QImage companion = Support::ImageFiles::readOwnImage(companionPath(path));
    if (CompanionTie::matches(companion, r.image)) {
        r.contentImage = companion;
    } else if (!companion.isNull()) {
        env.log.error("desktop-less image left out: " + QFileInfo(companionPath(path)).fileName() +
                      " was not made with the working copy as it is now");
    }
    return r;
}

// The findings of a capture shown before them reach its edit (whose exports wait for them). A
// failed search opens nothing up: the edit goes on with the redactions already in the screenshot,
// and the user is told so.
void searchShownCapture(const Environment& env, const std::weak_ptr<EditSession>& shown, const QImage& image,
                        const PolicyKit::EffectivePolicy& policy, const QString& path) {
    inBackground<DetectionKit::DetectionResult>(
        [env, shown, image, patterns = patternInputs(policy)] {
            // Replaced before its turn came: nobody waits for these findings.
            if (shown.expired()) return DetectionKit::DetectionResult{};
            return env->detect(image, patterns);
        },
        [env, shown, path](Outcome<DetectionKit::DetectionResult> found) {
            const std::shared_ptr<EditSession> edit = shown.lock();
            if (edit) edit->detectionsArrived(found.succeeded() ? found.value->detections
                                                                : std::vector<DetectionKit::Detection>{});
            if (!found.succeeded()) {
                env->log.error("openExisting: detection failed: " + describe(found.error));
                env->alerts->show("Detection failed", QFileInfo(path).fileName() +
                                                          " was opened without looking for personal data again: " +
                                                          clause(alertText(found.error)) +
                                                          ". Only the redactions already in the screenshot apply.");
                return;
            }
            if (const std::optional<AlertText> alert = unfinishedPatternsAlert(found.value->unfinished)) {
                env->alerts->show(alert->message, alert->informativeText);
            }
        },
        reopenWorkers());
}

} // namespace

void openExisting(const Environment& env, const QString& path) {
    const int ticket = env->reopenRequests ? env->reopenRequests->begin() : 0;
    inBackground<Reopened>([env, path, ticket] { return readCapture(*env, path, ticket); },
                           [env, path, ticket](Outcome<Reopened> outcome) {
                               if (env->reopenRequests && !env->reopenRequests->isLatest(ticket)) return;
                               const QString filename = QFileInfo(path).fileName();
                               if (!outcome.succeeded() || outcome.value->image.isNull()) {
                                   const QString reason =
                                       outcome.succeeded() ? outcome.value->decodeError : alertText(outcome.error);
                                   const QString details =
                                       outcome.succeeded() ? outcome.value->readerError : describe(outcome.error);
                                   env->log.error("openExisting: cannot decode " + path +
                                                  (reason.isEmpty() ? QString() : ": " + reason) +
                                                  (details.isEmpty() || details == reason ? QString() : " (" + details + ")"));
                                   env->alerts->show("Screenshot could not be opened",
                                                     filename + " could not be read as an image" +
                                                         (reason.isEmpty() ? QString() : ": " + clause(reason)) + ".");
                                   return;
                               }
                               Reopened& r = *outcome.value;
                               // Shown at once; its findings are looked for meanwhile, and what
                               // leaves the editor waits for them.
                               EditorRequest request;
                               request.image = r.image;
                               request.detectionsPending = true;
                               request.policy = r.policy;
                               request.audit = r.audit;
                               request.modeName = kReopenModeName;
                               request.path = path;
                               request.seedAnnotations = r.seed;
                               request.contentImage = r.contentImage;
                               request.stamp = r.stamp;
                               request.storedAnnotationsUnreadable = bool(r.annotationFailure);
                               const std::shared_ptr<EditSession> edit = openEditor(env, std::move(request));
                               searchShownCapture(env, edit, r.image, r.policy, path);

                               if (r.annotationFailure) {
                                   env->log.error("annotation load failed: " + path + ": " +
                                                  describe(r.annotationFailure));
                                   env->alerts->show("Annotations could not be loaded",
                                                     filename + ": " + clause(alertText(r.annotationFailure)) +
                                                         ". They are kept as they are; annotations added now "
                                                         "are not saved.");
                               }
                           },
                           reopenWorkers());
}

} // namespace BrindlecastApp::Pipeline
