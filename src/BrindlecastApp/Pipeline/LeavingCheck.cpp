#include "BrindlecastApp/Pipeline/LeavingCheck.h"

#include "BrindlecastApp/Pipeline/PolicyMapping.h"

#include <algorithm>
#include <stdexcept>

namespace BrindlecastApp::Pipeline {

namespace {

// Searches again only as often as someone could rewrite the policy while one search runs.
constexpr int kSearches = 3;

} // namespace

bool findingsCover(const SearchedFindings& findings, const PolicyKit::EffectivePolicy& policy) {
    const auto wanted = DetectionKit::PIIDetector::mandatoryPatterns(patternInputs(policy));
    return std::includes(findings.searchedWith.begin(), findings.searchedWith.end(), wanted.begin(), wanted.end());
}

LeavingFindings findingsUnderCurrentPolicy(const PipelineEnvironment& env, const QImage& image,
                                           SearchedFindings findings) {
    for (int search = 0;; ++search) {
        PolicyKit::EffectivePolicy policy = env.resolvePolicy().policy;
        if (findingsCover(findings, policy)) return {std::move(policy), std::move(findings), search > 0};
        if (search == kSearches) {
            throw std::runtime_error("the organization's policy kept changing while the capture was searched for "
                                     "what it makes mandatory");
        }
        const std::vector<DetectionKit::PatternInput> patterns = patternInputs(policy);
        DetectionKit::DetectionResult result = env.detect(image, patterns);
        for (const QString& diagnostic : result.diagnostics) env.log.error("detection: " + diagnostic);
        findings = {std::move(result.detections), DetectionKit::PIIDetector::mandatoryPatterns(patterns)};
    }
}

void whenCheckedAgainstCurrentPolicy(const Environment& env, QImage image, SearchedFindings findings,
                                     std::function<void(Outcome<LeavingFindings>)> then) {
    inBackground<LeavingFindings>(
        [env, image = std::move(image), findings = std::move(findings)]() mutable {
            return findingsUnderCurrentPolicy(*env, image, std::move(findings));
        },
        std::move(then));
}

std::optional<QString> automaticCopyWithheldBy(const PolicyKit::EffectivePolicy& policy) {
    if (!allowedDestinations(policy).count(ExportKit::DestinationKind::clipboard))
        return QStringLiteral("the policy does not allow the clipboard");
    if (policy.mandatoryReview) return QStringLiteral("the policy requires every capture to be reviewed first");
    return std::nullopt;
}

} // namespace BrindlecastApp::Pipeline
