#include "BrindlecastApp/Pipeline/EditSession.h"

#include "BrindlecastApp/Pipeline/Background.h"
#include "BrindlecastApp/Pipeline/EditorWiring.h"
#include "BrindlecastApp/Pipeline/ExportDelivery.h"
#include "BrindlecastApp/Pipeline/LibraryFiles.h"
#include "BrindlecastApp/Pipeline/Reopen.h"
#include "BrindlecastApp/Pipeline/UserNotices.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "ExportKit/Exporter.h"
#include "SidecarKit/SidecarStore.h"
#include "Support/AtomicFile.h"
#include "Support/FileNames.h"
#include "Support/IoError.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace BrindlecastApp::Pipeline {

namespace {

using SidecarKit::Annotation;

// A hidden name beside `path` that nothing else uses.
QString asidePath(const QString& path) {
    const QFileInfo info(path);
    return info.dir().filePath("." + info.fileName() + ".flatten-" + QUuid::createUuid().toString(QUuid::WithoutBraces));
}

bool renamePath(const QString& from, const QString& to) {
    return std::rename(Support::FileNames::encode(from).constData(), Support::FileNames::encode(to).constData()) == 0;
}

} // namespace

std::shared_ptr<EditSession> EditSession::create(Environment env, EditorRequest request) {
    std::shared_ptr<EditSession> edit(new EditSession(std::move(env), std::move(request)));
    std::weak_ptr<EditSession> weak = edit;
    // What leaves the editor (copy, export, copied text) goes under the policy of its moment; a
    // capture moved to the Trash lets nothing leave, while the window still shows it.
    edit->viewModel_->setCurrentPolicySource([weak, env = edit->env_] {
        PolicyKit::EffectivePolicy policy = env->resolvePolicy().policy;
        const std::shared_ptr<EditSession> self = weak.lock();
        if (!self || self->trashed()) policy.allowedExportDestinations.clear();
        return policy;
    });
    edit->viewModel_->setOnDeleteImage([weak](bool ask) {
        if (auto self = weak.lock()) self->deleteImage(ask);
    });
    // The editor's own detection run tells what the capture road tells: lines a pattern could not
    // finish (hidden whole under a mandatory one), named in an alert. The alert waits for the
    // event loop: it runs a loop of its own, after which this edit may be the last to hold itself,
    // and the model must not go while it is still delivering its run.
    edit->viewModel_->setOnUnfinishedPatterns([weak](const std::vector<DetectionKit::UnfinishedPattern>& unfinished) {
        const std::optional<AlertText> alert = unfinishedPatternsAlert(unfinished);
        if (!alert) return;
        onGuiThread([weak, alert = *alert] {
            if (const auto self = weak.lock()) self->env_->alerts->show(alert.message, alert.informativeText);
        });
    });
    return edit;
}

EditSession::EditSession(Environment env, EditorRequest request)
    : env_(std::move(env)), request_(std::move(request)), host_(env_->host),
      companionPending_(request_.contentImagePending) {
    ReviewViewModel::Environment modelEnvironment;
    const Environment detectionEnv = env_;
    modelEnvironment.detect = [detectionEnv](const QImage& image, const std::vector<DetectionKit::PatternInput>& patterns) {
        DetectionKit::DetectionResult result = detectionEnv->detect(image, patterns);
        for (const QString& diagnostic : result.diagnostics) detectionEnv->log.error("detection: " + diagnostic);
        return result;
    };
    const std::shared_ptr<AuditKit::AuditLog> audit = request_.audit;
    viewModel_ = std::make_unique<ReviewViewModel>(
        request_.image, request_.detections, request_.policy, request_.contentImage,
        [audit] {
            audit->record(AuditKit::AuditEvent::policyViolation(
                "mandatoryRedactionTamperAttempt", "attempted to release a mandatory redaction in the editor"));
        },
        modelEnvironment);
    viewModel_->setAnnotations(request_.seedAnnotations);
    lastStored_ = viewModel_->annotations();
    if (request_.detectionsPending) viewModel_->awaitDetections();
}

EditSession::~EditSession() = default;

QString EditSession::filename() const { return QFileInfo(request_.path).fileName(); }

void EditSession::copy(std::function<void(bool copied)> outcome) {
    if (!viewModel_->allowedDestinations().count(ExportKit::DestinationKind::clipboard)) return;
    if (trashed()) return;
    runExport(ExportKit::DestinationKind::clipboard, std::move(outcome));
}

