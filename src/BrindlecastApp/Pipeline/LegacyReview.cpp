#include "BrindlecastApp/Pipeline/LegacyReview.h"

#include "BrindlecastApp/Pipeline/ExportDelivery.h"

#include <algorithm>

namespace BrindlecastApp::Pipeline {

namespace {

using Finished = std::function<void(Outcome<bool>)>;

void exportThen(const Environment& env, ExportRequest request, const PolicyKit::EffectivePolicy& policy,
                const std::shared_ptr<AuditKit::AuditLog>& audit, Finished finished) {
    // The annotations are in the exported pixels: no stored copy goes with the file.
    exportAndDeliver(env, std::move(request), policy, audit,
                     [finished = std::move(finished)](Outcome<std::optional<QString>> outcome) {
                         Outcome<bool> result;
                         if (outcome.succeeded()) result.value = true;
                         result.error = outcome.error;
                         finished(std::move(result));
                     });
}

} // namespace

void runLegacyReview(const Environment& env, const QImage& image, const std::vector<DetectionKit::Detection>& detections,
                     const PolicyKit::EffectivePolicy& policy, const std::shared_ptr<AuditKit::AuditLog>& audit,
                     Finished finished) {
    const bool anyMandatory = std::any_of(detections.begin(), detections.end(), [](const DetectionKit::Detection& d) {
        return d.action() == DetectionKit::PatternAction::blurMandatory;
    });
    if (!anyMandatory && !policy.mandatoryReview) {
        ExportRequest request;
        request.image = image;
        request.redact = detections; // suggested findings nobody reviewed stay hidden
        exportThen(env, std::move(request), policy, audit, std::move(finished));
        return;
    }

    const auto onTamper = [audit] {
        audit->record(AuditKit::AuditEvent::policyViolation(
            "mandatoryRedactionTamperAttempt", "attempted to release a mandatory redaction in the review window"));
    };
    env->review->present(image, detections, policy, {}, onTamper,
                         [env, image, policy, audit, finished](const ReviewDecision& decision) {
                             const auto* exported = std::get_if<ReviewDecision::Export>(&decision.value);
                             if (!exported) {
                                 env->log.notice("review dismissed \u2014 nothing exported");
                                 Outcome<bool> cancelled;
                                 cancelled.value = false;
                                 finished(std::move(cancelled));
                                 return;
                             }
                             ExportRequest request;
                             request.image = image;
                             request.redact = exported->redact;
                             request.annotations = exported->annotations;
                             request.destination = exported->destination;
                             request.crop = exported->crop; // what the user cropped away stays behind
                             exportThen(env, std::move(request), policy, audit, finished);
                         });
}

} // namespace BrindlecastApp::Pipeline
