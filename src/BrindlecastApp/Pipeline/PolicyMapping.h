#pragma once

#include "DetectionKit/Detection.h"
#include "ExportKit/ExportTypes.h"
#include "PolicyKit/EffectivePolicy.h"

#include <QDateTime>
#include <optional>
#include <vector>

namespace BrindlecastApp::Pipeline {

// The policy's patterns as detection takes them, in order, with the same name, expression and action.
std::vector<DetectionKit::PatternInput> patternInputs(const PolicyKit::EffectivePolicy& policy);

// The policy's export destinations that exist here: "uploadEndpoint" has no counterpart.
ExportKit::DestinationSet allowedDestinations(const PolicyKit::EffectivePolicy& policy);

// The watermark the policy asks for: nothing when it is disabled, otherwise the parts whose
// switches are on (no parts at all draws nothing).
std::optional<ExportKit::Watermark> watermark(const PolicyKit::EffectivePolicy& policy, const QString& user,
                                              const QString& device, const QDateTime& now);

// The mandatory detections, in order.
std::vector<DetectionKit::Detection> mandatoryDetections(const std::vector<DetectionKit::Detection>& detections);

} // namespace BrindlecastApp::Pipeline