void EditSession::exportToFolder() {
    if (trashed()) return;
    runExport(ExportKit::DestinationKind::folder);
}

void EditSession::companionReady(const std::optional<QImage>& companion) {
    if (!companionPending_) return;
    companionPending_ = false;
    if (companion) viewModel_->setContentImage(*companion);
    for (const std::function<void()>& waiting : std::exchange(afterCompanion_, {})) waiting();
}

void EditSession::detectionsArrived(const std::vector<DetectionKit::Detection>& detections) {
    viewModel_->receiveDetections(detections);
}

void EditSession::detectionsFailed() { viewModel_->receiveDetections(std::nullopt); }

void EditSession::runExport(ExportKit::DestinationKind destination, std::function<void(bool delivered)> finished) {
    // Moved to the Trash while this export waited for the companion.
    if (trashed()) {
        if (finished) finished(false);
        return;
    }
    auto self = shared_from_this();
    // Under a backdrop the export shows the companion: one still being prepared is waited for.
    if (companionPending_ && !std::holds_alternative<ExportKit::Backdrop::None>(viewModel_->backdrop().style)) {
        afterCompanion_.push_back([self, destination, finished = std::move(finished)] { self->runExport(destination, finished); });
        return;
    }
    // The organisation may have changed its mind since the editor opened: the export goes under
    // the policy of this moment, and what that makes mandatory is looked for before anything leaves
    // (after any detection run still in flight, whose findings it must hide too).
    const PolicyKit::EffectivePolicy policy = viewModel_->currentPolicy();
    viewModel_->whenDetectionsCover(policy, [self, policy, destination, finished = std::move(finished)](bool covered) {
        if (covered) return self->exportUnder(policy, destination, finished);
        if (!self->viewModel_->detectionsKnown()) {
            self->env_->log.error("editor export failed: looking for personal data in the capture failed");
            self->env_->alerts->show("Export failed", "Looking for personal data in this screenshot failed, so nothing "
                                                      "it shows could be hidden. Nothing was exported.");
        } else {
            self->env_->log.error("editor export failed: detection with the policy's mandatory patterns failed");
            self->env_->alerts->show("Export failed", "Your organization now requires more to be hidden, and looking for "
                                                      "it in this screenshot failed. Nothing was exported.");
        }
        if (finished) finished(false);
    });
}

void EditSession::exportUnder(const PolicyKit::EffectivePolicy& policy, ExportKit::DestinationKind destination,
                              const std::function<void(bool delivered)>& finished) {
    const ReviewViewModel& model = *viewModel_;
    ExportRequest request;
    request.image = model.activeImage();
    request.redact = model.detectionsToRedact();
    request.annotations = model.annotations();
    request.backdrop = model.backdrop();
    request.crop = model.cropRect();
    request.redactionStyle = model.redactionStyle();
    request.destination = destination;
    if (&model.activeImage() == &model.image()) request.sourceStamp = request_.stamp;
    auto self = shared_from_this();
    exportAndDeliver(env_, std::move(request), policy, request_.audit, [self, finished](Outcome<std::optional<QString>> outcome) {
        if (!outcome.succeeded()) {
            self->env_->log.error("editor export failed: " + describe(outcome.error));
            self->env_->alerts->show("Export failed", alertSentence(outcome.error));
            if (finished) finished(false);
            return;
        }
        if (finished) finished(true);
        // The annotations are in the exported pixels: no stored copy goes with the file, or
        // reopening it would draw them twice.
        const std::optional<QString>& written = *outcome.value;
        if (!written) return;
        if (auto host = self->host_.lock()) host->addToLibrary(*written);
    });
}

