#include "BrindlecastApp/Pipeline/LegacyReview.h"

#include "BrindlecastApp/Pipeline/ExportDelivery.h"
#include "BrindlecastApp/Pipeline/LeavingCheck.h"
#include "BrindlecastApp/Pipeline/PolicyMapping.h"

#include <algorithm>

namespace BrindlecastApp::Pipeline {

namespace {

using Finished = std::function<void(Outcome<bool>)>;
using DetectionKit::Detection;

bool sameFinding(const Detection& a, const Detection& b) {
    return a.detectorName() == b.detectorName() && a.boundingBox() == b.boundingBox() && a.matchedText() == b.matchedText();
}

void failed(const Finished& finished, std::exception_ptr error) {
    Outcome<bool> outcome;
    outcome.error = std::move(error);
    finished(std::move(outcome));
}

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

// The user's decision leaves under the policy of its moment: whatever that policy made mandatory
// while the window was up is hidden too.
void exportDecision(const Environment& env, const QImage& image, const ReviewDecision::Export& decision,
                    const SearchedFindings& reviewed, const std::shared_ptr<AuditKit::AuditLog>& audit,
                    Finished finished) {
    whenCheckedAgainstCurrentPolicy(
        env, image, reviewed, [env, image, decision, audit, finished](Outcome<LeavingFindings> checked) {
            if (!checked.succeeded()) return failed(finished, checked.error);
            ExportRequest request;
            request.image = image;
            request.redact = decision.redact;
            if (checked.value->searchedAgain) {
                for (const Detection& found : mandatoryDetections(checked.value->findings.detections)) {
                    const auto known = [&](const Detection& d) { return sameFinding(d, found); };
                    if (std::none_of(request.redact.begin(), request.redact.end(), known)) request.redact.push_back(found);
                }
            }
            request.annotations = decision.annotations;
            request.destination = decision.destination;
            request.crop = decision.crop; // what the user cropped away stays behind
            exportThen(env, std::move(request), checked.value->policy, audit, finished);
        });
}

void reviewOrExport(const Environment& env, const QImage& image, const LeavingFindings& now,
                    const std::shared_ptr<AuditKit::AuditLog>& audit, Finished finished) {
    const std::vector<Detection>& detections = now.findings.detections;
    if (mandatoryDetections(detections).empty() && !now.policy.mandatoryReview) {
        ExportRequest request;
        request.image = image;
        request.redact = detections; // suggested findings nobody reviewed stay hidden
        exportThen(env, std::move(request), now.policy, audit, std::move(finished));
        return;
    }

    const auto onTamper = [audit] {
        audit->record(AuditKit::AuditEvent::policyViolation(
            "mandatoryRedactionTamperAttempt", "attempted to release a mandatory redaction in the review window"));
    };
    env->review->present(image, detections, now.policy, {}, onTamper,
                         [env, image, reviewed = now.findings, audit, finished](const ReviewDecision& decision) {
                             const auto* exported = std::get_if<ReviewDecision::Export>(&decision.value);
                             if (!exported) {
                                 env->log.notice("review dismissed \u2014 nothing exported");
                                 Outcome<bool> cancelled;
                                 cancelled.value = false;
                                 finished(std::move(cancelled));
                                 return;
                             }
                             exportDecision(env, image, *exported, reviewed, audit, finished);
                         });
}

} // namespace

void runLegacyReview(const Environment& env, const QImage& image, const std::vector<DetectionKit::Detection>& detections,
                     const PolicyKit::EffectivePolicy& policy, const std::shared_ptr<AuditKit::AuditLog>& audit,
                     Finished finished) {
    // The findings were looked for under the policy the capture began with; what leaves goes by
    // the policy of its own moment.
    SearchedFindings found{detections, DetectionKit::PIIDetector::mandatoryPatterns(patternInputs(policy))};
    whenCheckedAgainstCurrentPolicy(env, image, std::move(found),
                                    [env, image, audit, finished = std::move(finished)](Outcome<LeavingFindings> checked) {
                                        if (!checked.succeeded()) return failed(finished, checked.error);
                                        reviewOrExport(env, image, *checked.value, audit, finished);
                                    });
}

} // namespace BrindlecastApp::Pipeline
