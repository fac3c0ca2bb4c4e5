#include "BrindlecastApp/Pipeline/PolicyMapping.h"

namespace BrindlecastApp::Pipeline {

using DetectionKit::PatternAction;

std::vector<DetectionKit::PatternInput> patternInputs(const PolicyKit::EffectivePolicy& policy) {
    std::vector<DetectionKit::PatternInput> inputs;
    inputs.reserve(policy.piiPatterns.size());
    for (const PolicyKit::PIIPattern& pattern : policy.piiPatterns) {
        const PatternAction action = pattern.action == PolicyKit::PIIAction::blurMandatory
                                         ? PatternAction::blurMandatory
                                         : PatternAction::blurSuggested;
        inputs.push_back({pattern.name, pattern.regex, action});
    }
    return inputs;
}

ExportKit::DestinationSet allowedDestinations(const PolicyKit::EffectivePolicy& policy) {
    ExportKit::DestinationSet allowed;
    for (PolicyKit::ExportDestination destination : policy.allowedExportDestinations) {
        if (auto kind = ExportKit::destinationKindFromRawValue(PolicyKit::rawValue(destination))) allowed.insert(*kind);
    }
    return allowed;
}

std::optional<ExportKit::Watermark> watermark(const PolicyKit::EffectivePolicy& policy, const QString& user,
                                              const QString& device, const QDateTime& now) {
    const PolicyKit::WatermarkConfig& config = policy.watermark;
    if (!config.enabled) return std::nullopt;
    ExportKit::Watermark mark;
    if (config.includeUser) mark.user = user;
    if (config.includeDevice) mark.device = device;
    if (config.includeTimestamp) mark.timestamp = now;
    return mark;
}

std::vector<DetectionKit::Detection> mandatoryDetections(const std::vector<DetectionKit::Detection>& detections) {
    std::vector<DetectionKit::Detection> mandatory;
    for (const DetectionKit::Detection& detection : detections) {
        if (detection.action() == PatternAction::blurMandatory) mandatory.push_back(detection);
    }
    return mandatory;
}

} // namespace BrindlecastApp::Pipeline