void EditSession::flatten() {
    if (viewModel_->annotations().empty() || flattening_ || ending_ != Ending::none) return;
    if (request_.storedAnnotationsUnreadable) {
        // Flattening removes the stored annotations, which are kept as they are until they read.
        env_->log.error("flatten failed: the stored annotations of " + filename() + " could not be read");
        auto self = shared_from_this();
        onGuiThread([self] {
            self->env_->alerts->show("Flatten failed", "The annotations stored with " + self->filename() +
                                                           " could not be read, and flattening would remove them. "
                                                           "The screenshot was not changed.");
        });
        return;
    }
    flattening_ = true;
    auto self = shared_from_this();
    // The pixels are searched again once flattened, where strokes through an item can keep it
    // from being found: what the edit hides must be known first, or nothing is flattened.
    viewModel_->whenDetectionsCover(viewModel_->currentPolicy(), [self](bool covered) {
        if (!covered) {
            self->flattening_ = false;
            self->env_->log.error("flatten failed: looking for personal data in the capture failed");
            self->env_->alerts->show("Flatten failed", "Looking for personal data in this screenshot failed, so what it "
                                                       "shows could not be hidden. The screenshot was not changed.");
            return;
        }
        // What the editor hides goes into the pixels as it shows it: every mandatory finding (also
        // those found after the capture) and every suggested one the user kept. The annotations
        // drawn over them would keep the capture's next search from finding them again, and
        // whatever it missed would leave in clear.
        const std::vector<DetectionKit::Detection> hidden = self->viewModel_->detectionsToRedact();
        const Annotation::RedactionStyle style = self->viewModel_->redactionStyle();
        const std::vector<Annotation> annotations = self->viewModel_->annotations();
        const QImage image = self->request_.image;
        inBackground<QByteArray>(
            [image, hidden, style, annotations] {
                namespace Exporter = ExportKit::Exporter;
                QImage flattened = hidden.empty() ? image : Exporter::redact(image, hidden, style);
                flattened = Exporter::flatten(flattened, annotations);
                return Exporter::encode(flattened, ExportKit::ImageFormat::png()).data();
            },
            [self](Outcome<QByteArray> outcome) {
                self->flattening_ = false;
                if (!outcome.succeeded()) return self->flattenFailed(outcome.error);
                self->commitFlattened(*outcome.value);
            });
    });
}

void EditSession::commitFlattened(const QByteArray& png) {
    if (ending_ != Ending::none) return;
    // The stored annotations and the companion are set aside first and put back on any failure,
    // so the capture's files stay as they were: a companion left behind would let a backdrop
    // export show it without the flattened redactions.
    std::vector<std::pair<QString, QString>> setAside;
    const auto restore = [&] {
        for (const auto& [original, aside] : setAside) {
            if (!renamePath(aside, original))
                env_->log.error("flatten: " + original + " stays set aside as " + aside + ": " + std::strerror(errno));
        }
    };
    for (const QString& file : {sidecarPath(path()), companionPath(path())}) {
        if (!Support::FileNames::exists(file)) continue;
        const QString aside = asidePath(file);
        if (!renamePath(file, aside)) {
            const std::exception_ptr failure = std::make_exception_ptr(Support::IoError(errno, file, "set aside"));
            restore();
            return flattenFailed(failure);
        }
        setAside.emplace_back(file, aside);
    }
    try {
        Support::AtomicFile::write(path(), png);
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        restore();
        return flattenFailed(failure);
    }
    for (const auto& [original, aside] : setAside) ::unlink(Support::FileNames::encode(aside).constData());

    ending_ = Ending::flattened;
    if (auto host = host_.lock()) host->reloadLibrary();
    openExisting(env_, path());
}

void EditSession::flattenFailed(const std::exception_ptr& failure) {
    env_->log.error("flatten failed: " + describe(failure));
    env_->alerts->show("Flatten failed", alertSentences(failure, "The screenshot was not changed."));
}

void EditSession::showSettings() {
    if (auto host = host_.lock()) host->showSettings();
}

void EditSession::deleteImage(bool ask) {
    // Without a question the user has decided already: nothing leaves from this moment, though
    // the move waits for the next turn (it may close the window whose key press asked for it).
    if (!ask && ending_ == Ending::none) trashPending_ = true;
    auto self = shared_from_this();
    onGuiThread([self, ask] {
        if (self->ending_ == Ending::deleted || self->ending_ == Ending::flattened) return;
        if (ask) {
            const bool confirmed = self->env_->alerts->confirm(
                {"Delete this screenshot?",
                 self->filename() + " moves to the Trash. Hold Shift to skip this confirmation next time.",
                 "Move to Trash", "Cancel"});
            if (!confirmed) return;
        }
        self->moveToTrash();
    });
}

void EditSession::moveToTrash() {
    try {
        env_->trash->moveToTrash(path());
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        trashPending_ = false;
        // The capture stays, with its annotations still to be stored.
        env_->log.error("delete failed: " + path() + ": " + describe(failure));
        env_->alerts->show("Delete failed", alertSentences(failure, filename() + " was not moved to the Trash."));
        return;
    }
    ending_ = Ending::deleted;
    for (const QString& companion : {sidecarPath(path()), companionPath(path())}) {
        if (!Support::FileNames::exists(companion)) continue;
        try {
            env_->trash->moveToTrash(companion);
        } catch (...) {
            env_->log.error("delete: " + companion + " stays: " + describe(std::current_exception()));
        }
    }
    request_.audit->record(AuditKit::AuditEvent::export_("trash", ""));

    if (auto host = host_.lock()) {
        host->reloadLibrary();
        const QStringList remaining = host->libraryPaths();
        if (!remaining.isEmpty()) {
            host->openRecentInEditor(remaining.first());
        } else if (env_->editor) {
            env_->editor->close();
        }
    }
}

void EditSession::selectRecent(const QString& imagePath) {
    if (auto host = host_.lock()) host->openRecentInEditor(imagePath);
}

bool EditSession::persist() { return !failedToStore(); }

bool EditSession::store(std::function<void()> resolved) {
    const std::exception_ptr failure = failedToStore();
    if (!failure) return true;
    const bool asking = awaitingAnswer_.has_value();
    if (!asking) awaitingAnswer_.emplace();
    if (resolved) awaitingAnswer_->push_back(std::move(resolved));
    // One question at a time: whoever else waits for this edit meanwhile goes by the same answer.
    if (!asking) askAfterFailedStore(failure);
    return false;
}

void EditSession::askAfterFailedStore(const std::exception_ptr& failure) {
    // Not inside the caller's event (a close, a click): the alert runs a loop of its own.
    auto self = shared_from_this();
    onGuiThread([self, failure] {
        const bool retry = self->env_->alerts->confirm(
            {"Annotations could not be saved",
             alertSentences(failure, "The annotations of " + self->filename() + " were not saved."), "Retry", "Discard"});
        if (retry) {
            if (const std::exception_ptr again = self->failedToStore()) return self->askAfterFailedStore(again);
        }
        std::vector<std::function<void()>> waiting = std::move(*self->awaitingAnswer_);
        self->awaitingAnswer_.reset();
        for (auto& then : waiting) then();
    });
}

std::exception_ptr EditSession::failedToStore() {
    const std::exception_ptr failure = writeAnnotations();
    if (failure) env_->log.error("annotation persist failed: " + describe(failure));
    return failure;
}

std::exception_ptr EditSession::writeAnnotations() {
    if (ending_ != Ending::none) return nullptr;
    if (request_.storedAnnotationsUnreadable) {
        env_->log.error("annotation persist skipped: the stored annotations of " + filename() +
                        " could not be read and are kept as they are");
        return nullptr;
    }
    const PolicyKit::SidecarMode mode = request_.policy.sidecarMode;
    if (mode == PolicyKit::SidecarMode::off) return nullptr;
    const SidecarKit::SidecarDocument document(
        SidecarKit::SidecarDocument::currentVersion,
        {filename(), request_.image.width(), request_.image.height(), 1.0}, {request_.modeName, false},
        viewModel_->annotations());
    try {
        if (mode == PolicyKit::SidecarMode::file) {
            SidecarKit::SidecarStore::save(document, path());
        } else {
            SidecarKit::SidecarStore::embed(document, path());
        }
    } catch (...) {
        return std::current_exception();
    }
    lastStored_ = viewModel_->annotations();
    return nullptr;
}

QString EditSession::annotationFile() const {
    return request_.policy.sidecarMode == PolicyKit::SidecarMode::file ? sidecarPath(path()) : path();
}

bool EditSession::changedSinceStored() const { return viewModel_->annotations() != lastStored_; }

void EditSession::persistBeforeQuit() {
    persist();
    if (ending_ == Ending::none) ending_ = Ending::quit;
}

void EditSession::storeBeforeQuit(std::function<void()> leave) {
    auto self = shared_from_this();
    const auto last = [self, leave = std::move(leave)] {
        if (self->ending_ == Ending::none) self->ending_ = Ending::quit;
        if (leave) leave();
    };
    if (!changedSinceStored() || store(last)) last();
}

void EditSession::storeOnceBeforeSignalEnd() {
    if (ending_ != Ending::none) return;
    if (changedSinceStored()) {
        if (const std::exception_ptr failure = writeAnnotations()) {
            env_->log.error("annotations of " + path() + " not stored as the app ends on a signal: " +
                            annotationFile() + ": " + describe(failure));
        }
    }
    ending_ = Ending::quit;
}

} // namespace BrindlecastApp::Pipeline
